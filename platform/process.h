// Process and system services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Creates the named, session-wide instance lock and holds it until the process ends (also on a
// crash). False when another process holds it.
bool createInstanceLock(const std::string& name);

// The command line as the one string the system hands to programs (Windows); nullopt where
// programs get their arguments one by one (argv is then the command line).
std::optional<std::string> commandLineText();

std::string executablePath();
// The result says whether the change worked; callers may ignore it.
bool setCurrentDirectory(const std::string& path);
// Best effort: a refusal is ignored.
void setHighPriority();
void sleepMilliseconds(uint32_t milliseconds);
uint64_t totalPhysicalMemory();
// Milliseconds from a monotonic clock, wrapping at 2^32 like GetTickCount.
uint32_t tickCount();
