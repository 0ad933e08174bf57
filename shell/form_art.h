// The pictures and link text the form shows, as the program carries them.
#pragma once

#include "platform/form_view.h"

FormArt storedFormArt();
