// The Windows settings store's rule, with hives in memory: one of them can refuse writing, as
// HKEY_LOCAL_MACHINE does to an ordinary user since Vista.
#include "platform/exception.h"
#include "platform/win32/user_first_registry.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::string key = "SOFTWARE\\Velloran\\Tarnwick";

using Values = std::map<std::string, int32_t>;

class MemoryKey : public RegistryKey {
public:
    explicit MemoryKey(Values& values) : values(values) {}
    int32_t readInteger(const std::string& name) override {
        auto found = values.find(name);
        if (found == values.end()) {
            throw Exception("Failed to get data for '" + name + "'");
        }
        return found->second;
    }
    std::string readString(const std::string&) override { return {}; }
    void writeInteger(const std::string& name, int32_t value) override { values[name] = value; }
    void writeString(const std::string&, const std::string&) override {}

private:
    Values& values;
};

class MemoryHive : public RegistryHive {
public:
    explicit MemoryHive(bool refusesWriting) : refusesWriting(refusesWriting) {}
    bool keyExists(const std::string& k) override { return keys.count(k) != 0; }
    std::unique_ptr<RegistryKey> openKey(const std::string& k) override {
        return std::make_unique<MemoryKey>(keys.at(k));
    }
    std::unique_ptr<RegistryKey> createKey(const std::string& k) override {
        if (refusesWriting) {
            return nullptr;
        }
        return std::make_unique<MemoryKey>(keys[k]);
    }

    bool refusesWriting;
    std::map<std::string, Values> keys;
};

struct Hives {
    Hives(bool userRefuses, bool machineRefuses)
        : userHive(new MemoryHive(userRefuses)), machineHive(new MemoryHive(machineRefuses)),
          registry(std::unique_ptr<RegistryHive>(userHive),
                   std::unique_ptr<RegistryHive>(machineHive)) {}
    MemoryHive* userHive;
    MemoryHive* machineHive;
    UserFirstRegistry registry;
};

TEST(UserFirstRegistry, AnOrdinaryUserStoresInTheirOwnHiveAndReadsItBackBeforeTheMachines) {
    Hives hives(false, true);
    hives.machineHive->keys[key]["resolution"] = 3; // stored by an administrator
    EXPECT_TRUE(hives.registry.keyExists(key));
    EXPECT_EQ(hives.registry.openKey(key)->readInteger("resolution"), 3);

    hives.registry.createKey(key)->writeInteger("resolution", 7);
    EXPECT_EQ(hives.userHive->keys[key]["resolution"], 7);
    EXPECT_EQ(hives.machineHive->keys[key]["resolution"], 3);
    EXPECT_EQ(hives.registry.openKey(key)->readInteger("resolution"), 7);
}

TEST(UserFirstRegistry, TheMachineHiveTakesTheWriteWhenItOpens) {
    Hives hives(false, false);
    EXPECT_FALSE(hives.registry.keyExists(key));
    hives.registry.createKey(key)->writeInteger("sound", 1);
    EXPECT_EQ(hives.machineHive->keys[key]["sound"], 1);
    EXPECT_TRUE(hives.userHive->keys.empty());
    EXPECT_EQ(hives.registry.openKey(key)->readInteger("sound"), 1);
}

// An administrator's dialog (or any user under Wine) could write either hive: the store goes
// where the next read looks, the user's key once there is one.
TEST(UserFirstRegistry, AStoreIsWhatTheNextReadReturnsWhenBothHivesHoldTheKey) {
    Hives hives(false, false);
    hives.userHive->keys[key]["resolution"] = 0;
    hives.machineHive->keys[key]["resolution"] = 0;
    hives.registry.createKey(key)->writeInteger("resolution", 2);
    EXPECT_EQ(hives.registry.openKey(key)->readInteger("resolution"), 2);
    EXPECT_EQ(hives.machineHive->keys[key]["resolution"], 0);
}

TEST(UserFirstRegistry, BothRefusingFailsTheFirstWriteWithTheStoresMessage) {
    Hives hives(true, true);
    std::unique_ptr<RegistryKey> values = hives.registry.createKey(key);
    try {
        values->writeInteger("resolution", 0);
        FAIL() << "the write went through";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message, "Failed to set data for 'resolution'");
    }
}

} // namespace
