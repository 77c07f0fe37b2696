// What orbisk settings import makes of remote databases, measured where
// they are on this machine (each part says so and is skipped when absent):
//   - Flipper-IRDB (../shared/realir/flipper-irdb.jsonl.gz beside the source
//     tree or one folder up, or ORBISK_REALIR): each device's file written
//     back as a .ir file and imported; the decoded buttons whose code the
//     import files under their name, and for the raw captures, presses at
//     5 % jitter (50 us units, one bias per press from -60..120 us) that give
//     a code filed under the button's name, and the buttons whose presses
//     miss although the import called them stable;
//   - lircd.conf files of /usr/share/lirc/remotes (Debian's
//     lirc-compat-remotes): the same presses of every button with timing;
//   - for both, the figures again without the buttons whose frame an
//     earlier button of the file sends (the database's duplicates, which
//     the import lists under the first name);
//   - the kernel keymaps of /lib/udev/rc_keymaps whose protocol is not
//     "unknown": how many import at least one key;
//   - export: each imported Flipper file's keys, with the frames the import
//     keeps, exported in every format and imported again: the keys that come
//     back with the same code under the same name (ORBISK_EXPORT_DUMP=1
//     lists why the others were left out).
// The captures are read at run time and never copied.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/code_text.h"
#include "remotes/key_frames.h"
#include "remotes/lircd_conf.h"
#include "remotes/remote_export.h"
#include "remotes/remote_import.h"
#include "settings/ini_file.h"

namespace {

using namespace orbisk;

constexpr int kPresses = 10;

struct Entry {
    std::string file, name, protocol, address, command;
    std::vector<std::uint32_t> micros;
};

std::string Field(const std::string& line, const char* key) {
    const std::string tag = std::string("\"") + key + "\":\"";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) return {};
    std::string value;
    for (std::size_t i = at + tag.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
    }
    return value;
}

std::string RealirPath() {
    if (const char* p = std::getenv("ORBISK_REALIR")) return p;
    for (const char* p : {ORBISK_SOURCE_DIR "/../shared/realir/flipper-irdb.jsonl.gz",
                          ORBISK_SOURCE_DIR "/../../shared/realir/flipper-irdb.jsonl.gz"})
        if (std::filesystem::exists(p)) return p;
    return {};
}

