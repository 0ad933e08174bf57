// Multi-line edit controls hold their lines as one text; these convert between the two.
#pragma once

#include <string>
#include <vector>

// The lines of text, each ended by LF or CR LF; a last line without an end counts too.
std::vector<std::string> splitLines(const std::string& text);

// The lines, each followed by lineEnd.
std::string joinLines(const std::vector<std::string>& lines, const char* lineEnd);
