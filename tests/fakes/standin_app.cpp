// Stands in for the nimbrel executable in script tests: like the real app, a newer copy asks the
// running one to quit, and a copy runs until it is sent SIGTERM. State lives in
// $NIMBREL_STANDIN_STATE/app.pid. NIMBREL_STANDIN_END=abort or =<code> makes it end at once,
// as a crashing or failing app would.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void onTerm(int) { stopRequested = 1; }
}

int main()
{
    const char *state = std::getenv("NIMBREL_STANDIN_STATE");
    if (!state)
        return 2;
    const std::string pidFile = std::string(state) + "/app.pid";

    if (const char *end = std::getenv("NIMBREL_STANDIN_END")) {
        if (std::string(end) == "abort")
            std::abort();
        return std::atoi(end);
    }
    std::signal(SIGTERM, onTerm);
    pid_t older = 0;
    if (std::ifstream in(pidFile); in >> older && older > 0 && older != getpid())
        kill(older, SIGTERM);
    {
        const std::string tmp = pidFile + ".tmp";
        std::ofstream(tmp) << getpid() << '\n';
        std::rename(tmp.c_str(), pidFile.c_str());
    }
    while (!stopRequested)
        pause();
    return 0;
}
