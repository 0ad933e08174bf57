#include "shell/system_services.h"

#include "glv_main/glv_main.h"
#include "glv_main/startup_steps.h"
#include "logo_intro/logo_intro.h"
#include "platform/desktop_services.h"
#include "platform/display_modes.h"
#include "platform/error_display.h"
#include "platform/picture_folder.h"
#include "platform/process.h"
#include "platform/screen_capture.h"
#include "shell/desktop_capture.h"

SystemServices::SystemServices(Application& application) : app(application) {}

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
    if (!enumDisplaySettings(index, systemMode)) {
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
    return ::captureScreen();
}

Bitmap SystemServices::pictureFromFolder(const std::string& folder) {
    return ::pictureFromFolder(folder, desktopBitmapSize, desktopPictureHeight);
}

void SystemServices::paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y,
                                     int width, int height) {
    ::paintIntoWindow(window, picture, x, y, width, height);
}

void SystemServices::openUrl(const std::string& url) {
    ::openUrl(url);
}

void SystemServices::showError(const std::string& message) {
    ::showError(message);
}

std::unique_ptr<HostWindow> SystemServices::openHostWindow(uintptr_t window) {
    return ::openHostWindow(window);
}

int SystemServices::initGraphics(GLV** view, FormWindow& form,
                                 const SaverRequirements& requirements, DisplayMode& mode,
                                 int32_t* performance, bool ignoreRequirements) {
    return InitGraphics(view, form, requirements, mode, performance, ignoreRequirements);
}

void SystemServices::shutdownGraphics(GLV* view) {
    ShutdownGraphics(view);
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

Saver* SystemServices::buildSaver(Bitmap* desktop, GLV* view, int32_t performance) {
    return ::buildSaver(desktop, view, performance);
}

void SystemServices::destroySaver(Saver* saver) {
    ::destroySaver(saver);
}

void SystemServices::saverSetup(Saver& saver) {
    ::saverSetup(saver);
    traceStartup("effect set up"); // where a soak's steady state begins
}

int SystemServices::saverFrame(Saver& saver) {
    return ::saverFrame(saver);
}
