// "/s" as one run per monitor on Windows (runWin32MonitorRuns): the intro and the mosaic keep
// their state once per process, so from two monitors on every monitor's run is a process of its
// own, this program started again as "<program> --monitor-run <device> <arguments>". The starter
// holds the instance mutex, starts the runs in a job object that ends them when it ends, and
// ends them together: when one ends (by input, its stop timer or an error), or a key goes down
// anywhere, the others are asked to close their forms, the orderly way that gives a display mode
// back, and are terminated when they have not ended within a grace period. Its exit status is 0,
// or the first failure's: a run's non-zero exit code, else 1 for a run that reported an error or
// did not end the orderly way.
//
// The channel between the two is a set of inheritable handles whose values the run finds in an
// environment variable: its "ready" event, set once it has its picture; the shared "go" event,
// set when every run may show, so that no picture holds another run's window; the shared "end"
// event; its "failed" event; its "done" event, set when it ends the orderly way (one that was
// killed or crashed may show an exit code of 0); and the starter's process, whose end ends the
// run as well.
#include "platform/win32/win32_services.h"

#include "platform/exception.h"
#include "platform/process.h"
#include "platform/win32/win32_loop.h"

#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// How long the runs have to close their forms once asked: a run in its start-up closes after
// the step under way (the clock measurement takes a second).
constexpr DWORD endGraceMs = 5000;
// How long the runs together may take for their pictures before they show all the same.
constexpr DWORD pictureWaitMs = 20000;
// A system that announces more monitors than any desk has gets runs on the first ones only.
constexpr size_t maxRuns = 16;
constexpr const char* channelVariable = "KELVARA_MONITOR_RUN_CHANNEL";

std::string systemError(DWORD code) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

// A handle this process owns, closed when its owner goes.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : value(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            value = std::exchange(other.value, nullptr);
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return value; }
    explicit operator bool() const { return value != nullptr; }
    void reset() {
        if (value != nullptr) {
            CloseHandle(value);
        }
        value = nullptr;
    }

private:
    HANDLE value = nullptr;
};

OwnedHandle manualEvent() {
    return OwnedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

void setInherited(HANDLE handle, bool inherited) {
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, inherited ? HANDLE_FLAG_INHERIT : 0);
}

// The handle to hand a run for one of this process's standard handles: a copy it inherits;
// none where this process has none.
OwnedHandle inheritableCopy(DWORD which) {
    HANDLE own = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (own == nullptr || own == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return OwnedHandle();
    }
    return OwnedHandle(copy);
}

// One argument as the program's own command-line splitter takes it back (quoted where it holds
// a blank or a control character); throws Exception for one it cannot pass on.
std::string commandLineArgument(const std::string& argument) {
    // The program's splitter knows no escapes: a double quote cannot be passed on, and an empty
    // argument would vanish.
    if (argument.empty() || argument.find('"') != std::string::npos) {
        throw Exception("Cannot pass the argument [" + argument + "] on to the monitors' runs");
    }
    const bool blank = std::any_of(argument.begin(), argument.end(),
                                   [](char c) { return static_cast<unsigned char>(c) <= 32; });
    if (!blank) {
        return argument;
    }
    std::string quoted(1, '"');
    quoted += argument;
    quoted += '"';
    return quoted;
}

// The program's own file, whose runs find their data folder beside it the same way.
std::string ownProgram() {
    const std::string path = executablePath();
    if (path.empty())
        throw Exception("Cannot find the program's own file: " + systemError(GetLastError()));
    return path;
}

// Set by the keyboard hook of the runs' starter. The keyboard comes to the foreground window,
// and the system may leave every run's window in the background (a foreground lock; Wine on an
// X server whose focus follows the pointer): a key must end the runs all the same.
bool keyWentDown = false;

