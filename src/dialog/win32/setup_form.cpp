#include "dialog/win32/setup_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <utility>

#include "dialog/win32/import_preview.h"
#include "dialog/win32/pictures.h"
#include "platform/win32/wide_text.h"
#include "orbisk/host.h"

namespace orbisk {

namespace {

constexpr char FormClass[] = "TSetupForm";
constexpr char PanelClass[] = "TPanel";
constexpr char Caption[] = "Orbisk v" ORBISK_VERSION_SHORT;
constexpr int ClientWidth = 665;
constexpr int ClientHeight = 486;
constexpr DWORD FormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD FormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// What the queue hook turns the engine's notices into, and the message that
// hands an accepted caption edit to the presenter once its editor is gone.
constexpr UINT KeyDownMessage = TSetupForm::NoticeBase + (ORBISK_KEY_DOWN_NOTICE - WM_USER);
constexpr UINT KeyUpMessage = TSetupForm::NoticeBase + (ORBISK_KEY_UP_NOTICE - WM_USER);
constexpr UINT EditAcceptedMessage = TSetupForm::NoticeBase + 2;
// Wakes the form for the engine's notices waiting in its mailbox.
constexpr UINT NoticesWaitingMessage = TSetupForm::NoticeBase + 3;

ATOM formAtom = 0;
int classUsers = 0;  // forms alive; the classes go with the last of them

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Containers pass their children's notifications on to the form, so that
// one window procedure sees every control.
bool ForwardsToParent(UINT message) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (ForwardsToParent(message)) return SendMessageA(GetParent(hwnd), message, wparam, lparam);
    if (message == WM_ERASEBKGND) {
        // A panel's colour is its window data: a brush, or none for the
        // button face.
        auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        RECT all;
        GetClientRect(hwnd, &all);
        FillRect(reinterpret_cast<HDC>(wparam), &all, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK GroupProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    if (ForwardsToParent(message)) return SendMessageA(GetParent(hwnd), message, wparam, lparam);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, GroupProc, 0);
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

// The in-place editor of the code list: Esc is the only way an edit is
// cancelled by the user, so it is noted before the list ends the edit.
LRESULT CALLBACK EditorProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR cancelled) {
    if (message == WM_KEYDOWN && wparam == VK_ESCAPE) *reinterpret_cast<bool*>(cancelled) = true;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, EditorProc, 0);
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

bool IsForm(HWND hwnd) {
    return hwnd != nullptr && formAtom != 0 && static_cast<ATOM>(GetClassLongPtrA(hwnd, GCW_ATOM)) == formAtom;
}

// Posted notices 1024 and 1025 share their numbers with DM_GETDEFID and
// DM_SETDEFID, which IsDialogMessage sends to the form on Enter and Tab.
// Every message loop of this thread (the form's, a message box's, a menu's)
// passes posted messages through here before dispatching them, so a notice
// is renumbered on its way out of the queue and a sent dialog message can
// never be taken for one.
LRESULT CALLBACK QueueHook(int code, WPARAM removal, LPARAM lparam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        auto* msg = reinterpret_cast<MSG*>(lparam);
        if ((msg->message == ORBISK_KEY_DOWN_NOTICE || msg->message == ORBISK_KEY_UP_NOTICE) && IsForm(msg->hwnd))
            msg->message = TSetupForm::NoticeBase + (msg->message - WM_USER);
    }
    return CallNextHookEx(nullptr, code, removal, lparam);
}

bool RegisterClasses(HINSTANCE instance, WNDPROC formProc) {
    if (classUsers++ > 0) return true;
    WNDCLASSEXA form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = formProc;
    form.hInstance = instance;
    form.hCursor = LoadCursor(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = FormClass;
    WNDCLASSEXA panel = form;
    panel.lpfnWndProc = PanelProc;
    panel.lpszClassName = PanelClass;
    formAtom = RegisterClassExA(&form);
    const ATOM panelAtom = RegisterClassExA(&panel);
    return formAtom != 0 && panelAtom != 0;
}

void UnregisterClasses(HINSTANCE instance) {
    if (--classUsers > 0) return;
    // A library unloaded and loaded again at another address must not find
    // its old window procedures registered.
    UnregisterClassA(FormClass, instance);
    UnregisterClassA(PanelClass, instance);
    formAtom = 0;
}

HANDLE CreateOwnActivationContext(HMODULE module) {
    // Wide: the library's folder may have no name in the ANSI code page.
    std::wstring path(32768, L'\0');
    GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.hModule = module;
    context.lpResourceName = MAKEINTRESOURCEW(2);
    return CreateActCtxW(&context);
}

// The common controls of version 6, named in the module's embedded
// manifest, for whatever the form creates or shows while this lives.
class ActivationScope {
public:
    explicit ActivationScope(HANDLE context) {
        if (context != INVALID_HANDLE_VALUE && !ActivateActCtx(context, &cookie_)) cookie_ = 0;
    }
    ~ActivationScope() {
        if (cookie_ != 0) DeactivateActCtx(0, cookie_);
    }
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
};

}  // namespace

std::unique_ptr<TSetupForm> TSetupForm::Create(DialogServices& services) {
    std::unique_ptr<TSetupForm> form(new TSetupForm(services));
    if (!form->CreateWindowAndControls()) return nullptr;
    return form;
}

TSetupForm::TSetupForm(DialogServices& services) : services_(services), presenter_(services, *this) {}

TSetupForm::~TSetupForm() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (queueHook_ != nullptr) UnhookWindowsHookEx(queueHook_);
    if (PopupMenu1 != nullptr) DestroyMenu(PopupMenu1);
    if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(titleFont_),
                           static_cast<HGDIOBJ>(logo_), static_cast<HGDIOBJ>(white_)})
        if (object != nullptr) DeleteObject(object);
    UnregisterClasses(OwnModule());
    if (icon_ != nullptr) DestroyIcon(icon_);
    if (activation_ != INVALID_HANDLE_VALUE) ReleaseActCtx(activation_);
}

