// Arbitrary text through the Flipper .ir reader and the key of every entry
// it accepts: a file is read or refused with its line and reason, and what
// is read keeps Flipper's limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"
#include "remotes/flipper_ir.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbisk;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<FlipperButton> buttons;
    std::string error;
    if (!ParseFlipperIr(text, "f.ir", buttons, error)) {
        Check(error.rfind("f.ir: line ", 0) == 0 && buttons.empty());
        return 0;
    }
    for (const FlipperButton& b : buttons) {
        Check(!b.name.empty() && b.line > 0);
        for (const char c : b.name) Check(!orbisk::IsControlCharacter(c));
        Check(!b.raw || (!b.durations.empty() && b.durations.size() <= MaxFlipperDurations));
        for (const std::uint32_t d : b.durations) Check(d > 0);
        std::string reason;
        const std::optional<ProtocolKey> key = FlipperKey(b, reason);
        Check(key.has_value() || !reason.empty());
        if (key) Check(ProtocolKeyText(*key).find(":0x") != std::string::npos);
    }
    return 0;
}
