#include "platform/dbus/dbus_connection.h"

#include "platform/deadline.h"
#include "platform/exception.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

uint64_t microseconds(int ms) {
    return ms > 0 ? static_cast<uint64_t>(ms) * 1000 : 0;
}

// Frees an sd_bus_error however the call that filled it ends.
struct ErrorHolder {
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    ~ErrorHolder() { sd_bus_error_free(&error); }
};

} // namespace

void throwDbusFailure(const std::string& what, int result) {
    throw Exception(what + ": " + std::strerror(result < 0 ? -result : result));
}

DbusMessage& DbusMessage::operator=(DbusMessage&& other) noexcept {
    if (this != &other) {
        sd_bus_message_unref(message);
        message = other.message;
        other.message = nullptr;
    }
    return *this;
}

void DbusMessage::checkAppend(int result, const char* types) {
    if (result < 0)
        throwDbusFailure(std::string("D-Bus message: cannot add \"") + types + "\"", result);
}

void DbusMessage::checkRead(int result, const char* types) {
    if (result < 0)
        throwDbusFailure(std::string("D-Bus message: unexpected content, not \"") + types + "\"",
                         result);
    if (result == 0)
        throw Exception(std::string("D-Bus message: it ends before \"") + types + "\"");
}

bool DbusMessage::enter(char type, const char* contents) {
    const int result = sd_bus_message_enter_container(message, type, contents);
    if (result < 0)
        throwDbusFailure(std::string("D-Bus message: unexpected content, not ") + type + " of " +
                             contents,
                         result);
    return result > 0;
}

void DbusMessage::leave() {
    const int result = sd_bus_message_exit_container(message);
    if (result < 0)
        throwDbusFailure("D-Bus message: a container does not end where it should", result);
}

void DbusMessage::skip(const char* types) {
    const int result = sd_bus_message_skip(message, types);
    if (result < 0)
        throwDbusFailure(std::string("D-Bus message: cannot skip ") + types, result);
}

void DbusMessage::openOptions() {
    const int result = sd_bus_message_open_container(message, 'a', "{sv}");
    if (result < 0)
        throwDbusFailure("D-Bus message: cannot add options", result);
}

void DbusMessage::closeOptions() {
    const int result = sd_bus_message_close_container(message);
    if (result < 0)
        throwDbusFailure("D-Bus message: cannot add options", result);
}

void DbusMessage::appendOption(const char* key, const char* value) {
    append("{sv}", key, "s", value);
}

void DbusMessage::appendOption(const char* key, bool value) {
    append("{sv}", key, "b", static_cast<int>(value));
}

void DbusMessage::appendOption(const char* key, uint32_t value) {
    append("{sv}", key, "u", value);
}

std::string DbusMessage::valueType() {
    char kind = 0;
    const char* type = nullptr;
    const int result = sd_bus_message_peek_type(message, &kind, &type);
    if (result <= 0 || kind != 'v' || type == nullptr)
        throw Exception("D-Bus message: an option without a value");
    return type;
}

std::string DbusMessage::readStringOption(const char* key) {
    std::string found;
    readOptions([&](const std::string& name, const std::string& type) {
        if (name != key || type != "s")
            return false;
        const char* value = nullptr;
        read("v", "s", &value);
        found = value;
        return true;
    });
    return found;
}

DbusConnection::DbusConnection(Bus which) {
    const int result = which == Bus::session ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (result < 0) {
        bus = nullptr;
        throwDbusFailure(which == Bus::session ? "cannot reach the session bus"
                                               : "cannot reach the system bus",
                         result);
    }
}

DbusConnection::~DbusConnection() {
    sd_bus_flush_close_unref(bus);
}

std::string DbusConnection::uniqueName() const {
    const char* name = nullptr;
    const int result = sd_bus_get_unique_name(bus, &name);
    if (result < 0)
        throwDbusFailure("D-Bus: no name on the bus", result);
    return name;
}

bool DbusConnection::hasOwner(const char* name) {
    DbusMessage method = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "NameHasOwner");
    method.append("s", name);
    DbusMessage reply = call(method, 5000);
    int owned = 0;
    reply.read("b", &owned);
    return owned != 0;
}

