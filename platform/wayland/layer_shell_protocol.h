// The layer shell's generated header, readable from C++: one of its requests has an argument
// named "namespace". What it includes comes first, outside the renaming.
#pragma once

#include <wayland-client.h>

#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
