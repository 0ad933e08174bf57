// The start-up log: one line per start-up step, kept as texts with their positions and colours,
// painted onto the form only when the start fails.
#pragma once

#include "platform/form_window.h"

#include <cstdint>
#include <string>
#include <vector>

class StartupLog {
public:
    // 0x00BBGGRR colour values.
    static constexpr uint32_t white = 0xFFFFFF;
    static constexpr uint32_t passColour = 0xFFC8C8;
    static constexpr uint32_t failColour = 0x96C8FF;
    static constexpr int valueX = 400;
    static constexpr int headingIndent = 2;
    static constexpr int extensionIndent = 6;

    // A whole line at x = 8 x indent; the next text goes on the next line.
    void heading(const std::string& text, int indent = headingIndent);
    // The start of a line whose value follows; stays on the line.
    void label(const std::string& text, int indent = headingIndent);
    // A value at x = 400 on the current line; ends the line.
    void value(const std::string& text);
    // Leaves one line empty.
    void skipLine() { ++line; }

    // The log as plain text lines, labels and values side by side, for standard error.
    std::vector<std::string> plainLines() const;

    std::vector<CanvasText> texts;
    uint32_t colour = white;
    int line = 1; // the first line stands at y = 16

private:
    void write(int x, const std::string& text);
};
