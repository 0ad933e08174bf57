// KWin's screenshot of one output through the program's own client, for the KWin tests:
//   kwin_screenshot_probe OUTPUT FILE.ppm
// writes the picture as a PPM and exits 0; else prints the reason and exits 3 when KWin refused,
// 4 when there is no KWin screenshot service, 1 on any other failure.
#include "platform/bitmap.h"
#include "platform/dbus/kwin_screenshot.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kwin_screenshot_probe OUTPUT FILE.ppm\n");
        return 2;
    }
    Bitmap picture;
    std::string why;
    switch (captureKwinScreen(argv[1], picture, why, 20000)) {
    case KwinScreenshotResult::taken:
        break;
    case KwinScreenshotResult::refused:
        std::printf("refused: %s\n", why.c_str());
        return 3;
    case KwinScreenshotResult::absent:
        std::printf("absent: %s\n", why.c_str());
        return 4;
    case KwinScreenshotResult::failed:
        std::printf("failed: %s\n", why.c_str());
        return 1;
    }
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    std::fprintf(file, "P6\n%d %d\n255\n", picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t rgb[3] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
            std::fwrite(rgb, 1, 3, file);
        }
    }
    const bool written = std::fclose(file) == 0;
    std::printf("taken: %dx%d\n", picture.width, picture.height);
    return written ? 0 : 1;
}
