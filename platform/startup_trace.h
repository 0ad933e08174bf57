// With KELVARA_TRACE_STARTUP set, lines "kelvara-trace MS TEXT" on standard error: the wall-clock
// time in milliseconds since 1970 and the step's text, so that a script can measure the start-up
// (and a Wayland output's first frame and frame rate) against its own clock.
#pragma once

bool startupTracing();
void traceStartup(const char* step);
