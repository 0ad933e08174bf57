// The application (Application) on Win32: a PeekMessage loop that calls the idle hook whenever
// no message waits, and waits for the next message when the hook is done or paced.
#include "platform/win32/win32_services.h"

#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/win32/win32_loop.h"

#include <windows.h>

namespace {

Win32MainForm* mainForm = nullptr;

class Win32Application : public Application {
public:
    ~Win32Application() override { clearIdleHandler(); }

    void setTitle(const std::string& newTitle) override { title = newTitle; }

    void setIdleHandler(std::function<void(bool& done)> newHandler, int newPaceMs) override {
        clearIdleHandler();
        handler = std::move(newHandler);
        paceMs = newPaceMs > 0 ? static_cast<DWORD>(newPaceMs) : 0;
        lastCall = GetTickCount() - paceMs;
        waitForMessage = false;
    }

    void clearIdleHandler() override {
        // The handler may be clearing itself: keep it alive until it has returned.
        if (calling) {
            retired = std::move(handler);
        }
        handler = nullptr;
    }

    void terminate() override { terminated = true; }

    void run() override {
        if (!terminated && mainForm != nullptr) {
            runGuarded([] { mainForm->showAsMainForm(); });
        }
        while (!ended()) {
            if (mainForm == nullptr && !handler) {
                break; // nothing left that could end the loop
            }
            if (pumpMessages()) {
                waitForMessage = false; // a message came: the idle hook may go on
            }
            if (ended()) {
                break;
            }
            if (!handler || waitForMessage) {
                WaitMessage();
                continue;
            }
            const DWORD since = GetTickCount() - lastCall;
            if (paceMs > 0 && since < paceMs) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, paceMs - since, QS_ALLINPUT);
                continue;
            }
            lastCall = GetTickCount();
            bool done = true;
            calling = true;
            runGuarded([&] { handler(done); });
            calling = false;
            retired = nullptr;
            waitForMessage = done;
        }
    }

private:
    bool ended() const { return terminated || (mainForm != nullptr && mainForm->isClosed()); }

    // Handles every message waiting now; true when there was one.
    bool pumpMessages() {
        bool any = false;
        MSG message;
        while (!ended() && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (message.message == WM_QUIT) {
                terminated = true;
                break;
            }
            // Tab, the arrow keys and Enter move through the dialog's controls.
            HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
            if (top != nullptr && IsDialogMessageA(top, &message)) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return any;
    }

    std::string title;
    std::function<void(bool&)> handler;
    std::function<void(bool&)> retired;
    DWORD paceMs = 0;
    DWORD lastCall = 0;
    bool calling = false;
    bool waitForMessage = false;
    bool terminated = false;
};

} // namespace

void setWin32MainForm(Win32MainForm* form) {
    mainForm = form;
}
Win32MainForm* win32MainForm() {
    return mainForm;
}

std::unique_ptr<Application> createWin32Application(int, char**) {
    return std::make_unique<Win32Application>();
}
