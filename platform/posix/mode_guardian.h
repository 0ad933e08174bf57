// The mode guardian: a small process that gives the display mode back when the program ends
// without doing so itself (SIGKILL, a crash, the OOM killer). Nothing on Linux takes a mode back
// when the process that set it dies.
//
// The program starts it before its first mode change by running its own executable again with
// a hidden switch, so the guardian begins as a fresh process: nothing of the program's X
// connection, GL driver or threads comes with it. It holds one end of a socket pair whose other
// end only the program holds, and sleeps in read(). The kernel closes the program's end however
// the program ends; the guardian then restores the mode, unless the program said it had done so
// or someone else has changed the mode since. It opens its own X connection only then, and
// holds no grab and costs nothing while it waits.
//
// What to restore is the mode back end's business: it hands over words (its record of the
// configuration before the change, each change about to be made) that the guardian hands back
// to its restore function unchanged.
#pragma once

#include <string>
#include <vector>

// The first argument with which the program starts itself as its guardian.
inline constexpr const char* modeGuardianSwitch = "--mode-guardian";

// Gives the mode back as before describes it, but only while the display is in a state the
// program's changes (all those announced, the latest last) may have left; says on standard
// error what it did.
using ModeRestore = void (*)(const std::vector<std::string>& before,
                             const std::vector<std::string>& changes);

// Called first thing in main (through the mode back end). When the program was started as its
// own guardian, runs the guardian, stores its exit status and returns true. Otherwise it
// records that this executable can serve as a guardian and returns false: tests and tools that
// link the mode code but never call this get no guardian.
bool runModeGuardianIfAsked(int argc, char** argv, ModeRestore restore, int& status);

// In the program, before the first change: starts a guardian that knows the configuration to
// give back, and keeps none of the program's descriptors. Dismisses an earlier guardian first.
// True once the guardian runs; false when this executable cannot serve as one or the start
// failed (said on standard error); the run goes on unguarded.
bool startModeGuardian(const std::vector<std::string>& before);

// Tells the guardian which change the program is about to make, so that it restores only while
// that change is still in force. Sent before the change, so that a kill right after it is
// covered too.
void announceModeChange(const std::string& change);

// The program gave the mode back itself: the guardian ends without touching anything.
void dismissModeGuardian();
