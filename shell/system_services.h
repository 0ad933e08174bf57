// The program's ShellServices: the chosen window system, the operating system's services, the
// graphics start-up, the intro and the saver module, called as they are.
#pragma once

#include "platform/window_system.h"
#include "shell/shell_services.h"

#include <memory>

class SystemServices : public ShellServices {
public:
    SystemServices(WindowSystem& windowSystem, Application& application);

    std::string executablePath() override;
    void setCurrentDirectory(const std::string& path) override;
    void setHighPriority() override;
    bool enumDisplayMode(int index, DisplayMode& mode) override;
    Registry& registry() override;
    Application& application() override;
    Bitmap captureScreen() override;
    Bitmap pictureFromFolder(const std::string& folder) override;
    void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                         int height) override;
    void openUrl(const std::string& url) override;
    void showError(const std::string& message) override;
    std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) override;

    int initGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                     const SaverRequirements& requirements, DisplayMode& mode, int32_t* performance,
                     bool ignoreRequirements) override;
    void shutdownGraphics(std::unique_ptr<GLV> view) override;
    std::string rendererName(GLV* view) override;
    void showFrameRate(GLV* view) override;

    void introSetup(GLV* view) override;
    int introFrame() override;

    std::string saverName() override;
    bool saverNeedsDesktop() override;
    bool saverHasSoundOption() override;
    bool saverHasCustomization() override;
    void saverRequirements(SaverRequirements& requirements) override;
    void saverDefaultCustomization(std::vector<std::string>& lines) override;
    void saverParseCustomization(const std::vector<std::string>& lines) override;
    std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance) override;
    void destroySaver(std::unique_ptr<Saver> saver) override;
    void saverSetup(Saver& saver) override;
    int saverFrame(Saver& saver) override;

private:
    WindowSystem& windows;
    Application& app;
    std::unique_ptr<Registry> systemRegistry; // opened on first use
};
