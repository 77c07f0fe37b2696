// Measures orbisk serve's socket side under load: CLIENTS clients on the
// socket (one connected but never reading) while EVENTS key events go out,
// ROUNDS times over in one process, with the resident memory after each round.
// Then the real orbisk serve stopped with SIGTERM while 900 clients read and
// 1,050 flood it with LIST of a 5,000-key remote and garbage: the seconds to
// its end, and how many of 50 commands sent after SIGTERM were answered.
// Usage: bench_lirc_serve [CLIENTS] [EVENTS] [ROUNDS]
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/lirc_load.h"
#include "support/temp_dir.h"

namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value) return value;
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

// orbisk serve beside a settings file with a remote of 5,000 keys.
orbisk::test::ServeStopResult StopInAFlood(const orbisk::test::TempDir& dir) {
    namespace fs = std::filesystem;
    for (const char* file : {"orbisk", "orbisk.so"})
        fs::copy_file(fs::path(ORBISK_BIN_DIR) / file, dir.File(file), fs::copy_options::overwrite_existing);
    std::string ini = "[Main]\nCOM=250\n[Big]\n";
    for (int i = 0; i < 5000; ++i) ini += std::to_string(10000000 + i) + "=Key" + std::to_string(i) + "\n";
    orbisk::test::WriteFile(dir.File("orbisk.ini"), ini);
    const std::string socket = dir.File("serve.sock");
    orbisk::test::ChildProcess serve({dir.File("orbisk"), "serve", "--socket", socket}, dir.File("serve.txt"));
    for (int i = 0, fd = -1; i < 1000 && fd < 0; ++i) {
        if ((fd = orbisk::test::ConnectUnix(socket)) >= 0) ::close(fd);
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return orbisk::test::FloodThenStop(socket, serve, "Big", 900, 1050, 50, 2000);
}

}  // namespace

int main(int argc, char** argv) {
    const int clients = argc > 1 ? std::atoi(argv[1]) : 50;
    const int events = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    orbisk::test::TempDir dir;
    std::printf("%d clients (one never reading), %d key events per round\n", clients, events);
    std::printf("round  seconds  events/s  lines delivered  intact readers  dropped  peak queued KiB  RSS KiB\n");
    std::printf("start                                                                               %7ld\n",
                ResidentKb());
    bool ok = true;
    for (int round = 1; round <= rounds; ++round) {
        const orbisk::test::LircLoadResult r = orbisk::test::RunLircLoad(dir.File("lircd"), clients, events);
        std::printf("%5d  %7.3f  %8.0f  %15lld  %8d of %3d  %7llu  %15zu  %7ld\n", round, r.seconds, events / r.seconds,
                    static_cast<long long>(r.readers) * events, r.readersWithEveryLine, r.readers,
                    static_cast<unsigned long long>(r.droppedClients), r.maxQueuedBytes / 1024, ResidentKb());
        ok = ok && r.listening && r.readersWithEveryLine == r.readers && r.droppedClients == 1;
    }
    const orbisk::test::ServeStopResult stop = StopInAFlood(dir);
    std::printf("\norbisk serve stopped in a flood: %d clients, %.3f s from SIGTERM to its end (status %d), "
                "%d of %d commands sent after SIGTERM answered\n",
                stop.clients, stop.stopSeconds, stop.status, stop.probesAnswered, stop.probes);
    ok = ok && stop.status == 0;
    return ok ? 0 : 1;
}
