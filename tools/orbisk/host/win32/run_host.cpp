// orbisk run on Windows: a window of its own class whose procedure receives
// the plug-in's key messages, sent with SendMessageA from the engine thread
// and handled here, on the thread that opened the plug-in, which queues
// their lines for a writer thread.  The run ends on Ctrl-C, at the end of
// standard input, or at its deadline.
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <mutex>

#include "commands/commands.h"
#include "host/run_host.h"
#include "commands/win32/win32_text.h"

namespace orbisk::tool {

namespace {

constexpr char kClassName[] = "OrbiskHostWindow";

// Reads standard input to its end, then sets the event it is given.
DWORD WINAPI WatchInput(void* ended) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD n = 0;
    while (ReadFile(input, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    }
    SetEvent(static_cast<HANDLE>(ended));
    return 0;
}

// The address range of a loaded module.
struct ModuleRange {
    std::uintptr_t begin = 0, end = 0;
    bool Holds(std::uintptr_t address) const { return address >= begin && address < end; }
};

ModuleRange RangeOf(HMODULE module) {
    if (module == nullptr) return {};
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(module) + dos->e_lfanew);
    const auto begin = reinterpret_cast<std::uintptr_t>(module);
    return {begin, begin + nt->OptionalHeader.SizeOfImage};
}

// Threads of this process that start in the plug-in's code or in the C
// runtime's thread start (where std::thread's threads begin): a running
// plug-in's reader and engine.  The threads the system starts for a message
// box or its own pools begin elsewhere.
std::size_t CountPluginThreads(HMODULE plugin) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress
    const auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    const ModuleRange ranges[2] = {RangeOf(plugin), RangeOf(GetModuleHandleA("msvcrt.dll"))};
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (query == nullptr || snapshot == INVALID_HANDLE_VALUE) return 0;
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        std::uintptr_t start = 0;
        if (query(thread, kThreadStartAddress, &start, sizeof start, nullptr) == 0 &&
            (ranges[0].Holds(start) || ranges[1].Holds(start)))
            ++count;
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

// Key lines on their way to standard output.  WriteFile waits for a pipe's
// reader, so a thread of its own writes them: the window procedure, and with
// it the plug-in's engine waiting in SendMessageA, only queues them.
class LineWriter {
public:
    LineWriter()
        : wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), drained_(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}
    ~LineWriter() {
        for (const HANDLE handle : {wake_, drained_, thread_})
            if (handle != nullptr) CloseHandle(handle);
    }

    bool Start() {
        if (wake_ != nullptr && drained_ != nullptr) thread_ = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
        return thread_ != nullptr;
    }

    void Add(const HostKeyEvent& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (gone_) return;
        lines_.Add(event);
        if (lines_.Pending().empty()) return;
        ResetEvent(drained_);
        SetEvent(wake_);
    }

    // Gives the last lines kFinalOutputMs (a stop request ends the wait
    // early), says what was lost, and ends the thread unless it still waits
    // for the reader.  True when the thread has ended and this may go.
    bool Finish(HANDLE stop) {
        const HANDLE ends[2] = {drained_, stop};
        WaitForMultipleObjects(2, ends, FALSE, kFinalOutputMs);
        std::uint64_t dropped = 0;
        std::size_t unwritten = 0;
        bool writing = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            dropped = lines_.TakeDropped();
            unwritten = gone_ ? 0 : lines_.Pending().size();
            writing = writing_;
        }
        SetEvent(wake_);
        ReportKeyLines(dropped, unwritten);
        return !writing && WaitForSingleObject(thread_, INFINITE) == WAIT_OBJECT_0;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<LineWriter*>(self)->WriteAll();
        return 0;
    }

    void WriteAll() {
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        for (;;) {
            WaitForSingleObject(wake_, INFINITE);
            for (;;) {
                std::string chunk;
                std::uint64_t dropped = 0;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (quit_) return;
                    chunk = lines_.Pending();
                    writing_ = !chunk.empty();
                    if (!writing_) {
                        dropped = lines_.TakeDropped();
                        SetEvent(drained_);
                    }
                }
                if (chunk.empty()) {
                    ReportKeyLines(dropped);
                    break;
                }
                DWORD written = 0;
                const BOOL ok = WriteFile(out, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
                std::lock_guard<std::mutex> lock(mutex_);
                writing_ = false;
                lines_.Written(written);
                if (!ok) {  // closed by its reader, or no output at all: nothing more goes out
                    gone_ = true;
                    SetEvent(drained_);
                    return;
                }
            }
        }
    }

    HANDLE wake_;     // auto-reset: lines wait, or the run ends
    HANDLE drained_;  // manual-reset: nothing waits
    HANDLE thread_ = nullptr;
    std::mutex mutex_;
    KeyLines lines_;
    bool writing_ = false;  // the thread is in WriteFile
    bool gone_ = false;
    bool quit_ = false;
};

// Queues the key lines as the window procedure gets them, and remembers the
// key held, to end it when the run ends.
struct Printer {
    LineWriter& writer;
    std::optional<HostKeyEvent> held;

