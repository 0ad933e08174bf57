#include "platform/posix/program_start.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

pid_t startThisProgram(std::vector<std::string> words,
                       const std::vector<std::string>* environment) {
    // Everything the child needs is made before the fork: only async-signal-safe calls may come
    // between fork and exec.
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> entries =
        environment != nullptr ? *environment : std::vector<std::string>();
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // A launcher may leave signals blocked or ignored (both survive exec): not in the child.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s)
        sigaction(s, &plain, nullptr);
    // A parent killed outright must not leave its run covering the screen (nor a display mode
    // switched: the run ends through its orderly teardown).
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(0);
    if (environment != nullptr)
        execve("/proc/self/exe", argv.data(), envp.data());
    else
        execv("/proc/self/exe", argv.data());
    _exit(127);
}
