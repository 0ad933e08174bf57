// The registry on POSIX: HKEY_LOCAL_MACHINE\<key> as a section of the REGEDIT4 text file
// $XDG_CONFIG_HOME/kelvara/registry.reg (default ~/.config/...), replaced atomically on write.
#include "platform/registry.h"

#include "platform/exception.h"
#include "platform/registry_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string root = "HKEY_LOCAL_MACHINE\\";

std::string configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') { // a relative value is to be ignored, says XDG
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return std::string(home) + "/.config";
}

std::string folderPath() {
    return configFolder() + "/kelvara";
}
std::string filePath() {
    return folderPath() + "/registry.reg";
}

// The file's content, or nullopt when there is no file. Throws when it exists but cannot be
// read, or is too large to be ours.
std::optional<std::string> readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw Exception("Cannot read " + path + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw Exception("Cannot read " + path + ": not a regular file");
    }
    // Read at most one byte past the limit, whatever the size claims, so that a file that
    // grows meanwhile cannot make us allocate without bound.
    std::string text;
    char buffer[65536];
    while (text.size() <= RegistryFile::maxBytes) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            close(fd);
            throw Exception("Cannot read " + path + ": " + std::strerror(error));
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

RegistryFile loadFile(const std::string& path) {
    const std::optional<std::string> text = readFile(path);
    return text ? RegistryFile::parse(*text, path) : RegistryFile();
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a symbolic link at path leads to, followed link by link, whether that file exists
// yet or not; path itself when it is no link. People keep their settings in a repository of
// dotfiles and link them in: a store must write the file the link leads to and keep the link.
// Throws on a loop (or a chain too long to be anything else).
std::string linkTarget(const std::string& path) {
    constexpr int maxLinks = 40; // as the kernel allows
    std::string current = path;
    for (int i = 0; i < maxLinks; ++i) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        char target[4096];
        const ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
        if (n < 0) {
            return current;
        }
        const std::string next(target, static_cast<size_t>(n));
        if (next.empty() || next[0] == '/') {
            current = next;
        } else {
            current = current.substr(0, current.find_last_of('/') + 1) + next;
        }
    }
    throw Exception("Cannot write " + path + ": " + std::strerror(ELOOP));
}

// The new file takes the old one's owner and group where they differ from ours (root storing
// into a user's file through a link); true when they are kept.
bool keepOwner(int fd, const struct stat& old) {
    struct stat now {};
    return fstat(fd, &now) == 0 && ((now.st_uid == old.st_uid && now.st_gid == old.st_gid) ||
                                    fchown(fd, old.st_uid, old.st_gid) == 0);
}

// Writes the text to a temporary file beside path (the file, not a link to it) and renames it
// over path, so that a crash or a full disk leaves the old file whole; the file keeps its mode
// and owner. A file the user made read-only is left alone, although the folder would let us
// replace it: its mode says so, since access() lets root write anything.
bool replaceFile(const std::string& folder, const std::string& path, const std::string& text) {
    const std::string parent = configFolder();
    mkdir(parent.c_str(), 0700); // errors show in the steps below
    mkdir(folder.c_str(), 0700);
    struct stat old {};
    const bool exists = stat(path.c_str(), &old) == 0;
    if (exists && ((old.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0)) {
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // The owner before the mode: a change of owner clears the set-id bits.
    const bool ok = (!exists || keepOwner(fd, old)) &&
                    fchmod(fd, exists ? (old.st_mode & 07777) : 0600) == 0 && writeAll(fd, text) &&
                    fsync(fd) == 0;
    if (close(fd) != 0 || !ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

class FileKey : public RegistryKey {
public:
    FileKey(std::string section, RegistryFile snapshot)
        : section(std::move(section)), snapshot(std::move(snapshot)) {}

    int32_t readInteger(const std::string& name) override {
        const std::optional<RegistryValue> v = snapshot.value(section, name);
        if (!v) {
            throw Exception("Failed to get data for '" + name + "'");
        }
        if (v->type != RegistryValue::Type::Integer) {
            throw Exception("Invalid data type for '" + name + "'");
        }
        return v->integer;
    }

    std::string readString(const std::string& name) override {
        const std::optional<RegistryValue> v = snapshot.value(section, name);
        if (!v) {
            return {};
        }
        if (v->type != RegistryValue::Type::String) {
            throw Exception("Invalid data type for '" + name + "'");
        }
        return v->string;
    }

    void writeInteger(const std::string& name, int32_t value) override {
        write(name, [&](RegistryFile& file) { file.setInteger(section, name, value); });
    }

    void writeString(const std::string& name, const std::string& value) override {
        write(name, [&](RegistryFile& file) { file.setString(section, name, value); });
    }

private:
    // Each write reads the file afresh, so that what another program or a person changed
    // since the key was opened is kept. A file that cannot be parsed is reported and left alone.
    // A link is followed first, to the file it leads to, so that a loop ends here.
    template <typename Change> void write(const std::string& name, Change change) {
        const std::string failed = "Failed to set data for '" + name + "'";
        const std::string path = filePath();
        std::string target;
        std::optional<std::string> text;
        try {
            target = linkTarget(path);
            text = readFile(target);
        } catch (const Exception&) {
            throw Exception(failed);
        }
        RegistryFile file = text ? RegistryFile::parse(*text, path) : RegistryFile();
        change(file);
        if (!replaceFile(folderPath(), target, file.serialise())) {
            throw Exception(failed);
        }
        snapshot = std::move(file);
    }

    std::string section;
    RegistryFile snapshot;
};

class FileRegistry : public Registry {
public:
    bool keyExists(const std::string& key) override {
        return loadFile(filePath()).hasSection(root + key);
    }
    std::unique_ptr<RegistryKey> openKey(const std::string& key) override {
        return std::make_unique<FileKey>(root + key, loadFile(filePath()));
    }
    std::unique_ptr<RegistryKey> createKey(const std::string& key) override {
        return std::make_unique<FileKey>(root + key, RegistryFile());
    }
};

} // namespace

std::unique_ptr<Registry> createSystemRegistry() {
    return std::make_unique<FileRegistry>();
}
