// The process entry: the instance lock, the application and the one form.
#include "platform/application.h"
#include "platform/display_modes.h"
#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/form_view.h"
#include "platform/process.h"
#include "shell/command_line.h"
#include "shell/form_art.h"
#include "shell/system_services.h"
#include "shell/tform1.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
    // Where the system hands over one command-line string, the C runtime splits it by other
    // rules than the system's own switches expect: split it here instead.
    if (const std::optional<std::string> line = commandLineText()) {
        std::vector<std::string> args = splitCommandLine(*line);
        if (!args.empty()) {
            args.erase(args.begin()); // the program itself
        }
        return args;
    }
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

} // namespace

int main(int argc, char** argv) {
    if (int status = 0; runDisplayModeGuardian(argc, argv, status)) {
        return status;
    }
    const std::vector<std::string> args = arguments(argc, argv);
    if (!args.empty() && lowerCase(args[0]) == "--help") {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    // Another run of the same kind is going on: end without a word.
    if (!createInstanceLock(instanceLockName(args))) {
        return 0;
    }

    // The application and the form outlive an error, so that its display has them still.
    std::unique_ptr<Application> application;
    std::unique_ptr<FormView> view;
    try {
        application = createApplication(argc, argv);
        application->setTitle("Kelvara");
        view = createFormView(storedFormArt());
        SystemServices services(*application);
        TForm1 form(*view, services, args);
        application->run();
    } catch (...) {
        showError(currentExceptionMessage());
    }
    return 0;
}