LRESULT CALLBACK watchKeys(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) {
        keyWentDown = true;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

class MonitorRuns {
public:
    explicit MonitorRuns(const std::vector<std::string>& runArguments)
        : program(ownProgram()), job(CreateJobObjectW(nullptr, nullptr)), go(manualEvent()),
          end(manualEvent()) {
        for (const std::string& argument : runArguments) {
            arguments += ' ';
            arguments += commandLineArgument(argument);
        }
        HANDLE self = nullptr;
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                        SYNCHRONIZE, FALSE, 0);
        starter = OwnedHandle(self);
        if (!go || !end || !starter) {
            throw Exception("Cannot watch the runs: " + systemError(GetLastError()));
        }
        // The runs end when this process ends, however it ends; where the system refuses (an
        // old one, inside a job of its own), they still close when they see it gone.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job && !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                            sizeof limits)) {
            job.reset();
        }
        for (HANDLE shared : {go.get(), end.get(), starter.get()}) {
            setInherited(shared, true);
        }
        standardInput = inheritableCopy(STD_INPUT_HANDLE);
        standardOutput = inheritableCopy(STD_OUTPUT_HANDLE);
        standardError = inheritableCopy(STD_ERROR_HANDLE);
        // The runs take the foreground themselves, so that the keyboard comes to one of them.
        AllowSetForegroundWindow(ASFW_ANY);
        // Its calls come while this thread waits for messages (runUntilOver).
        keyHook = SetWindowsHookExW(WH_KEYBOARD_LL, watchKeys, GetModuleHandleW(nullptr), 0);
    }

    ~MonitorRuns() {
        endAll();
        unhookKeys();
    }

    MonitorRuns(const MonitorRuns&) = delete;
    MonitorRuns& operator=(const MonitorRuns&) = delete;

    // Starts the monitor's run; false (with a line on standard error) when it cannot.
    bool start(const Monitor& monitor) {
        if (runs.size() >= maxRuns) {
            std::fprintf(stderr,
                         "kelvara: monitor %s is left uncovered: %zu runs at once at most\n",
                         monitor.name.c_str(), maxRuns);
            return false;
        }
        Run run;
        run.monitorName = monitor.name;
        run.ready = manualEvent();
        run.failed = manualEvent();
        run.done = manualEvent();
        if (!run.ready || !run.failed || !run.done) {
            return cannotStart(monitor, GetLastError());
        }
        char channel[128];
        std::snprintf(channel, sizeof channel,
                      "%" PRIuPTR " %" PRIuPTR " %" PRIuPTR " %" PRIuPTR " %" PRIuPTR " %" PRIuPTR,
                      reinterpret_cast<uintptr_t>(run.ready.get()),
                      reinterpret_cast<uintptr_t>(go.get()), reinterpret_cast<uintptr_t>(end.get()),
                      reinterpret_cast<uintptr_t>(run.failed.get()),
                      reinterpret_cast<uintptr_t>(run.done.get()),
                      reinterpret_cast<uintptr_t>(starter.get()));
        std::string line = "\"" + program + "\" " + monitorRunSwitch + " " +
                           commandLineArgument(monitor.id) + arguments;

        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;
        startup.hStdInput = standardInput.get();
        startup.hStdOutput = standardOutput.get();
        startup.hStdError = standardError.get();
        PROCESS_INFORMATION made{};
        // Only this run's own events go to it, beside the shared ones.
        const HANDLE own[] = {run.ready.get(), run.failed.get(), run.done.get()};
        for (HANDLE handle : own) {
            setInherited(handle, true);
        }
        SetEnvironmentVariableA(channelVariable, channel);
        const BOOL created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                            CREATE_SUSPENDED, nullptr, nullptr, &startup, &made);
        const DWORD error = GetLastError();
        SetEnvironmentVariableA(channelVariable, nullptr);
        for (HANDLE handle : own) {
            setInherited(handle, false);
        }
        if (!created) {
            return cannotStart(monitor, error);
        }
        run.process = OwnedHandle(made.hProcess);
        OwnedHandle thread(made.hThread);
        if (job) {
            AssignProcessToJobObject(job.get(), run.process.get());
        }
        if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
            const DWORD resumeError = GetLastError();
            TerminateProcess(run.process.get(), 1);
            return cannotStart(monitor, resumeError);
        }
        runs.push_back(std::move(run));
        return true;
    }

    size_t count() const { return runs.size(); }

    // Waits until one run ends, then ends the others.
    void runUntilOver() {
        const DWORD since = GetTickCount();
        std::vector<HANDLE> waits;
        std::vector<std::pair<size_t, bool>> meaning; // the run, and whether it is its picture
        while (true) {
            waits.clear();
            meaning.clear();
            for (size_t i = 0; i < runs.size(); ++i) {
                waits.push_back(runs[i].process.get());
                meaning.emplace_back(i, false);
                if (!released && !runs[i].pictureTaken) {
                    waits.push_back(runs[i].ready.get());
                    meaning.emplace_back(i, true);
                }
            }
            if (waits.empty()) {
                return;
            }
            DWORD timeout = INFINITE;
            if (!released) {
                const DWORD spent = GetTickCount() - since;
                timeout = spent >= pictureWaitMs ? 0 : pictureWaitMs - spent;
            }
            const DWORD n = static_cast<DWORD>(waits.size());
            // Messages too: a program of the desktop that has no window of its own still answers
            // the system's broadcasts.
            const DWORD woke =
                MsgWaitForMultipleObjects(n, waits.data(), FALSE, timeout, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0 + n) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    DispatchMessageW(&message);
                }
                if (keyWentDown) {
                    endAll();
                    return;
                }
            } else if (woke == WAIT_TIMEOUT) {
                std::fprintf(stderr,
                             "kelvara: not every run had its picture within %lu s; all show now\n",
                             static_cast<unsigned long>(pictureWaitMs / 1000));
                releasePictures();
            } else if (woke < WAIT_OBJECT_0 + n) {
                const auto [index, picture] = meaning[woke - WAIT_OBJECT_0];
                if (!picture) {
                    runEnded(runs[index]);
                    endAll();
                    return;
                }
                runs[index].pictureTaken = true;
                if (std::all_of(runs.begin(), runs.end(),
                                [](const Run& run) { return run.pictureTaken; })) {
                    releasePictures();
                }
            } else {
                std::fprintf(stderr, "kelvara: cannot watch the runs: %s\n",
                             systemError(GetLastError()).c_str());
                if (status_ == 0) {
                    status_ = 1;
                }
                endAll();
                return;
            }
        }
    }

    int status() const { return status_; }

