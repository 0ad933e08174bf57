#include "platform/bitmap.h"

#include "platform/exception.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Bitmaps larger than this are refused: no picture of this program comes near it.
constexpr int64_t maxPixels = int64_t{1} << 28;

// Fixed-point weights: one tap of a destination pixel, in units of 1/16384.
constexpr int weightBits = 14;

struct Taps {
    int first = 0;           // first source index
    std::vector<int> weight; // one per source index from first on; they sum to 1 << weightBits
};

// Weights of each destination index over the source: the area each source pixel covers of the
// destination pixel's footprint when shrinking, a linear blend of the two nearest when growing.
std::vector<Taps> resampleTaps(int sourceSize, int destSize) {
    std::vector<Taps> taps(destSize);
    const double scale = static_cast<double>(sourceSize) / destSize;
    for (int d = 0; d < destSize; ++d) {
        std::vector<double> w;
        int first;
        if (scale >= 1) {
            const double from = d * scale, to = (d + 1) * scale;
            first = static_cast<int>(std::floor(from));
            const int last = std::min(sourceSize - 1, static_cast<int>(std::ceil(to)) - 1);
            for (int i = first; i <= last; ++i) {
                w.push_back(std::min<double>(to, i + 1) - std::max<double>(from, i));
            }
        } else {
            const double centre = std::clamp((d + 0.5) * scale - 0.5, 0.0, sourceSize - 1.0);
            first = static_cast<int>(std::floor(centre));
            const double f = centre - first;
            w.push_back(1 - f);
            if (first + 1 < sourceSize) {
                w.push_back(f);
            }
        }
        double sum = 0;
        for (double x : w) {
            sum += x;
        }
        Taps& t = taps[d];
        t.first = first;
        int total = 0;
        for (double x : w) {
            t.weight.push_back(static_cast<int>(std::lround(x / sum * (1 << weightBits))));
            total += t.weight.back();
        }
        // Rounding may leave the sum off by a little; the largest tap takes the difference so
        // that a flat colour stays exactly flat.
        *std::max_element(t.weight.begin(), t.weight.end()) += (1 << weightBits) - total;
    }
    return taps;
}

} // namespace

Bitmap::Bitmap(int width, int height, int bitsPerPixel)
    : width(width), height(height), bitsPerPixel(bitsPerPixel) {
    if (width <= 0 || height <= 0 || int64_t{width} * height > maxPixels ||
        (bitsPerPixel != 24 && bitsPerPixel != 32)) {
        throw Exception("Invalid bitmap size " + std::to_string(width) + "x" +
                        std::to_string(height) + "x" + std::to_string(bitsPerPixel));
    }
    pixels.assign(rowBytes() * height, 0);
}

void Bitmap::setPixelFormat(int newBitsPerPixel) {
    if (newBitsPerPixel == bitsPerPixel || pixels.empty()) {
        bitsPerPixel = newBitsPerPixel;
        return;
    }
    Bitmap converted(width, height, newBitsPerPixel);
    const int from = bytesPerPixel(), to = converted.bytesPerPixel();
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = row(y);
        uint8_t* d = converted.row(y);
        for (int x = 0; x < width; ++x, s += from, d += to) {
            std::memcpy(d, s, 3);
        }
    }
    *this = std::move(converted);
}

void Bitmap::stretchDraw(const Bitmap& source, int left, int top, int right, int bottom) {
    const int destWidth = right - left, destHeight = bottom - top;
    if (destWidth <= 0 || destHeight <= 0 || source.width <= 0 || source.height <= 0) {
        return;
    }
    const std::vector<Taps> across = resampleTaps(source.width, destWidth);
    const std::vector<Taps> down = resampleTaps(source.height, destHeight);

    // Horizontal pass into 8.8 fixed point, a source row at a time as the vertical pass comes to
    // it, into a ring just deep enough for one destination row's taps: a screen-sized buffer
    // would cost more in first-touch page faults than the filtering itself.
    const int x0 = std::max(0, -left), x1 = std::min(destWidth, width - left);
    const int y0 = std::max(0, -top), y1 = std::min(destHeight, height - top);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    size_t depth = 1;
    for (int y = y0; y < y1; ++y) {
        depth = std::max(depth, down[y].weight.size());
    }
    const int columns = x1 - x0;
    const size_t rowValues = static_cast<size_t>(columns) * 3;
    std::vector<uint16_t> ring(depth * rowValues);
    const auto ringRow = [&](int sourceRow) {
        return ring.data() + static_cast<size_t>(sourceRow) % depth * rowValues;
    };
    const int sourceStep = source.bytesPerPixel();
    const auto filterRow = [&](int sy) {
        const uint8_t* s = source.row(sy);
        uint16_t* out = ringRow(sy);
        for (int x = x0; x < x1; ++x, out += 3) {
            const Taps& t = across[x];
            int b = 0, g = 0, r = 0;
            const uint8_t* p = s + static_cast<size_t>(t.first) * sourceStep;
            for (int w : t.weight) {
                b += p[0] * w;
                g += p[1] * w;
                r += p[2] * w;
                p += sourceStep;
            }
            constexpr int shift = weightBits - 8, half = 1 << (shift - 1);
            out[0] = static_cast<uint16_t>((b + half) >> shift);
            out[1] = static_cast<uint16_t>((g + half) >> shift);
            out[2] = static_cast<uint16_t>((r + half) >> shift);
        }
    };

    const int destStep = bytesPerPixel();
    std::vector<const uint16_t*> tapRows(depth);
    int filtered = down[y0].first; // the next source row to filter; the taps only move down
    for (int y = y0; y < y1; ++y) {
        const Taps& t = down[y];
        const size_t taps = t.weight.size();
        // Filtering row r overwrites row r - depth, which lies above this row's taps.
        for (filtered = std::max(filtered, t.first); filtered < t.first + static_cast<int>(taps);
             ++filtered) {
            filterRow(filtered);
        }
        for (size_t k = 0; k < taps; ++k) {
            tapRows[k] = ringRow(t.first + static_cast<int>(k));
        }
        uint8_t* d = row(top + y) + static_cast<size_t>(left + x0) * destStep;
        for (int c = 0; c < columns; ++c, d += destStep) {
            int b = 0, g = 0, r = 0;
            for (size_t k = 0; k < taps; ++k) {
                const int w = t.weight[k];
                const uint16_t* p = tapRows[k] + static_cast<size_t>(c) * 3;
                b += p[0] * w;
                g += p[1] * w;
                r += p[2] * w;
            }
            constexpr int shift = weightBits + 8, half = 1 << (shift - 1);
            d[0] = static_cast<uint8_t>((b + half) >> shift);
            d[1] = static_cast<uint8_t>((g + half) >> shift);
            d[2] = static_cast<uint8_t>((r + half) >> shift);
        }
    }
}
