// Measures the preview's cost: runs "kelvara /p <host>" on $DISPLAY and prints the processor
// time it used per second of wall time, and how many repaints a second reach the host (the
// host is cleared after each repaint seen, so each one counted is a pass of its own).
//   with-display <build>/xserver <build>/tests/preview_cpu_measure [seconds]
// A figure to report, not a test: the machine's load decides it.
#include "e2e.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

double processorSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) { // state .. cmajflt: fields 3 to 13
        fields >> skip;
    }
    unsigned long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

constexpr uint32_t hostColour = 0x336699; // not in the logo

bool painted(e2e::Window host) {
    const std::vector<uint32_t> area = e2e::readPixels(host, 5, 20, 140, 70);
    return !area.empty() && std::count(area.begin(), area.end(), hostColour) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    e2e::ConfigHome config;
    e2e::HostWindow host(200, 120, hostColour);
    e2e::Program run({"/p", std::to_string(host.window)}, config.environment());
    if (!e2e::waitUntil([&] { return painted(host.window); })) {
        std::fprintf(stderr, "the preview painted nothing\n%s", run.standardError().c_str());
        return 1;
    }
    using Clock = std::chrono::steady_clock;

    const double before = processorSeconds(run.pid);
    const auto start = Clock::now();
    e2e::waitUntil([] { return false; }, seconds); // the preview runs undisturbed meanwhile
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double used = processorSeconds(run.pid) - before;

    int repaints = 0;
    const auto countStart = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - countStart).count() < seconds) {
        e2e::clearWindow(host.window);
        XSync(e2e::display(), False);
        while (!painted(host.window) &&
               std::chrono::duration<double>(Clock::now() - countStart).count() < seconds) {
            usleep(500);
        }
        ++repaints;
    }
    std::printf("preview: %.2f %% of one core over %.1f s; %.1f repaints a second\n",
                100.0 * used / wall, wall, repaints / seconds);
    return 0;
}
