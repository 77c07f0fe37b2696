#include "engine/key_event_record.h"

#include "common/text.h"

#include <cstdint>
#include <cstring>

namespace orbisk {

static_assert(offsetof(OrbiskKeyEventRecord, SourceName) == 0);
static_assert(offsetof(OrbiskKeyEventRecord, SourceTag) == 60);
static_assert(offsetof(OrbiskKeyEventRecord, KeyName) == 64);
static_assert(offsetof(OrbiskKeyEventRecord, ExtTag) == 188);
static_assert(offsetof(OrbiskKeyEventRecord, ExtWords) == 192);
static_assert(offsetof(OrbiskKeyEventRecord, Reserved204) == 204);
static_assert(offsetof(OrbiskKeyEventRecord, Reserved208) == 208);
static_assert(offsetof(OrbiskKeyEventRecord, CodeTextRef) == 212);
static_assert(offsetof(OrbiskKeyEventRecord, RemoteNameRef) == 216);
static_assert(offsetof(OrbiskKeyEventRecord, Reserved220) == 220);
static_assert(offsetof(OrbiskKeyEventRecord, Reserved224) == 224);
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(OrbiskKeyEventRecord) == (sizeof(void*) == 4 ? 228 : 244));

namespace {

// The record's pointer fields: 32-bit words where pointers are 32 bits wide,
// native pointers after the 228 bytes where they are wider.
template <typename Record>
void StorePointers(Record& record, const char* codeText, const char* remoteNameText) {
    if constexpr (sizeof(void*) == 4) {
        record.CodeTextRef = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(codeText));
        record.RemoteNameRef =
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(remoteNameText));
    } else {
        static_assert(offsetof(Record, CodeText) == 228);
        static_assert(offsetof(Record, RemoteNameText) == 236);
        record.CodeTextRef = 0;
        record.RemoteNameRef = 0;
        record.CodeText = codeText;
        record.RemoteNameText = remoteNameText;
    }
}

}  // namespace

void InitKeyEventRecord(OrbiskKeyEventRecord& record, const char* name) {
    std::memset(&record, 0, sizeof record);
    if (name != nullptr) {
        // A bounded copy of up to 63 characters into the zeroed record; "UNI"
        // then overwrites bytes 60 to 62, so at most 60 characters survive.
        std::memcpy(&record, name, FieldText(name, SourceNameMaxChars).size());
    } else {
        std::memcpy(record.SourceName, "REMOTE", 7);
    }
    std::memcpy(record.SourceTag, "UNI", 3);
}

void StampEngineFields(OrbiskKeyEventRecord& record, const char* codeText,
                       const char* remoteNameText) {
    std::memcpy(record.ExtTag, "EXT", 4);
    record.ExtWords[0] = 2;
    record.ExtWords[1] = 0;
    record.ExtWords[2] = 0;
    StorePointers(record, codeText, remoteNameText);
}

}  // namespace orbisk
