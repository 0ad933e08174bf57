// XScreenSaver's image settings through Xlib's resource manager (Xrm), which matches resource
// names as XScreenSaver's toolkit does.
#include "platform/x11/x11_image_settings.h"

#include "platform/xscreensaver_settings.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

const std::vector<std::string> xscreensaverAppDefaults = {
    "/etc/X11/app-defaults/XScreenSaver", "/usr/share/X11/app-defaults/XScreenSaver"};

namespace {

// XScreenSaver writes a few tens of kilobytes; far more is no settings file of its.
constexpr size_t maxSettingsBytes = 1 << 20;

// The file's text, or nothing when there is no such file; false with problem set when it is
// there but cannot be read whole.
bool readSettingsFile(const std::string& path, std::string& text, std::string& problem) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (errno == ENOENT)
            return true;
        problem = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char buffer[16384];
    size_t got = 0;
    while (problem.empty() && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
        if (text.size() > maxSettingsBytes)
            problem = "Cannot read " + path + ": it is larger than 1 MB";
    }
    if (problem.empty() && std::ferror(file))
        problem = "Cannot read " + path + ": " + std::strerror(errno);
    std::fclose(file);
    return problem.empty();
}

class ResourceDatabase {
public:
    ResourceDatabase() = default;
    ~ResourceDatabase() {
        if (database)
            XrmDestroyDatabase(database);
    }
    ResourceDatabase(const ResourceDatabase&) = delete;
    ResourceDatabase& operator=(const ResourceDatabase&) = delete;

    // The value of xscreensaver.<name>, of class XScreenSaver.<className>.
    std::optional<std::string> find(const std::string& name, const std::string& className) const {
        char* type = nullptr;
        XrmValue value{};
        if (!database ||
            !XrmGetResource(database, ("xscreensaver." + name).c_str(),
                            ("XScreenSaver." + className).c_str(), &type, &value) ||
            !value.addr)
            return std::nullopt;
        return std::string(value.addr, strnlen(value.addr, value.size));
    }

    XrmDatabase database = nullptr;
};

} // namespace

HostImageSettings xscreensaverImageSettings(const char* serverResources,
                                            const std::vector<std::string>& appDefaults,
                                            const char* home) {
    HostImageSettings settings;
    std::string userText;
    const std::string homeFolder = home ? home : "";
    if (!homeFolder.empty() &&
        !readSettingsFile(homeFolder + "/.xscreensaver", userText, settings.problem))
        return settings;

    XrmInitialize();
    ResourceDatabase resources;
    for (const std::string& path : appDefaults) {
        if ((resources.database = XrmGetFileDatabase(path.c_str())))
            break;
    }
    if (serverResources)
        XrmMergeDatabases(XrmGetStringDatabase(serverResources), &resources.database);
    // The loader takes these names from the user's file, spelled exactly so, as the most
    // specific resources of all.
    for (const auto& [name, value] : xscreensaverSettings(userText)) {
        if (name == "grabDesktopImages" || name == "chooseRandomImages" || name == "imageDirectory")
            XrmPutStringResource(&resources.database, ("xscreensaver." + name).c_str(),
                                 value.c_str());
    }

    auto boolean = [&](const char* name) {
        const std::optional<std::string> value = resources.find(name, "Boolean");
        return value && xscreensaverBoolean(*value).value_or(false);
    };
    settings.grabDesktopImages = boolean("grabDesktopImages");
    settings.chooseRandomImages = boolean("chooseRandomImages");
    settings.imageDirectory = resources.find("imageDirectory", "String").value_or("");
    if (settings.imageDirectory.starts_with("~/") && !homeFolder.empty())
        settings.imageDirectory = homeFolder + settings.imageDirectory.substr(1);
    return settings;
}