    void Print(const HostKeyEvent& event) {
        if (event.value == ORBISK_KEY_RELEASE)
            held.reset();
        else
            held = event;
        writer.Add(event);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Printer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (const auto event = KeyEventFromMessage(message, wparam, lparam)) {
                self->Print(*event);
                return 0;
            }
        }
        return DefWindowProcA(window, message, wparam, lparam);
    }
};

// A top-level window, as a host has, never shown; without a display (Wine
// with no X server) a message-only window, which receives the same
// messages.
HWND CreateHostWindow(Printer& printer, std::string& error) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Printer::Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        error = "cannot register the host window's class: " + SystemErrorText(GetLastError());
        return nullptr;
    }
    HWND window = CreateWindowExA(0, kClassName, "orbisk run", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, &printer);
    if (window == nullptr)
        window = CreateWindowExA(0, kClassName, "orbisk run", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, &printer);
    if (window == nullptr) error = "cannot create the host window: " + SystemErrorText(GetLastError());
    return window;
}

// Serves the window's messages until Ctrl-C, the end of standard input or the
// deadline.
void ServeUntilEnd(HANDLE inputEnded, long long seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const HANDLE ends[2] = {ConsoleStopEvent(), inputEnded};
    const DWORD endCount = inputEnded != nullptr ? 2 : 1;
    for (;;) {
        DWORD timeoutMs = INFINITE;
        if (seconds > 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return;
            timeoutMs = static_cast<DWORD>(left);
        }
        const DWORD woken = MsgWaitForMultipleObjects(endCount, ends, FALSE, timeoutMs, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + endCount) return;  // an end, the deadline, or a failed wait
        // Sent messages are delivered inside PeekMessage.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// The texts of the message boxes the plug-in shows on this thread while a
// hook is set: the reports of a Start, as a line each.
std::string* g_boxTexts = nullptr;
HHOOK g_boxHook = nullptr;

BOOL CALLBACK CollectBoxText(HWND child, LPARAM texts) {
    char className[16] = {}, text[512] = {};
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0)
        reinterpret_cast<std::string*>(texts)->append(text).append("\n");
    return TRUE;
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wparam, LPARAM lparam) {
    const HWND box = reinterpret_cast<HWND>(wparam);
    char className[16] = {};
    if (code == HCBT_ACTIVATE && g_boxTexts != nullptr && GetClassNameA(box, className, sizeof className) > 0 &&
        lstrcmpA(className, "#32770") == 0)
        EnumChildWindows(box, CollectBoxText, reinterpret_cast<LPARAM>(g_boxTexts));
    return CallNextHookEx(g_boxHook, code, wparam, lparam);
}

}  // namespace

// Start reports its failures in message boxes, whose texts are taken as the
// user sees them; a running plug-in has threads of its own up.
StartOutcome StartPlugin(OrbiskVoidFn start) {
    HMODULE plugin = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(start), &plugin);
    const std::size_t threadsBefore = plugin != nullptr ? CountPluginThreads(plugin) : 0;
    StartOutcome outcome;
    g_boxTexts = &outcome.reports;
    g_boxHook = SetWindowsHookExA(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
    start();
    if (g_boxHook != nullptr) UnhookWindowsHookEx(g_boxHook);
    g_boxTexts = nullptr;
    outcome.running = plugin != nullptr && CountPluginThreads(plugin) > threadsBefore;
    return outcome;
}

int HostPlugin(LoadedPlugin& plugin, const std::string& pluginPath, const char* name, long long seconds) {
    const HANDLE stop = ConsoleStopEvent();
    auto* writer = new LineWriter;
    if (!writer->Start()) {
        delete writer;
        return Fail("run", "cannot start a thread: " + SystemErrorText(GetLastError()));
    }
    // However the run ends; a writer still waiting for its reader is left
    // to the end of the process.
    struct Finisher {
        LineWriter* writer;
        HANDLE stop;
        ~Finisher() {
            if (writer->Finish(stop)) delete writer;
        }
    } finisher{writer, stop};
    Printer printer{*writer, std::nullopt};
    std::string error;
    const HWND window = CreateHostWindow(printer, error);
    if (window == nullptr) return Fail("run", error);

    const HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    const char* description = plugin.Open(name, window, hostInfo.bytes);
    const StartOutcome start = StartPlugin(plugin.Start);
    if (const auto failed = ReportStart(start, description, pluginPath, plugin)) return *failed;

    // No standard input at all (a program started without a console) is
    // not an end.
    HANDLE inputEnded = nullptr;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input != nullptr && input != INVALID_HANDLE_VALUE) {
        inputEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const HANDLE watcher = CreateThread(nullptr, 0, WatchInput, inputEnded, 0, nullptr);
        if (watcher != nullptr) CloseHandle(watcher);  // left blocked in its read when the program ends
    }
    ServeUntilEnd(inputEnded, seconds);
    ResetEvent(stop);  // a second Ctrl-C cuts the last lines' second short
    // Stop serves a key message still on its way; the plug-in sends no
    // release for a key held now, and we end it ourselves.
    plugin.Stop();
    if (printer.held) {
        printer.held->value = ORBISK_KEY_RELEASE;
        printer.Print(*printer.held);
    }
    plugin.Close();
    DestroyWindow(window);
    return 0;
}

}  // namespace orbisk::tool
