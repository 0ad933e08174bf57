// The comma-text reader takes any stored "customize" value; whatever it reads must come back
// unchanged through the writer (but for empty last lines, which the format cannot keep).
#include "shell/comma_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines = parseCommaText(text);
    while (lines.size() > 1 && lines.back().empty()) {
        lines.pop_back();
    }
    if (parseCommaText(commaText(lines)) != lines) {
        std::abort();
    }
    return 0;
}
