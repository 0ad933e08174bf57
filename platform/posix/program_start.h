// This program started again as a child process, the way the full-screen run's supervisor and
// the idle watcher start their runs (startThisProgram).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starts "/proc/self/exe" with words as its arguments (the first is its name) and environment as
// its environment (entries NAME=VALUE), or this process's own environment when none is given.
// The child starts with the signal state of a fresh session, whatever this process inherited
// (nothing blocked, nothing ignored), and gets SIGTERM when this process dies, however it dies.
// Returns its process id, or -1 with errno set.
pid_t startThisProgram(std::vector<std::string> words,
                       const std::vector<std::string>* environment = nullptr);
