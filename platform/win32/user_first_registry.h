// The settings store's rule on Windows, kept free of Windows calls so that it is tested on any
// machine. Since Vista an ordinary user cannot write HKEY_LOCAL_MACHINE, so a store there alone
// would keep no user's settings: a key is read from HKEY_CURRENT_USER first, then from
// HKEY_LOCAL_MACHINE. It is written where the next read will find it: to HKEY_CURRENT_USER
// when the key is there, else to HKEY_LOCAL_MACHINE when that opens for writing, else to
// HKEY_CURRENT_USER. What administrators stored machine-wide keeps working.
#pragma once

#include "platform/registry.h"

#include <memory>
#include <string>

// One root key of the registry.
class RegistryHive {
public:
    virtual ~RegistryHive() = default;
    // Whether the key exists and opens for reading.
    virtual bool keyExists(const std::string& key) = 0;
    virtual std::unique_ptr<RegistryKey> openKey(const std::string& key) = 0;
    // Opens the key for writing, creating it when missing; nullptr when the hive refuses.
    virtual std::unique_ptr<RegistryKey> createKey(const std::string& key) = 0;
};

class UserFirstRegistry : public Registry {
public:
    UserFirstRegistry(std::unique_ptr<RegistryHive> user, std::unique_ptr<RegistryHive> machine);

    bool keyExists(const std::string& key) override;
    std::unique_ptr<RegistryKey> openKey(const std::string& key) override;
    // When both hives refuse, the key's first write fails with "Failed to set data for ...".
    std::unique_ptr<RegistryKey> createKey(const std::string& key) override;

private:
    std::unique_ptr<RegistryHive> user;
    std::unique_ptr<RegistryHive> machine;
};
