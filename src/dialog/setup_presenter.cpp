#include "dialog/setup_presenter.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <numeric>
#include <utility>

#include "common/code_text.h"
#include "common/text.h"
#include "engine/key_table.h"
#include "orbisk/host.h"
#include "platform/file_io.h"
#include "remotes/remote_import.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace orbisk {

namespace {

constexpr std::string_view NewKeyCaption = "<new key>";
constexpr std::string_view ClearListQuestion = "Do you really want to clear codes list?";
constexpr std::string_view ClearListCaption = "Confirm delete";
// Where Debian's lirc-compat-remotes puts its lircd.conf files.
constexpr const char* RemoteDatabaseFolder = "/usr/share/lirc/remotes";

// A row's entry as the settings file tells entries apart.
using EntryId = std::pair<std::string, std::string>;
EntryId EntryIdOf(const CodeRow& row) { return {IniSectionId(row.remote), IniKeyId(row.code)}; }

// A remote's name as a file's: characters no file name may hold become '_'.
std::string FileNameOf(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    return name.empty() ? "remote" : name;
}

// A path whose file name has no extension gets the type's.
std::string WithExtension(std::string path, std::string_view extension) {
    const std::size_t name = path.find_last_of("/\\") + 1;
    if (path.find('.', name) == std::string::npos) path += "." + std::string(extension);
    return path;
}

ImportPreview PreviewOf(const RemoteImport& plan, const std::string& path) {
    ImportPreview preview;
    preview.file = path;
    preview.severalRemotes = plan.remotes.size() > 1;
    if (!preview.severalRemotes && !plan.remotes.empty()) preview.remoteName = plan.remotes.front();
    std::size_t unstable = 0;
    for (const ImportedKey& key : plan.keys) {
        preview.keys.push_back({key.name, key.remote, DescribeIrFrame(key.frame), CodeText(key.code), key.stable});
        if (!key.stable) ++unstable;
    }
    preview.summary = Counted(plan.keys.size(), "key") + " (" + std::to_string(unstable) +
                      " to learn again); " + std::to_string(plan.skipped.size()) + " skipped; " +
                      std::to_string(plan.shared.size()) + " left out for a code already imported";
    // The first few reasons: a file of many skipped buttons has few kinds.
    constexpr std::size_t kReasons = 5;
    for (std::size_t i = 0; i < plan.skipped.size() && i < kReasons; ++i)
        preview.summary += "\nskipped " + plan.skipped[i].name + ": " + plan.skipped[i].reason;
    if (plan.skipped.size() > kReasons)
        preview.summary += "\nand " + std::to_string(plan.skipped.size() - kReasons) + " more skipped";
    return preview;
}

// A setting goes into an up-down as its low 16 bits, the way a native
// up-down takes a position.
int LowWord(std::uint32_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFFu));
}

}  // namespace

SetupPresenter::SetupPresenter(DialogServices& services, SetupView& view)
    : services_(services), view_(view) {}

void SetupPresenter::FormShow() {
    const IniRead file = IniFile(services_.settingsPath).Read();
    LoadFile(file.document);
    closed_ = false;
    services_.changesDiscarded = false;

    Settings& s = services_.settings;
    loadedSettings_ = ValuesOf(s);
    loadedRemoteText_ = view_.Text(Control::RemoteEdit);
    view_.SetValue(Control::ComUpDown, LowWord(static_cast<std::uint32_t>(s.COM.load())));
    view_.SetValue(Control::IRSpeedBar, s.Interval.load());
    const std::string rate = std::to_string(s.COMRate.load());
    const auto item = std::find(ComRateItems.begin(), ComRateItems.end(), rate);
    view_.SetValue(Control::ComRateComboBox,
                   item == ComRateItems.end() ? -1 : static_cast<int>(item - ComRateItems.begin()));
    const bool halt = s.HaltOnError.load();
    view_.SetValue(Control::HaltOnErrorCheckBox, halt ? 1 : 0);
    view_.SetText(Control::ExecEdit, s.ExecOnError);
    view_.SetValue(Control::RepeatLengthUpDown,
                   LowWord(static_cast<std::uint32_t>(s.RepeatLength.load())));
    view_.SetValue(Control::SkipUpDown, LowWord(static_cast<std::uint32_t>(s.SkipBegin.load())));
    // Loading the controls fires no handler here, but the dialog opens with
    // Reset disabled whatever happened before.
    view_.SetEnabled(Control::ResetButton, false);
    view_.SetEnabled(Control::ExecEdit, halt);
    view_.SetValue(Control::Wait1UpDown, LowWord(s.Wait1.load()));
    view_.SetValue(Control::WaitNUpDown, LowWord(s.WaitN.load()));
    view_.SetValue(Control::WaitRUpDown, LowWord(s.WaitR.load()));
    // Said before the user learns anything that could then not be saved.
    if (!file.problem.empty()) view_.ShowError(UnreadableSettingsText(services_.settingsPath, file.problem));
}

