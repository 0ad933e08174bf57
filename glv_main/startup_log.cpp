#include "glv_main/startup_log.h"

void StartupLog::write(int x, const std::string& text) {
    texts.push_back(CanvasText{x, 16 * line, colour, text});
}

void StartupLog::heading(const std::string& text, int indent) {
    write(8 * indent, text);
    ++line;
}

void StartupLog::label(const std::string& text, int indent) {
    write(8 * indent, text);
}

void StartupLog::value(const std::string& text) {
    write(valueX, text);
    ++line;
}

std::vector<std::string> StartupLog::plainLines() const {
    std::vector<std::string> lines;
    int lastY = 0;
    for (const CanvasText& text : texts) {
        // Empty lines of the picture stay empty lines of the text.
        while (lastY != 0 && lastY + 16 < text.y) {
            lines.emplace_back();
            lastY += 16;
        }
        if (lastY == text.y && !lines.empty()) {
            // A value beside its label: padded to the value column, at least two blanks apart.
            std::string& current = lines.back();
            size_t column = static_cast<size_t>(valueX / 8);
            current.append(current.size() + 2 < column ? column - current.size() : 2, ' ');
            current += text.text;
        } else {
            lines.push_back(std::string(static_cast<size_t>(text.x / 8), ' ') + text.text);
        }
        lastY = text.y;
    }
    return lines;
}
