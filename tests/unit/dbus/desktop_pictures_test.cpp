// The checks that stand between the desktop services' answers and memory: a PipeWire frame's
// figures against its buffer, the crop of a whole-desktop screenshot to a monitor, the portal's
// file address, and GNOME's description of its monitors.
#include "platform/dbus/dbus_connection.h"
#include "platform/dbus/desktop_pictures.h"
#include "platform/dbus/gnome_display_config.h"
#include "platform/dbus/portal_screenshot.h"
#include "platform/dbus/video_frame.h"
#include "platform/exception.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <tuple>
#include <vector>

namespace {

// A frame of width x height whose pixel (x, y) has red x, green y and blue 7, in the byte
// order given, rows stride bytes apart after offset bytes; the buffer ends right after the last
// pixel, so that a read past it is caught (by the sanitizers, and by the checks).
struct TestFrame {
    std::vector<uint8_t> bytes;
    PipewireFrame frame{};

    TestFrame(uint32_t width, uint32_t height, int32_t stride, uint32_t offset, int red, int green,
              int blue) {
        bytes.assign(offset + size_t(stride) * (height - 1) + width * 4, 0);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* pixel = &bytes[offset + y * stride + x * 4];
                pixel[red] = uint8_t(x);
                pixel[green] = uint8_t(y);
                pixel[blue] = 7;
            }
        }
        frame.bytes = bytes.data();
        frame.byteCount = bytes.size();
        frame.offset = offset;
        frame.stride = stride;
        frame.width = width;
        frame.height = height;
        frame.redByte = red;
        frame.greenByte = green;
        frame.blueByte = blue;
    }
};

void expectPixel(const Bitmap& picture, int x, int y, int red, int green, int blue) {
    const uint8_t* pixel = picture.row(y) + x * 3;
    EXPECT_EQ(pixel[2], red) << x << ", " << y;
    EXPECT_EQ(pixel[1], green) << x << ", " << y;
    EXPECT_EQ(pixel[0], blue) << x << ", " << y;
}

TEST(PictureOfFrame, ReadsEachByteOrderWithPaddedRowsAndAnOffset) {
    // BGRx, RGBx, xRGB, xBGR.
    for (auto [red, green, blue] : {std::tuple{2, 1, 0}, {0, 1, 2}, {1, 2, 3}, {3, 2, 1}}) {
        TestFrame test(5, 3, 5 * 4 + 12, 16, red, green, blue);
        const Bitmap picture = pictureOfFrame(test.frame);
        ASSERT_EQ(picture.width, 5);
        ASSERT_EQ(picture.height, 3);
        EXPECT_EQ(picture.bitsPerPixel, 24);
        expectPixel(picture, 0, 0, 0, 0, 7);
        expectPixel(picture, 4, 2, 4, 2, 7);
    }
}

TEST(PictureOfFrame, TakesTheCropAndTreatsStrideZeroAsPacked) {
    TestFrame test(6, 4, 24, 0, 2, 1, 0);
    test.frame.cropX = 2;
    test.frame.cropY = 1;
    test.frame.cropWidth = 4;  // up to the right edge
    test.frame.cropHeight = 3; // and the bottom
    Bitmap picture = pictureOfFrame(test.frame);
    ASSERT_EQ(picture.width, 4);
    ASSERT_EQ(picture.height, 3);
    expectPixel(picture, 0, 0, 2, 1, 7);
    expectPixel(picture, 3, 2, 5, 3, 7);

    TestFrame packed(3, 2, 12, 0, 2, 1, 0);
    packed.frame.stride = 0;
    picture = pictureOfFrame(packed.frame);
    expectPixel(picture, 2, 1, 2, 1, 7);
}

