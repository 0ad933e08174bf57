#include "platform/registry.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string key = "SOFTWARE\\Velloran\\Tarnwick";

// Each test gets its own configuration folder through XDG_CONFIG_HOME.
class PosixRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvara-registry-XXXXXX";
        config = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        file = config / "kelvara" / "registry.reg";
    }
    void TearDown() override {
        fs::permissions(config, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(config);
    }

    void writeFile(const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    std::string readFile() {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string message(const std::function<void()>& f) {
        try {
            f();
        } catch (const Exception& e) {
            return e.message;
        }
        return "(no error)";
    }

    fs::path config;
    fs::path file;
};

TEST_F(PosixRegistry, TheKeyIsAbsentWithoutFileOrSection) {
    auto registry = createSystemRegistry();
    EXPECT_FALSE(registry->keyExists(key));
    writeFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Other]\n");
    EXPECT_FALSE(registry->keyExists(key));
    writeFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n");
    EXPECT_TRUE(registry->keyExists(key));
}

TEST_F(PosixRegistry, WritesCreateTheFolderAndReadBack) {
    auto registry = createSystemRegistry();
    auto writer = registry->createKey(key);
    writer->writeInteger("resolution", -1);
    writer->writeInteger("sound", 1);
    writer->writeString("customize", "a,\"b c\"");
    EXPECT_EQ(readFile(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
                          "\"resolution\"=dword:ffffffff\n\"sound\"=dword:00000001\n"
                          "\"customize\"=\"a,\\\"b c\\\"\"\n");
    ASSERT_TRUE(registry->keyExists(key));
    auto reader = registry->openKey(key);
    EXPECT_EQ(reader->readInteger("resolution"), -1);
    EXPECT_EQ(reader->readInteger("sound"), 1);
    EXPECT_EQ(reader->readString("customize"), "a,\"b c\"");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1);
}

TEST_F(PosixRegistry, ReadsGiveTheRegistryErrors) {
    writeFile("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
              "\"resolution\"=hex:01\n\"customize\"=dword:00000001\n");
    auto reader = createSystemRegistry()->openKey(key);
    EXPECT_EQ(message([&] { reader->readInteger("resolution"); }),
              "Invalid data type for 'resolution'");
    EXPECT_EQ(message([&] { reader->readInteger("sound"); }), "Failed to get data for 'sound'");
    EXPECT_EQ(message([&] { reader->readString("customize"); }),
              "Invalid data type for 'customize'");
    EXPECT_EQ(reader->readString("missing"), "");
}

TEST_F(PosixRegistry, AFileThatCannotBeParsedIsReportedAndNeverOverwritten) {
    const std::string broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
                               "resolution = 3\n";
    writeFile(broken);
    auto registry = createSystemRegistry();
    const std::string expected =
        file.string() + " line 3: expected [section], \"name\"=value or a ; comment";
    EXPECT_EQ(message([&] { registry->keyExists(key); }), expected);
    EXPECT_EQ(message([&] { registry->createKey(key)->writeInteger("resolution", 1); }), expected);
    EXPECT_EQ(readFile(), broken);
}

TEST_F(PosixRegistry, AFolderThatCannotBeWrittenGivesFailedToSetData) {
    // A plain file where the configuration folder should be stops even a privileged user.
    std::ofstream(config / "blocked") << "x";
    setenv("XDG_CONFIG_HOME", (config / "blocked").c_str(), 1);
    auto writer = createSystemRegistry()->createKey(key);
    EXPECT_EQ(message([&] { writer->writeInteger("resolution", 0); }),
              "Failed to set data for 'resolution'");
}

TEST_F(PosixRegistry, AnOversizedFileIsRefusedWithAMessage) {
    writeFile("REGEDIT4\n" + std::string(2 << 20, ';'));
    EXPECT_NE(message([&] { createSystemRegistry()->keyExists(key); }).find("larger than"),
              std::string::npos);
}

TEST_F(PosixRegistry, WritesKeepWhatChangedInTheFileSinceTheKeyWasOpened) {
    auto writer = createSystemRegistry()->createKey(key);
    writer->writeInteger("resolution", 1);
    writeFile(readFile() + "; added by hand\n\"other\"=\"x\"\n");
    writer->writeInteger("sound", 0);
    EXPECT_NE(readFile().find("; added by hand\n\"other\"=\"x\"\n\"sound\"=dword:00000000\n"),
              std::string::npos);
}

// Read-only by its mode: left as it is, by root too, whom access() would let through.
TEST_F(PosixRegistry, AFileWithoutWriteBitsIsNeverReplaced) {
    const std::string text = "REGEDIT4\n; mine, read-only\n";
    writeFile(text);
    chmod(file.c_str(), 0444);
    EXPECT_EQ(message([&] { createSystemRegistry()->createKey(key)->writeInteger("sound", 1); }),
              "Failed to set data for 'sound'");
    EXPECT_EQ(readFile(), text);
    EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0444));
}

