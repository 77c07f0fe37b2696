#include "capture/decode_stream.h"

#include "capture/capture.h"
#include "common/code_text.h"
#include "receiver/published_state.h"
#include "receiver/frame_cutter.h"

namespace orbisk::tool {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

const char* BurstKindName(BurstKind kind) {
    switch (kind) {
    case BurstKind::Key: return "key";
    case BurstKind::Repeat: return "repeat";
    case BurstKind::Short: return "short";
    }
    return "?";
}

std::string BurstText(const DecodedBurst& burst) {
    std::string text = CodeText(burst.code) + " " + BurstKindName(burst.kind);
    if (burst.kind == BurstKind::Key && burst.recognize) text += "\t" + DescribeIrFrame(burst.frame);
    return text;
}

DecodedBurst BurstDecoder::operator()(const std::uint8_t* burst, int length) {
    const BurstKind kind = ClassifyBurst(burst, length, repeatLength_, skipBegin_, state_, wake_, recognize_);
    return {state_.LastCode.load(), kind, ReadPublishedCodes(state_).frame, recognize_};
}

std::vector<DecodedBurst> DecodeWireBytes(const std::vector<std::uint8_t>& bytes, int skipBegin,
                                          int repeatLength, bool recognize) {
    std::vector<DecodedBurst> decoded;
    BurstDecoder decode(skipBegin, repeatLength, recognize);
    FrameCutter cutter;
    const auto onBurst = [&](const std::uint8_t* burst, int length) { decoded.push_back(decode(burst, length)); };
    // In pieces the size of the reader's reads; the cut does not depend on it.
    constexpr std::size_t kPiece = 255;
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const std::size_t count = bytes.size() - at < kPiece ? bytes.size() - at : kPiece;
        cutter.Feed(bytes.data() + at, static_cast<int>(count), onBurst);
    }
    return decoded;
}

bool ParseWireHex(std::string_view text, std::vector<std::uint8_t>& out, std::string& error) {
    std::vector<std::uint8_t> bytes;
    std::size_t line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (IsSeparator(c)) {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else {
            const std::size_t start = i;
            while (i < text.size() && !IsSeparator(text[i]) && text[i] != '#') ++i;
            const std::string_view token = text.substr(start, i - start);
            std::uint8_t byte = 0;
            if (!ParseHexByte(token, byte)) {
                error = "line " + std::to_string(line) + ": '" + std::string(token) +
                        "' is not a hexadecimal byte value";
                return false;
            }
            bytes.push_back(byte);
        }
    }
    out = std::move(bytes);
    return true;
}

}  // namespace orbisk::tool
