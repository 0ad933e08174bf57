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

// Writes the text to a temporary file beside the target and renames it over the target, so
// that a crash or a full disk leaves the old file whole.
bool replaceFile(const std::string& folder, const std::string& path, const std::string& text) {
    const std::string parent = configFolder();
    mkdir(parent.c_str(), 0700); // errors show in the steps below
    mkdir(folder.c_str(), 0700);
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
        if (!replaceFile(folderPath(), path, file.serialise())) {
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
