// The FLTK toolkit's services for the X11 window system, one file each
// (platform/fltk/fltk_window_system.cpp, see platform/window_system.h for what each must do).
#pragma once

#include "platform/application.h"
#include "platform/form_view.h"

#include <memory>
#include <string>

std::unique_ptr<FormView> createFltkForm(const FormArt& art);              // fltk_form.cpp
std::unique_ptr<Application> createFltkApplication(int argc, char** argv); // fltk_application.cpp
void showFltkError(const std::string& message);                            // fltk_error_display.cpp
