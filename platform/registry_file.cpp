#include "platform/registry_file.h"

#include "platform/ascii_text.h"
#include "platform/exception.h"

#include <algorithm>

namespace {

constexpr std::string_view signature = "REGEDIT4";

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = asciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Reads a double-quoted text at the start of s with the escapes \\ and \" (and \n, \r, which
// the writer uses so that a value never breaks the line structure). Returns false when the
// closing quote is missing; consumed tells how many characters the text took.
bool readQuoted(std::string_view s, std::string& out, size_t& consumed) {
    out.clear();
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            consumed = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size()) {
            const char next = s[++i];
            switch (next) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
            case '"':
                out += next;
                break;
            default: // not an escape: both characters stand for themselves
                out += '\\';
                out += next;
            }
        } else {
            out += c;
        }
    }
    return false;
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    out += '"';
    return out;
}

RegistryValue classify(std::string_view data) {
    RegistryValue v;
    if (!data.empty() && data.front() == '"') {
        size_t used = 0;
        readQuoted(data, v.string, used); // the parser has checked its form already
        v.type = RegistryValue::Type::String;
        return v;
    }
    constexpr std::string_view dword = "dword:";
    if (data.size() == dword.size() + 8 && sameName(data.substr(0, dword.size()), dword)) {
        uint32_t n = 0;
        for (char c : data.substr(dword.size())) {
            const int d = hexDigit(c);
            if (d < 0) {
                return v;
            }
            n = n << 4 | static_cast<uint32_t>(d);
        }
        v.type = RegistryValue::Type::Integer;
        v.integer = static_cast<int32_t>(n);
    }
    return v;
}

// The data part of a value line: everything after its '='.
std::string_view dataOf(std::string_view line) {
    line = trimmed(line);
    if (!line.empty() && line.front() == '"') {
        std::string ignored;
        size_t used = 0;
        readQuoted(line, ignored, used);
        line.remove_prefix(used);
    } else {
        line.remove_prefix(1); // '@'
    }
    line = trimmed(line);
    line.remove_prefix(1); // '='
    return trimmed(line);
}

} // namespace

RegistryFile RegistryFile::parse(std::string_view text, const std::string& fileName) {
    RegistryFile file;
    auto fail = [&](size_t lineNumber, const std::string& what) {
        throw Exception(fileName + " line " + std::to_string(lineNumber) + ": " + what);
    };
    if (text.size() > maxBytes) {
        throw Exception(fileName + " is larger than " + std::to_string(maxBytes / 1024) +
                        " KB; it is not a settings file of this program");
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    std::string section;
    bool signed_ = false;
    size_t number = 0;
    // The next line without its line end: a CR before the LF belongs to the end, any CR before
    // that to the text. The line keeps the end it came with, so a rewrite gives back its text.
    auto next = [&](const std::string& lineSection) {
        const size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        bool crlfEnd = end == std::string_view::npos && file.crlf;
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
            crlfEnd = true;
            if (number == 1) {
                file.crlf = true;
            }
        }
        if (raw.find('\0') != std::string_view::npos) {
            fail(number, "holds a zero byte; it is not a REGEDIT4 text file");
        }
        return Line{std::string(raw), lineSection, {}, false, false, 0, crlfEnd};
    };
    while (!text.empty()) {
        Line line = next(section);
        const std::string_view raw = line.text;
        const std::string_view s = trimmed(raw);
        if (s.empty() || s.front() == ';') {
            file.lines.push_back(std::move(line));
            continue;
        }
        if (!signed_) {
            if (s != signature) {
                fail(number, "the file does not start with \"REGEDIT4\"");
            }
            signed_ = true;
            file.lines.push_back(std::move(line));
            continue;
        }
        if (s.front() == '[') {
            if (s.back() != ']' || s.size() < 3) {
                fail(number, "a section name must be written as [name]");
            }
            section = std::string(s.substr(1, s.size() - 2));
            line.section = section;
            line.header = true;
            file.lines.push_back(std::move(line));
            continue;
        }
        if (s.front() != '"' && s.front() != '@') {
            fail(number, "expected [section], \"name\"=value or a ; comment");
        }
        if (section.empty()) {
            fail(number, "a value before the first [section]");
        }
        std::string_view rest = s;
        if (s.front() == '"') {
            size_t used = 0;
            if (!readQuoted(s, line.name, used)) {
                fail(number, "the value name has no closing double quote");
            }
            rest.remove_prefix(used);
        } else {
            rest.remove_prefix(1);
        }
        rest = trimmed(rest);
        if (rest.empty() || rest.front() != '=') {
            fail(number, "expected = after the value name");
        }
        const std::string_view data = trimmed(rest.substr(1));
        if (!data.empty() && data.front() == '"') {
            std::string ignored;
            size_t used = 0;
            if (!readQuoted(data, ignored, used)) {
                fail(number, "the string has no closing double quote");
            }
            if (used != data.size()) {
                fail(number, "unexpected text after the string's closing double quote");
            }
        }
        line.value = true;
        const size_t first = file.lines.size();
        bool continues = !data.empty() && data.back() == '\\';
        file.lines.push_back(std::move(line));
        // Binary data may run on over several lines, each but the last ending in a backslash.
        while (continues && !text.empty()) {
            file.lines.push_back(next(section));
            ++file.lines[first].continuation;
            const std::string_view t = trimmed(file.lines.back().text);
            continues = !t.empty() && t.back() == '\\';
        }
    }
    return file;
}

