// Comma text: the one-string form of a list of lines in which the customization lines are
// stored ("customize" in the settings).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Lines joined by commas; a line holding a blank, a control character, a double quote or a
// comma is quoted with its double quotes doubled. A single empty line is written as "".
std::string commaText(const std::vector<std::string>& lines);

// The lines of a comma text. Unquoted blanks separate lines as commas do, two commas in a row
// give an empty line, a trailing comma gives nothing, and a zero byte ends the text. Takes any
// input; an unterminated quote runs to the end.
std::vector<std::string> parseCommaText(std::string_view text);
