#include <windows.h>

#include <atomic>

#include "plugin/module.h"

extern "C" {
const char* __stdcall Open(const char* name, OrbiskHostWindow* window, const void* hostInfo);
}

namespace orbisk {
namespace {

Module* module = nullptr;

// Calls into the library under way on the host's thread (a call made from a
// message that an outer call serves counts as one more), and references the
// library holds on itself that were given back meanwhile.  A host may free
// the library while a call serves its messages; the library's own last
// reference must then go only once no code of it is left to return to.
std::atomic<int> callDepth{0};
std::atomic<int> givenBack{0};

HMODULE OwnHandle() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnHandle), &self);
    return self;
}

// The end of a call: at the outermost one, the references given back go,
// all but one at once (the last still keeps the library here).  That last
// one is returned for the caller to free after leaving the library's code;
// when it cannot (mayUnload false) it waits for the next call.
HMODULE LeaveCall(bool mayUnload) {
    if (callDepth.fetch_sub(1) != 1) return nullptr;
    int owed = givenBack.exchange(0);
    if (owed == 0) return nullptr;
    const HMODULE self = OwnHandle();
    for (; owed > 1; --owed) FreeLibrary(self);
    if (mayUnload) return self;
    givenBack.fetch_add(1);
    return nullptr;
}

}  // namespace

Module& TheModule() {
    if (module == nullptr) module = new Module;
    return *module;
}

std::shared_ptr<void> KeepLibraryLoaded() {
    // One more reference to this module: a host that frees the library
    // meanwhile leaves it loaded, and running, rather than unloading code
    // that a thread still executes.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&KeepLibraryLoaded),
                            &self))
        return nullptr;
    return std::shared_ptr<void>(self, [](void*) { givenBack.fetch_add(1); });
}

}  // namespace orbisk

extern "C" {

// Open's result is text of this library, so Open never lets it go.
const char* __stdcall OrbiskOpenCall(const char* name, OrbiskHostWindow* window, const void* hostInfo) {
    orbisk::callDepth.fetch_add(1);
    const char* description = Open(name, window, hostInfo);
    orbisk::LeaveCall(false);
    return description;
}

// Runs one of the argument-free entry points; returns the library's last
// reference to give back, or null.
HMODULE OrbiskRunCall(void (*entry)()) {
    orbisk::callDepth.fetch_add(1);
    entry();
    return orbisk::LeaveCall(true);
}

}  // extern "C"

// The exported Start, Stop, Setup and Close.  When the library's last
// reference is to go, FreeLibrary is entered by a jump, with the host's
// return address in place of this code's: the library may then unload, and
// FreeLibrary returns straight to the host.
asm(R"(
    .text
    .globl _OrbiskStartCall, _OrbiskStopCall, _OrbiskSetupCall, _OrbiskCloseCall
_OrbiskStartCall:
    pushl $_Start
    jmp orbisk_call
_OrbiskStopCall:
    pushl $_Stop
    jmp orbisk_call
_OrbiskSetupCall:
    pushl $_Setup
    jmp orbisk_call
_OrbiskCloseCall:
    pushl $_Close
orbisk_call:
    call _OrbiskRunCall
    addl $4, %esp
    testl %eax, %eax
    jz 1f
    popl %ecx
    pushl %eax
    pushl %ecx
    jmp *__imp__FreeLibrary@4
1:
    ret
)");

// The module goes at unload, not as a static object: at process exit (a
// non-null reserved argument) Windows has already ended the other threads,
// and waiting for them or their locks would hold the exit for good, so
// nothing is touched then.  A FreeLibrary finds no thread of the library
// running: while one may run the library keeps itself loaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        delete orbisk::module;
        orbisk::module = nullptr;
    }
    return TRUE;
}
