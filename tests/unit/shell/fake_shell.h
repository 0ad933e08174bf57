// Fakes of the form's widgets and of the system for the shell's unit tests. Every call that
// matters for order is written to one shared log.
#pragma once

#include "glv_main/glv_main.h"
#include "platform/exception.h"
#include "platform/form_view.h"
#include "shell/shell_services.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

using CallLog = std::vector<std::string>;

class FakeView : public FormView {
public:
    explicit FakeView(CallLog& log) : log(log), logoPicture(140, 70, 24) {}

    NativeWindow nativeWindow() override { return {}; }
    int width() const override { return 280; }
    int height() const override { return outerHeight; }
    int clientWidth() const override { return 280; }
    int clientHeight() const override { return outerHeight; }
    void setSize(int, int height) override { outerHeight = height; }
    void setResizeHandler(std::function<void()>) override {}
    void processPendingMessages() override {
        if (pendingInput) {
            auto input = std::move(pendingInput);
            pendingInput = nullptr;
            input();
        }
    }
    void paintTexts(int, int, const std::vector<CanvasText>&) override {}

    void setEvents(FormEvents* e) override { events = e; }
    void setCaption(const std::string& text) override { caption = text; }
    void show() override {
        visible = true;
        log.push_back("show");
    }
    void hide() override {
        visible = false;
        log.push_back("hide");
    }
    void makeFullScreen() override {
        fullScreen = true;
        log.push_back("makeFullScreen");
    }
    void makePreviewChild(uintptr_t host) override {
        previewParent = host;
        log.push_back("makePreviewChild");
    }
    void keepHidden() override {
        keptHidden = true;
        log.push_back("keepHidden");
    }
    void setHeight(int h) override { outerHeight = h; }
    void focus() override { log.push_back("focus"); }
    void bringToForeground() override { log.push_back("bringToForeground"); }
    void hideOwnerWindow() override { log.push_back("hideOwnerWindow"); }
    void close() override {
        ++closeCount;
        log.push_back("close");
        // The back end ends the loop and destroys the form.
        if (events != nullptr) {
            events->FormDestroy();
        }
    }

    void resAdd(const std::string& text) override { resItems.push_back(text); }
    int resCount() const override { return static_cast<int>(resItems.size()); }
    int resSelectedIndex() const override { return resSelected; }
    void resSelect(int index) override { resSelected = index; }

    bool soundChecked() const override { return sound; }
    void setSoundChecked(bool checked) override { sound = checked; }
    void setSoundVisible(bool visible) override { soundVisible = visible; }

    std::vector<std::string> customLines() const override { return lines; }
    void setCustomLines(const std::vector<std::string>& newLines) override { lines = newLines; }
    void setCustomBoxVisible(bool visible) override { customBoxVisible = visible; }
    void setPanel1Visible(bool visible) override { panel1Visible = visible; }
    void enableStopTimer() override {
        stopTimerEnabled = true;
        log.push_back("enableStopTimer");
    }
    const Bitmap& logo() const override { return logoPicture; }

    CallLog& log;
    FormEvents* events = nullptr;
    Bitmap logoPicture;
    // The stored layout: one item, nothing selected, sound checked, panel hidden.
    std::vector<std::string> resItems{"desktop resolution"};
    int resSelected = -1;
    bool sound = true;
    bool soundVisible = true;
    std::vector<std::string> lines;
    bool customBoxVisible = true;
    bool panel1Visible = false;
    int outerHeight = 380;
    std::string caption = "Settings";
    bool visible = false;
    bool fullScreen = false;
    bool keptHidden = false;
    uintptr_t previewParent = 0;
    bool stopTimerEnabled = false;
    int closeCount = 0;
    // Input the start-up's message pump delivers.
    std::function<void()> pendingInput;
};

// A saver host's window: its size, the picture the host may have kept and its user's image
// settings.
class FakeHostWindow : public HostWindow {
public:
    NativeWindow nativeWindow() override { return {}; }
    int width() const override { return 400; }
    int height() const override { return 300; }
    int clientWidth() const override { return 400; }
    int clientHeight() const override { return 300; }
    void setSize(int, int) override {}
    void setResizeHandler(std::function<void()>) override {}
    void processPendingMessages() override {}
    void paintTexts(int, int, const std::vector<CanvasText>&) override {}
    void setGoneHandler(std::function<void()> handler) override { gone = std::move(handler); }
    bool hostScreenshot(Bitmap& picture) override {
        if (!screenshot) {
            return false;
        }
        picture = *screenshot;
        return true;
    }
    HostImageSettings imageSettings() override { return settings; }

    std::optional<Bitmap> screenshot;
    HostImageSettings settings;
    std::function<void()> gone;
};

