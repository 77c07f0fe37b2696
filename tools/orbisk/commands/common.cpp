#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands/commands.h"
#include "common/text.h"
#include "platform/file_io.h"
#include "platform/module_path.h"

namespace orbisk::tool {

int Fail(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "orbisk %.*s: %.*s\n", static_cast<int>(command.size()), command.data(),
                 static_cast<int>(message.size()), message.data());
    return 2;
}

bool ParseNumber(std::string_view text, long long min, long long max, long long& out) {
    if (text.empty() || text.size() > 20) return false;
    const std::string s(text);
    char* end = nullptr;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const long long value = std::strtoll(s.c_str(), &end, hex ? 16 : 10);
    if (end == s.c_str() || *end != '\0' || value < min || value > max) return false;
    out = value;
    return true;
}

namespace {

bool ReadStandardInput(std::string& out) {
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) out.append(buffer, n);
    return !std::ferror(stdin);
}

}  // namespace

bool ReadInputFile(const std::string& file, std::string& out, std::string& error) {
    if (file == "-") {
        if (ReadStandardInput(out)) return true;
        error = "cannot read standard input";
        return false;
    }
    FileContents contents = ReadWholeFile(file);
    switch (contents.outcome) {
    case ReadOutcome::Ok:
        out = std::move(contents.bytes);
        return true;
    case ReadOutcome::Missing:
        error = "no such file: " + file;
        return false;
    case ReadOutcome::TooLarge:
        error = file + ": too large";
        return false;
    case ReadOutcome::Failed:
        break;
    }
    error = "cannot read " + file;
    return false;
}

std::string ProgramFolder() { return FolderOf(OwnModulePath()); }

std::string InProgramFolder(std::string_view name) {
    return ProgramFolder() + PathSeparator + std::string(name);
}

void PrintLine(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) line += '\t';
        line += ControlCharactersReplaced(field);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

bool WantsHelp(const Args& args) {
    for (const std::string& a : args)
        if (a == "-h" || a == "--help") return true;
    return false;
}

}  // namespace orbisk::tool
