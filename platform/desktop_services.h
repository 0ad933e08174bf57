// The desktop's service that needs no window: opening a web address.
#pragma once

#include <string>

// Opens the address in the user's browser; failures are ignored.
void openUrl(const std::string& url);