bool RegistryFile::hasSection(std::string_view section) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Line& l) { return l.header && sameName(l.section, section); });
}

std::optional<RegistryValue> RegistryFile::value(std::string_view section,
                                                 std::string_view name) const {
    // A name written twice: the later line wins, as when the file is imported.
    for (auto l = lines.rbegin(); l != lines.rend(); ++l) {
        if (l->value && sameName(l->section, section) && sameName(l->name, name)) {
            if (l->continuation > 0) {
                return RegistryValue{}; // only binary forms run on
            }
            return classify(dataOf(l->text));
        }
    }
    return std::nullopt;
}

void RegistryFile::setInteger(std::string_view section, std::string_view name, int32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string data = "dword:";
    const uint32_t n = static_cast<uint32_t>(value);
    for (int shift = 28; shift >= 0; shift -= 4) {
        data += digits[(n >> shift) & 15];
    }
    setValueText(section, name, std::move(data));
}

void RegistryFile::setString(std::string_view section, std::string_view name,
                             std::string_view value) {
    setValueText(section, name, quoted(value.substr(0, value.find('\0'))));
}

void RegistryFile::setValueText(std::string_view section, std::string_view name, std::string data) {
    auto valueLine = [&](std::string_view spelling) {
        Line l =
            newLine(spelling.empty() ? std::string("@") : quoted(spelling), std::string(section));
        l.text += '=';
        l.text += data;
        l.name = spelling;
        l.value = true;
        return l;
    };
    Line line = valueLine(name);
    for (size_t i = lines.size(); i-- > 0;) {
        Line& l = lines[i];
        if (l.value && sameName(l.section, section) && sameName(l.name, name)) {
            // The name keeps the spelling the file gave it.
            line = valueLine(l.name);
            line.section = l.section;
            line.crlf = l.crlf;
            const auto from = lines.begin() + static_cast<std::ptrdiff_t>(i);
            lines.erase(from + 1, from + 1 + static_cast<std::ptrdiff_t>(l.continuation));
            lines[i] = std::move(line);
            return;
        }
    }
    // A new value goes after the last value (or the header) of the section's first appearance.
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].header && sameName(lines[i].section, section)) {
            size_t at = i + 1;
            for (size_t j = i + 1; j < lines.size() && !lines[j].header; ++j) {
                if (lines[j].value) {
                    at = j + 1 + lines[j].continuation;
                }
            }
            line.section = lines[i].section;
            // A last line that ends in a backslash would take the new line as the rest of its
            // data; an empty line ends it first.
            const std::string_view before = trimmed(lines[at - 1].text);
            if (!before.empty() && before.back() == '\\') {
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at++),
                             newLine({}, line.section));
            }
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
            return;
        }
    }
    const bool hasSignature = std::any_of(
        lines.begin(), lines.end(), [](const Line& l) { return trimmed(l.text) == signature; });
    if (!hasSignature) {
        lines.insert(lines.begin(), newLine(std::string(signature), {}));
    }
    if (!trimmed(lines.back().text).empty()) {
        lines.push_back(newLine({}, {}));
    }
    std::string header = "[";
    header.append(section);
    header += ']';
    Line headerLine = newLine(std::move(header), std::string(section));
    headerLine.header = true;
    lines.push_back(std::move(headerLine));
    lines.push_back(std::move(line));
}

RegistryFile::Line RegistryFile::newLine(std::string text, std::string section) const {
    return Line{std::move(text), std::move(section), {}, false, false, 0, crlf};
}

std::string RegistryFile::serialise() const {
    std::string out;
    for (const Line& l : lines) {
        out += l.text;
        // A text that ends in CR needs the CR LF end, or its CR would be read back as the end.
        out += l.crlf || (!l.text.empty() && l.text.back() == '\r') ? "\r\n" : "\n";
    }
    return out;
}
