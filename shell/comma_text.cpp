#include "shell/comma_text.h"

namespace {

// Blanks and control characters; the zero byte is not among them, it ends the text.
bool isBlankOrControl(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

bool needsQuotes(const std::string& line) {
    for (char c : line) {
        if (isBlankOrControl(c) || c == '"' || c == ',') {
            return true;
        }
    }
    return false;
}

std::string quoted(const std::string& line) {
    std::string out;
    out.reserve(line.size() + 2);
    out += '"';
    for (char c : line) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

} // namespace

std::string commaText(const std::vector<std::string>& lines) {
    if (lines.size() == 1 && lines[0].empty()) {
        return "\"\"";
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += needsQuotes(lines[i]) ? quoted(lines[i]) : lines[i];
    }
    return out;
}

std::vector<std::string> parseCommaText(std::string_view text) {
    // The stored string ends at its terminating zero, wherever that is.
    if (const size_t zero = text.find('\0'); zero != std::string_view::npos) {
        text = text.substr(0, zero);
    }
    std::vector<std::string> lines;
    size_t p = 0;
    const size_t end = text.size();
    auto skipBlanks = [&] {
        while (p < end && isBlankOrControl(text[p])) {
            ++p;
        }
    };

    skipBlanks();
    while (p < end) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < end) {
                if (text[p] == '"') {
                    if (p + 1 < end && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                item += text[p++];
            }
        } else {
            const size_t start = p;
            while (p < end && !isBlankOrControl(text[p]) && text[p] != ',') {
                ++p;
            }
            item.assign(text.substr(start, p - start));
        }
        lines.push_back(std::move(item));
        skipBlanks();
        if (p < end && text[p] == ',') {
            ++p;
            skipBlanks();
        }
    }
    return lines;
}
