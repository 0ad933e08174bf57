#include "platform/idle_watch.h"

#include "platform/exception.h"

IdleRequest idleRequestOf(const std::vector<std::string>& args) {
    if (args.size() < 2)
        throw Exception(std::string(idleSwitch) +
                        " needs the seconds without input before the run starts, as in "
                        "\"kelvara --idle 600\"");
    const std::string& text = args[1];
    const Exception invalid(std::string(idleSwitch) + ": \"" + text +
                            "\" is not a number of seconds from 1 to " +
                            std::to_string(maxIdleSeconds));
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw invalid;
    const long seconds = std::stol(text);
    if (seconds < 1 || seconds > maxIdleSeconds)
        throw invalid;
    IdleRequest request;
    request.seconds = static_cast<int>(seconds);
    request.runArguments.assign(args.begin() + 2, args.end());
    return request;
}
