#include "platform/startup_trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

std::string monitorSuffix;

} // namespace

bool startupTracing() {
    static const bool enabled = std::getenv("KELVARA_TRACE_STARTUP") != nullptr;
    return enabled;
}

void traceStartup(const char* step) {
    if (!startupTracing())
        return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double ms = std::chrono::duration<double, std::milli>(now).count();
    std::fprintf(stderr, "kelvara-trace %.3f %s%s\n", ms, step, monitorSuffix.c_str());
}

void setStartupTraceMonitor(const std::string& name) {
    monitorSuffix = name.empty() ? std::string() : " on " + name;
}
