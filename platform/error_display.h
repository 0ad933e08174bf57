// The application's error display: a modal box titled "Kelvara" with an error icon and an OK
// button; the text also goes to standard error.
#pragma once

#include <string>

// The text shown: the message, with a full stop added when its last character's code is
// above that of ".".
std::string errorDisplayText(const std::string& message);

void showError(const std::string& message);