TEST(PictureOfFrame, RefusesFiguresThatReachOutsideTheBuffer) {
    auto refused = [](auto change) {
        TestFrame test(4, 4, 16, 8, 2, 1, 0);
        change(test.frame);
        EXPECT_THROW(pictureOfFrame(test.frame), Exception);
    };
    refused([](PipewireFrame& f) { f.byteCount -= 1; });           // one byte short
    refused([](PipewireFrame& f) { f.offset += 1; });              // rows start too late
    refused([](PipewireFrame& f) { f.stride = 12; });              // rows shorter than the width
    refused([](PipewireFrame& f) { f.stride = -16; });             // rows upwards
    refused([](PipewireFrame& f) { f.height = 5; });               // taller than the buffer
    refused([](PipewireFrame& f) { f.width = 0; });                // no picture
    refused([](PipewireFrame& f) { f.width = f.height = 70000; }); // impossible
    refused([](PipewireFrame& f) { f.bytes = nullptr; });
    refused([](PipewireFrame& f) { f.redByte = 4; });
    refused([](PipewireFrame& f) { f.cropX = 1, f.cropWidth = 4, f.cropHeight = 4; });
    refused([](PipewireFrame& f) { f.cropY = -1, f.cropWidth = 2, f.cropHeight = 2; });
    refused([](PipewireFrame& f) { f.cropY = 1, f.cropWidth = 2, f.cropHeight = 0; });
    refused(
        [](PipewireFrame& f) { f.cropX = 0x7fffffff, f.cropWidth = 0xffffffff, f.cropHeight = 1; });
}

// A desktop picture whose pixel (x, y) is red x / 8, green y / 8: each 8 x 8 block tells where
// it came from.
Bitmap blocks(int width, int height) {
    Bitmap picture(width, height, 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = picture.row(y) + x * 3;
            pixel[2] = uint8_t(x / 8);
            pixel[1] = uint8_t(y / 8);
            pixel[0] = 0;
        }
    }
    return picture;
}

DesktopMonitor monitorAt(int x, int y, int width, int height, int pixelWidth, int pixelHeight) {
    DesktopMonitor monitor;
    monitor.connector = "DP-1";
    monitor.x = x;
    monitor.y = y;
    monitor.width = width;
    monitor.height = height;
    monitor.pixelWidth = pixelWidth;
    monitor.pixelHeight = pixelHeight;
    // Two monitors side by side, the left one 64 x 48 and the right one 32 x 24, from (-64, 0).
    monitor.layoutX = -64;
    monitor.layoutY = 0;
    monitor.layoutWidth = 96;
    monitor.layoutHeight = 48;
    return monitor;
}

TEST(MonitorPartOf, CutsEachMonitorsPartOfTheLayout) {
    const Bitmap desktop = blocks(96, 48);
    Bitmap part = monitorPartOf(desktop, monitorAt(0, 0, 32, 24, 32, 24));
    ASSERT_EQ(part.width, 32);
    ASSERT_EQ(part.height, 24);
    expectPixel(part, 0, 0, 8, 0, 0); // x 64 in the picture
    expectPixel(part, 31, 23, 11, 2, 0);

    part = monitorPartOf(desktop, monitorAt(-64, 0, 64, 48, 64, 48));
    expectPixel(part, 63, 47, 7, 5, 0);
}

TEST(MonitorPartOf, ScalesWhenThePictureOrTheMonitorHasAnotherSize) {
    // The screenshot came at twice the layout's size (a scaled desktop); the monitor's own
    // pixels are twice its logical size as well.
    const Bitmap desktop = blocks(192, 96);
    Bitmap part = monitorPartOf(desktop, monitorAt(0, 0, 32, 24, 64, 48));
    ASSERT_EQ(part.width, 64);
    ASSERT_EQ(part.height, 48);
    expectPixel(part, 0, 0, 16, 0, 0); // x 128 in the picture
    expectPixel(part, 63, 47, 23, 5, 0);

    // The same picture for a monitor of its logical size: shrunk to it.
    part = monitorPartOf(desktop, monitorAt(0, 0, 32, 24, 32, 24));
    ASSERT_EQ(part.width, 32);
    expectPixel(part, 0, 0, 16, 0, 0);
}

TEST(MonitorPartOf, RefusesAMonitorOutsideTheLayoutAndStaysInsideTheBitmap) {
    const Bitmap desktop = blocks(96, 48);
    EXPECT_THROW(monitorPartOf(desktop, monitorAt(1, 0, 32, 24, 32, 24)), Exception);
    EXPECT_THROW(monitorPartOf(desktop, monitorAt(-65, 0, 32, 24, 32, 24)), Exception);
    EXPECT_THROW(monitorPartOf(desktop, monitorAt(0, 0, 0, 24, 32, 24)), Exception);
    DesktopMonitor noLayout = monitorAt(0, 0, 32, 24, 32, 24);
    noLayout.layoutWidth = 0;
    EXPECT_THROW(monitorPartOf(desktop, noLayout), Exception);
    // A one-unit monitor at the far edge of a much smaller picture: one pixel, the last one.
    const Bitmap tiny = blocks(3, 3);
    const Bitmap part = monitorPartOf(tiny, monitorAt(31, 23, 1, 1, 0, 0));
    EXPECT_EQ(part.width, 1);
    EXPECT_EQ(part.height, 1);
}

