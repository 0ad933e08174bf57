// XScreenSaver's settings file (~/.xscreensaver), read as XScreenSaver itself reads it: lines of
// "name: value"; a backslash at the end of a line joins the next one; "\n", "\r" and "\t" stand
// for those characters and a backslash before any other character for that character; lines
// that start with '#', '!' or ';' are comments. Whatever else a line holds is skipped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The settings in the order of the text: names as written up to the colon, values without the
// blanks around them.
std::vector<std::pair<std::string, std::string>> xscreensaverSettings(std::string_view text);

// XScreenSaver's words for a boolean setting, in any case and with trailing blanks: "true",
// "yes", "on" or "false", "no", "off"; nothing for any other text.
std::optional<bool> xscreensaverBoolean(std::string_view value);
