// The registry (createSystemRegistry) on Windows: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE
// through RegOpenKeyExA, RegCreateKeyExA, RegQueryValueExA and RegSetValueExA, combined by
// UserFirstRegistry.
#include "platform/registry.h"

#include "platform/exception.h"
#include "platform/win32/user_first_registry.h"

#include <windows.h>

#include <vector>

namespace {

// Longer strings are no settings this program wrote.
constexpr DWORD maxStringBytes = 1 << 20;

class Win32Key : public RegistryKey {
public:
    explicit Win32Key(HKEY key) : key(key) {}
    ~Win32Key() override { RegCloseKey(key); }
    Win32Key(const Win32Key&) = delete;
    Win32Key& operator=(const Win32Key&) = delete;

    int32_t readInteger(const std::string& name) override {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        // A missing value and one longer than four bytes both fail here.
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS) {
            throw Exception("Failed to get data for '" + name + "'");
        }
        if (type != REG_DWORD || size != sizeof value) {
            throw Exception("Invalid data type for '" + name + "'");
        }
        return static_cast<int32_t>(value);
    }

    std::string readString(const std::string& name) override {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return {};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            throw Exception("Invalid data type for '" + name + "'");
        }
        if (size > maxStringBytes) {
            throw Exception("Failed to get data for '" + name + "'");
        }
        std::vector<char> text(size + 1, '\0');
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS ||
            size > text.size() - 1) {
            throw Exception("Failed to get data for '" + name + "'");
        }
        return std::string(text.data()); // up to the first zero, as stored with its terminator
    }

    void writeInteger(const std::string& name, int32_t value) override {
        const DWORD data = static_cast<DWORD>(value);
        set(name, REG_DWORD, &data, sizeof data);
    }

    void writeString(const std::string& name, const std::string& value) override {
        set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }

private:
    void set(const std::string& name, DWORD type, const void* data, DWORD size) {
        if (RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) !=
            ERROR_SUCCESS) {
            throw Exception("Failed to set data for '" + name + "'");
        }
    }

    HKEY key;
};

class Win32Hive : public RegistryHive {
public:
    explicit Win32Hive(HKEY root) : root(root) {}

    bool keyExists(const std::string& key) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(opened);
        return true;
    }

    std::unique_ptr<RegistryKey> openKey(const std::string& key) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            throw Exception("Failed to open the registry key '" + key + "'");
        }
        return std::make_unique<Win32Key>(opened);
    }

    std::unique_ptr<RegistryKey> createKey(const std::string& key) override {
        HKEY opened = nullptr;
        if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<Win32Key>(opened);
    }

private:
    HKEY root;
};

} // namespace

std::unique_ptr<Registry> createSystemRegistry() {
    return std::make_unique<UserFirstRegistry>(std::make_unique<Win32Hive>(HKEY_CURRENT_USER),
                                               std::make_unique<Win32Hive>(HKEY_LOCAL_MACHINE));
}