std::map<std::string, std::vector<Entry>> ReadRealir(const std::string& path) {
    std::map<std::string, std::vector<Entry>> files;
    FILE* pipe = popen(("gzip -dc '" + path + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return files;
    std::string line;
    char chunk[65536];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        line += chunk;
        if (line.back() != '\n') continue;
        Entry e{Field(line, "c") + "/" + Field(line, "f"), Field(line, "n"), Field(line, "p"), Field(line, "a"),
                Field(line, "cm"), {}};
        if (const std::size_t d = line.find("\"d\":["); d != std::string::npos) {
            const char* p = line.c_str() + d + 5;
            while (*p != ']' && *p != '\0') {
                char* end = nullptr;
                e.micros.push_back(static_cast<std::uint32_t>(std::strtoul(p, &end, 10)));
                p = end;
                while (*p == ',' || *p == ' ') ++p;
            }
        }
        if (!e.name.empty()) files[e.file].push_back(std::move(e));
        line.clear();
    }
    pclose(pipe);
    return files;
}

std::string FlipperText(const std::vector<Entry>& entries) {
    std::ostringstream out;
    out << "Filetype: IR signals file\nVersion: 1\n";
    for (const Entry& e : entries) {
        out << "#\nname: " << e.name << "\n";
        if (e.micros.empty()) {
            out << "type: parsed\nprotocol: " << e.protocol << "\naddress: " << e.address << "\ncommand: " << e.command
                << "\n";
        } else {
            out << "type: raw\nfrequency: 38000\nduty_cycle: 0.330000\ndata:";
            for (const std::uint32_t d : e.micros) out << ' ' << d;
            out << "\n";
        }
    }
    return out.str();
}

// Presses of a frame, each at 5 % jitter with its own bias, that give a
// code among the codes.  A button whose very frame an earlier button of the
// file sends (the database's own duplicate: the import keeps the first and
// lists the others) is counted apart: one frame is one key.
struct Presses {
    long presses = 0, found = 0, missedStable = 0, buttons = 0;
    long duplicatePresses = 0, duplicateFound = 0, duplicates = 0;

    void Press(const std::vector<std::uint32_t>& micros, const std::set<std::uint32_t>& codes, bool stable,
               bool duplicate, std::mt19937& random, const std::string& label) {
        std::uniform_real_distribution<double> bias(-60, 120);
        int missed = 0;
        for (int k = 0; k < kPresses; ++k) {
            bool hit = false;
            for (const std::uint32_t c : LiveCodes(micros, {}, 50, 0.05, bias(random), random()))
                hit = hit || codes.count(c) > 0;
            missed += hit ? 0 : 1;
        }
        (duplicate ? duplicatePresses : presses) += kPresses;
        (duplicate ? duplicateFound : found) += kPresses - missed;
        ++(duplicate ? duplicates : buttons);
        missedStable += missed > 0 && stable ? 1 : 0;
        if (missed > 0 && std::getenv("ORBISK_IMPORT_DUMP"))
            std::printf("missed %d of %d presses%s%s: %s\n", missed, kPresses, stable ? " (stable)" : "",
                        duplicate ? " (duplicate)" : "", label.c_str());
    }
    void Print(const char* what) const {
        const long all = presses + duplicatePresses, allFound = found + duplicateFound;
        std::printf("%s: %ld buttons, %ld of %ld presses at 5 %% jitter find the key (%.1f %%); without the %ld "
                    "buttons whose frame an earlier one sends: %ld of %ld (%.1f %%); %ld buttons missed although "
                    "reported stable\n",
                    what, buttons + duplicates, allFound, all, all ? 100.0 * allFound / all : 0.0, duplicates, found,
                    presses, presses ? 100.0 * found / presses : 0.0, missedStable);
    }
};

// What the import made of a button, for the dump: its frames or why none.
std::string Outcome(const RemoteImport& plan, const std::string& remote, const std::string& name) {
    std::string out;
    for (const ImportedKey& k : plan.keys)
        if (k.remote == remote && k.name == name) out += " [" + DescribeIrFrame(k.frame) + "]";
    for (const auto& [k, holder] : plan.shared)
        if (k.remote == remote && k.name == name) out += " [" + DescribeIrFrame(k.frame) + " as " + holder + "]";
    for (const SkippedButton& b : plan.skipped)
        if (b.remote == remote && b.name == name) out += " skipped: " + b.reason;
    return out;
}

// Per remote and name, the codes filed; per remote and source line (one
// button), whether the import called its keys stable.
struct Filed {
    std::map<std::pair<std::string, std::string>, std::set<std::uint32_t>> codes;
    std::map<std::pair<std::string, std::size_t>, bool> stable;

    explicit Filed(const RemoteImport& plan) {
        for (const ImportedKey& k : plan.keys) {
            codes[{k.remote, k.name}].insert(k.code);
            const auto [it, added] = stable.try_emplace({k.remote, Line(k.source)}, true);
            it->second = it->second && k.stable;
        }
    }
    static std::size_t Line(const std::string& source) {
        return std::strtoul(source.c_str() + source.rfind(' ') + 1, nullptr, 10);
    }
    std::set<std::uint32_t> Codes(const std::string& remote, const std::string& name) const {
        const auto it = codes.find({remote, name});
        return it == codes.end() ? std::set<std::uint32_t>{} : it->second;
    }
    bool Stable(const std::string& remote, std::size_t line) const {
        const auto it = stable.find({remote, line});
        return it != stable.end() && it->second;
    }
};

// What identifies the frame a button sends: the protocols' frames it reads
// as, toggles aside, when it reads as known protocols only (two remotes of
// a file may time one RC-5 frame apart); its durations otherwise.
std::string FrameIdentity(const std::vector<std::uint32_t>& micros) {
    std::vector<IrFrame> frames;
    LiveCodes(micros, {}, 50, 0, 0, 1, &frames);
    std::string known;
    for (const IrFrame& f : frames) {
        if (f.protocol == IrProtocol::None || f.bits != 0) {
            known.clear();
            break;
        }
        known += DescribeIrFrame(IrFrame{f.protocol, f.scancode, false}) + ";";
    }
    if (!known.empty()) return known;
    std::string durations;
    for (const std::uint32_t d : micros) durations += std::to_string(d) + " ";
    return durations;
}

// Whether an earlier button of the file (of its remote or another) sends
// the same frame; remembers this one's.
bool Duplicate(std::set<std::string>& sent, const std::string& frame) { return !sent.insert(frame).second; }

// Each format's exported keys, and those an import of the export gives back
// with the same code under the same name.
struct RoundTrips {
    long keys = 0, exported[3] = {}, back[3] = {};

    void Add(const RemoteImport& plan) {
        std::vector<IniDocument::EntryChange> entries;
        std::vector<KeptFrame> frames;
        for (const ImportedKey& k : plan.keys) {
            entries.push_back({k.remote, CodeText(k.code), k.name});
            if (std::optional<KeyFrame> f = ImportedKeyFrame(k)) frames.push_back({k.remote, CodeText(k.code), *f});
        }
        IniDocument doc;
        doc.ApplyEntryChanges(entries);
        keys += static_cast<long>(entries.size());
        KeepFrames(doc, frames);
        const ExportFormat formats[] = {ExportFormat::FlipperIr, ExportFormat::LircdConf, ExportFormat::Keymap};
        for (int f = 0; f < 3; ++f) {
            RemoteExport out;
            RemoteImport again;
            std::string error;
            if (!ExportRemote(doc, "remote", formats[f], out, error)) continue;
            if (!PlanRemoteImport(out.text, "remote.ir", "remote", {3, 4, true, false}, again, error)) {
                if (std::getenv("ORBISK_EXPORT_DUMP")) std::printf("export refused %d: %s\n", f, error.c_str());
                continue;
            }
            std::set<std::pair<std::string, std::string>> back;
            for (const ImportedKey& k : again.keys) back.insert({k.name, CodeText(k.code)});
            for (const std::string& entry : doc.SectionEntries("remote")) {
                const std::size_t eq = entry.find('=');
                this->back[f] += static_cast<long>(back.count({entry.substr(eq + 1), entry.substr(0, eq)}));
            }
            exported[f] += static_cast<long>(out.keys);
            if (std::getenv("ORBISK_EXPORT_DUMP"))
                for (const KeyLeftOut& k : out.leftOut) std::printf("not exported %d %s: %s\n", f, k.name.c_str(), k.reason.c_str());
        }
    }
    void Print() const {
        const char* names[] = {"ir", "lircd", "keymap"};
        for (int f = 0; f < 3; ++f)
            std::printf("export %s: %ld of %ld keys exported, %ld of them back with their code under their name\n",
                        names[f], exported[f], keys, back[f]);
    }
};

void Flipper() {
    const std::string path = RealirPath();
    if (path.empty()) {
        std::printf("flipper: no ../shared/realir/flipper-irdb.jsonl.gz: skipped\n");
        return;
    }
    long parsed = 0, filedParsed = 0, duplicates = 0, refusedFiles = 0, refusedButtons = 0;
    Presses raw;
    RoundTrips trips;
    std::mt19937 random(1);
    const bool dump = std::getenv("ORBISK_IMPORT_DUMP") != nullptr;
    for (const auto& [file, entries] : ReadRealir(path)) {
        RemoteImport plan;
        std::string error;
        if (!PlanRemoteImport(FlipperText(entries), "remote.ir", "", {}, plan, error)) {
            ++refusedFiles;
            refusedButtons += static_cast<long>(entries.size());
            if (dump) std::printf("refused %s: %s\n", file.c_str(), error.c_str());
            continue;
        }
        trips.Add(plan);
        const Filed filed(plan);
        std::set<std::string> sent;  // decoded frames and captures
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            const std::set<std::uint32_t> codes = filed.Codes("remote", e.name);
            const std::size_t line = 6 * i + 4;  // of its name:, as FlipperText writes it
            std::string frame = e.protocol + " " + e.address + " " + e.command;
            if (!e.micros.empty()) frame = FrameIdentity(e.micros);
            const bool duplicate = Duplicate(sent, frame);
            const std::string label = file + " " + e.name + Outcome(plan, "remote", e.name);
            if (e.micros.empty()) {
                ++parsed;
                filedParsed += codes.empty() ? 0 : 1;
                duplicates += codes.empty() && duplicate ? 1 : 0;
                if (codes.empty() && dump)
                    std::printf("not filed%s: %s %s\n", duplicate ? " (duplicate)" : "", frame.c_str(), label.c_str());
            } else {
                raw.Press(e.micros, codes, filed.Stable("remote", line), duplicate, random, label);
            }
        }
    }
    std::printf("flipper parsed: %ld of %ld buttons filed under their name (%.2f %%); without the %ld whose frame "
                "an earlier button sends: %.2f %%; %ld files (%ld buttons) refused\n",
                filedParsed, parsed, parsed ? 100.0 * filedParsed / parsed : 0.0, duplicates,
                parsed > duplicates ? 100.0 * filedParsed / (parsed - duplicates) : 0.0, refusedFiles, refusedButtons);
    raw.Print("flipper raw");
    trips.Print();
}

