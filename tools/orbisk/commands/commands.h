#pragma once
// Subcommands of the orbisk program.  Each gets the arguments after its own
// name, prints its own --help, and returns the exit status.
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbisk::tool {

using Args = std::vector<std::string>;

int RunDecode(const Args& args);
int RunSettings(const Args& args);
int RunHost(const Args& args);      // orbisk run
int RunSimulate(const Args& args);
int RunMonitor(const Args& args);
int RunSetup(const Args& args);
int RunGenerate(const Args& args);
int RunServe(const Args& args);     // orbisk serve (POSIX only)
int RunIdentify(const Args& args);
// orbisk settings import, with the arguments after "import".
int ImportRemote(const Args& args);

struct Command {
    const char* name;
    int (*run)(const Args&);
    const char* summary;
};

// The commands only this platform has (posix/commands.cpp, win32/commands.cpp).
std::span<const Command> PlatformCommands();

// Prints "orbisk <command>: <message>" on standard error and returns 2.
int Fail(std::string_view command, std::string_view message);

// Parses a whole decimal (or 0x hexadecimal) integer within [min, max].
bool ParseNumber(std::string_view text, long long min, long long max, long long& out);

// Reads a whole input file, "-" meaning standard input; false with a
// one-line reason.
bool ReadInputFile(const std::string& file, std::string& out, std::string& error);

// Folder of the running orbisk program; the plug-in is installed beside it.
std::string ProgramFolder();

// The path of a file or folder beside the orbisk program.
std::string InProgramFolder(std::string_view name);

// The platform's part (posix/ or win32/): standard streams set up for the
// commands' output, the separator of path names, and why port number `port`
// (device `path`) did not open, as far as can be told from outside.
void PrepareStandardStreams();
extern const char PathSeparator[];
// The width of the terminal on standard output, or of a usual one.
int TerminalColumns();
std::string PortOpenFailure(const std::string& portFolder, int port, const std::string& path);

// One line of tab-separated fields on standard output.  Texts from files
// are shown as `orbisk run` shows key names: a file may hold escape
// sequences, bells or NULs that must not reach the terminal, or tabs that
// would split a field.
void PrintLine(std::initializer_list<std::string_view> fields);

// True when args holds -h or --help.
bool WantsHelp(const Args& args);

// The common start of a command: with --help it prints help and ends with 0;
// otherwise parse fills options, or the command ends with its one-line
// error.  Returns the exit status to end with, or nothing to go on.
template <typename Options>
std::optional<int> BeginCommand(std::string_view command, const char* help, const Args& args,
                                bool (*parse)(const Args&, Options&, std::string&), Options& options) {
    if (WantsHelp(args)) {
        std::fputs(help, stdout);
        return 0;
    }
    std::string error;
    if (!parse(args, options, error)) return Fail(command, error);
    return std::nullopt;
}

}  // namespace orbisk::tool
