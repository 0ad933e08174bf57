// A REGEDIT4 text file held as its lines, so that changing one value keeps every other section,
// value and comment as the person who edited the file wrote them.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Velloran\Tarnwick]
//   "resolution"=dword:0000000a
//   "customize"="a,\"b c\""
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RegistryValue {
    enum class Type { Integer, String, Other };
    Type type = Type::Other;
    int32_t integer = 0;
    std::string string;
};

class RegistryFile {
public:
    // Files above this size are refused: the program writes a few hundred bytes.
    static constexpr size_t maxBytes = 1 << 20;

    // An empty file, as the first write creates it.
    RegistryFile() = default;
    // Throws Exception "<fileName> line <n>: <what>" on content it cannot read.
    static RegistryFile parse(std::string_view text, const std::string& fileName);

    // Section and value names compare without regard to ASCII case, as in the registry.
    bool hasSection(std::string_view section) const;
    std::optional<RegistryValue> value(std::string_view section, std::string_view name) const;
    void setInteger(std::string_view section, std::string_view name, int32_t value);
    // The string ends at its first zero byte, as a stored C string does.
    void setString(std::string_view section, std::string_view name, std::string_view value);

    std::string serialise() const;

private:
    struct Line {
        std::string text;    // as written, without its line end
        std::string section; // the section it belongs to (for a header: its own)
        std::string name;    // the value's name, for the first line of a value
        bool header = false;
        bool value = false;
        size_t continuation = 0; // lines after it that carry the rest of its data
        bool crlf = false;       // its own line end, kept for files that mix both
    };

    Line newLine(std::string text, std::string section) const;

    void setValueText(std::string_view section, std::string_view name, std::string data);

    std::vector<Line> lines;
    bool crlf = false; // the line end of lines this program adds
};