class FakeApplication : public Application {
public:
    explicit FakeApplication(CallLog& log) : log(log) {}
    void setTitle(const std::string& text) override { title = text; }
    void setIdleHandler(std::function<void(bool&)> handler, int paceMs) override {
        idle = std::move(handler);
        pace = paceMs;
        log.push_back("setIdleHandler");
    }
    void clearIdleHandler() override { idle = nullptr; }
    void terminate() override {
        terminated = true;
        log.push_back("terminate");
    }
    void run() override {}

    // One pass of the loop; false when no handler is installed.
    bool idlePass() {
        if (!idle) {
            return false;
        }
        auto handler = idle; // the handler may remove itself
        bool done = true;
        handler(done);
        lastDone = done;
        return true;
    }

    CallLog& log;
    std::string title;
    std::function<void(bool&)> idle;
    int pace = -1;
    bool terminated = false;
    bool lastDone = true;
};

using RegistryValue = std::variant<int32_t, std::string, std::vector<uint8_t>>;
using RegistryValues = std::map<std::string, RegistryValue>;

// Keys and typed values with the messages of the real store.
class FakeRegistry : public Registry {
public:
    class Key : public RegistryKey {
    public:
        Key(FakeRegistry& registry, std::string name) : registry(registry), name(std::move(name)) {}
        int32_t readInteger(const std::string& value) override {
            auto& values = registry.keys[name];
            auto it = values.find(value);
            if (it == values.end()) {
                throw Exception("Failed to get data for '" + value + "'");
            }
            if (!std::holds_alternative<int32_t>(it->second)) {
                throw Exception("Invalid data type for '" + value + "'");
            }
            return std::get<int32_t>(it->second);
        }
        std::string readString(const std::string& value) override {
            auto& values = registry.keys[name];
            auto it = values.find(value);
            if (it == values.end()) {
                return "";
            }
            if (!std::holds_alternative<std::string>(it->second)) {
                throw Exception("Invalid data type for '" + value + "'");
            }
            return std::get<std::string>(it->second);
        }
        void writeInteger(const std::string& value, int32_t data) override {
            if (registry.readOnly) {
                throw Exception("Failed to set data for '" + value + "'");
            }
            registry.keys[name][value] = data;
        }
        void writeString(const std::string& value, const std::string& data) override {
            if (registry.readOnly) {
                throw Exception("Failed to set data for '" + value + "'");
            }
            registry.keys[name][value] = data;
        }
        FakeRegistry& registry;
        std::string name;
    };

    bool keyExists(const std::string& key) override { return keys.count(key) != 0; }
    std::unique_ptr<RegistryKey> openKey(const std::string& key) override {
        return std::make_unique<Key>(*this, key);
    }
    std::unique_ptr<RegistryKey> createKey(const std::string& key) override {
        return std::make_unique<Key>(*this, key);
    }

    std::map<std::string, RegistryValues> keys;
    bool readOnly = false;
};

inline const std::string tarnwickKey = "SOFTWARE\\Velloran\\Tarnwick";

class FakeServices : public ShellServices {
public:
    explicit FakeServices(CallLog& log) : log(log), app(log) {}

