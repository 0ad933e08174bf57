// Loads arbitrary bytes as a data file: any outcome but a loaded file or an Exception (a crash,
// a sanitizer report, another exception, a huge allocation, a hang) is a fault.
#include "datfile/datfile.h"
#include "platform/exception.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const DatFile file({data, size}, "fuzz.dat");
        for (const std::string& name : file.names) {
            if (const Bitmap* bitmap = file.getBitmap(name)) {
                // Touch the corners so a short pixel buffer shows up.
                volatile uint8_t sink = bitmap->row(0)[0];
                sink = bitmap->row(bitmap->height - 1)[bitmap->rowBytes() - 1];
                (void)sink;
            }
        }
    } catch (const Exception&) {
    }
    return 0;
}
