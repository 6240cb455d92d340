// A stand-in application for the app-slice test: it waits to be ended. With "--respawn N" it
// starts a fresh copy of itself (in the same cgroup, as a program restarting itself does)
// each time SIGTERM arrives, N times. Nothing of the app in it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static volatile sig_atomic_t terminated = 0;

static void onTerm(int sig)
{
    (void)sig;
    terminated = 1;
}

int main(int argc, char **argv)
{
    int respawn = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "--respawn") == 0)
            respawn = atoi(argv[i + 1]);
    }
    signal(SIGTERM, onTerm);
    while (!terminated)
        pause();
    if (respawn > 0 && fork() == 0) {
        char count[16];
        snprintf(count, sizeof count, "%d", respawn - 1);
        char respawnFlag[] = "--respawn";
        char *args[] = {argv[0], respawnFlag, count, nullptr};
        setsid();
        execv("/proc/self/exe", args);
        _exit(127);
    }
    return 0;
}
