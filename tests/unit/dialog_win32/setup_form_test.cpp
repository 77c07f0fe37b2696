// The native setup dialog with real Win32 controls, in its own modal loop:
// the layout read back from the windows, notifications from the controls
// reaching the settings and the saved file, the list's shortcuts, in-place
// editing, the engine's notices and closing.  Runs under Wine and Xvfb.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dialog/win32/resource.h"
#include "dialog/win32/setup_form.h"
#include "orbisk/host.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "support/fake_system.h"
#include "support/png_file.h"
#include "support/temp_dir.h"

namespace orbisk {
namespace {

using F = TSetupForm;

constexpr char kTvFile[] =
    "[Main]\r\nLastRemoteControl=TV\r\n[TV]\r\n0000001=Power\r\n0000002=Volume\r\n0000003=Mute\r\n"
    "[Amp]\r\n0000010=Input\r\n";

std::string Text(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Window enumeration: the first window for which the test holds.
struct Search {
    std::function<bool(HWND)> test;
    HWND found = nullptr;
};
BOOL CALLBACK Visit(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!search->test(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND ThreadWindowOfClass(const char* windowClass) {
    Search search{[windowClass](HWND hwnd) { return ClassOf(hwnd) == windowClass && IsWindowVisible(hwnd); }};
    EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class SetupFormTest : public ::testing::Test {
protected:
    SetupFormTest() : services{settings, dir.File("orbisk.ini"), [this] { calls += "start "; },
                               [this] { calls += "stop "; }} {
        host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               nullptr, nullptr);
        services.hostWindow = reinterpret_cast<OrbiskHostWindow*>(host);
    }
    ~SetupFormTest() override {
        form.reset();
        DestroyWindow(host);
    }

    // Runs the dialog modally over the file; each step runs from a timer
    // inside the dialog's (or a message box's) loop.  The last step's
    // dialog is closed with the Close button unless a step closed it.
    void Run(std::vector<std::function<void()>> script, const std::string& file = kTvFile) {
        test::WriteFile(services.settingsPath, file);
        form = TSetupForm::Create(services);
        ASSERT_NE(form, nullptr);
        script.push_back([this] { SendMessageA(Child(F::IdCloseButton), BM_CLICK, 0, 0); });
        steps = std::move(script);
        next = 0;
        running = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
        form->ShowModal();
        KillTimer(nullptr, timer);
        EXPECT_GE(next + 1, steps.size()) << "the dialog closed before its last step";
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (running->next < running->steps.size()) running->steps[running->next++]();
    }

    HWND Form() const { return static_cast<HWND>(form->Handle()); }
    HWND Child(int id) const {
        Search search{[id](HWND hwnd) { return GetDlgCtrlID(hwnd) == id; }};
        EnumChildWindows(Form(), Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    std::string Cell(int row, int column) const {
        char text[128] = {};
        LVITEMA item{};
        item.iSubItem = column, item.pszText = text, item.cchTextMax = sizeof text;
        SendMessageA(Child(F::IdListView), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    std::string Captions() const {
        std::string out;
        const auto rows = SendMessageA(Child(F::IdListView), LVM_GETITEMCOUNT, 0, 0);
        for (int row = 0; row < rows; ++row) out += (row ? " " : "") + Cell(row, 0);
        return out;
    }
    int Selected() const {
        return static_cast<int>(SendMessageA(Child(F::IdListView), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                             LVNI_SELECTED));
    }
    void ClickRow(int row) {
        HWND list = Child(F::IdListView);
        RECT place{LVIR_LABEL, 0, 0, 0};
        SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place));
        const LPARAM at = MAKELPARAM(place.left + 4, (place.top + place.bottom) / 2);
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(list, WM_LBUTTONUP, 0, at);
    }
    // A key as the keyboard delivers it: through the dialog's own loop.
    static void Key(HWND target, WPARAM key, bool shift = false) {
        SetFocus(target);
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(state);
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }
    void Arrow(int upDownId, bool up) {
        HWND upDown = Child(upDownId);
        const LPARAM at = MAKELPARAM(7, up ? 3 : 18);
        SendMessageA(upDown, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(upDown, WM_LBUTTONUP, 0, at);
    }
    HWND Editor() const { return reinterpret_cast<HWND>(SendMessageA(Child(F::IdListView), LVM_GETEDITCONTROL, 0, 0)); }
    IniDocument Saved() const { return IniFile(services.settingsPath).Load(); }

    static inline SetupFormTest* running = nullptr;
    test::FakeSystemServices system;
    test::TempDir dir;
    Settings settings;
    std::string calls;
    DialogServices services;
    HWND host = nullptr;
    std::unique_ptr<TSetupForm> form;
    std::vector<std::function<void()>> steps;
    std::size_t next = 0;
};

// --- Layout --------------------------------------------------------------

struct Placed {
    int id;
    const char* windowClass;
    int parent;  // 0: the form
    struct {
        int left, top, width = 0, height = 0;  // within the parent; a label has no size
    } rect;
    const char* caption;
    DWORD style;  // bits that must be set
};

// Exactly the layout tables: places within the parent, captions, kinds.
const Placed kLayout[] = {
    {F::IdPanel3, "TPanel", 0, {0, 0, 665, 65}, "", 0},
    {F::IdImage1, "Static", F::IdPanel3, {608, 8, 49, 49}, "", SS_BITMAP},
    {F::IdLabel11, "Static", F::IdPanel3, {32, 16}, "Orbisk", 0},
    {F::IdLabel12, "Static", F::IdPanel3, {48, 32}, "RAYCAP.QM devices support for Vantrel2", 0},
    {F::IdPanel4, "Static", 0, {0, 65, 665, 2}, "", SS_ETCHEDHORZ},
    {F::IdPanel2, "TPanel", 0, {0, 67, 241, 387}, "", 0},
    {F::IdGroupBox1, "Button", F::IdPanel2, {2, 2, 237, 145}, " Setup ", BS_GROUPBOX},
    {F::IdGroupBox4, "Button", F::IdPanel2, {2, 147, 237, 96}, " Timing ", BS_GROUPBOX},
    {F::IdGroupBox2, "Button", F::IdPanel2, {2, 243, 237, 72}, " Parameters ", BS_GROUPBOX},
    {F::IdTestGroup, "Button", F::IdPanel2, {2, 315, 237, 70}, " Monitoring ", BS_GROUPBOX},
    {F::IdListView, "SysListView32", 0, {243, 74, 420, 378}, "",
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS | WS_TABSTOP},
    {F::IdPanel1, "TPanel", 0, {0, 454, 665, 32}, "", 0},
    {F::IdCloseButton, "Button", F::IdPanel1, {2, 4, 75, 25}, "Close", WS_TABSTOP},
    {F::IdLabel1, "Static", F::IdGroupBox1, {8, 20}, "COM", 0},
    {F::IdEdit1, "Edit", F::IdGroupBox1, {36, 16, 25, 21}, "1", WS_TABSTOP},
    {F::IdComUpDown, "msctls_updown32", F::IdGroupBox1, {61, 16, 15, 21}, "", UDS_SETBUDDYINT | UDS_ARROWKEYS},
    {F::IdComRateComboBox, "ComboBox", F::IdGroupBox1, {80, 16, 97, 21}, "1200", CBS_DROPDOWNLIST | WS_TABSTOP},
    {F::IdResetButton, "Button", F::IdGroupBox1, {184, 16, 45, 21}, "Reset", WS_TABSTOP},
    {F::IdLabel5, "Static", F::IdGroupBox1, {8, 44}, "Interval (ms):", 0},
    {F::IdLabel2, "Static", F::IdGroupBox1, {8, 64}, "50", 0},
    {F::IdIRSpeedBar, "msctls_trackbar32", F::IdGroupBox1, {32, 60, 165, 25}, "",
     TBS_BOTTOM | TBS_AUTOTICKS | WS_TABSTOP},
    {F::IdLabel4, "Static", F::IdGroupBox1, {200, 64}, "500", 0},
    {F::IdHaltOnErrorCheckBox, "Button", F::IdGroupBox1, {8, 88, 145, 17}, "Execute on COM init error:",
     BS_AUTOCHECKBOX | WS_TABSTOP},
    {F::IdExecEdit, "Edit", F::IdGroupBox1, {8, 112, 221, 21}, "", WS_TABSTOP},
    {F::IdLabel7, "Static", F::IdGroupBox4, {8, 20}, "Wait before repeat:", 0},
    {F::IdEdit2, "Edit", F::IdGroupBox4, {128, 16, 33, 21}, "300", ES_READONLY},
    {F::IdWait1UpDown, "msctls_updown32", F::IdGroupBox4, {161, 16, 15, 21}, "", UDS_SETBUDDYINT},
    {F::IdLabel8, "Static", F::IdGroupBox4, {8, 44}, "Repeat period:", 0},
    {F::IdEdit3, "Edit", F::IdGroupBox4, {128, 40, 33, 21}, "100", ES_READONLY},
    {F::IdWaitNUpDown, "msctls_updown32", F::IdGroupBox4, {161, 40, 15, 21}, "", UDS_SETBUDDYINT},
    {F::IdLabel9, "Static", F::IdGroupBox4, {8, 68}, "Release timeout:", 0},
    {F::IdEdit4, "Edit", F::IdGroupBox4, {128, 64, 33, 21}, "200", ES_READONLY},
    {F::IdWaitRUpDown, "msctls_updown32", F::IdGroupBox4, {161, 64, 15, 21}, "", UDS_SETBUDDYINT},
    {F::IdLabel6, "Static", F::IdGroupBox2, {8, 20}, "Repeat signal length:", 0},
    {F::IdRepeatLengthEdit, "Edit", F::IdGroupBox2, {128, 16, 33, 21}, "1", ES_READONLY},
    {F::IdRepeatLengthUpDown, "msctls_updown32", F::IdGroupBox2, {161, 16, 15, 21}, "", UDS_SETBUDDYINT},
    {F::IdLabel10, "Static", F::IdGroupBox2, {8, 44}, "Skip bits:", 0},
    {F::IdSkipEdit, "Edit", F::IdGroupBox2, {128, 40, 33, 21}, "4", WS_TABSTOP},
    {F::IdSkipUpDown, "msctls_updown32", F::IdGroupBox2, {161, 40, 15, 21}, "", UDS_SETBUDDYINT},
    {F::IdCodeLabel1, "Static", F::IdTestGroup, {8, 20}, "Code:", 0},
    {F::IdCodeLabel, "Static", F::IdTestGroup, {44, 20}, "<unknown>", 0},
    {F::IdBitBtn2, "Button", F::IdTestGroup, {156, 14, 73, 21}, "Add ->", WS_TABSTOP},
    {F::IdLabel3, "Static", F::IdTestGroup, {8, 44}, "Remote control:", 0},
    {F::IdRemoteEdit, "ComboBox", F::IdTestGroup, {88, 40, 141, 21}, "<undefined>", CBS_DROPDOWN | WS_TABSTOP},
};

TEST_F(SetupFormTest, ControlsSitWhereTheLayoutTablesPutThem) {
    settings.COM = 1, settings.Interval = 400, settings.RepeatLength = 1, settings.COMRate = 1200;
    Run({[&] {
        // Read before FormShow loads anything but settings equal to the
        // controls' initial values: the captions are the tables' own.
        for (const Placed& p : kLayout) {
            SCOPED_TRACE(p.id);
            HWND control = Child(p.id);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(ClassOf(control), p.windowClass);
            EXPECT_EQ(GetDlgCtrlID(GetParent(control)), p.parent == 0 ? 0 : p.parent);
            EXPECT_EQ(p.parent == 0, GetParent(control) == Form());
            RECT r;
            GetWindowRect(control, &r);
            MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, p.rect.left);
            EXPECT_EQ(r.top, p.rect.top);
            if (p.rect.width != 0) {
                EXPECT_EQ(r.right - r.left, p.rect.width);
            }
            if (p.rect.height != 0) {
                EXPECT_EQ(r.bottom - r.top, p.rect.height);
            }
            EXPECT_EQ(Text(control), p.caption);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & p.style, p.style);
        }
    }}, "");
}

TEST_F(SetupFormTest, WindowIsAFixedCentredOwnedModalDialogInMsSansSerif) {
    Run({[&] {
        HWND w = Form();
        EXPECT_EQ(Text(w), "Orbisk v2.1");
        EXPECT_EQ(ClassOf(w), "TSetupForm");
        RECT client, frame;
        GetClientRect(w, &client);
        GetWindowRect(w, &frame);
        EXPECT_EQ(client.right * 1000 + client.bottom, 665486);
        const LONG style = GetWindowLongA(w, GWL_STYLE);
        EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), WS_SYSMENU);
        EXPECT_LE(std::abs((frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
        EXPECT_NE(SendMessageA(w, WM_GETICON, ICON_SMALL, 0), 0);
        // Modal over the host's window.
        EXPECT_EQ(GetWindow(w, GW_OWNER), host);
        EXPECT_FALSE(IsWindowEnabled(host));
        EXPECT_EQ(form->Handle(), w);
        // Common controls of version 6, named by the manifest the view
        // brings into every module that links it.
        HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
        ASSERT_NE(manifest, nullptr);
        const std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                               SizeofResource(nullptr, manifest));
        EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
        // The font the layout was measured in, 11 pixels, really realised.
        HDC dc = GetDC(w);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Child(F::IdLabel7), WM_GETFONT, 0, 0)));
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc, sizeof face, face);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(w, dc);
        EXPECT_STREQ(face, "MS Sans Serif");
        EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 11);
        // The list's columns and popup menu.
        const int widths[] = {120, 160, 120};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(SendMessageA(Child(F::IdListView), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0), widths[i]);
        SendMessageA(Form(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Child(F::IdListView)), MAKELPARAM(300, 200));
     }, [&] {
        HWND menu = ThreadWindowOfClass("#32768");
        ASSERT_NE(menu, nullptr);
        auto popup = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
        std::wstring items;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(popup, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            items += std::wstring(text) + L"|";
        }
        EXPECT_EQ(items, L"Add current key|Import remote\u2026|Export remote\u2026|Replace\tShift+Ins|Remove\tDel||Rename||Clear List|");
        EndMenu();
    }});
    EXPECT_TRUE(IsWindowEnabled(host));
    EXPECT_FALSE(IsWindowVisible(Form()));
}

// --- Settings ------------------------------------------------------------

TEST_F(SetupFormTest, ControlNotificationsReachTheSettingsAndTheFile) {
    settings.COM = 31, settings.Wait1 = 950, settings.COMRate = 9600, settings.Interval = 100;
    Run({[&] {
        EXPECT_EQ(Text(Child(F::IdEdit1)), "31");
        EXPECT_FALSE(IsWindowEnabled(Child(F::IdResetButton)));
        EXPECT_FALSE(IsWindowEnabled(Child(F::IdExecEdit)));
        Arrow(F::IdComUpDown, true);
        Arrow(F::IdComUpDown, true);  // at the bound
        EXPECT_EQ(settings.COM, 32);
        EXPECT_EQ(Text(Child(F::IdEdit1)), "32");
        EXPECT_TRUE(IsWindowEnabled(Child(F::IdResetButton)));
        SendMessageA(Child(F::IdResetButton), BM_CLICK, 0, 0);
        EXPECT_EQ(calls, "stop start ");
        EXPECT_FALSE(IsWindowEnabled(Child(F::IdResetButton)));
        Arrow(F::IdWait1UpDown, true);
        Arrow(F::IdWait1UpDown, true);
        EXPECT_EQ(settings.Wait1, 1000u);
        EXPECT_EQ(Text(Child(F::IdEdit2)), "1000");
        // Typed text is where the next step starts.
        SetWindowTextA(Child(F::IdSkipEdit), "10");
        Arrow(F::IdSkipUpDown, false);
        EXPECT_EQ(settings.SkipBegin, 8);
        SendMessageA(Child(F::IdHaltOnErrorCheckBox), BM_CLICK, 0, 0);
        EXPECT_TRUE(settings.HaltOnError);
        EXPECT_TRUE(IsWindowEnabled(Child(F::IdExecEdit)));
        SetWindowTextA(Child(F::IdExecEdit), "reset-port");
        EXPECT_EQ(settings.ExecOnError, "reset-port");
        Key(Child(F::IdComRateComboBox), VK_DOWN);
        Key(Child(F::IdIRSpeedBar), VK_NEXT);
    }, [&] {
        EXPECT_EQ(settings.COMRate, 19200);
        const auto position = SendMessageA(Child(F::IdIRSpeedBar), TBM_GETPOS, 0, 0);
        EXPECT_NE(position, 100);
        EXPECT_EQ(settings.Interval, position);
        EXPECT_TRUE(IsWindowEnabled(Child(F::IdResetButton)));
    }});
    const IniDocument saved = Saved();
    EXPECT_EQ(saved.ReadInteger("Main", "COM", 0), 32);
    EXPECT_EQ(saved.ReadInteger("Main", "COMRate", 0), 19200);
    EXPECT_EQ(saved.ReadString("Main", "ExecOnError", ""), "reset-port");
    EXPECT_EQ(saved.ReadString("TV", "0000001", ""), "Power");
}

// --- Code list -----------------------------------------------------------

TEST_F(SetupFormTest, ShortcutsActOnTheListAndNotInItsEditor) {
    Run({[&] {
        ClickRow(1);  // Mute
        ASSERT_EQ(Selected(), 1);
        Key(Child(F::IdListView), VK_DELETE);
    }, [&] {
        EXPECT_EQ(Captions(), "Input Power Volume");
        PostMessageA(Form(), ORBISK_KEY_DOWN_NOTICE, 0, 0xBEEF);
    }, [&] {
        ClickRow(2);  // Volume
        SetWindowTextA(Child(F::IdRemoteEdit), "Hifi");
        Key(Child(F::IdListView), VK_INSERT, true);
    }, [&] {
        EXPECT_EQ(Cell(2, 0) + "|" + Cell(2, 1) + "|" + Cell(2, 2), "Volume|Hifi|000BEEF");
        Key(Child(F::IdListView), VK_F2);
    }, [&] {
        ASSERT_NE(Editor(), nullptr);
        Key(Editor(), VK_DELETE);  // edits the text, removes no row
    }, [&] {
        EXPECT_EQ(Captions(), "Input Power Volume");
        Key(Editor(), VK_ESCAPE);
    }, [&] {
        EXPECT_EQ(Editor(), nullptr);
        EXPECT_EQ(Captions(), "Input Power Volume");
        // Enter and Esc outside the editor close nothing, and the dialog
        // messages they cause are not taken for the engine's notices.
        // Enter on a push button presses it.
        Key(Child(F::IdEdit1), VK_RETURN);
        Key(Child(F::IdListView), VK_ESCAPE);
        EnableWindow(Child(F::IdResetButton), TRUE);  // as after a change of port
        Key(Child(F::IdResetButton), VK_RETURN);
    }, [&] {
        EXPECT_TRUE(IsWindowVisible(Form()));
        EXPECT_EQ(calls, "stop start ");
        EXPECT_EQ(Text(Child(F::IdCodeLabel)), "000BEEF");
        EXPECT_EQ(Text(Child(F::IdTestGroup)), " Pressed ");
        Key(Child(F::IdCloseButton), VK_RETURN);
    }});
    EXPECT_EQ(next + 1, steps.size()) << "Enter on Close did not close the dialog";
}

TEST_F(SetupFormTest, ClearListAsksWithAQuestionBox) {
    std::vector<std::string> seen;
    std::vector<std::function<void()>> script;
    for (const int answer : {IDNO, IDCANCEL, IDYES}) {
        script.push_back([&] { PostMessageA(Form(), WM_COMMAND, F::IdClearList1, 0); });
        script.push_back([&, answer] {
            HWND box = ThreadWindowOfClass("#32770");
            ASSERT_NE(box, nullptr);
            seen.push_back(Text(box) + "|" + Text(GetDlgItem(box, 0xFFFF)));
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        });
        script.push_back([&, answer] { EXPECT_EQ(Captions().empty(), answer == IDYES); });
    }
    Run(script);
    EXPECT_EQ(seen, std::vector<std::string>(3, "Confirm delete|Do you really want to clear codes list?"));
    EXPECT_EQ(Saved().ReadString("TV", "0000001", "gone"), "gone");
}

TEST_F(SetupFormTest, ImportRemoteChoosesAFileShowsItsKeysAndAddsThem) {
    std::string ir = dir.File("Telly.ir");
    test::WriteFile(ir, "Filetype: IR signals file\nVersion: 1\n#\nname: Power\ntype: parsed\nprotocol: NEC\n"
                        "address: 04 00 00 00\ncommand: 08 00 00 00\n");
    std::replace(ir.begin(), ir.end(), '/', '\\');  // as typed into the Open dialog
    int previewRows = -1, waited = 0;
    // A step for the box that holds the control, again at the next tick
    // until the box is up.
    const auto await = [&](int control, std::function<void(HWND, HWND)> step) {
        return [&, control, step] {
            HWND box = ThreadWindowOfClass("#32770");
            HWND item = box != nullptr ? GetDlgItem(box, control) : nullptr;
            if (item == nullptr && ++waited < 500) return void(--next);
            ASSERT_NE(item, nullptr) << "no box with control " << control;
            waited = 0;
            step(box, item);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        };
    };
    Run({[&] { PostMessageA(Form(), WM_COMMAND, F::IdImportRemote, 0); },
         // The file name box of the common Open dialog (cmb13).
         await(0x47C, [&](HWND, HWND name) { SetWindowTextA(name, ir.c_str()); }),
         await(ORBISK_IMPORT_KEYS, [&](HWND preview, HWND keys) {
             previewRows = static_cast<int>(SendMessageA(keys, LVM_GETITEMCOUNT, 0, 0));
             SetDlgItemTextA(preview, ORBISK_IMPORT_NAME, "TV");
         }),
         [&] {
             EXPECT_EQ(Captions(), "Input Mute Power Power Volume");
             PostMessageA(Form(), WM_COMMAND, F::IdExportRemote, 0);
         },
         // Saved as a Flipper .ir file, the first type; the keys without a
         // frame are listed.
         await(0x47C, [&](HWND, HWND name) { SetWindowTextA(name, (ir.substr(0, ir.rfind('\\')) + "\\tv").c_str()); }),
         [&] {
             HWND box = ThreadWindowOfClass("#32770");
             if ((box == nullptr || Text(box) != ORBISK_DESCRIPTION) && ++waited < 500) return void(--next);
             ASSERT_NE(box, nullptr);
             EXPECT_NE(Text(GetDlgItem(box, 0xFFFF)).find("Volume (0000002)"), std::string::npos);
             PostMessageA(box, WM_COMMAND, IDOK, 0);
         }});
    EXPECT_NE(test::ReadFile(dir.File("tv.ir")).find("name: Power\n"), std::string::npos);
    EXPECT_EQ(previewRows, 1);
    EXPECT_EQ(Saved().SectionEntries("TV").size(), 4u);
}

// --- Learning ------------------------------------------------------------

TEST_F(SetupFormTest, LearningACodeEndToEnd) {
    Run({[&] {
        // The engine posts from its own thread.
        std::thread([this] {
            PostMessageA(Form(), ORBISK_KEY_DOWN_NOTICE, 0, 0x1A2B3C4);
            PostMessageA(Form(), ORBISK_KEY_UP_NOTICE, 0, 0);
        }).join();
    }, [&] {
        EXPECT_EQ(Text(Child(F::IdCodeLabel)), "1A2B3C4");
        EXPECT_EQ(Text(Child(F::IdTestGroup)), " Released ");
        EXPECT_EQ(Selected(), -1);
        SetWindowTextA(Child(F::IdRemoteEdit), "Hifi");
        SendMessageA(Child(F::IdBitBtn2), BM_CLICK, 0, 0);
        EXPECT_EQ(Cell(4, 0) + "|" + Cell(4, 1) + "|" + Cell(4, 2), "<new key>|Hifi|1A2B3C4");
        ASSERT_NE(Editor(), nullptr);
        SetWindowTextA(Editor(), "Aardvark");
        Key(Editor(), VK_RETURN);
    }, [&] {
        EXPECT_EQ(Editor(), nullptr);
        EXPECT_EQ(Captions(), "Input Aardvark Mute Power Volume");
        // A known code selects its row and switches the remote control.
        PostMessageA(Form(), ORBISK_KEY_DOWN_NOTICE, 0, 0x10);
    }, [&] {
        EXPECT_EQ(Selected(), 0);
        EXPECT_EQ(Text(Child(F::IdRemoteEdit)), "Amp");
        EXPECT_EQ(Editor(), nullptr);
        SendMessageA(Form(), WM_CLOSE, 0, 0);  // the close box saves as Close does
    }});
    const IniDocument saved = Saved();
    EXPECT_EQ(saved.ReadString("Hifi", "1A2B3C4", ""), "Aardvark");
    EXPECT_EQ(saved.ReadString("Main", "LastRemoteControl", ""), "Amp");
}

TEST_F(SetupFormTest, CloseWaitsForASaveThatWorksOrAChoiceToDiscard) {
    const std::string& path = services.settingsPath;
    std::string asked;
    Run({[&] {
        SetWindowTextA(Child(F::IdRemoteEdit), "Hifi");
        SendMessageA(Child(F::IdBitBtn2), BM_CLICK, 0, 0);
        SendMessageA(Child(F::IdListView), LVM_CANCELEDITLABEL, 0, 0);
        // The file cannot be replaced while a folder stands in its place.
        DeleteFileA(path.c_str());
        CreateDirectoryA(path.c_str(), nullptr);
        SendMessageA(Child(F::IdCloseButton), BM_CLICK, 0, 0);
    }, [&] {
        HWND box = ThreadWindowOfClass("#32770");
        ASSERT_NE(box, nullptr);
        asked = Text(box);
        PostMessageA(box, WM_CLOSE, 0, 0);  // back to the dialog
    }, [&] {
        EXPECT_TRUE(IsWindowVisible(Form()));
        RemoveDirectoryA(path.c_str());
    }});
    EXPECT_EQ(asked, ORBISK_DESCRIPTION);
    EXPECT_EQ(Saved().ReadString("Hifi", "0000000", ""), "<new key>");
}

TEST_F(SetupFormTest, NoticesBeforeTheDialogShowsAreHandledAfterAndAFloodPostsOnce) {
    test::WriteFile(services.settingsPath, kTvFile);
    auto factory = MakeSetupDialogFactory(system);
    std::unique_ptr<SetupDialog> dialog = factory->Create(services);
    ASSERT_NE(dialog, nullptr);
    HWND w = static_cast<HWND>(dialog->Handle());
    for (std::uint32_t noise = 0x100; noise < 0x100 + 10000; ++noise)
        dialog->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, noise);
    dialog->PostNotice(ORBISK_KEY_DOWN_NOTICE, 0, 2);
    MSG msg;
    int posted = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        posted += msg.hwnd == w;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(posted, 1);
    PostMessageA(w, WM_CLOSE, 0, 0);
    dialog->ShowModal();
    EXPECT_EQ(Saved().ReadString("Main", "LastRemoteControl", ""), "TV");
    char code[32] = {};
    GetWindowTextA(GetDlgItem(GetDlgItem(GetDlgItem(w, F::IdPanel2), F::IdTestGroup), F::IdCodeLabel), code, 32);
    EXPECT_STREQ(code, "0000002");
}