private:
    struct Run {
        std::string monitorName;
        OwnedHandle process;
        OwnedHandle ready;
        OwnedHandle failed;
        OwnedHandle done;
        bool pictureTaken = false;
    };

    bool cannotStart(const Monitor& monitor, DWORD error) {
        std::fprintf(stderr, "kelvara: cannot start the run on monitor %s: %s\n",
                     monitor.name.c_str(), systemError(error).c_str());
        return false;
    }

    // A hook whose thread stops waiting for messages would hold up every key of the desktop.
    void unhookKeys() {
        if (keyHook != nullptr) {
            UnhookWindowsHookEx(keyHook);
        }
        keyHook = nullptr;
    }

    void releasePictures() {
        released = true;
        SetEvent(go.get());
    }

    // The first run that ends decides the status.
    void runEnded(const Run& run) {
        DWORD code = 0;
        GetExitCodeProcess(run.process.get(), &code);
        const bool reported = WaitForSingleObject(run.failed.get(), 0) == WAIT_OBJECT_0;
        const bool orderly = WaitForSingleObject(run.done.get(), 0) == WAIT_OBJECT_0;
        if (!reported && (code != 0 || !orderly)) {
            // Its own error went to standard error; a crash or a kill says nothing of itself.
            std::fprintf(stderr,
                         "kelvara: the run on monitor %s was ended from outside or crashed (exit "
                         "code 0x%lx)\n",
                         run.monitorName.c_str(), static_cast<unsigned long>(code));
        }
        status_ = code != 0 ? static_cast<int>(code) : reported || !orderly ? 1 : 0;
    }

    // Asks every run to close, and terminates those that have not within the grace period.
    void endAll() {
        unhookKeys();
        if (runs.empty()) {
            return;
        }
        SetEvent(end.get());
        releasePictures();
        std::vector<HANDLE> processes;
        for (const Run& run : runs) {
            processes.push_back(run.process.get());
        }
        if (WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), TRUE,
                                   endGraceMs) != WAIT_OBJECT_0) {
            for (const Run& run : runs) {
                if (WaitForSingleObject(run.process.get(), 0) == WAIT_OBJECT_0) {
                    continue;
                }
                std::fprintf(stderr,
                             "kelvara: the run on monitor %s did not end within %lu s; ended "
                             "it\n",
                             run.monitorName.c_str(),
                             static_cast<unsigned long>(endGraceMs / 1000));
                TerminateProcess(run.process.get(), 1);
                WaitForSingleObject(run.process.get(), endGraceMs);
            }
        }
        runs.clear();
    }

    std::string program;
    std::string arguments; // after the monitor's id, as the command line has them
    OwnedHandle job;
    OwnedHandle go;
    OwnedHandle end;
    OwnedHandle starter;
    OwnedHandle standardInput, standardOutput, standardError;
    std::vector<Run> runs;
    HHOOK keyHook = nullptr;
    bool released = false;
    int status_ = 0;
};

