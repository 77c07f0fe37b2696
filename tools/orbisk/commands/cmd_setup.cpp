// orbisk setup: what a host's "Setup" button does.
#include <cstdio>

#include "commands/commands.h"
#include "host/plugin_loader.h"

namespace orbisk::tool {

int RunSetup(const Args& args) {
    if (WantsHelp(args)) {
        std::fputs(
            "usage: orbisk setup [--plugin PATH]\n"
            "\n"
            "Loads the plug-in as a host does, opens its setup dialog and closes it\n"
            "again when the dialog is closed.  With 'orbisk simulate' running, keys can\n"
            "be learned without a receiver.  When the plug-in shows no dialog (no\n"
            "display, or a settings folder it refuses) it says why, nothing changes,\n"
            "and the exit status is 2.\n"
            "\n"
            "  --plugin PATH  the plug-in library (default: the installed plug-in)\n",
            stdout);
        return 0;
    }
    std::string pluginPath = DefaultPluginPath();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--plugin" && i + 1 < args.size())
            pluginPath = args[++i];
        else
            return Fail("setup", "unexpected argument '" + args[i] + "' (see 'orbisk setup --help')");
    }
    LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(pluginPath, error)) return Fail("setup", error);
    const HostInfoRecord hostInfo(ORBISK_HOST_VERSION(2, 7, 12));
    plugin.Open(nullptr, nullptr, hostInfo.bytes);
    // Setup sets _SetupForm only when it makes a dialog (and clears it
    // after): a mark still there means the user saw none.
    static char noDialog;
    *plugin.SetupForm = &noDialog;
    plugin.Setup();
    const bool shown = *plugin.SetupForm != &noDialog;
    *plugin.SetupForm = nullptr;
    plugin.Close();
    if (!shown) return Fail("setup", "the plug-in showed no setup dialog (see above); nothing was changed");
    return 0;
}

}  // namespace orbisk::tool
