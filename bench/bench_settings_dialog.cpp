// Opening and closing the setup dialog over large settings files: loading the
// code list (FormShow) and the merging save (FormCloseQuery), through the
// presenter with a view that shows nothing.  Arguments: keys, keys per remote
// control, and what the dialog did before closing: 0 nothing (the save only
// checks what changed), 1 "Replace" on every row (every entry erased and
// written anew under another code), 2 "Clear List" (every entry erased).
// The goal is 100,000 keys opened and closed in under a second each.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "common/code_text.h"
#include "dialog/setup_presenter.h"
#include "settings/settings.h"

namespace orbisk {
namespace {

class NullView final : public SetupView {
public:
    void SetValue(Control, int) override {}
    void SetText(Control control, std::string_view text) override {
        if (control == Control::RemoteEdit) remote_ = text;
    }
    std::string Text(Control) const override { return remote_; }
    void SetEnabled(Control, bool) override {}
    void SetItems(Control, const std::vector<std::string>&) override {}
    void SetRows(const std::vector<CodeRow>&) override {}
    void UpdateRow(int, const CodeRow&) override {}
    int SelectedRow() const override { return selected; }
    void SelectRow(int) override {}
    void ClearSelection() override {}
    void StartEdit(int) override {}
    void CancelEdit() override {}
    std::optional<CaptionEdit> TakeOpenEdit() override { return std::nullopt; }
    int EditingRow() const override { return -1; }
    std::optional<std::string> ChooseRemoteFile(std::string_view) override { return std::nullopt; }
    std::optional<std::string> ConfirmImport(const ImportPreview&) override { return std::nullopt; }
    std::optional<ExportTarget> ChooseExportFile(std::string_view) override { return std::nullopt; }
    Answer Ask(std::string_view, std::string_view) override { return Answer::Yes; }
    void ShowError(std::string_view) override {}
    SaveChoice AskSaveFailed(std::string_view) override { return SaveChoice::Discard; }

    int selected = -1;

private:
    std::string remote_ = "<undefined>";
};

class DialogFixture {
public:
    DialogFixture(int keys, int perRemote) {
        std::random_device seed;
        folder_ = std::filesystem::temp_directory_path() / ("orbisk-bench-" + std::to_string(seed()));
        std::filesystem::create_directories(folder_);
        services_.emplace(DialogServices{settings_, (folder_ / "orbisk.ini").string(), {}, {}});
        file_ = "[Main]\nCOM=2\nLastRemoteControl=Remote 0\n";
        for (int i = 0; i < keys; ++i) {
            if (i % perRemote == 0) file_ += "[Remote " + std::to_string(i / perRemote) + "]\n";
            file_ += CodeText(0x10000000u + static_cast<std::uint32_t>(i)) + "=Key " + std::to_string(i) + "\n";
        }
    }
    ~DialogFixture() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    void Reset() { std::ofstream(services_->settingsPath, std::ios::binary | std::ios::trunc) << file_; }
    SetupPresenter& Show() {
        presenter_.emplace(*services_, view_);
        presenter_->FormShow();
        return *presenter_;
    }
    // "Replace" on every row, each with a code of its own.
    void ReplaceEveryRow() {
        for (std::size_t row = 0; row < presenter_->Rows().size(); ++row) {
            services_->LastShownCode = 0x20000000u + row;
            view_.selected = static_cast<int>(row);
            presenter_->Replace1Click();
        }
    }

private:
    std::filesystem::path folder_;
    Settings settings_;
    std::optional<DialogServices> services_;
    std::string file_;
    NullView view_;
    std::optional<SetupPresenter> presenter_;
};

void BM_OpenDialog(benchmark::State& state) {
    DialogFixture fixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    fixture.Reset();
    for (auto _ : state) benchmark::DoNotOptimize(fixture.Show().Rows().size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CloseDialog(benchmark::State& state) {
    DialogFixture fixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        fixture.Reset();
        SetupPresenter& presenter = fixture.Show();
        if (state.range(2) == 1) fixture.ReplaceEveryRow();
        if (state.range(2) == 2) presenter.ClearList1Click();
        state.ResumeTiming();
        benchmark::DoNotOptimize(presenter.FormCloseQuery());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_OpenDialog)
    ->ArgNames({"keys", "per_remote"})
    ->Args({1000, 1})->Args({10000, 1})->Args({100000, 1})->Args({100000, 10})->Args({100000, 100000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CloseDialog)
    ->ArgNames({"keys", "per_remote", "action"})
    ->Args({1000, 1, 0})->Args({10000, 1, 0})->Args({100000, 1, 0})->Args({100000, 10, 0})
    ->Args({100000, 100000, 0})->Args({1000, 1, 1})->Args({10000, 1, 1})->Args({100000, 1, 1})
    ->Args({100000, 10, 1})->Args({100000, 1, 2})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace orbisk

BENCHMARK_MAIN();
