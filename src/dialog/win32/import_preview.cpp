#include "dialog/win32/import_preview.h"

#include <commctrl.h>

#include "resource.h"

namespace orbisk::win32 {

namespace {

struct PreviewState {
    const ImportPreview& preview;
    std::string name;
};

void AddColumn(HWND list, int index, const char* title, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(title);
    column.cx = width;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void Fill(HWND dialog, const ImportPreview& preview) {
    const std::string summary = preview.file + "\n" + preview.summary;
    SetDlgItemTextA(dialog, ORBISK_IMPORT_SUMMARY, summary.c_str());
    if (preview.severalRemotes) SetDlgItemTextA(dialog, ORBISK_IMPORT_NAME_LABEL, "Before the remotes' names:");
    SetDlgItemTextA(dialog, ORBISK_IMPORT_NAME, preview.remoteName.c_str());
    HWND list = GetDlgItem(dialog, ORBISK_IMPORT_KEYS);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const char* titles[] = {"Key", "Remote Control", "Frame", "Code", "Presses"};
    const int widths[] = {100, 100, 160, 70, 70};
    for (int i = 0; i < 5; ++i) AddColumn(list, i, titles[i], widths[i]);
    SendMessageA(list, LVM_SETITEMCOUNT, preview.keys.size(), 0);
    int row = 0;
    for (const ImportPreview::Key& key : preview.keys) {
        const std::string cells[] = {key.name, key.remote, key.frame, key.code, key.stable ? "stable" : "learn this key"};
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>(cells[0].c_str());
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = 1; column < 5; ++column) {
            item.iSubItem = column;
            item.pszText = const_cast<char*>(cells[column].c_str());
            SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        }
        ++row;
    }
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        Fill(dialog, reinterpret_cast<PreviewState*>(lparam)->preview);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            auto* state = reinterpret_cast<PreviewState*>(GetWindowLongPtrA(dialog, DWLP_USER));
            HWND edit = GetDlgItem(dialog, ORBISK_IMPORT_NAME);
            state->name.assign(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
            state->name.resize(static_cast<std::size_t>(
                GetWindowTextA(edit, state->name.data(), static_cast<int>(state->name.size()))));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> ShowImportPreview(HMODULE module, HWND owner, const ImportPreview& preview) {
    PreviewState state{preview, {}};
    const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(ORBISK_IMPORT_PREVIEW), owner, PreviewProc,
                                           reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return std::nullopt;
    return state.name;
}

}  // namespace orbisk::win32
