// Any bytes as a ~/.xscreensaver file: every line read or passed over, never a crash; what is
// read is a name without its colon and a value without blanks around it.
#include "platform/xscreensaver_settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string blanks = " \t\r\n";
    for (const auto& [name, value] : xscreensaverSettings(text)) {
        if (name.find(':') != std::string::npos)
            std::abort();
        if (!value.empty() && (blanks.find(value.front()) != std::string::npos ||
                               blanks.find(value.back()) != std::string::npos))
            std::abort();
        xscreensaverBoolean(value);
    }
    return 0;
}
