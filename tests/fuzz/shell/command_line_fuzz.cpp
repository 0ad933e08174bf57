// The command-line splitter takes any string the system hands over; its arguments are never
// empty and never hold a quote or a separator outside of what quotes grouped.
#include "shell/command_line.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    for (const std::string& arg : splitCommandLine(line)) {
        if (arg.empty() || arg.find('"') != std::string::npos) {
            std::abort();
        }
        total += arg.size();
    }
    if (total > size) {
        std::abort();
    }
    // Whatever came first is a mode or nothing; the second may be a window id or an error.
    const std::vector<std::string> args = splitCommandLine(line);
    (void)runModeOf(args);
    if (args.size() > 1) {
        try {
            (void)parseWindowId(args[1]);
        } catch (const std::exception&) {
        }
    }
    // Host mode reads its switches anywhere, and the host's variable may hold anything: the
    // last argument stands in for it. A window it accepts is never 0 and fits in 32 bits.
    try {
        const HostOptions options =
            hostOptionsOf(args, args.empty() ? nullptr : args.back().c_str());
        if (options.window > UINT32_MAX) {
            std::abort();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