void SetupPresenter::LoadFile(const IniDocument& file) {
    view_.SetText(Control::RemoteEdit, file.ReadString(MainSection, "LastRemoteControl",
                                                       view_.Text(Control::RemoteEdit)));
    std::vector<std::string> remotes;
    rows_.clear();
    for (const IniDocument::Section& section : file.Sections()) {
        if (IsMainSection(section.name)) continue;
        remotes.push_back(section.name);
        for (const std::string& entry : section.entries) {
            // Entries come as "name=value"; a line without '=' is all name.
            const std::size_t equals = entry.find('=');
            CodeRow row;
            row.remote = section.name;
            row.code = entry.substr(0, equals);
            if (equals != std::string::npos) row.caption = entry.substr(equals + 1);
            rows_.push_back(std::move(row));
        }
    }
    view_.SetItems(Control::RemoteEdit, remotes);
    loadedRows_ = rows_;
    loadedRemotes_ = std::move(remotes);
    SortRows(-1);
    view_.SetRows(rows_);
}

// Every way of closing saves, and the save is one replacement of the file:
// erasing and writing the entries as separate writes would lose every learned
// key to a crash in between.  A save that fails keeps the dialog open until
// the user has retried it successfully or chosen to lose the changes.
bool SetupPresenter::FormCloseQuery() {
    AcceptOpenEdit();
    for (;;) {
        const IniWriteResult result = Save();
        if (result.Ok()) break;
        const std::string text = SaveFailedText(services_.settingsPath, result.failure) +
                                 "\n\nWhat you changed in this dialog is not saved yet. You can try "
                                 "again, close without saving, or go back to the dialog.";
        const SaveChoice choice = view_.AskSaveFailed(text);
        if (choice == SaveChoice::KeepOpen) return false;
        if (choice == SaveChoice::Discard) {
            services_.changesDiscarded = true;
            break;
        }
    }
    closed_ = true;
    return true;
}

void SetupPresenter::FormHide() {
    if (std::exchange(closed_, false)) return;
    // Hidden without being asked (the host hid it): no way back, but the
    // user still hears that the changes are lost.
    AcceptOpenEdit();
    const IniWriteResult result = Save();
    if (!result.Ok()) {
        services_.changesDiscarded = true;
        view_.ShowError(SaveFailedText(services_.settingsPath, result.failure));
    }
}

IniWriteResult SetupPresenter::Save() {
    return IniFile(services_.settingsPath).Edit([this](IniDocument& file) { SaveFile(file); });
}

