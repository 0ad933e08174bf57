// A connection to the session or system bus through sd-bus, for the desktop services that
// only D-Bus offers: method calls with a time-out, replies read in place, and signals waited for
// with a time-out. Failures throw Exception with a text that names the call and the bus's own
// error.
#pragma once

#include "platform/exception.h"

#include <systemd/sd-bus.h>

#include <deque>
#include <string>
#include <utility>

// A method call that failed: the service's error name ("" where no answer came) beside the
// whole text, for callers that answer some errors in their own way.
class DbusError : public Exception {
public:
    DbusError(std::string text, std::string name, std::string serviceMessage, bool timedOut)
        : Exception(std::move(text)), name(std::move(name)),
          serviceMessage(std::move(serviceMessage)), timedOut(timedOut) {}

    std::string name;
    std::string serviceMessage;
    bool timedOut;
};

// One message, owned: a method call being built, a reply or a signal.
class DbusMessage {
public:
    DbusMessage() = default;
    explicit DbusMessage(sd_bus_message* adopted) : message(adopted) {}
    ~DbusMessage() { sd_bus_message_unref(message); }
    DbusMessage(DbusMessage&& other) noexcept : message(other.message) { other.message = nullptr; }
    DbusMessage& operator=(DbusMessage&& other) noexcept;
    DbusMessage(const DbusMessage&) = delete;
    DbusMessage& operator=(const DbusMessage&) = delete;

    sd_bus_message* get() const { return message; }

    // sd_bus_message_append and sd_bus_message_read with their type strings; throw Exception
    // when the message does not hold (or cannot take) those types.
    template <typename... Args> void append(const char* types, Args... values) {
        checkAppend(sd_bus_message_append(message, types, values...), types);
    }
    template <typename... Args> void read(const char* types, Args... values) {
        checkRead(sd_bus_message_read(message, types, values...), types);
    }
    // Enters and leaves a container (a for an array, e for a dict entry, v for a variant, r for
    // a structure) of the given contents; enter is false at the end of an array.
    bool enter(char type, const char* contents);
    void leave();
    void skip(const char* types);

    // An a{sv} of options: whole, as { key, type, value } triples. Only the value types given
    // here (s, b, u, i) go in this way, which is all the options of these services need.
    void appendOption(const char* key, const char* value);
    void appendOption(const char* key, bool value);
    void appendOption(const char* key, uint32_t value);
    void openOptions();
    void closeOptions();

    // Reads an a{sv} whole: each(key, type) is called for every entry with the type of its
    // value ("s", "u", ...) and either reads the value with read("v", type, &value) and returns
    // true, or returns false to have it skipped.
    template <typename Each> void readOptions(Each each) {
        enter('a', "{sv}");
        while (enter('e', "sv")) {
            const char* key = nullptr;
            read("s", &key);
            if (!each(std::string(key), valueType()))
                skip("v");
            leave();
        }
        leave();
    }
    // In an a{sv} being read: the string at key, or "" without one. Reads the whole array.
    std::string readStringOption(const char* key);

private:
    std::string valueType(); // of the variant that comes next
    static void checkAppend(int result, const char* types);
    static void checkRead(int result, const char* types);

    sd_bus_message* message = nullptr;
};

class DbusConnection {
public:
    enum class Bus { session, system };
    // Throws Exception when the bus cannot be reached.
    explicit DbusConnection(Bus bus);
    ~DbusConnection();
    DbusConnection(const DbusConnection&) = delete;
    DbusConnection& operator=(const DbusConnection&) = delete;

    sd_bus* get() const { return bus; }
    // This connection's unique name, ":1.42".
    std::string uniqueName() const;
    // Whether a program owns that name on the bus now.
    bool hasOwner(const char* name);

    DbusMessage methodCall(const char* destination, const char* path, const char* interface,
                           const char* member);
    // Sends the call and waits at most timeoutMs for its reply; throws DbusError with the
    // service's error, or on no reply in time.
    DbusMessage call(DbusMessage& method, int timeoutMs);

    // Dispatches one message that has arrived (to the signal waits), or else waits at most
    // timeoutMs for one.
    void dispatch(int timeoutMs);

    // For a poll() of the caller's own: handles every message that has come (to the signal
    // waits) without waiting, true when any had; and sends what is queued, giving the
    // descriptor to wait on for reading.
    bool processArrived();
    int flushForPoll();

private:
    sd_bus* bus = nullptr;
};

// Signals of one member on one object path, collected from the moment this is made, so that
// a signal that a call causes is caught even when it arrives with the call's reply. Made before
// that call. An empty path stands for every path; a first argument, where given, keeps out the
// signals whose first string differs (the bus filters them, this program never wakes for them).
class DbusSignalWait {
public:
    DbusSignalWait(DbusConnection& connection, const std::string& path, const char* interface,
                   const char* member, const char* firstArgument = nullptr);
    ~DbusSignalWait();
    DbusSignalWait(const DbusSignalWait&) = delete;
    DbusSignalWait& operator=(const DbusSignalWait&) = delete;

    // The next such signal, waited for at most timeoutMs; throws Exception when none comes.
    DbusMessage next(int timeoutMs);
    // The next such signal that the connection has dispatched already; false when none has.
    bool take(DbusMessage& message);

private:
    static int arrived(sd_bus_message* message, void* self, sd_bus_error* error);

    DbusConnection& connection;
    std::string what; // interface.member, for the error text
    sd_bus_slot* slot = nullptr;
    std::deque<DbusMessage> received;
};

// The text of a negative sd-bus result: "what: the system's words".
[[noreturn]] void throwDbusFailure(const std::string& what, int result);
