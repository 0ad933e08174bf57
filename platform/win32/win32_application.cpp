// The application (Application) on Win32: a PeekMessage loop that calls the idle hook whenever
// no message waits, and waits for the next message when the hook is done or paced.
#include "platform/win32/win32_services.h"

#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/message_loop.h"
#include "platform/win32/win32_loop.h"

#include <windows.h>

namespace {

Win32MainForm* mainForm = nullptr;

class Win32Application : public Application {
public:
    ~Win32Application() override { clearIdleHandler(); }

    void setTitle(const std::string& newTitle) override { title = newTitle; }

    void setIdleHandler(std::function<void(bool& done)> handler, int paceMs) override {
        loop.setIdleHandler(std::move(handler), paceMs);
        lastCall = GetTickCount() - pace();
        waitForMessage = false;
    }

    void clearIdleHandler() override { loop.clearIdleHandler(); }

    void terminate() override { loop.terminate(); }

    void run() override {
        if (!loop.terminated() && mainForm != nullptr) {
            runGuarded([] { mainForm->showAsMainForm(); });
        }
        while (!ended()) {
            if (mainForm == nullptr && !loop.hasIdleHandler()) {
                break; // nothing left that could end the loop
            }
            if (pumpMessages()) {
                waitForMessage = false; // a message came: the idle hook may go on
            }
            if (ended()) {
                break;
            }
            if (!loop.hasIdleHandler() || waitForMessage) {
                WaitMessage();
                continue;
            }
            const DWORD since = GetTickCount() - lastCall;
            if (pace() > 0 && since < pace()) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, pace() - since, QS_ALLINPUT);
                continue;
            }
            lastCall = GetTickCount();
            waitForMessage = !loop.callIdleHandler();
        }
    }

private:
    bool ended() const {
        return loop.terminated() || (mainForm != nullptr && mainForm->isClosed());
    }
    DWORD pace() const { return static_cast<DWORD>(loop.paceMs()); }

    // Handles every message waiting now; true when there was one.
    bool pumpMessages() {
        bool any = false;
        MSG message;
        while (!ended() && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (message.message == WM_QUIT) {
                loop.terminate();
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
    MessageLoop loop;
    DWORD lastCall = 0;
    bool waitForMessage = false;
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