TEST_F(SetupFormTest, TheOwnerGoingEndsTheDialogWhichSaves) {
    test::WriteFile(services.settingsPath, kTvFile);
    form = TSetupForm::Create(services);
    ASSERT_NE(form, nullptr);
    steps = {[&] {
                 SetWindowTextA(Child(F::IdRemoteEdit), "Hifi");
                 DestroyWindow(host);
                 host = nullptr;
             },
             [&] {
                 ADD_FAILURE() << "the dialog outlived its owner";
                 PostQuitMessage(0);
             }};
    next = 0;
    running = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    form->ShowModal();
    KillTimer(nullptr, timer);
    EXPECT_EQ(Saved().ReadString("Main", "LastRemoteControl", ""), "Hifi");
}

// Writes a picture of the dialog when ORBISK_DIALOG_PNG names a file.
TEST_F(SetupFormTest, Picture) {
    const char* path = std::getenv("ORBISK_DIALOG_PNG");
    if (path == nullptr) GTEST_SKIP() << "set ORBISK_DIALOG_PNG to write a picture";
    settings.HaltOnError = true;
    settings.ExecOnError = "C:\\Tools\\reset-receiver.exe";
    Run({[&] { PostMessageA(Form(), ORBISK_KEY_DOWN_NOTICE, 0, 2); }, [] {}, [] {}, [&] {
        RECT frame;
        GetWindowRect(Form(), &frame);
        EXPECT_TRUE(test::WritePng(path, test::CaptureScreen(frame)));
    }});
}

}  // namespace
}  // namespace orbisk
