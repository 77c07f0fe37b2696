#pragma once
// Subcommands of the orbisk program.  Each gets the arguments after its own
// name, prints its own --help, and returns the exit status.
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

// Prints "orbisk <command>: <message>" on standard error and returns 2.
int Fail(std::string_view command, std::string_view message);

// Parses a whole decimal (or 0x hexadecimal) integer within [min, max].
bool ParseNumber(std::string_view text, long long min, long long max, long long& out);

// Folder of the running orbisk program; the plug-in is installed beside it.
std::string ProgramFolder();

// True when args holds -h or --help.
bool WantsHelp(const Args& args);

}  // namespace orbisk::tool