// Settings kept elsewhere and linked in, by every shape of link: the store writes the file at
// the end of the links, which keeps its mode and its owner (root storing into a user's file),
// and the links stay links. A loop fails the store and makes nothing.
TEST_F(PosixRegistry, AStoreThroughLinksWritesTheFileTheyLeadToAndKeepsItsModeAndOwner) {
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid(); // nobody, where we may give files
    struct Case {
        const char* name;
        // Makes the links in folder (the configuration folder); returns the file they lead to.
        std::function<fs::path(const fs::path& folder)> links;
        bool targetExists = true;
    };
    const std::vector<Case> cases = {
        {"relative",
         [](const fs::path& f) {
             fs::create_symlink("../dotfiles/kelvara.reg", f / "kelvara" / "registry.reg");
             return f / "dotfiles" / "kelvara.reg";
         }},
        {"absolute",
         [](const fs::path& f) {
             fs::create_symlink(f / "dotfiles" / "kelvara.reg", f / "kelvara" / "registry.reg");
             return f / "dotfiles" / "kelvara.reg";
         }},
        {"chained, each relative to its own folder",
         [](const fs::path& f) {
             fs::create_directories(f / "links");
             fs::create_symlink("../links/first.reg", f / "kelvara" / "registry.reg");
             fs::create_symlink("../dotfiles/kelvara.reg", f / "links" / "first.reg");
             return f / "dotfiles" / "kelvara.reg";
         }},
        {"dangling",
         [](const fs::path& f) {
             fs::create_symlink("../dotfiles/new.reg", f / "kelvara" / "registry.reg");
             return f / "dotfiles" / "new.reg";
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = config / c.name;
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        fs::create_directories(folder / "kelvara");
        fs::create_directories(folder / "dotfiles");
        const fs::path target = c.links(folder);
        if (c.targetExists) {
            std::ofstream(target) << "REGEDIT4\n; kept in a repository\n";
            ASSERT_EQ(chmod(target.c_str(), 0640), 0);
            ASSERT_EQ(chown(target.c_str(), owner, static_cast<gid_t>(-1)), 0);
        }
        createSystemRegistry()->createKey(key)->writeInteger("resolution", 5);
        EXPECT_TRUE(fs::is_symlink(folder / "kelvara" / "registry.reg"));
        std::ifstream in(target);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("\"resolution\"=dword:00000005"), std::string::npos) << text;
        struct stat info {};
        ASSERT_EQ(stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.targetExists ? 0640u : 0600u);
        EXPECT_EQ(info.st_uid, c.targetExists ? owner : geteuid());
        EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 1)
            << "a temporary file was left";
    }

    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    fs::create_directories(file.parent_path());
    fs::create_symlink("loop.reg", file);
    fs::create_symlink("registry.reg", file.parent_path() / "loop.reg");
    EXPECT_EQ(message([&] { createSystemRegistry()->createKey(key)->writeInteger("sound", 1); }),
              "Failed to set data for 'sound'");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 2);
}

} // namespace