bool TSetupForm::CreateWindowAndControls() {
    const HMODULE module = OwnModule();
    activation_ = CreateOwnActivationContext(module);
    ActivationScope scope(activation_);
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES |
                                                     ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);

    icon_ = win32::DrawWindowIcon();
    if (!RegisterClasses(module, WindowProc)) {
        UnregisterClasses(module);
        return false;
    }
    // The layout is in pixels: MS Sans Serif of 8 points is 11 pixels high
    // at 96 dots per inch, whatever the screen's setting.
    font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    titleFont_ = CreateFontA(-13, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    white_ = CreateSolidBrush(RGB(255, 255, 255));
    logo_ = win32::DrawLogo();

    RECT frame{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, FormStyle, FALSE, FormExStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    // Owned by the host's window, as the host's own dialogs are.
    HWND owner = reinterpret_cast<HWND>(services_.hostWindow);
    hwnd_ = CreateWindowExA(FormExStyle, FormClass, Caption, FormStyle, left, top, width, height, owner, nullptr,
                            module, this);
    // A window that cannot own another (a message-only one) leaves the
    // dialog without an owner rather than without a dialog.
    if (hwnd_ == nullptr && owner != nullptr)
        hwnd_ = CreateWindowExA(FormExStyle, FormClass, Caption, FormStyle, left, top, width, height, nullptr,
                                nullptr, module, this);
    if (hwnd_ == nullptr) return false;
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    CreateControls();
    queueHook_ = SetWindowsHookExA(WH_GETMESSAGE, QueueHook, nullptr, GetCurrentThreadId());
    return queueHook_ != nullptr;
}

HWND TSetupForm::Make(HWND parent, const char* windowClass, const char* caption, DWORD style, int left, int top,
                      int width, int height, int id, DWORD exStyle) {
    HWND control = CreateWindowExA(exStyle, windowClass, caption, WS_CHILD | WS_VISIBLE | style, left, top, width,
                                   height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   OwnModule(), nullptr);
    if (control != nullptr) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void TSetupForm::FitLabel(HWND label) {
    // Labels take the size of their text, as auto-sized labels do.
    const std::string text = WindowText(label);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, metrics.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TSetupForm::MakeLabel(HWND parent, const char* caption, int left, int top, int id) {
    HWND label = Make(parent, "STATIC", caption, SS_LEFT | SS_NOPREFIX, left, top, 1, 1, id);
    FitLabel(label);
    return label;
}

HWND TSetupForm::MakePanel(int left, int top, int width, int height, int id, HBRUSH colour) {
    HWND panel = Make(hwnd_, PanelClass, "", 0, left, top, width, height, id, WS_EX_CONTROLPARENT);
    SetWindowLongPtrA(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(colour));
    return panel;
}

HWND TSetupForm::MakeGroup(HWND parent, const char* caption, int top, int height, int id) {
    // Panel2 keeps a border of 2 pixels around its group boxes.
    HWND group = Make(parent, "BUTTON", caption, BS_GROUPBOX, 2, top, 237, height, id, WS_EX_CONTROLPARENT);
    SetWindowSubclass(group, GroupProc, 0, 0);
    return group;
}

HWND TSetupForm::MakeEdit(HWND parent, const char* text, int left, int top, int width, bool readOnly, int id) {
    return Make(parent, "EDIT", text, WS_TABSTOP | ES_AUTOHSCROLL | (readOnly ? ES_READONLY : 0), left, top, width,
                21, id, WS_EX_CLIENTEDGE);
}

HWND TSetupForm::MakeUpDown(HWND parent, HWND buddy, Control control, int position, int left, int top, int id) {
    // Placed by the layout beside its buddy, not attached to it; the buddy
    // shows the position as a plain number.
    HWND upDown = Make(parent, UPDOWN_CLASSA, "", UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, left, top, 15,
                       21, id);
    const UpDownRange range = RangeOf(control);
    SendMessageA(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessageA(upDown, UDM_SETRANGE32, static_cast<WPARAM>(range.min), range.max);
    UDACCEL step{0, static_cast<UINT>(range.step)};
    SendMessageA(upDown, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
    SendMessageA(upDown, UDM_SETPOS32, 0, position);
    // Some versions widen an up-down when it gets its buddy.
    SetWindowPos(upDown, nullptr, left, top, 15, 21, SWP_NOZORDER | SWP_NOACTIVATE);
    return upDown;
}

void TSetupForm::CreateControls() {
    ++quiet_;
    // Created in keyboard order: Panel1, ListView, Panel2, Panel3, Panel4.
    Panel1 = MakePanel(0, 454, 665, 32, IdPanel1, nullptr);
    // Neither the default nor the cancel button: Enter and Esc never press it.
    CloseButton = Make(Panel1, "BUTTON", "Close", WS_TABSTOP | BS_PUSHBUTTON, 2, 4, 75, 25, IdCloseButton);

    ListView = Make(hwnd_, WC_LISTVIEWA, "",
                    WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS | LVS_OWNERDATA, 243,
                    74, 420,
                    378, IdListView, WS_EX_CLIENTEDGE);
    SendMessageA(ListView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const std::pair<const char*, int> columns[] = {{"Key", 120}, {"Remote Control", 160}, {"Code", 120}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(columns[i].first);
        column.cx = columns[i].second;
        column.iSubItem = i;
        SendMessageA(ListView, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }

    Panel2 = MakePanel(0, 67, 241, 387, IdPanel2, nullptr);
    GroupBox1 = MakeGroup(Panel2, " Setup ", 2, 145, IdGroupBox1);
    Label1 = MakeLabel(GroupBox1, "COM", 8, 20, IdLabel1);
    Edit1 = MakeEdit(GroupBox1, "1", 36, 16, 25, false, IdEdit1);
    ComUpDown = MakeUpDown(GroupBox1, Edit1, Control::ComUpDown, 1, 61, 16, IdComUpDown);
    // The height given is the closed box and its list together; the closed
    // box is as high as the font makes it.
    ComRateComboBox = Make(GroupBox1, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 80, 16, 97, 160,
                           IdComRateComboBox);
    for (std::string_view rate : ComRateItems)
        SendMessageA(ComRateComboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::string(rate).c_str()));
    SendMessageA(ComRateComboBox, CB_SETCURSEL, 0, 0);
    ResetButton = Make(GroupBox1, "BUTTON", "Reset", WS_TABSTOP | BS_PUSHBUTTON, 184, 16, 45, 21, IdResetButton);
    Label5 = MakeLabel(GroupBox1, "Interval (ms):", 8, 44, IdLabel5);
    Label2 = MakeLabel(GroupBox1, "50", 8, 64, IdLabel2);
    IRSpeedBar = Make(GroupBox1, TRACKBAR_CLASSA, "",
                      WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS | TBS_FIXEDLENGTH, 32, 60, 165, 25,
                      IdIRSpeedBar);
    SendMessageA(IRSpeedBar, TBM_SETRANGEMIN, FALSE, IRSpeedMin);
    SendMessageA(IRSpeedBar, TBM_SETRANGEMAX, FALSE, IRSpeedMax);
    SendMessageA(IRSpeedBar, TBM_SETPAGESIZE, 0, IRSpeedPage);
    SendMessageA(IRSpeedBar, TBM_SETTICFREQ, 25, 0);
    SendMessageA(IRSpeedBar, TBM_SETTHUMBLENGTH, 10, 0);
    SendMessageA(IRSpeedBar, TBM_SETPOS, TRUE, speedBarPosition_);
    Label4 = MakeLabel(GroupBox1, "500", 200, 64, IdLabel4);
    HaltOnErrorCheckBox = Make(GroupBox1, "BUTTON", "Execute on COM init error:", WS_TABSTOP | BS_AUTOCHECKBOX, 8,
                               88, 145, 17, IdHaltOnErrorCheckBox);
    ExecEdit = MakeEdit(GroupBox1, "", 8, 112, 221, false, IdExecEdit);

    GroupBox4 = MakeGroup(Panel2, " Timing ", 147, 96, IdGroupBox4);
    Label7 = MakeLabel(GroupBox4, "Wait before repeat:", 8, 20, IdLabel7);
    Edit2 = MakeEdit(GroupBox4, "300", 128, 16, 33, true, IdEdit2);
    Wait1UpDown = MakeUpDown(GroupBox4, Edit2, Control::Wait1UpDown, 300, 161, 16, IdWait1UpDown);
    Label8 = MakeLabel(GroupBox4, "Repeat period:", 8, 44, IdLabel8);
    Edit3 = MakeEdit(GroupBox4, "100", 128, 40, 33, true, IdEdit3);
    WaitNUpDown = MakeUpDown(GroupBox4, Edit3, Control::WaitNUpDown, 100, 161, 40, IdWaitNUpDown);
    Label9 = MakeLabel(GroupBox4, "Release timeout:", 8, 68, IdLabel9);
    Edit4 = MakeEdit(GroupBox4, "200", 128, 64, 33, true, IdEdit4);
    WaitRUpDown = MakeUpDown(GroupBox4, Edit4, Control::WaitRUpDown, 200, 161, 64, IdWaitRUpDown);

    TestGroup = MakeGroup(Panel2, " Monitoring ", 315, 70, IdTestGroup);
    CodeLabel1 = MakeLabel(TestGroup, "Code:", 8, 20, IdCodeLabel1);
    CodeLabel = MakeLabel(TestGroup, "<unknown>", 44, 20, IdCodeLabel);
    BitBtn2 = Make(TestGroup, "BUTTON", "Add ->", WS_TABSTOP | BS_PUSHBUTTON, 156, 14, 73, 21, IdBitBtn2);
    Label3 = MakeLabel(TestGroup, "Remote control:", 8, 44, IdLabel3);
    RemoteEdit = Make(TestGroup, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 88, 40,
                      141, 160, IdRemoteEdit);
    SetWindowTextA(RemoteEdit, "<undefined>");

    GroupBox2 = MakeGroup(Panel2, " Parameters ", 243, 72, IdGroupBox2);
    Label6 = MakeLabel(GroupBox2, "Repeat signal length:", 8, 20, IdLabel6);
    RepeatLengthEdit = MakeEdit(GroupBox2, "1", 128, 16, 33, true, IdRepeatLengthEdit);
    RepeatLengthUpDown =
        MakeUpDown(GroupBox2, RepeatLengthEdit, Control::RepeatLengthUpDown, 1, 161, 16, IdRepeatLengthUpDown);
    Label10 = MakeLabel(GroupBox2, "Skip bits:", 8, 44, IdLabel10);
    SkipEdit = MakeEdit(GroupBox2, "4", 128, 40, 33, false, IdSkipEdit);
    SkipUpDown = MakeUpDown(GroupBox2, SkipEdit, Control::SkipUpDown, 4, 161, 40, IdSkipUpDown);

    // The header: white, the logo on the right, a lowered line under it.
    Panel3 = MakePanel(0, 0, 665, 65, IdPanel3, white_);
    Image1 = Make(Panel3, "STATIC", "", SS_BITMAP, 608, 8, 49, 49, IdImage1);
    SendMessageA(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));
    Label11 = MakeLabel(Panel3, "Orbisk", 32, 16, IdLabel11);
    SendMessageA(Label11, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_), FALSE);
    FitLabel(Label11);
    Label12 = MakeLabel(Panel3, "RAYCAP.QM devices support for Vantrel2", 48, 32, IdLabel12);
    Panel4 = Make(hwnd_, "STATIC", "", SS_ETCHEDHORZ, 0, 65, 665, 2, IdPanel4);
    SetWindowPos(Panel4, nullptr, 0, 65, 665, 2, SWP_NOZORDER | SWP_NOACTIVATE);

    // The list's popup menu and its shortcuts.
    PopupMenu1 = CreatePopupMenu();
    AppendMenuA(PopupMenu1, MF_STRING, IdAddCurrentKey, "Add current key");
    // Wide: the ellipsis is in no single-byte code page but some.
    AppendMenuW(PopupMenu1, MF_STRING, IdImportRemote, L"Import remote\u2026");
    AppendMenuW(PopupMenu1, MF_STRING, IdExportRemote, L"Export remote\u2026");
    AppendMenuA(PopupMenu1, MF_STRING, IdReplace1, "Replace\tShift+Ins");
    AppendMenuA(PopupMenu1, MF_STRING, IdRemoveKey, "Remove\tDel");
    AppendMenuA(PopupMenu1, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(PopupMenu1, MF_STRING, IdRenameKey, "Rename");
    AppendMenuA(PopupMenu1, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(PopupMenu1, MF_STRING, IdClearList1, "Clear List");
    // F2 renames as in every other Windows list.
    ACCEL keys[] = {{FVIRTKEY | FSHIFT, VK_INSERT, IdReplace1},
                    {FVIRTKEY, VK_DELETE, IdRemoveKey},
                    {FVIRTKEY, VK_F2, IdRenameKey}};
    accelerators_ = CreateAcceleratorTableA(keys, 3);

    Hint = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, OwnModule(), nullptr);
    if (Hint != nullptr) {
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(ListView);
        tool.lpszText = const_cast<char*>("Right click for menu");
        SendMessageA(Hint, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    --quiet_;
}

HWND TSetupForm::UpDownFor(Control control) const {
    switch (control) {
    case Control::ComUpDown: return ComUpDown;
    case Control::Wait1UpDown: return Wait1UpDown;
    case Control::WaitNUpDown: return WaitNUpDown;
    case Control::WaitRUpDown: return WaitRUpDown;
    case Control::RepeatLengthUpDown: return RepeatLengthUpDown;
    case Control::SkipUpDown: return SkipUpDown;
    default: return nullptr;
    }
}

Control TSetupForm::UpDownControl(int id) const {
    switch (id) {
    case IdComUpDown: return Control::ComUpDown;
    case IdWait1UpDown: return Control::Wait1UpDown;
    case IdWaitNUpDown: return Control::WaitNUpDown;
    case IdWaitRUpDown: return Control::WaitRUpDown;
    case IdRepeatLengthUpDown: return Control::RepeatLengthUpDown;
    default: return Control::SkipUpDown;
    }
}

// --- The modal run -------------------------------------------------------

void TSetupForm::ShowModal() {
    ActivationScope scope(activation_);
    presenter_.FormShow();
    loaded_ = true;
    notices_.Deliver(presenter_);

    // The owner stays disabled while the dialog runs, as under any modal
    // dialog, and is enabled again before the dialog hides so that it, not
    // some other window, becomes active.
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    const bool disableOwner = owner != nullptr && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);

    closing_ = false;
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (!closing_) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The application is ending: the dialog closes and saves, and the
            // request goes on to the host's own loop.
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1) break;
        if (PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (disableOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
    if (std::exchange(loaded_, false)) presenter_.FormHide();
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

void TSetupForm::Close() {
    if (asking_) return;
    asking_ = true;
    if (!loaded_ || presenter_.FormCloseQuery()) closing_ = true;
    asking_ = false;
}

bool TSetupForm::PreTranslate(MSG& msg) {
    // Enter and Esc belong to an open caption editor.
    if (editor_ != nullptr && msg.hwnd == editor_ && (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) &&
        (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE))
        return false;
    // The list's shortcuts act while the list itself has the focus.
    if (GetFocus() == ListView && TranslateAcceleratorA(hwnd_, accelerators_, &msg)) return true;
    // Enter presses the push button that has the focus, as in any dialog.
    // IsDialogMessage would send IDOK instead: the form is no dialog box,
    // whose default button follows the focus.  The button's own notice goes
    // the way the dialog manager sends it.
    const auto pushButton = [this](HWND control) {
        return IsChild(hwnd_, control) && IsWindowEnabled(control) &&
               (SendMessageA(control, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
    };
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && pushButton(msg.hwnd)) {
        SendMessageA(GetParent(msg.hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(msg.hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(msg.hwnd));
        return true;
    }
    // Tab, arrows and mnemonics as in any dialog.  Enter elsewhere and Esc
    // reach the form as IDOK and IDCANCEL, which it ignores: nothing closes
    // by them.
    return IsDialogMessageA(hwnd_, &msg) != FALSE;
}

void TSetupForm::PostNotice(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) {
    if (notices_.Put(message, wparam, lparam)) PostMessageA(hwnd_, NoticesWaitingMessage, 0, 0);
}

// --- Window procedure ----------------------------------------------------

LRESULT CALLBACK TSetupForm::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TSetupForm*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TSetupForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    return form->WndProc(message, wparam, lparam);
}

LRESULT TSetupForm::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case KeyDownMessage:
    case KeyUpMessage:
        // A notice posted to the window as a message of its own (1024 or
        // 1025) joins the engine's in the mailbox.
        notices_.Put(message - NoticeBase + WM_USER, static_cast<std::uint32_t>(wparam),
                     static_cast<std::uint32_t>(lparam));
        [[fallthrough]];
    case NoticesWaitingMessage:
        // A notice can come before the dialog has loaded its list; it waits
        // for FormShow rather than being lost.
        if (loaded_) notices_.Deliver(presenter_);
        return 0;
    case EditAcceptedMessage:
        if (std::optional<CaptionEdit> edit = std::exchange(accepted_, std::nullopt))
            presenter_.ListViewEdited(edit->row, edit->text);
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wparam), HIWORD(wparam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lparam) == IRSpeedBar) {
            // Every move of the thumb, by mouse or key, ends here; only a
            // new position is a change.
            const int position = static_cast<int>(SendMessageA(IRSpeedBar, TBM_GETPOS, 0, 0));
            if (position != speedBarPosition_) {
                speedBarPosition_ = position;
                if (quiet_ == 0) presenter_.IRSpeedBarChange(position);
            }
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The header's labels sit on white.
        if (GetParent(reinterpret_cast<HWND>(lparam)) == Panel3) {
            SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(white_);
        }
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wparam) == ListView) {
            ShowPopupMenu(lparam);
            return 0;
        }
        break;
    case WM_ACTIVATE:
        // Keep the focused control across a switch to another window, as a
        // dialog does.
        if (LOWORD(wparam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
        } else if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_CLOSE:
        // The close box, Alt+F4 and the system menu close as the Close
        // button does.
        Close();
        return 0;
    case WM_DESTROY:
        // The owner went with the dialog up (a host that closes its window):
        // the dialog saves while its controls still exist, and its modal
        // loop ends.
        if (std::exchange(loaded_, false)) presenter_.FormHide();
        closing_ = true;
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wparam, lparam);
}

void TSetupForm::OnCommand(int id, int code) {
    switch (id) {
    case IdCloseButton:
        if (code == BN_CLICKED) Close();
        break;
    case IdResetButton:
        if (code == BN_CLICKED) presenter_.ResetButtonClick();
        break;
    case IdComRateComboBox:
        if (code == CBN_SELCHANGE && quiet_ == 0) {
            const auto index = static_cast<int>(SendMessageA(ComRateComboBox, CB_GETCURSEL, 0, 0));
            if (index >= 0 && index < static_cast<int>(ComRateItems.size()))
                presenter_.ComRateComboBoxChange(ComRateItems[static_cast<std::size_t>(index)]);
        }
        break;
    case IdHaltOnErrorCheckBox:
        if (code == BN_CLICKED && quiet_ == 0)
            presenter_.HaltOnErrorCheckBoxClick(SendMessageA(HaltOnErrorCheckBox, BM_GETCHECK, 0, 0) == BST_CHECKED);
        break;
    case IdExecEdit:
        if (code == EN_CHANGE && quiet_ == 0) presenter_.ExecEditChange(WindowText(ExecEdit));
        break;
    case IdBitBtn2:
        if (code == BN_CLICKED) presenter_.AddCurrentKeyClick();
        break;
    case IdAddCurrentKey: presenter_.AddCurrentKeyClick(); break;
    case IdImportRemote: presenter_.ImportRemoteClick(); break;
    case IdExportRemote: presenter_.ExportRemoteClick(); break;
    case IdReplace1: presenter_.Replace1Click(); break;
    case IdRemoveKey: presenter_.RemoveKeyClick(); break;
    case IdRenameKey: presenter_.RenameKeyClick(); break;
    case IdClearList1: presenter_.ClearList1Click(); break;
    default: break;  // IDOK and IDCANCEL from Enter and Esc among them
    }
}

LRESULT TSetupForm::OnNotify(const NMHDR& header) {
    switch (header.code) {
    case UDN_DELTAPOS: {
        if (quiet_ > 0) return 0;
        const auto& step = reinterpret_cast<const NMUPDOWN&>(header);
        const Control control = UpDownControl(static_cast<int>(header.idFrom));
        // The proposed position; a step past the range stops at the bound in
        // the control, and the presenter stores that bound.
        const int proposed = step.iPos + step.iDelta;
        return presenter_.UpDownChangingEx(control, ClampToRange(control, proposed)) ? 0 : 1;
    }
    case LVN_GETDISPINFOA:
        // The list holds no text of its own: it asks for a cell's text when
        // it shows it, so that filling it costs nothing however many rows.
        if (header.hwndFrom == ListView) {
            LVITEMA& item = const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(header)).item;
            const auto row = static_cast<std::size_t>(item.iItem);
            if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0 && row < rows_.size()) {
                const CodeRow& cells = rows_[row];
                const std::string& text = item.iSubItem == 0 ? cells.caption : item.iSubItem == 1 ? cells.remote : cells.code;
                lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
            }
        }
        return 0;
    case LVN_BEGINLABELEDITA:
    case LVN_BEGINLABELEDITW:
        if (header.hwndFrom != ListView) break;
        editor_ = reinterpret_cast<HWND>(SendMessageA(ListView, LVM_GETEDITCONTROL, 0, 0));
        editRow_ = reinterpret_cast<const NMLVDISPINFOA&>(header).item.iItem;
        editCancelled_ = false;
        if (editor_ != nullptr)
            SetWindowSubclass(editor_, EditorProc, 0, reinterpret_cast<DWORD_PTR>(&editCancelled_));
        return FALSE;
    case LVN_ENDLABELEDITA:
    case LVN_ENDLABELEDITW:
        if (header.hwndFrom != ListView) break;
        OnEndLabelEdit();
        // The list keeps its text: the presenter decides what the rows hold.
        return FALSE;
    case HDN_ITEMCHANGINGA:
    case HDN_ITEMCHANGINGW: {
        // No column narrower than 80 pixels.
        const auto& change = reinterpret_cast<const NMHEADERA&>(header);
        if (change.pitem != nullptr && (change.pitem->mask & HDI_WIDTH) != 0 && change.pitem->cxy < 80) return TRUE;
        break;
    }
    default: break;
    }
    return 0;
}

void TSetupForm::OnEndLabelEdit() {
    HWND editor = std::exchange(editor_, nullptr);
    const int row = std::exchange(editRow_, -1);
    // Accepted unless cancelled, also when the text did not change; the
    // editor still exists while the list reports the end.
    if (editor == nullptr || editCancelled_) return;
    accepted_ = CaptionEdit{row, WindowText(editor)};
    // Reported once the list has finished with its editor: the presenter
    // then replaces every row.
    PostMessageA(hwnd_, EditAcceptedMessage, 0, 0);
}

void TSetupForm::ShowPopupMenu(LPARAM at) {
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: at the selected row, or the list's corner.
        RECT place{LVIR_LABEL, 0, 0, 0};
        const int row = SelectedRow();
        if (row < 0 || !SendMessageA(ListView, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                     reinterpret_cast<LPARAM>(&place)))
            place = RECT{4, 4, 4, 4};
        point = {place.left, place.bottom};
        ClientToScreen(ListView, &point);
    }
    TrackPopupMenu(PopupMenu1, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd_, nullptr);
}

// --- SetupView -----------------------------------------------------------

void TSetupForm::SetValue(Control control, int value) {
    ++quiet_;
    switch (control) {
    case Control::IRSpeedBar:
        SendMessageA(IRSpeedBar, TBM_SETPOS, TRUE, value);
        speedBarPosition_ = static_cast<int>(SendMessageA(IRSpeedBar, TBM_GETPOS, 0, 0));
        break;
    case Control::ComRateComboBox: SendMessageA(ComRateComboBox, CB_SETCURSEL, static_cast<WPARAM>(value), 0); break;
    case Control::HaltOnErrorCheckBox:
        SendMessageA(HaltOnErrorCheckBox, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    default:
        if (HWND upDown = UpDownFor(control)) SendMessageA(upDown, UDM_SETPOS32, 0, ClampToRange(control, value));
        break;
    }
    --quiet_;
}

void TSetupForm::SetText(Control control, std::string_view text) {
    const std::string value(text);
    ++quiet_;
    switch (control) {
    case Control::ExecEdit: SetWindowTextA(ExecEdit, value.c_str()); break;
    case Control::CodeLabel:
        SetWindowTextA(CodeLabel, value.c_str());
        FitLabel(CodeLabel);
        break;
    case Control::TestGroup: SetWindowTextA(TestGroup, value.c_str()); break;
    case Control::RemoteEdit: SetWindowTextA(RemoteEdit, value.c_str()); break;
    default: break;
    }
    --quiet_;
}

std::string TSetupForm::Text(Control control) const {
    return control == Control::RemoteEdit ? WindowText(RemoteEdit) : std::string();
}

void TSetupForm::SetEnabled(Control control, bool enabled) {
    if (control == Control::ResetButton) EnableWindow(ResetButton, enabled);
    if (control == Control::ExecEdit) EnableWindow(ExecEdit, enabled);
}

void TSetupForm::SetItems(Control control, const std::vector<std::string>& items) {
    if (control != Control::RemoteEdit) return;
    // Filling the list must not change the text shown.
    const std::string shown = WindowText(RemoteEdit);
    ++quiet_;
    SendMessageA(RemoteEdit, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        SendMessageA(RemoteEdit, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SetWindowTextA(RemoteEdit, shown.c_str());
    --quiet_;
}

void TSetupForm::SetRows(const std::vector<CodeRow>& rows) {
    CancelEdit();
    ++quiet_;
    rows_ = rows;
    // Emptied first: a list of owner data keeps the selection across a new
    // count.
    SendMessageA(ListView, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(ListView, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows_.size()), 0);
    InvalidateRect(ListView, nullptr, TRUE);
    --quiet_;
}

void TSetupForm::UpdateRow(int row, const CodeRow& content) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[static_cast<std::size_t>(row)] = content;
    SendMessageA(ListView, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

int TSetupForm::SelectedRow() const {
    return static_cast<int>(SendMessageA(ListView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TSetupForm::SelectRow(int row) {
    if (row < 0 || row >= static_cast<int>(SendMessageA(ListView, LVM_GETITEMCOUNT, 0, 0))) return;
    ClearSelection();
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(ListView, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageA(ListView, LVM_SETSELECTIONMARK, 0, row);
    SendMessageA(ListView, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void TSetupForm::ClearSelection() {
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    SendMessageA(ListView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

void TSetupForm::StartEdit(int row) {
    if (row < 0 || row >= static_cast<int>(SendMessageA(ListView, LVM_GETITEMCOUNT, 0, 0))) return;
    // The list edits only while it has the focus.
    SetFocus(ListView);
    SendMessageA(ListView, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    SendMessageA(ListView, LVM_EDITLABELA, static_cast<WPARAM>(row), 0);
}

void TSetupForm::CancelEdit() {
    if (editor_ == nullptr) return;
    editCancelled_ = true;
    SendMessageA(ListView, LVM_CANCELEDITLABEL, 0, 0);
}

std::optional<CaptionEdit> TSetupForm::TakeOpenEdit() {
    if (editor_ != nullptr) {
        CaptionEdit edit{editRow_, WindowText(editor_)};
        CancelEdit();
        return edit;
    }
    // Accepted, but not yet handed on.
    return std::exchange(accepted_, std::nullopt);
}

Answer TSetupForm::Ask(std::string_view text, std::string_view caption) {
    // No owner window, as the question box has none; task-modal, so that
    // the dialog cannot be used while the question is open.
    const std::string question(text), title(caption);
    switch (MessageBoxA(nullptr, question.c_str(), title.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION | MB_TASKMODAL)) {
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    default: return Answer::Cancel;
    }
}

void TSetupForm::ShowError(std::string_view text) {
    const std::string message(text);
    MessageBoxA(nullptr, message.c_str(), ORBISK_DESCRIPTION, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

namespace {

std::wstring Wide(std::string_view text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return wide;
}

}  // namespace

SaveChoice TSetupForm::AskSaveFailed(std::string_view text) {
    // A task dialog names the three choices on its buttons; it comes with
    // the common controls of version 6, so it is looked up, not imported.
    ActivationScope scope(activation_);
    using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    HMODULE controls = GetModuleHandleA("comctl32.dll");
    auto taskDialog = controls != nullptr ? reinterpret_cast<TaskDialogIndirectFn>(
                                                reinterpret_cast<void*>(GetProcAddress(controls, "TaskDialogIndirect")))
                                          : nullptr;
    if (taskDialog != nullptr) {
        const std::wstring caption = Wide(ORBISK_DESCRIPTION), content = Wide(text);
        const TASKDIALOG_BUTTON buttons[] = {{IDRETRY, L"&Try again"}, {IDIGNORE, L"Close &without saving"}};
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof config;
        config.hwndParent = hwnd_;
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
        config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
        config.pszWindowTitle = caption.c_str();
        config.pszMainIcon = TD_WARNING_ICON;
        config.pszContent = content.c_str();
        config.cButtons = 2;
        config.pButtons = buttons;
        config.nDefaultButton = IDRETRY;
        int pressed = IDCANCEL;
        if (SUCCEEDED(taskDialog(&config, &pressed, nullptr, nullptr)))
            return pressed == IDRETRY ? SaveChoice::Retry : pressed == IDIGNORE ? SaveChoice::Discard : SaveChoice::KeepOpen;
    }
    // Without it: Try Again retries, Continue closes without saving, Cancel
    // goes back to the dialog.
    const std::string message(text);
    switch (MessageBoxA(hwnd_, message.c_str(), ORBISK_DESCRIPTION, MB_CANCELTRYCONTINUE | MB_ICONWARNING)) {
    case IDTRYAGAIN: return SaveChoice::Retry;
    case IDCONTINUE: return SaveChoice::Discard;
    default: return SaveChoice::KeepOpen;
    }
}

std::optional<std::string> TSetupForm::ChooseRemoteFile(std::string_view folder) {
    // Wide, and the path handed on in UTF-8: a file may be named outside the
    // ANSI code page.
    std::wstring file(32768, L'\0');
    const std::wstring start = win32::Widen(folder);
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = hwnd_;
    open.lpstrFilter = L"Remote files (*.ir, *.conf, *.toml)\0*.ir;*.conf;lircd.conf.*;*.toml\0All files (*.*)\0*.*\0";
    open.lpstrFile = file.data();
    open.nMaxFile = static_cast<DWORD>(file.size());
    open.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    open.lpstrTitle = L"Import remote";
    open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&open)) return std::nullopt;
    file.resize(std::wcslen(file.c_str()));
    return win32::Narrow(file);
}

std::optional<std::string> TSetupForm::ConfirmImport(const ImportPreview& preview) {
    return win32::ShowImportPreview(OwnModule(), hwnd_, preview);
}

std::optional<ExportTarget> TSetupForm::ChooseExportFile(std::string_view name) {
    // "Description (*.ext)", "*.ext" for each type, then an empty string.
    std::string filter;
    for (const ExportFileType& type : ExportFileTypes) {
        const std::string pattern = "*." + std::string(type.extension);
        filter += std::string(type.description) + " (" + pattern + ")" + '\0' + pattern + '\0';
    }
    const std::wstring types = win32::Widen(filter);
    std::wstring file = win32::Widen(name);
    file.resize(32768, L'\0');
    OPENFILENAMEW save{};
    save.lStructSize = sizeof save;
    save.hwndOwner = hwnd_;
    save.lpstrFilter = types.c_str();
    save.nFilterIndex = 1;
    save.lpstrFile = file.data();
    save.nMaxFile = static_cast<DWORD>(file.size());
    save.lpstrTitle = L"Export remote";
    save.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&save) || save.nFilterIndex < 1) return std::nullopt;
    file.resize(std::wcslen(file.c_str()));
    return ExportTarget{win32::Narrow(file), save.nFilterIndex - 1};
}

}  // namespace orbisk