// The file is read again at save time and merged with the dialog's work
// entry by entry (remote control, code), so that what others wrote while the
// dialog was open survives: an entry the dialog left as it loaded it keeps
// the file's current state; one the dialog added, renamed or removed takes
// the dialog's; where both changed it, the dialog wins.  Sections and
// entries the dialog never saw, comments included, stay as they are.  The
// settings of Main merge the same way: only those changed in the dialog are
// written (and those the file lacks).
//
// Remote names are written as they are.  Names a section header cannot hold
// are mapped by IniDocument itself (blanks around the name dropped, ']' and
// line breaks turned into '_', an empty name kept as "[]"), the same way for
// reading and writing, so no row can land in another section or break the
// file.  A row of remote "Main", in any case, lands in section Main.
void SetupPresenter::SaveFile(IniDocument& file) const {
    WriteDialogSettings(file, services_.settings, loadedSettings_);
    WriteChangedText(file, "LastRemoteControl", view_.Text(Control::RemoteEdit), loadedRemoteText_);

    // Entries as the file tells them apart; of rows naming the same entry
    // the later one counts, as it would overwrite the earlier.
    std::map<EntryId, const CodeRow*> loaded, now;
    for (const CodeRow& row : loadedRows_) loaded[EntryIdOf(row)] = &row;
    for (const CodeRow& row : rows_) now[EntryIdOf(row)] = &row;

    // All in a fixed number of passes over the file, however many remotes
    // and keys it holds.  A line without '=' that holds the place of a
    // written code is replaced by the entry.
    std::vector<IniDocument::EntryChange> changes;
    for (const auto& [id, row] : loaded)
        if (!now.contains(id)) changes.push_back({row->remote, row->code, std::nullopt});
    for (const CodeRow& row : rows_) {
        const EntryId id = EntryIdOf(row);
        if (now.at(id) != &row) continue;
        const auto before = loaded.find(id);
        if (before != loaded.end() && before->second->caption == row.caption) continue;
        changes.push_back({row.remote, row.code, row.caption});
    }
    file.ApplyEntryChanges(changes);
    // A remote control the dialog listed and left without keys is gone, as
    // its list shows it.
    file.EraseSectionsWithoutEntries(loadedRemotes_);
    // Frames go with their keys: those of presses learned here join them,
    // and the frames of keys removed or given another code are dropped.
    std::vector<KeptFrame> frames;
    for (const CodeRow& row : rows_)
        if (const auto frame = pressFrames_.find(row.code); frame != pressFrames_.end())
            frames.push_back({row.remote, row.code, frame->second});
    KeepFrames(file, frames);
}

void SetupPresenter::ResetButtonClick() {
    // Disabled before the restart: a port error box keeps the dialog live,
    // and a second click would restart inside the first one.
    view_.SetEnabled(Control::ResetButton, false);
    if (services_.stop) services_.stop();
    if (services_.start) services_.start();
}

void SetupPresenter::StoreUpDown(Control upDown, std::int16_t position) {
    Settings& s = services_.settings;
    // Sign-extended, as a position always is when it becomes a setting.
    const std::int32_t value = position;
    switch (upDown) {
    case Control::ComUpDown: s.COM.store(value); break;
    case Control::Wait1UpDown: s.Wait1.store(static_cast<std::uint32_t>(value)); break;
    case Control::WaitNUpDown: s.WaitN.store(static_cast<std::uint32_t>(value)); break;
    case Control::WaitRUpDown: s.WaitR.store(static_cast<std::uint32_t>(value)); break;
    case Control::RepeatLengthUpDown: s.RepeatLength.store(value); break;
    case Control::SkipUpDown: s.SkipBegin.store(value); break;
    default: break;
    }
}

bool SetupPresenter::UpDownChangingEx(Control upDown, std::int16_t newValue) {
    // A step past the range leaves the control at its bound; the setting
    // takes that bound rather than the position the control never reaches,
    // because the port number and the timings are used as they are.
    StoreUpDown(upDown, ClampToRange(upDown, newValue));
    if (upDown == Control::ComUpDown) view_.SetEnabled(Control::ResetButton, true);
    return true;
}

bool SetupPresenter::ComUpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::ComUpDown, newValue);
}
bool SetupPresenter::Wait1UpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::Wait1UpDown, newValue);
}
bool SetupPresenter::WaitNUpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::WaitNUpDown, newValue);
}
bool SetupPresenter::WaitRUpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::WaitRUpDown, newValue);
}
bool SetupPresenter::RepeatLengthUpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::RepeatLengthUpDown, newValue);
}
bool SetupPresenter::SkipUpDownChangingEx(std::int16_t newValue) {
    return UpDownChangingEx(Control::SkipUpDown, newValue);
}

void SetupPresenter::ComRateComboBoxChange(std::string_view itemText) {
    std::int32_t rate = 0;
    const auto [end, error] = std::from_chars(itemText.data(), itemText.data() + itemText.size(), rate);
    if (error != std::errc() || end != itemText.data() + itemText.size()) return;
    services_.settings.COMRate.store(rate);
    view_.SetEnabled(Control::ResetButton, true);
}

void SetupPresenter::IRSpeedBarChange(int position) {
    services_.settings.Interval.store(position);
    view_.SetEnabled(Control::ResetButton, true);
}

