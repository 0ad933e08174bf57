// The full-screen run on Wayland (runOnEveryWaylandOutput): a run per output (the process per
// monitor of platform/posix/run_supervisor.h), also for a single output, since outputs come and
// go during the run. This process watches the outputs on its own connection: an output that
// comes gets a run, one that goes ends only its own. It sleeps in poll() on the connection and
// the supervisor's wake.
#include "platform/wayland/wayland_output_run.h"

#include "platform/exception.h"
#include "platform/posix/run_supervisor.h"
#include "platform/wayland/wayland_connection.h"

#include <cstdio>
#include <string>

namespace {

Monitor monitorOf(const WaylandOutput& output) {
    Monitor monitor;
    monitor.id = std::to_string(output.globalName);
    monitor.name = output.name;
    monitor.x = output.x;
    monitor.y = output.y;
    monitor.width = output.pixelWidth;
    monitor.height = output.pixelHeight;
    return monitor;
}

} // namespace

std::vector<Monitor> waylandMonitors() {
    std::vector<Monitor> monitors;
    try {
        WaylandConnection connection;
        for (const auto& output : connection.globals.outputs)
            if (output->described)
                monitors.push_back(monitorOf(*output));
    } catch (const Exception&) {
        // No compositor: no monitors.
    }
    return monitors;
}

bool runOnEveryWaylandOutput(const std::vector<std::string>& args, int& status) {
    RunSupervisor runs(args);
    try {
        WaylandConnection connection;
        connection.outputAdded = [&runs](WaylandOutput& output) { runs.start(monitorOf(output)); };
        connection.outputRemoved = [&runs](WaylandOutput& output) {
            runs.monitorGone(std::to_string(output.globalName));
        };
        for (const auto& output : connection.globals.outputs)
            if (output->described)
                runs.start(monitorOf(*output));
        // A run may end because its output went: the compositor closes the surface before this
        // connection hears of the removal, which a roundtrip brings.
        const auto stillThere = [&connection](const std::string& id) {
            connection.roundtrip();
            return connection.findOutput(static_cast<uint32_t>(std::stoul(id))) != nullptr;
        };
        while (!(connection.dispatch(-1, runs.wakeFd()) && runs.handleWake(stillThere))) {
        }
        status = runs.status();
    } catch (const Exception& e) {
        // The compositor went away (a logout) or broke the connection.
        std::fprintf(stderr, "kelvara: %s\n", e.message.c_str());
        status = 1;
    }
    return true;
}
