// The Wayland connection against a compositor of a few lines, written here on a raw socket: one
// that goes away between the two start-up roundtrips (as at logout), and one that is slow to read
// what the connection sends.
#include "e2e.h"
#include "platform/exception.h"
#include "platform/wayland/wayland_connection.h"

#include <gtest/gtest.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A compositor that knows wl_display's sync and get_registry and nothing else. It may announce
// one wl_output, and may close the connection once it has answered a sync.
class TinyCompositor {
public:
    struct Rules {
        bool offerOutput = false;
        bool closeAfterFirstSync = false;
    };

    // Its client end is clientFd, for WAYLAND_SOCKET.
    explicit TinyCompositor(Rules rules) : rules(rules) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            throw Exception("no socket pair");
        serverFd = ends[0];
        clientFd = ends[1];
        worker = std::thread([this] { serve(serverFd); });
    }

    // Listens at path, serving its clients one after another.
    TinyCompositor(Rules rules, const std::string& path) : rules(rules) {
        listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
            listen(listenFd, 4) != 0)
            throw Exception("cannot listen at " + path);
        worker = std::thread([this] {
            while (!stopping) {
                pollfd waiting{listenFd, POLLIN, 0};
                if (poll(&waiting, 1, 50) <= 0)
                    continue;
                const int client = accept(listenFd, nullptr, nullptr);
                if (client >= 0) {
                    serve(client);
                    close(client);
                }
            }
        });
    }

    ~TinyCompositor() {
        resume();
        stopping = true;
        if (serverFd >= 0)
            shutdown(serverFd, SHUT_RDWR);
        worker.join();
        for (int fd : {listenFd, serverFd})
            if (fd >= 0)
                close(fd);
    }

    // Reading stops before the next read, as a busy compositor's does.
    void pause() {
        std::lock_guard<std::mutex> lock(mutex);
        paused = true;
    }
    void resume() {
        std::lock_guard<std::mutex> lock(mutex);
        paused = false;
        wake.notify_all();
    }

    int clientFd = -1;
    std::atomic<int> syncsAnswered{0};

private:
    static void put(std::vector<uint32_t>& words, const char* text) {
        const size_t length = std::strlen(text) + 1;
        words.push_back(static_cast<uint32_t>(length));
        std::vector<uint32_t> padded((length + 3) / 4, 0);
        std::memcpy(padded.data(), text, length);
        words.insert(words.end(), padded.begin(), padded.end());
    }

    static void send(int fd, uint32_t object, uint32_t opcode, std::vector<uint32_t> arguments) {
        std::vector<uint32_t> words = {object, 0};
        words.insert(words.end(), arguments.begin(), arguments.end());
        words[1] = static_cast<uint32_t>(words.size() * 4) << 16 | opcode;
        (void)!::send(fd, words.data(), words.size() * 4, MSG_NOSIGNAL);
    }

    void serve(int fd) {
        std::vector<uint8_t> pending;
        while (true) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return !paused; });
            }
            uint8_t chunk[4096];
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0)
                return;
            pending.insert(pending.end(), chunk, chunk + got);
            size_t at = 0;
            while (pending.size() - at >= 8) {
                uint32_t header[3] = {};
                std::memcpy(header, &pending[at], std::min<size_t>(12, pending.size() - at));
                const size_t size = header[1] >> 16;
                const uint32_t opcode = header[1] & 0xFFFF;
                if (size < 8 || pending.size() - at < size)
                    break;
                at += size;
                if (header[0] != 1 || size < 12)
                    continue; // not wl_display's: nothing to answer
                const uint32_t newId = header[2];
                if (opcode == 1 && rules.offerOutput) { // get_registry
                    std::vector<uint32_t> global = {1};
                    put(global, "wl_output");
                    global.push_back(4);
                    send(fd, newId, 0, global);
                } else if (opcode == 0) { // sync: wl_callback.done, wl_display.delete_id
                    send(fd, newId, 0, {1});
                    send(fd, 1, 1, {newId});
                    ++syncsAnswered;
                    if (rules.closeAfterFirstSync) {
                        shutdown(fd, SHUT_RDWR);
                        return;
                    }
                }
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(at));
        }
    }

    Rules rules;
    int serverFd = -1;
    int listenFd = -1;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    bool paused = false;
    std::atomic<bool> stopping{false};
};

void connectTo(const TinyCompositor& compositor) {
    setenv("WAYLAND_SOCKET", std::to_string(compositor.clientFd).c_str(), 1);
}

TEST(WaylandConnection, ACompositorThatGoesAwayDuringTheStartIsAnErrorAndNothingMore) {
    TinyCompositor compositor({.offerOutput = true, .closeAfterFirstSync = true});
    connectTo(compositor);
    try {
        WaylandConnection connection;
        FAIL() << "connected to a compositor that closed the connection";
    } catch (const Exception& e) {
        EXPECT_NE(e.message.find("The Wayland connection broke"), std::string::npos) << e.message;
    }
    EXPECT_EQ(compositor.syncsAnswered, 1);
}

TEST(WaylandConnection, WhatTheSocketCouldNotTakeIsSentWhileWaitingForTheAnswer) {
    TinyCompositor compositor({});
    connectTo(compositor);
    WaylandConnection connection;
    // The compositor stops reading; requests that need no answer fill the socket until it
    // takes no more, and the rest waits in the connection.
    compositor.pause();
    bool full = false;
    for (int i = 0; i < 1000000 && !full; ++i) {
        wl_registry_destroy(wl_display_get_registry(connection.display));
        full = wl_display_flush(connection.display) < 0 && errno == EAGAIN;
    }
    ASSERT_TRUE(full) << "the socket took everything";
    // The request whose answer is awaited, behind them.
    bool answered = false;
    wl_callback* callback = wl_display_sync(connection.display);
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &answered);
    // The compositor reads again a little later; by then the wait has begun.
    std::thread reader([&compositor] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        compositor.resume();
    });
    EXPECT_TRUE(connection.dispatchUntil([&] { return answered; }, 5000));
    reader.join();
    wl_callback_destroy(callback);
}

// The program itself, its start-up connection broken the same way: a clear line and a normal
// exit, never an abort.
TEST(WaylandConnection, TheSaverOnACompositorThatGoesAwayEndsWithAClearError) {
    const std::string program = KELVARA_BINARY_DIR "/kelvara";
    if (access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << program << " is not built";
    e2e::TempFolder runtime;
    TinyCompositor compositor({.offerOutput = true, .closeAfterFirstSync = true},
                              runtime.path + "/wayland-tiny");
    // Settings of its own, never the user's, and no X display to fall back on.
    e2e::Program saver({"/s"},
                       {{"WAYLAND_DISPLAY", "wayland-tiny"},
                        {"XDG_RUNTIME_DIR", runtime.path},
                        {"XDG_CONFIG_HOME", runtime.path},
                        {"DISPLAY", ""}},
                       program);
    ASSERT_TRUE(saver.waitForExit(60)) << "still running after a minute: " << saver.standardError();
    const std::string said = saver.standardOutput() + saver.standardError();
    EXPECT_FALSE(saver.endedBySignal())
        << "ended by signal " << saver.exitStatus() - 128 << ": " << said;
    EXPECT_NE(said.find("kelvara: The Wayland connection broke"), std::string::npos) << said;
    EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << said;
}

} // namespace