DbusMessage DbusConnection::methodCall(const char* destination, const char* path,
                                       const char* interface, const char* member) {
    sd_bus_message* message = nullptr;
    const int result =
        sd_bus_message_new_method_call(bus, &message, destination, path, interface, member);
    if (result < 0)
        throwDbusFailure(std::string("D-Bus: cannot call ") + interface + "." + member, result);
    return DbusMessage(message);
}

DbusMessage DbusConnection::call(DbusMessage& method, int timeoutMs) {
    ErrorHolder error;
    sd_bus_message* reply = nullptr;
    const int result =
        sd_bus_call(bus, method.get(), microseconds(timeoutMs), &error.error, &reply);
    if (result >= 0)
        return DbusMessage(reply);
    const char* interface = sd_bus_message_get_interface(method.get());
    const char* member = sd_bus_message_get_member(method.get());
    const std::string what = std::string(interface != nullptr ? interface : "") + "." +
                             (member != nullptr ? member : "");
    if (result == -ETIMEDOUT)
        throw DbusError(what + ": no answer within " + std::to_string(timeoutMs / 1000) + " s", "",
                        "", true);
    if (sd_bus_error_is_set(&error.error)) {
        const std::string message = error.error.message != nullptr ? error.error.message : "";
        std::string text = what + ": " + error.error.name;
        if (!message.empty())
            text += ": " + message;
        throw DbusError(text, error.error.name, message, false);
    }
    throw DbusError(what + ": " + std::strerror(-result), "", "", false);
}

void DbusConnection::dispatch(int timeoutMs) {
    const int processed = sd_bus_process(bus, nullptr);
    if (processed < 0)
        throwDbusFailure("D-Bus: the connection failed", processed);
    if (processed > 0)
        return; // the caller looks at what it brought, then comes back for more
    const int waited = sd_bus_wait(bus, microseconds(timeoutMs));
    if (waited < 0 && waited != -EINTR)
        throwDbusFailure("D-Bus: the connection failed", waited);
}

bool DbusConnection::processArrived() {
    bool any = false;
    int processed = 0;
    while ((processed = sd_bus_process(bus, nullptr)) > 0)
        any = true;
    if (processed < 0)
        throwDbusFailure("D-Bus: the connection failed", processed);
    return any;
}

int DbusConnection::flushForPoll() {
    const int flushed = sd_bus_flush(bus);
    if (flushed < 0)
        throwDbusFailure("D-Bus: the connection failed", flushed);
    return sd_bus_get_fd(bus);
}

DbusSignalWait::DbusSignalWait(DbusConnection& connection, const std::string& path,
                               const char* interface, const char* member, const char* firstArgument)
    : connection(connection), what(std::string(interface) + "." + member) {
    // No sender in the rule: a well-known name never matches the signal's unique sender on
    // this side, and the path is this program's own object already. (Names, paths and these
    // arguments hold no quotes.)
    std::string rule =
        "type='signal',interface='" + std::string(interface) + "',member='" + member + "'";
    if (!path.empty())
        rule += ",path='" + path + "'";
    if (firstArgument != nullptr)
        rule += ",arg0='" + std::string(firstArgument) + "'";
    const int result =
        sd_bus_add_match(connection.get(), &slot, rule.c_str(), &DbusSignalWait::arrived, this);
    if (result < 0)
        throwDbusFailure("D-Bus: cannot listen for " + what, result);
}

DbusSignalWait::~DbusSignalWait() {
    sd_bus_slot_unref(slot);
}

int DbusSignalWait::arrived(sd_bus_message* message, void* self, sd_bus_error*) {
    static_cast<DbusSignalWait*>(self)->received.emplace_back(sd_bus_message_ref(message));
    return 0;
}

DbusMessage DbusSignalWait::next(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received.empty()) {
        const int left = millisecondsUntil(deadline);
        if (left == 0)
            throw Exception(what + ": no signal within " + std::to_string(timeoutMs / 1000) + " s");
        connection.dispatch(left);
    }
    DbusMessage first = std::move(received.front());
    received.pop_front();
    return first;
}

bool DbusSignalWait::take(DbusMessage& message) {
    if (received.empty())
        return false;
    message = std::move(received.front());
    received.pop_front();
    return true;
}
