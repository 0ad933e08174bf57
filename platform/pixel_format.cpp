#include "platform/pixel_format.h"

#include <cstdlib>
#include <tuple>

int choosePixelFormat(const std::vector<PixelFormatCandidate>& candidates,
                      const PixelFormatDescriptor& descriptor) {
    auto rank = [&](const PixelFormatCandidate& c) {
        // Deeper than asked ranks below every depth within the request.
        int depth =
            c.depthBits <= descriptor.depthBits ? c.depthBits : descriptor.depthBits - c.depthBits;
        return std::make_tuple(
            c.doubleBuffer == descriptor.doubleBuffer, c.stencilBits >= descriptor.stencilBits,
            depth, -std::abs(c.colorBits - descriptor.colorBits),
            -std::abs(c.stencilBits - descriptor.stencilBits), !c.slow, -c.samples, -c.accumBits);
    };
    int best = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].usableOnWindow)
            continue;
        if (best < 0 || rank(candidates[i]) > rank(candidates[static_cast<size_t>(best)]))
            best = static_cast<int>(i);
    }
    return best;
}