void SetupPresenter::HaltOnErrorCheckBoxClick(bool checked) {
    services_.settings.HaltOnError.store(checked);
    view_.SetEnabled(Control::ExecEdit, checked);
}

void SetupPresenter::ExecEditChange(std::string_view text) { services_.settings.ExecOnError = text; }

bool SetupPresenter::WndProc(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam) {
    switch (message) {
    case ORBISK_KEY_DOWN_NOTICE: KeyDownNotice(wparam, lparam); return true;
    case ORBISK_KEY_UP_NOTICE: KeyUpNotice(); return true;
    default: return false;
    }
}

void SetupPresenter::KeyDownNotice(std::uint32_t codeHigh, std::uint32_t codeLow) {
    const std::uint64_t code = (static_cast<std::uint64_t>(codeHigh) << 32) | codeLow;
    view_.SetText(Control::TestGroup, PressedCaption(code));
    const OlderCodes older = OlderCodesOf(code);
    // A held or repeated key shows its code and selects its row only once;
    // while no row carries any of its codes, a later frame of the press may
    // bring older codes that one does (the engine then found its key).
    const bool again = code == services_.LastShownCode;
    if (again && (!unmatched_ || *unmatched_ == older)) return;
    services_.LastShownCode = code;
    const std::vector<std::string> texts = PressCodeTexts(code, older);
    view_.SetText(Control::CodeLabel, texts.front());

    // The key of the row being named, pressed again (a toggle-bit remote
    // alternates two codes), must not end its own edit.
    const int editing = view_.EditingRow();
    if (editing >= 0 && editing < static_cast<int>(rows_.size()) &&
        std::find(texts.begin(), texts.end(), rows_[editing].code) != texts.end())
        return;

    // An unknown code, noise included, must not end a name being typed:
    // toggle-bit remotes send a new code at every press.
    if (FindPressRow(texts) < 0) {
        if (!again) view_.ClearSelection();
        unmatched_ = older;
        return;
    }
    unmatched_.reset();
    AcceptOpenEdit();
    const int row = FindPressRow(texts);  // the accepted edit may have sorted the rows
    view_.SetText(Control::RemoteEdit, rows_[row].remote);
    view_.SelectRow(row);
    // Opening and at once cancelling an edit brings the row into view and
    // closes any edit the user had open.
    view_.StartEdit(row);
    view_.CancelEdit();
}

std::string SetupPresenter::PressedCaption(std::uint64_t code) {
    // Without the engine's frames, or with Recognize=0, the caption stays as it was.
    if (!services_.frameOf || !services_.settings.Recognize.load()) return " Pressed ";
    const IrFrame frame = services_.frameOf(code);
    if (frame.protocol != IrProtocol::None) {
        unrecognisedCodes_.clear();
        return " Pressed: " + DescribeIrFrame(frame) + " ";
    }
    // Three presses in a row not recognised, not all with one code: a noisy
    // receiver or an unknown protocol, whose every variant must be learned.
    constexpr std::size_t kPresses = 3;
    if (unrecognisedCodes_.size() == kPresses) unrecognisedCodes_.erase(unrecognisedCodes_.begin());
    unrecognisedCodes_.push_back(code);
    const bool vary = unrecognisedCodes_.size() == kPresses &&
                      (unrecognisedCodes_[0] != code || unrecognisedCodes_[1] != code);
    return vary ? " Pressed: not recognised, codes vary " : " Pressed: not recognised ";
}

void SetupPresenter::KeyUpNotice() { view_.SetText(Control::TestGroup, " Released "); }

int SetupPresenter::FindCode(std::string_view code) const {
    // Byte by byte: a code written in lower case in the file never matches.
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].code == code) return static_cast<int>(i);
    return -1;
}

OlderCodes SetupPresenter::OlderCodesOf(std::uint64_t code) const {
    return services_.olderCodesOf ? services_.olderCodesOf(code) : OlderCodes{};
}

std::vector<std::string> SetupPresenter::PressCodeTexts(std::uint64_t code, const OlderCodes& older) {
    std::vector<std::string> texts{CodeText(code)};
    for (const std::uint64_t other : {older.frame, older.shape})
        if (other != 0 && other != code) texts.push_back(CodeText(other));
    return texts;
}