// The run's end of the channel, in this process (a monitor's run). The process keeps them until
// it ends.
struct RunChannel {
    HANDLE ready = nullptr;
    HANDLE go = nullptr;
    HANDLE end = nullptr;
    HANDLE failed = nullptr;
    HANDLE done = nullptr;
    HANDLE starter = nullptr;
} channel;
bool pictureAnnounced = false;

BOOL CALLBACK closeForm(HWND window, LPARAM posted) {
    char name[32] = "";
    if (GetClassNameA(window, name, sizeof name) > 0 &&
        std::strcmp(name, win32FormClassName) == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        *reinterpret_cast<bool*>(posted) = true;
    }
    return TRUE;
}

// Waits for the starter to end the runs (or to end itself), then closes the form as its close
// box would: the run ends the orderly way, the display mode given back.
DWORD WINAPI watchStarter(void* mainThread) {
    const DWORD thread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(mainThread));
    HANDLE either[] = {channel.end, channel.starter};
    if (WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_FAILED) {
        return 0;
    }
    bool posted = false;
    EnumThreadWindows(thread, closeForm, reinterpret_cast<LPARAM>(&posted));
    if (!posted) {
        PostThreadMessageA(thread, WM_QUIT, 0, 0);
    }
    return 0;
}

} // namespace

bool runWin32MonitorRuns(const std::vector<std::string>& args, int& status) {
    const std::vector<Monitor> all = win32Monitors();
    if (all.size() < 2) {
        return false;
    }
    MonitorRuns runs(args);
    for (const Monitor& monitor : all) {
        runs.start(monitor);
    }
    if (runs.count() == 0) {
        std::fprintf(stderr, "kelvara: no monitor's run could start; this one covers the primary "
                             "monitor\n");
        return false;
    }
    runs.runUntilOver();
    status = runs.status();
    // A primary's run that was killed or crashed gave nothing back, and not every system takes
    // a full-screen mode back from a process that ends (Wine does not).
    win32GiveBackPrimaryMode();
    return true;
}

void joinWin32MonitorRuns() {
    char text[160] = "";
    const DWORD length = GetEnvironmentVariableA(channelVariable, text, sizeof text);
    // No process this one starts is a run of the starter's.
    SetEnvironmentVariableA(channelVariable, nullptr);
    if (length == 0) {
        return; // started by hand: no starter to wait for
    }
    unsigned long long values[6] = {};
    char extra = 0;
    bool valid = length < sizeof text &&
                 std::sscanf(text, "%llu %llu %llu %llu %llu %llu %c", &values[0], &values[1],
                             &values[2], &values[3], &values[4], &values[5], &extra) == 6;
    HANDLE handles[6] = {};
    for (int i = 0; valid && i < 6; ++i) {
        handles[i] = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(values[i]));
        DWORD flags = 0;
        valid = handles[i] != nullptr && GetHandleInformation(handles[i], &flags) != 0;
    }
    if (!valid) {
        std::fprintf(stderr,
                     "kelvara: %s holds no handles of this process ([%s]); the run "
                     "waits for no other\n",
                     channelVariable, text);
        return;
    }
    for (HANDLE handle : handles) {
        setInherited(handle, false);
    }
    channel = RunChannel{handles[0], handles[1], handles[2], handles[3], handles[4], handles[5]};
    // Reached by a return from main or exit(), never by a kill or a crash.
    std::atexit([] { SetEvent(channel.done); });
    const uintptr_t mainThread = GetCurrentThreadId();
    HANDLE watcher =
        CreateThread(nullptr, 0, watchStarter, reinterpret_cast<void*>(mainThread), 0, nullptr);
    if (watcher != nullptr) {
        CloseHandle(watcher);
    }
}

void waitForEveryWin32Picture() {
    if (pictureAnnounced || channel.ready == nullptr) {
        return;
    }
    pictureAnnounced = true;
    SetEvent(channel.ready);
    // The starter's own limit bounds this wait; this one bounds it should the starter hang.
    HANDLE any[] = {channel.go, channel.end, channel.starter};
    WaitForMultipleObjects(3, any, FALSE, pictureWaitMs + 5000);
}

void reportWin32RunFailure() {
    if (channel.failed != nullptr) {
        SetEvent(channel.failed);
    }
}