    std::string executablePath() override { return exePath; }
    void setCurrentDirectory(const std::string& path) override {
        currentDirectory = path;
        log.push_back("setCurrentDirectory");
    }
    void setHighPriority() override { log.push_back("setHighPriority"); }
    bool enumDisplayMode(int index, DisplayMode& mode) override {
        if (index == 0) {
            log.push_back("enumDisplayMode");
        }
        ++enumCalls;
        if (endlessModes) {
            mode = DisplayMode{320, 200, 32, 60};
            return true;
        }
        if (index < 0 || index >= static_cast<int>(modes.size())) {
            return false;
        }
        mode = modes[index];
        return true;
    }
    Registry& registry() override {
        log.push_back("registry");
        return fakeRegistry;
    }
    Application& application() override { return app; }
    Bitmap captureScreen() override {
        log.push_back("captureScreen");
        return Bitmap(64, 48, 32);
    }
    Bitmap pictureFromFolder(const std::string& folder) override {
        log.push_back("pictureFromFolder " + folder);
        if (!folderPicture) {
            throw Exception("There is no JPEG or PNG picture in " + folder);
        }
        return *folderPicture;
    }
    void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                         int height) override {
        painted.push_back({window, &picture, x, y, width, height});
    }
    void openUrl(const std::string& url) override {
        openedUrl = url;
        log.push_back("openUrl");
    }
    std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) override {
        log.push_back("openHostWindow");
        openedHost = window;
        if (!hostWindowExists) {
            throw Exception("There is no X window");
        }
        auto made = std::make_unique<FakeHostWindow>();
        made->screenshot = hostScreenshot;
        made->settings = hostImageSettings;
        hostWindow = made.get();
        return made;
    }
    void showError(const std::string& message) override {
        errors.push_back(message);
        log.push_back("showError");
        if (idleDuringError) {
            app.idlePass(); // a modal box runs a loop of its own
        }
    }

    int initGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                     const SaverRequirements& requirements, DisplayMode& mode, int32_t* performance,
                     bool ignoreRequirements) override {
        log.push_back("initGraphics");
        givenRequirements = requirements;
        givenMode = mode;
        givenIgnore = ignoreRequirements;
        form.processPendingMessages();
        if (initThrows) {
            throw Exception(*initThrows);
        }
        if (initMakesView) {
            *view = std::make_unique<GLV>();
            madeView = view->get();
        }
        *performance = 1234;
        return initResult;
    }
    void shutdownGraphics(std::unique_ptr<GLV> view) override {
        shutdownView = view.get();
        shutView = std::move(view); // kept, so that its address stays its own
        log.push_back("shutdownGraphics");
    }
    std::string rendererName(GLV*) override { return "Fake Renderer"; }
    void showFrameRate(GLV*) override { log.push_back("showFrameRate"); }

    void introSetup(GLV* view) override {
        introSetupView = view;
        log.push_back("introSetup");
        if (introSetupThrows) {
            throw Exception("Can't open logo.dat");
        }
    }
    int introFrame() override {
        log.push_back("introFrame");
        if (introFrameThrows) {
            throw Exception("Intro broke");
        }
        return --introFramesLeft > 0 ? 1 : 0;
    }

    std::string saverName() override { return "Tarnwick"; }
    bool saverNeedsDesktop() override { return needsDesktop; }
    bool saverHasSoundOption() override { return hasSoundOption; }
    bool saverHasCustomization() override { return hasCustomization; }
    void saverRequirements(SaverRequirements& requirements) override {
        requirements = askedRequirements;
    }
    void saverDefaultCustomization(std::vector<std::string>& lines) override {
        lines = defaultLines;
        log.push_back("saverDefaultCustomization");
    }
    void saverParseCustomization(const std::vector<std::string>& lines) override {
        parsedLines = lines;
        log.push_back("saverParseCustomization");
    }
    std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance) override {
        log.push_back("buildSaver");
        if (buildThrows) {
            throw Exception("Can't find Tarnwick.dat");
        }
        auto saver = std::make_unique<Saver>();
        saver->desktop = desktop;
        saver->view = view;
        saver->performance = performance;
        builtSaver = saver.get();
        return saver;
    }
    void destroySaver(std::unique_ptr<Saver> destroyed) override {
        destroyedSaver = destroyed.get();
        keptSaver = std::move(destroyed);
        log.push_back("destroySaver");
    }
    void saverSetup(Saver&) override {
        log.push_back("saverSetup");
        if (saverSetupThrows) {
            throw Exception("No texture");
        }
    }
    int saverFrame(Saver&) override {
        log.push_back("saverFrame");
        if (saverFrameThrows) {
            throw Exception("Frame failed");
        }
        return 1;
    }

    // The view the start-up made, or nullptr.
    GLV* fakeView() { return madeView; }

    struct Paint {
        uintptr_t window;
        const Bitmap* picture;
        int x, y, width, height;
    };

    CallLog& log;
    FakeApplication app;
    FakeRegistry fakeRegistry;
    std::string exePath = "/opt/kelvara/kelvara";
    std::string currentDirectory;
    std::vector<DisplayMode> modes;
    bool endlessModes = false;
    int enumCalls = 0;
    std::vector<Paint> painted;
    std::string openedUrl;
    std::vector<std::string> errors;
    bool idleDuringError = false;
    bool hostWindowExists = true;
    uintptr_t openedHost = 1;
    std::optional<Bitmap> hostScreenshot;
    HostImageSettings hostImageSettings;
    std::optional<Bitmap> folderPicture;
    FakeHostWindow* hostWindow = nullptr; // owned by the form

    int initResult = 1;
    bool initMakesView = true;
    std::optional<std::string> initThrows;
    SaverRequirements givenRequirements;
    DisplayMode givenMode{-1, -1, -1, -1};
    bool givenIgnore = false;
    GLV* madeView = nullptr;
    GLV* shutdownView = nullptr;
    std::unique_ptr<GLV> shutView;

    GLV* introSetupView = nullptr;
    bool introSetupThrows = false;
    bool introFrameThrows = false;
    int introFramesLeft = 3;

    bool needsDesktop = true;
    bool hasSoundOption = false;
    bool hasCustomization = false;
    SaverRequirements askedRequirements{300, 50, 1024, 1, 1000, {}};
    std::vector<std::string> defaultLines;
    std::vector<std::string> parsedLines;
    bool buildThrows = false;
    Saver* builtSaver = nullptr;
    Saver* destroyedSaver = nullptr;
    std::unique_ptr<Saver> keptSaver;
    bool saverSetupThrows = false;
    bool saverFrameThrows = false;
};

// How often a name occurs in the log, and the position of its first occurrence.
inline int countOf(const CallLog& log, const std::string& name) {
    int n = 0;
    for (const auto& entry : log) {
        n += entry == name;
    }
    return n;
}
