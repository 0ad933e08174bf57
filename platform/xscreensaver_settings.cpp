#include "platform/xscreensaver_settings.h"

#include "platform/ascii_text.h"

namespace {

constexpr std::string_view blanks = " \t\r\n";

} // namespace

std::vector<std::pair<std::string, std::string>> xscreensaverSettings(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> settings;
    size_t position = 0;
    std::string line;
    while (position < text.size()) {
        // One logical line: a backslash right before a line's end joins the next line to it.
        line.clear();
        while (position < text.size()) {
            const size_t end = text.find('\n', position);
            const std::string_view part =
                text.substr(position, end == std::string_view::npos ? text.npos : end - position);
            position = end == std::string_view::npos ? text.size() : end + 1;
            if (end != std::string_view::npos && !part.empty() && part.back() == '\\') {
                line.append(part.substr(0, part.size() - 1));
                continue;
            }
            line.append(part);
            break;
        }

        std::string unescaped;
        unescaped.reserve(line.size());
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '\\') {
                unescaped += line[i];
                continue;
            }
            if (i + 1 == line.size())
                break; // a backslash that ends the text stands for nothing
            const char next = line[++i];
            unescaped += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        }

        const std::string_view entry = trimmed(unescaped, blanks);
        if (entry.empty() || entry[0] == '#' || entry[0] == '!' || entry[0] == ';')
            continue;
        const size_t colon = entry.find(':');
        if (colon == std::string_view::npos)
            continue;
        settings.emplace_back(std::string(entry.substr(0, colon)),
                              std::string(trimmed(entry.substr(colon + 1), blanks)));
    }
    return settings;
}

std::optional<bool> xscreensaverBoolean(std::string_view value) {
    std::string word = asciiLower(value);
    while (!word.empty() && (word.back() == ' ' || word.back() == '\t'))
        word.pop_back();
    if (word == "true" || word == "yes" || word == "on")
        return true;
    if (word == "false" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}