TEST(PathOfFileUri, DecodesLocalFilesAndRefusesTheRest) {
    EXPECT_EQ(pathOfFileUri("file:///home/a/Pictures/Screenshot%20from%202025.png"),
              "/home/a/Pictures/Screenshot from 2025.png");
    EXPECT_EQ(pathOfFileUri("file://localhost/tmp/x.png"), "/tmp/x.png");
    EXPECT_EQ(pathOfFileUri("file:///tmp/%c3%a9.png"), "/tmp/\xc3\xa9.png");
    EXPECT_EQ(pathOfFileUri("file:///tmp/x.png?query#part"), "/tmp/x.png");
    for (const char* refused :
         {"", "http://host/x.png", "file://otherhost/x.png", "file:x.png", "file:///tmp/%00.png",
          "file:///tmp/%zz.png", "file:///tmp/%4", "file:///tmp/%"}) {
        EXPECT_EQ(pathOfFileUri(refused), "") << refused;
    }
}

// sd-bus makes messages only for a bus that is open: one end of a socket pair, whose other end
// nobody reads, is enough to build messages and read them back sealed.
class PeerBus {
public:
    PeerBus() {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        other = ends[1];
        EXPECT_GE(sd_bus_new(&bus), 0);
        EXPECT_GE(sd_bus_set_fd(bus, ends[0], ends[0]), 0);
        EXPECT_GE(sd_bus_start(bus), 0);
    }
    ~PeerBus() {
        sd_bus_close_unref(bus);
        close(other);
    }
    DbusMessage message() {
        sd_bus_message* m = nullptr;
        EXPECT_GE(sd_bus_message_new_method_call(bus, &m, "org.example", "/", "org.example", "A"),
                  0);
        return DbusMessage(m);
    }

private:
    sd_bus* bus = nullptr;
    int other = -1;
};

void seal(DbusMessage& message) {
    ASSERT_GE(sd_bus_message_seal(message.get(), 1, 0), 0);
    ASSERT_GE(sd_bus_message_rewind(message.get(), 1), 0);
}

// A message as Mutter's GetCurrentState answers, built here and read back sealed.
class CurrentState {
public:
    CurrentState() : message(peer.message()) { message.append("u", 7u); }

    struct Monitor {
        const char* connector;
        int width;
        int height;
        bool current = true;
    };
    struct Logical {
        int x;
        int y;
        double scale;
        uint32_t transform;
        std::vector<const char*> connectors;
    };

    DbusMessage& build(const std::vector<Monitor>& monitors, const std::vector<Logical>& logicals,
                       uint32_t layoutMode) {
        sd_bus_message* m = message.get();
        sd_bus_message_open_container(m, 'a', "((ssss)a(siiddada{sv})a{sv})");
        for (const Monitor& monitor : monitors) {
            sd_bus_message_open_container(m, 'r', "(ssss)a(siiddada{sv})a{sv}");
            message.append("(ssss)", monitor.connector, "Vendor", "Product", "0x01");
            sd_bus_message_open_container(m, 'a', "(siiddada{sv})");
            message.append("(siiddada{sv})", "other", 640, 480, 60.0, 1.0, 1, 1.0, 0);
            message.append("(siiddada{sv})", "mode", monitor.width, monitor.height, 60.0, 1.0, 2,
                           1.0, 2.0, 1, "is-current", "b", int(monitor.current));
            sd_bus_message_close_container(m);
            message.append("a{sv}", 1, "is-builtin", "b", 0);
            sd_bus_message_close_container(m);
        }
        sd_bus_message_close_container(m);
        sd_bus_message_open_container(m, 'a', "(iiduba(ssss)a{sv})");
        for (const Logical& logical : logicals) {
            sd_bus_message_open_container(m, 'r', "iiduba(ssss)a{sv}");
            message.append("iidub", logical.x, logical.y, logical.scale, logical.transform, 0);
            sd_bus_message_open_container(m, 'a', "(ssss)");
            for (const char* connector : logical.connectors)
                message.append("(ssss)", connector, "Vendor", "Product", "0x01");
            sd_bus_message_close_container(m);
            message.append("a{sv}", 0);
            sd_bus_message_close_container(m);
        }
        sd_bus_message_close_container(m);
        message.append("a{sv}", 2, "supports-mirroring", "b", 1, "layout-mode", "u", layoutMode);
        seal(message);
        return message;
    }

private:
    PeerBus peer;
    DbusMessage message;
};

