// Typed values under HKEY_LOCAL_MACHINE\<key>. On Linux the key is a section of a REGEDIT4 text
// file ($XDG_CONFIG_HOME/kelvara/registry.reg); on Windows it is the registry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // Each read throws Exception: "Failed to get data for '<name>'" when an integer is missing,
    // "Invalid data type for '<name>'" for a value of another type.
    virtual int32_t readInteger(const std::string& name) = 0;
    // A missing string reads as empty.
    virtual std::string readString(const std::string& name) = 0;
    // Throws "Failed to set data for '<name>'" when the value cannot be stored.
    virtual void writeInteger(const std::string& name, int32_t value) = 0;
    virtual void writeString(const std::string& name, const std::string& value) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Whether the key exists (and may be opened for writing).
    virtual bool keyExists(const std::string& key) = 0;
    // Opens the key for reading; throws Exception when the store cannot be read.
    virtual std::unique_ptr<RegistryKey> openKey(const std::string& key) = 0;
    // Opens the key for writing, creating it when missing (the creation shows on the first
    // write).
    virtual std::unique_ptr<RegistryKey> createKey(const std::string& key) = 0;
};

// The system's registry (on Linux the file above).
std::unique_ptr<Registry> createSystemRegistry();
