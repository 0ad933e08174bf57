#include "shell/system_services.h"

#include "glv_main/glv_main.h"
#include "glv_main/startup_steps.h"
#include "logo_intro/logo_intro.h"
#include "platform/desktop_services.h"
#include "platform/picture_folder.h"
#include "platform/process.h"
#include "platform/startup_trace.h"
#include "shell/desktop_capture.h"
#include "shell/saver_building.h"

SystemServices::SystemServices(WindowSystem& windowSystem, Application& application)
    : windows(windowSystem), app(application) {}

std::string SystemServices::executablePath() {
    return ::executablePath();
}

void SystemServices::setCurrentDirectory(const std::string& path) {
    ::setCurrentDirectory(path);
}

void SystemServices::setHighPriority() {
    ::setHighPriority();
}

bool SystemServices::enumDisplayMode(int index, DisplayMode& mode) {
    SystemDisplayMode systemMode;
    if (!windows.enumDisplaySettings(index, systemMode)) {
        return false;
    }
    mode = systemMode.mode;
    return true;
}

Registry& SystemServices::registry() {
    if (!systemRegistry) {
        systemRegistry = createSystemRegistry();
    }
    return *systemRegistry;
}

Application& SystemServices::application() {
    return app;
}

Bitmap SystemServices::captureScreen() {
    return windows.captureScreen();
}

Bitmap SystemServices::pictureFromFolder(const std::string& folder) {
    return ::pictureFromFolder(folder, desktopBitmapSize, desktopPictureHeight);
}

void SystemServices::paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y,
                                     int width, int height) {
    windows.paintIntoWindow(window, picture, x, y, width, height);
}

void SystemServices::openUrl(const std::string& url) {
    ::openUrl(url);
}

void SystemServices::showError(const std::string& message) {
    windows.showError(message);
}

std::unique_ptr<HostWindow> SystemServices::openHostWindow(uintptr_t window) {
    return windows.openHostWindow(window);
}

int SystemServices::initGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                                 const SaverRequirements& requirements, DisplayMode& mode,
                                 int32_t* performance, bool ignoreRequirements) {
    return InitGraphics(view, form, requirements, mode, performance, ignoreRequirements);
}

void SystemServices::shutdownGraphics(std::unique_ptr<GLV> view) {
    ShutdownGraphics(std::move(view));
}

std::string SystemServices::rendererName(GLV* view) {
    return view != nullptr ? view->renderer : std::string();
}

void SystemServices::showFrameRate(GLV* view) {
    if (view != nullptr)
        view->showFrameRate();
}

void SystemServices::introSetup(GLV* view) {
    ::introSetup(view);
}

int SystemServices::introFrame() {
    return ::introFrame();
}

std::string SystemServices::saverName() {
    return ::saverName();
}

bool SystemServices::saverNeedsDesktop() {
    return ::saverNeedsDesktop();
}

bool SystemServices::saverHasSoundOption() {
    return ::saverHasSoundOption();
}

bool SystemServices::saverHasCustomization() {
    return ::saverHasCustomization();
}

void SystemServices::saverRequirements(SaverRequirements& requirements) {
    ::saverRequirements(requirements);
}

void SystemServices::saverDefaultCustomization(std::vector<std::string>& lines) {
    ::saverDefaultCustomization(lines);
}

void SystemServices::saverParseCustomization(const std::vector<std::string>& lines) {
    ::saverParseCustomization(lines);
}

std::unique_ptr<Saver> SystemServices::buildSaver(Bitmap* desktop, GLV* view, int32_t performance) {
    return ::buildSaver(desktop, view, performance);
}

void SystemServices::destroySaver(std::unique_ptr<Saver> saver) {
    saver.reset();
}

void SystemServices::saverSetup(Saver& saver) {
    ::saverSetup(saver);
    traceStartup("effect set up"); // where a soak's steady state begins
}

int SystemServices::saverFrame(Saver& saver) {
    return ::saverFrame(saver);
}