void Lircd() {
    const std::filesystem::path folder = "/usr/share/lirc/remotes";
    if (!std::filesystem::exists(folder)) {
        std::printf("lircd: no %s (Debian lirc-compat-remotes): skipped\n", folder.c_str());
        return;
    }
    Presses presses;
    long files = 0, refused = 0, timed = 0, withoutTiming = 0;
    std::mt19937 random(2);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("begin remote") == std::string::npos) continue;
        ++files;
        LircFile conf;
        RemoteImport plan;
        std::string error;
        if (!ParseLircdConf(text, entry.path().string(), conf, error) ||
            !PlanRemoteImport(text, entry.path().string(), "", {}, plan, error)) {
            ++refused;
            if (std::getenv("ORBISK_IMPORT_DUMP")) std::printf("refused %s\n", error.c_str());
            continue;
        }
        for (const LircSkipped& s : conf.skipped) withoutTiming += static_cast<long>(s.buttons);
        const Filed filed(plan);
        std::set<std::string> sent;
        for (const LircRemote& remote : conf.remotes)
            for (const LircButton& button : remote.buttons) {
                LircFrame frame;
                std::string reason;
                if (!BuildLircFrame(remote, button, 0, false, frame, reason)) continue;
                ++timed;
                const std::set<std::uint32_t> codes = filed.Codes(remote.name, button.name);
                presses.Press(frame.durations, codes, filed.Stable(remote.name, button.line),
                              Duplicate(sent, FrameIdentity(frame.durations)), random,
                              entry.path().filename().string() + " " + remote.name + " " + button.name +
                                  Outcome(plan, remote.name, button.name));
            }
    }
    std::printf("lircd: %ld files (%ld refused), %ld buttons with timing, %ld in remotes skipped\n", files, refused,
                timed, withoutTiming);
    presses.Print("lircd");
}

void Keymaps() {
    const std::filesystem::path folder = "/lib/udev/rc_keymaps";
    if (!std::filesystem::exists(folder)) {
        std::printf("keymaps: no %s (Debian ir-keytable): skipped\n", folder.c_str());
        return;
    }
    int known = 0, imported = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".toml") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("protocol = \"unknown\"") != std::string::npos) continue;
        ++known;
        RemoteImport plan;
        std::string error;
        const bool ok = PlanRemoteImport(text, entry.path().string(), "", {}, plan, error) && !plan.keys.empty();
        imported += ok ? 1 : 0;
        if (!ok && std::getenv("ORBISK_IMPORT_DUMP")) std::printf("not imported: %s\n", entry.path().c_str());
    }
    std::printf("keymaps: %d of %d whose protocol is not unknown import\n", imported, known);
}

}  // namespace

int main() {
    Keymaps();
    Lircd();
    Flipper();
    return 0;
}
