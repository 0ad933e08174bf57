// The GL and GLU calls made since the list was last cleared, by function name.
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> glCalls;
