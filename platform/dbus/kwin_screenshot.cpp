// KWin's screenshot call. KWin answers CaptureScreen once the output's frame is painted, with
// the picture's layout in a dictionary, and only then writes the pixels into the pipe from a
// thread of its own: so the call comes first and the reading after it, bounded by that layout.
#include "platform/dbus/kwin_screenshot.h"

#include "platform/bitmap.h"
#include "platform/dbus/dbus_connection.h"
#include "platform/deadline.h"
#include "platform/exception.h"
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr const char* service = "org.kde.KWin.ScreenShot2";
constexpr const char* objectPath = "/org/kde/KWin/ScreenShot2";
constexpr const char* interfaceName = "org.kde.KWin.ScreenShot2";
constexpr const char* notAuthorized = "org.kde.KWin.ScreenShot2.Error.NoAuthorized";

// No output comes near these (16K is twice 8K's width); a larger claim is a broken answer and
// is refused before any memory is taken for it.
constexpr uint32_t maxSide = 16384;
constexpr uint64_t maxPixels = uint64_t{1} << 26;
// Qt pads rows to 4 bytes; more padding than this is a broken answer.
constexpr uint32_t maxRowPadding = 1024;
// Texts from the bus go into one line on standard error.
constexpr size_t maxQuotedText = 200;

using Clock = std::chrono::steady_clock;

struct FileDescriptor {
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }
    void reset() {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }

    int fd;
};

