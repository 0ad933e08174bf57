// The pixel format: what the view asks for, what the system offers, and the choice between
// them, which is the same on every system.
#pragma once

#include <vector>

// What the view asks for. The format that is set is the best match the system offers.
struct PixelFormatDescriptor {
    bool doubleBuffer = false;
    int colorBits = 32;  // RGBA
    int depthBits = 32;  // the deepest depth buffer up to this many bits
    int stencilBits = 0; // 8 or 0
};

// One frame-buffer format the system offers, in the terms of the descriptor.
struct PixelFormatCandidate {
    bool usableOnWindow = false; // RGBA, draws to a window through a true-colour visual
    bool doubleBuffer = false;
    int colorBits = 0; // red + green + blue + alpha
    int depthBits = 0;
    int stencilBits = 0;
    int samples = 0;
    int accumBits = 0;
    bool slow = false; // the system marks it as a slow (software fallback) format
};

// The position of the best candidate for descriptor, or -1 when none is usable. Exact buffering
// counts most, then at least the stencil asked for, then the deepest depth up to the one asked
// for, then the closest colour and stencil, then fast formats without multisampling or
// accumulation. Among equals the system's own order decides.
int choosePixelFormat(const std::vector<PixelFormatCandidate>& candidates,
                      const PixelFormatDescriptor& descriptor);
