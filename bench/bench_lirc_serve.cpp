// Measures orbisk serve's socket side under load: CLIENTS clients on the
// socket (one connected but never reading) while EVENTS key events go out,
// ROUNDS times over in one process, with the resident memory after each round.
// Usage: bench_lirc_serve [CLIENTS] [EVENTS] [ROUNDS]
#include <stdlib.h>

#include <cstdio>
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
    return ok ? 0 : 1;
}
