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

// Writes the text to a temporary file beside the target and renames it over the target, so
// that a crash or a full disk leaves the old file whole. A file the user made read-only is
// left alone, although the folder would let us replace it.
bool replaceFile(const std::string& folder, const std::string& link, const std::string& text) {
    const std::string parent = configFolder();
    mkdir(parent.c_str(), 0700); // errors show in the steps below
    mkdir(folder.c_str(), 0700);
    const std::string path = linkTarget(link);
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    const mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    const bool ok = fchmod(fd, mode) == 0 && writeAll(fd, text) && fsync(fd) == 0;
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
    template <typename Change> void write(const std::string& name, Change change) {
        const std::string path = filePath();
        std::optional<std::string> text;
        try {
            text = readFile(path);
        } catch (const Exception&) {
            throw Exception("Failed to set data for '" + name + "'");
        }
        RegistryFile file = text ? RegistryFile::parse(*text, path) : RegistryFile();
        change(file);
        bool written = false;
        try {
            written = replaceFile(folderPath(), path, file.serialise());
        } catch (const Exception&) {
        }
        if (!written) {
            throw Exception("Failed to set data for '" + name + "'");
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