// A text from the bus as it may stand in a line: printable ASCII, cut short.
std::string quoted(const char* text) {
    std::string out;
    for (; text != nullptr && *text != '\0' && out.size() < maxQuotedText; ++text) {
        const auto c = static_cast<unsigned char>(*text);
        out += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    return out;
}

// Where a QImage::Format's pixel holds its colours. The alpha byte is not read: an output is
// opaque, and a compositor's read-back may leave alpha at any value.
struct PixelLayout {
    uint32_t bytesPerPixel;
    int red, green, blue; // byte offsets in the pixel
};

// ARGB32 is one native-endian 32-bit word 0xAARRGGBB.
constexpr PixelLayout argb32 =
    std::endian::native == std::endian::little ? PixelLayout{4, 2, 1, 0} : PixelLayout{4, 1, 2, 3};

bool layoutOfFormat(uint32_t format, PixelLayout& layout) {
    switch (format) {
    case 4: // Format_RGB32
    case 5: // Format_ARGB32: what KWin gives for an output
    case 6: // Format_ARGB32_Premultiplied
        layout = argb32;
        return true;
    case 16: // Format_RGBX8888
    case 17: // Format_RGBA8888
    case 18: // Format_RGBA8888_Premultiplied
        layout = {4, 0, 1, 2};
        return true;
    case 13: // Format_RGB888
        layout = {3, 0, 1, 2};
        return true;
    case 29: // Format_BGR888
        layout = {3, 2, 1, 0};
        return true;
    default:
        return false;
    }
}

// The answer's dictionary, as far as this reads it.
struct Answer {
    std::string type;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
    uint32_t format = 0;
    std::vector<std::string> present; // the keys read
};

// Reads the answer's dictionary; throws Exception when it is not one this can read.
Answer readAnswer(DbusMessage& reply) {
    Answer answer;
    reply.readOptions([&](const std::string& name, const std::string& type) {
        uint32_t* number = name == "width"    ? &answer.width
                           : name == "height" ? &answer.height
                           : name == "stride" ? &answer.stride
                           : name == "format" ? &answer.format
                                              : nullptr;
        if (number == nullptr && name != "type")
            return false;
        const char* wanted = number != nullptr ? "u" : "s";
        if (type != wanted)
            throw Exception("KWin's answer gives " + name + " as D-Bus type '" +
                            quoted(type.c_str()) + "' instead of '" + wanted + "'");
        if (number != nullptr) {
            reply.read("v", "u", number);
        } else {
            const char* text = nullptr;
            reply.read("v", "s", &text);
            answer.type = text;
        }
        answer.present.push_back(name);
        return true;
    });
    for (const char* name : {"type", "width", "height", "stride", "format"}) {
        if (std::find(answer.present.begin(), answer.present.end(), name) == answer.present.end())
            throw Exception(std::string("KWin's answer has no ") + name);
    }
    return answer;
}

// Reads exactly wanted bytes from the pipe before the deadline.
bool readPixels(int fd, uint64_t wanted, Clock::time_point deadline, std::vector<uint8_t>& data,
                std::string& why) {
    constexpr size_t chunk = 1 << 16;
    // Only address space: pages are touched as the bytes arrive, so a claim larger than what
    // comes costs nothing.
    data.reserve(wanted);
    while (data.size() < wanted) {
        const int wait = millisecondsUntil(deadline);
        if (wait == 0) {
            why = "KWin wrote " + std::to_string(data.size()) + " of the picture's " +
                  std::to_string(wanted) + " bytes in time";
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, std::min(wait, 1000));
        if (ready < 0 && errno != EINTR) {
            why = std::string("cannot wait for the picture's bytes: ") + std::strerror(errno);
            return false;
        }
        if (ready <= 0)
            continue;
        const size_t before = data.size();
        const size_t want = static_cast<size_t>(std::min<uint64_t>(wanted - before, chunk));
        data.resize(before + want);
        const ssize_t got = read(fd, data.data() + before, want);
        data.resize(before + static_cast<size_t>(std::max<ssize_t>(got, 0)));
        if (got == 0) {
            why = "KWin ended the picture after " + std::to_string(before) + " of its " +
                  std::to_string(wanted) + " bytes";
            return false;
        }
        if (got < 0 && errno != EINTR && errno != EAGAIN) {
            why = std::string("cannot read the picture's bytes: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void convertRow(const uint8_t* in, uint8_t* out, uint32_t width, const PixelLayout& layout) {
    for (size_t x = 0; x < width; ++x, in += layout.bytesPerPixel, out += 3) {
        out[0] = in[layout.blue];
        out[1] = in[layout.green];
        out[2] = in[layout.red];
    }
}

std::string refusal(const DbusError& error) {
    return "KWin refused the screenshot (" + quoted(error.name.c_str()) + ": " +
           quoted(error.serviceMessage.c_str()) +
           "); KWin allows it only to a program with an installed desktop entry whose Exec is "
           "that program (here " +
           executablePath() +
           ") and which says X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2, as "
           "the kelvara.desktop that the package and cmake --install put into "
           "share/applications";
}

bool serviceMissing(const DbusError& error) {
    for (const char* name :
         {SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_UNKNOWN_OBJECT,
          SD_BUS_ERROR_UNKNOWN_INTERFACE, SD_BUS_ERROR_UNKNOWN_METHOD}) {
        if (error.name == name)
            return true;
    }
    return false;
}

} // namespace

KwinScreenshotResult captureKwinScreen(const std::string& outputName, Bitmap& picture,
                                       std::string& why, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<DbusConnection> bus;
    try {
        bus.emplace(DbusConnection::Bus::session);
    } catch (const Exception& e) {
        why = e.message;
        return KwinScreenshotResult::absent;
    }

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return KwinScreenshotResult::failed;
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    fcntl(readEnd.fd, F_SETFL, fcntl(readEnd.fd, F_GETFL) | O_NONBLOCK);

    Answer answer;
    try {
        DbusMessage call = bus->methodCall(service, objectPath, interfaceName, "CaptureScreen");
        // Never started on demand: a session without KWin has nothing to start.
        sd_bus_message_set_auto_start(call.get(), 0);
        call.append("s", outputName.c_str());
        call.openOptions();
        call.appendOption("native-resolution", true);
        call.appendOption("include-cursor", false);
        call.appendOption("hide-caller-windows", true);
        call.closeOptions();
        call.append("h", writeEnd.fd);
        // The message holds its own copy of the write end; this one would keep the pipe open
        // after KWin has closed its end.
        writeEnd.reset();
        DbusMessage reply = bus->call(call, std::max(millisecondsUntil(deadline), 1));
        answer = readAnswer(reply);
    } catch (const DbusError& error) {
        if (serviceMissing(error)) {
            why = "KWin's screenshot service is not on the session bus";
            return KwinScreenshotResult::absent;
        }
        if (error.name == notAuthorized) {
            why = refusal(error);
            return KwinScreenshotResult::refused;
        }
        if (error.timedOut)
            why = "KWin's screenshot service did not answer within " + std::to_string(timeoutMs) +
                  " ms";
        else if (!error.name.empty())
            why = "KWin's screenshot service answered " + quoted(error.name.c_str()) + " (" +
                  quoted(error.serviceMessage.c_str()) + ")";
        else
            why = "the call to KWin's screenshot service failed: " + error.message;
        return KwinScreenshotResult::failed;
    } catch (const Exception& e) {
        why = e.message;
        return KwinScreenshotResult::failed;
    }

    PixelLayout layout{};
    if (answer.type != "raw") {
        why = "KWin gave the picture as '" + quoted(answer.type.c_str()) + "', not raw pixels";
        return KwinScreenshotResult::failed;
    }
    if (!layoutOfFormat(answer.format, layout)) {
        why = "KWin gave the picture in QImage format " + std::to_string(answer.format) +
              ", which this program does not read";
        return KwinScreenshotResult::failed;
    }
    const std::string size = std::to_string(answer.width) + "x" + std::to_string(answer.height);
    if (answer.width == 0 || answer.height == 0 || answer.width > maxSide ||
        answer.height > maxSide || uint64_t{answer.width} * answer.height > maxPixels) {
        why = "KWin gave a picture of " + size + " pixels, which no output has";
        return KwinScreenshotResult::failed;
    }
    const uint64_t rowBytes = uint64_t{answer.width} * layout.bytesPerPixel;
    if (answer.stride < rowBytes || answer.stride > rowBytes + maxRowPadding) {
        why = "KWin gave rows of " + std::to_string(answer.stride) + " bytes for a picture " +
              std::to_string(answer.width) + " pixels wide";
        return KwinScreenshotResult::failed;
    }

    try {
        std::vector<uint8_t> data;
        if (!readPixels(readEnd.fd, uint64_t{answer.stride} * answer.height, deadline, data, why))
            return KwinScreenshotResult::failed;
        Bitmap result(static_cast<int>(answer.width), static_cast<int>(answer.height), 24);
        for (uint32_t y = 0; y < answer.height; ++y)
            convertRow(data.data() + uint64_t{y} * answer.stride, result.row(static_cast<int>(y)),
                       answer.width, layout);
        picture = std::move(result);
    } catch (const Exception& e) {
        why = e.message;
        return KwinScreenshotResult::failed;
    } catch (const std::bad_alloc&) {
        why = "no memory for a picture of " + size + " pixels";
        return KwinScreenshotResult::failed;
    }
    return KwinScreenshotResult::taken;
}
