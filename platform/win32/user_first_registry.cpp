#include "platform/win32/user_first_registry.h"

#include "platform/exception.h"

namespace {

// A key neither hive would open for writing: every write fails as a refused write does.
class RefusedKey : public RegistryKey {
public:
    int32_t readInteger(const std::string& name) override {
        throw Exception("Failed to get data for '" + name + "'");
    }
    std::string readString(const std::string&) override { return {}; }
    void writeInteger(const std::string& name, int32_t) override { refuse(name); }
    void writeString(const std::string& name, const std::string&) override { refuse(name); }

private:
    [[noreturn]] static void refuse(const std::string& name) {
        throw Exception("Failed to set data for '" + name + "'");
    }
};

} // namespace

UserFirstRegistry::UserFirstRegistry(std::unique_ptr<RegistryHive> user,
                                     std::unique_ptr<RegistryHive> machine)
    : user(std::move(user)), machine(std::move(machine)) {}

bool UserFirstRegistry::keyExists(const std::string& key) {
    return user->keyExists(key) || machine->keyExists(key);
}

std::unique_ptr<RegistryKey> UserFirstRegistry::openKey(const std::string& key) {
    return user->keyExists(key) ? user->openKey(key) : machine->openKey(key);
}

std::unique_ptr<RegistryKey> UserFirstRegistry::createKey(const std::string& key) {
    // Where the user's key exists, the next read comes from it: a store elsewhere would be
    // hidden behind it.
    if (!user->keyExists(key)) {
        if (std::unique_ptr<RegistryKey> values = machine->createKey(key)) {
            return values;
        }
    }
    if (std::unique_ptr<RegistryKey> values = user->createKey(key)) {
        return values;
    }
    return std::make_unique<RefusedKey>();
}
