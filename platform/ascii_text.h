// ASCII case and blanks for the texts the program reads by hand (the command line, the registry
// file, XScreenSaver's settings, file names): no locale, so the same on every machine.
#pragma once

#include <string>
#include <string_view>

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

// The text without the blanks (by default space and tab) at either end.
inline std::string_view trimmed(std::string_view text, std::string_view blanks = " \t") {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
