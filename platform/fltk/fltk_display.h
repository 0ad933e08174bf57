// FLTK on the process's one X connection. Left alone, FLTK opens a connection of its own when it
// first needs one, and ends the process when it cannot; every path of this back end that may
// make it need one calls this first.
#pragma once

// False when there is no display to open.
bool openFltkDisplay();
