// The application's error display, as the window system shows it (WindowSystem::showError,
// platform/window_system.h): a modal box titled "Kelvara" with an error icon and an OK button;
// the text also goes to standard error.
#pragma once

#include <functional>
#include <string>

// The text shown: the message, with a full stop added when its last character's code is
// above that of ".".
std::string errorDisplayText(const std::string& message);

// Runs an event handler as the message loop runs one: an error it raises is shown with the
// error display and the program goes on.
void runGuarded(const std::function<void()>& handler);
