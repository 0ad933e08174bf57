// With KELVARA_TRACE_STARTUP set, lines "kelvara-trace MS TEXT" on standard error: the wall-clock
// time in milliseconds since 1970 and the step's text, so that a script can measure the start-up
// (and each run's first frame and frame rate) against its own clock. A run of one monitor ends
// each of its lines with " on MONITOR".
#pragma once

#include <string>

bool startupTracing();
void traceStartup(const char* step);
// Names the monitor of this process's run in every later line.
void setStartupTraceMonitor(const std::string& name);