TEST(MonitorsOfCurrentState, ReadsPlacesSizesScalesAndTheLayout) {
    CurrentState state;
    // DP-1 at 2x in the logical layout, HDMI-1 turned by 90 degrees to its right, DP-2 off.
    const auto monitors = monitorsOfCurrentState(
        state.build({{"DP-1", 2560, 1600}, {"HDMI-1", 1920, 1080}, {"DP-2", 1024, 768, false}},
                    {{0, 0, 2.0, 0, {"DP-1"}}, {1280, -200, 1.0, 1, {"HDMI-1"}}}, 1));
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].connector, "DP-1");
    EXPECT_EQ(monitors[0].width, 1280);
    EXPECT_EQ(monitors[0].height, 800);
    EXPECT_EQ(monitors[0].pixelWidth, 2560);
    EXPECT_EQ(monitors[1].connector, "HDMI-1");
    EXPECT_EQ(monitors[1].x, 1280);
    EXPECT_EQ(monitors[1].y, -200);
    EXPECT_EQ(monitors[1].width, 1080);
    EXPECT_EQ(monitors[1].height, 1920);
    for (const DesktopMonitor& m : monitors) {
        EXPECT_EQ(m.layoutX, 0);
        EXPECT_EQ(m.layoutY, -200);
        EXPECT_EQ(m.layoutWidth, 2360);
        EXPECT_EQ(m.layoutHeight, 1920);
    }
}

TEST(MonitorsOfCurrentState, InThePhysicalLayoutAScaledMonitorKeepsItsPixelSize) {
    CurrentState state;
    const auto monitors = monitorsOfCurrentState(
        state.build({{"Meta-0", 1024, 768}}, {{0, 0, 2.0, 0, {"Meta-0"}}}, 2));
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_EQ(monitors[0].width, 1024);
    EXPECT_EQ(monitors[0].layoutWidth, 1024);
}

TEST(MonitorsOfCurrentState, RefusesImpossibleOrMissingMonitorsAndWrongContent) {
    {
        CurrentState state;
        EXPECT_THROW(
            monitorsOfCurrentState(state.build({{"DP-1", 0, 768}}, {{0, 0, 1.0, 0, {"DP-1"}}}, 1)),
            Exception);
    }
    {
        CurrentState state;
        EXPECT_THROW(monitorsOfCurrentState(
                         state.build({{"DP-1", 1024, 768}}, {{70000, 0, 1.0, 0, {"DP-1"}}}, 1)),
                     Exception);
    }
    {
        CurrentState state; // a logical monitor whose monitor is not described
        EXPECT_THROW(monitorsOfCurrentState(
                         state.build({{"DP-1", 1024, 768}}, {{0, 0, 1.0, 0, {"DP-9"}}}, 1)),
                     Exception);
    }
    {
        PeerBus peer;
        DbusMessage wrong = peer.message();
        wrong.append("us", 1u, "no monitors here");
        seal(wrong);
        EXPECT_THROW(monitorsOfCurrentState(wrong), Exception);
    }
}

TEST(DbusMessage, ReadsOptionsAndSaysWhatDidNotFit) {
    PeerBus peer;
    DbusMessage reply = peer.message();
    reply.append("ua{sv}", 0u, 3, "uri", "u", 5u, "other", "s", "x", "uri", "s", "file:///a.png");
    seal(reply);
    uint32_t code = 1;
    reply.read("u", &code);
    EXPECT_EQ(code, 0u);
    // The value of the right type is taken; one of another type under the same key is not.
    EXPECT_EQ(reply.readStringOption("uri"), "file:///a.png");
    try {
        reply.read("u", &code);
        FAIL() << "read past the end";
    } catch (const Exception& e) {
        EXPECT_NE(e.message.find("\"u\""), std::string::npos) << e.message;
    }
}

} // namespace