int SetupPresenter::FindPressRow(const std::vector<std::string>& texts) const {
    // Keys learned by earlier versions carry an older code of the press; the
    // row of its code comes first.
    for (const std::string& text : texts)
        if (const int row = FindCode(text); row >= 0) return row;
    return -1;
}

void SetupPresenter::AcceptOpenEdit() {
    // Rows move when an accepted edit sorts the list, so an edit still open
    // when another list action starts is taken as accepted first, as leaving
    // the field would, and the action then works on the sorted rows.
    if (std::optional<CaptionEdit> edit = view_.TakeOpenEdit()) ListViewEdited(edit->row, edit->text);
}

void SetupPresenter::AddCurrentKeyClick() {
    AcceptOpenEdit();
    // A key learned under an older code of the press is that key: no second row.
    const std::vector<std::string> texts = PressCodeTexts(services_.LastShownCode, OlderCodesOf(services_.LastShownCode));
    unmatched_.reset();
    int row = FindPressRow(texts);
    if (row >= 0) {
        view_.SetText(Control::RemoteEdit, rows_[row].remote);
    } else {
        rows_.push_back({std::string(NewKeyCaption), view_.Text(Control::RemoteEdit), texts.front()});
        RememberPressFrame(texts.front());
        view_.SetRows(rows_);
        row = static_cast<int>(rows_.size()) - 1;
    }
    view_.SelectRow(row);
    view_.StartEdit(row);
}

void SetupPresenter::RememberPressFrame(const std::string& code) {
    if (services_.LastShownCode > 0xFFFFFFFFu) return;
    const auto shown = static_cast<std::uint32_t>(services_.LastShownCode);
    const IrFrame frame = services_.frameOf ? services_.frameOf(shown) : IrFrame{};
    const std::vector<std::uint8_t> burst = services_.burstOf ? services_.burstOf(shown) : std::vector<std::uint8_t>{};
    if (std::optional<KeyFrame> kept = PressKeyFrame(frame, shown, burst)) pressFrames_[code] = std::move(*kept);
}

void SetupPresenter::Replace1Click() {
    const int row = view_.SelectedRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row].remote = view_.Text(Control::RemoteEdit);
    rows_[row].code = CodeText(services_.LastShownCode);
    RememberPressFrame(rows_[row].code);
    unmatched_.reset();
    view_.UpdateRow(row, rows_[row]);
}

void SetupPresenter::RemoveKeyClick() {
    AcceptOpenEdit();
    const int row = view_.SelectedRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_.erase(rows_.begin() + row);
    view_.SetRows(rows_);
}

void SetupPresenter::RenameKeyClick() {
    AcceptOpenEdit();
    const int row = view_.SelectedRow();
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    view_.StartEdit(row);
}

void SetupPresenter::ClearList1Click() {
    AcceptOpenEdit();
    if (view_.Ask(ClearListQuestion, ClearListCaption) != Answer::Yes) return;
    rows_.clear();
    view_.SetRows(rows_);
}

void SetupPresenter::ImportRemoteClick() {
    AcceptOpenEdit();
    std::error_code ignored;
    const std::string folder = std::filesystem::is_directory(RemoteDatabaseFolder, ignored) ? RemoteDatabaseFolder : "";
    const std::optional<std::string> path = view_.ChooseRemoteFile(folder);
    if (!path) return;
    // Codes depend on how the receiver decodes: as the dialog has it now.
    const Settings& s = services_.settings;
    const ImportDecoding decoding{s.RepeatLength.load(), s.SkipBegin.load(), s.Recognize.load()};
    std::string text, error;
    RemoteImport plan;
    if (!ReadRemoteFile(*path, text, error) || !PlanRemoteImport(text, *path, "", decoding, plan, error)) {
        view_.ShowError(error);
        return;
    }
    if (plan.keys.empty()) {
        view_.ShowError(NothingToImportText(*path));
        return;
    }
    const ImportPreview preview = PreviewOf(plan, *path);
    for (;;) {
        const std::optional<std::string> name = view_.ConfirmImport(preview);
        if (!name) return;
        if (*name == preview.remoteName) break;
        // Named anew (empty: the file's own names); a name the settings file
        // would not give back is refused and the preview comes again.
        RemoteImport named;
        if (PlanRemoteImport(text, *path, *name, decoding, named, error)) {
            plan = std::move(named);
            break;
        }
        view_.ShowError(error);
    }
    AddImportedKeys(plan);
}

