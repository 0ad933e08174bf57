// The layer shell's generated header, readable from C++: one of its requests has an argument
// named "namespace".
#pragma once

#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