void SetupPresenter::ExportRemoteClick() {
    AcceptOpenEdit();
    const int selected = view_.SelectedRow();
    const std::string remote = selected >= 0 && selected < static_cast<int>(rows_.size()) ? rows_[selected].remote
                                                                                           : view_.Text(Control::RemoteEdit);
    const std::optional<ExportTarget> target = view_.ChooseExportFile(FileNameOf(remote));
    if (!target || target->type >= ExportFileTypes.size()) return;
    const ExportFileType& type = ExportFileTypes[target->type];
    const std::string path = WithExtension(target->path, type.extension);
    // The remote as closing would save it: the file as it is now, with what
    // the dialog changed merged in.
    IniDocument doc = IniFile(services_.settingsPath).Read().document;
    SaveFile(doc);
    RemoteExport out;
    std::string error;
    std::error_code written;
    if (!ExportRemote(doc, remote, type.format, out, error))
        error = "Cannot export '" + remote + "': " + error;
    else if (!ReplaceFileAtomically(path, out.text, written))
        error = "Cannot write " + path + ": " + written.message();
    else if (!out.leftOut.empty())
        error = "Exported " + Counted(out.keys, "key") + " of '" + remote + "' to " + path + "; not exported:";
    // Why each key left out was, the first few: a remote has few kinds.
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < out.leftOut.size() && i < kShown; ++i)
        error += "\n" + out.leftOut[i].name + " (" + out.leftOut[i].code + "): " + out.leftOut[i].reason;
    if (out.leftOut.size() > kShown) error += "\nand " + std::to_string(out.leftOut.size() - kShown) + " more";
    if (!error.empty()) view_.ShowError(error);
}

void SetupPresenter::AddImportedKeys(const RemoteImport& plan) {
    // Of rows naming one entry the later counts, as it does when saving.
    std::map<EntryId, std::size_t> entries;
    for (std::size_t i = 0; i < rows_.size(); ++i) entries[EntryIdOf(rows_[i])] = i;
    int shown = -1;
    for (const ImportedKey& key : plan.keys) {
        CodeRow row{key.name, key.remote, CodeText(key.code)};
        const auto [entry, added] = entries.try_emplace(EntryIdOf(row), rows_.size());
        // Its frame is kept beside it, for export.
        if (std::optional<KeyFrame> frame = ImportedKeyFrame(key)) pressFrames_[row.code] = std::move(*frame);
        if (added)
            rows_.push_back(std::move(row));
        else
            rows_[entry->second].caption = key.name;
        if (shown < 0) shown = static_cast<int>(entry->second);
    }
    unmatched_.reset();
    shown = SortRows(shown);
    view_.SetRows(rows_);
    // Further keys learned go to the imported remote control.
    view_.SetText(Control::RemoteEdit, plan.keys.front().remote);
    view_.SelectRow(shown);
}

void SetupPresenter::ListViewEdited(int row, std::string_view text) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row].caption = text;
    const int selected = SortRows(view_.SelectedRow());
    view_.SetRows(rows_);
    if (selected >= 0) view_.SelectRow(selected);
}

int SetupPresenter::ListViewCompare(const CodeRow& a, const CodeRow& b) {
    // std::string_view::compare orders by unsigned byte and puts a prefix
    // first, which is the order wanted here.
    if (const int remote = std::string_view(a.remote).compare(b.remote); remote != 0)
        return remote < 0 ? -1 : 1;
    if (const int caption = std::string_view(a.caption).compare(b.caption); caption != 0)
        return caption < 0 ? -1 : 1;
    return 0;
}

int SetupPresenter::SortRows(int follow) {
    std::vector<std::size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return ListViewCompare(rows_[a], rows_[b]) < 0;
    });
    std::vector<CodeRow> sorted;
    sorted.reserve(rows_.size());
    int followed = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (static_cast<int>(order[i]) == follow) followed = static_cast<int>(i);
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    return followed;
}

}  // namespace orbisk
