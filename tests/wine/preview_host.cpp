// A stand-in for the Screen Saver Settings' little monitor: a window of the preview's size that
// starts "<saver> /p <its HWND>", as Windows does, and runs until it is closed or the given
// seconds have passed. It prints the window's handle, and at its end whether the saver ended
// within ten seconds of the window going, and its exit code.
//   preview_host.exe SAVER SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: preview_host SAVER SECONDS\n");
        return 2;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "KelvaraPreviewHost";
    RegisterClassA(&windowClass);
    // The monitor's screen is about 152 x 112; the logo goes to (5, 20), 140 x 70.
    RECT outer{0, 0, 152, 112};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    HWND host =
        CreateWindowA("KelvaraPreviewHost", "Preview host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      40, 40, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                      windowClass.hInstance, nullptr);
    ShowWindow(host, SW_SHOW);
    UpdateWindow(host);
    std::printf("host %llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
    std::fflush(stdout);

    std::string command =
        std::string("\"") + argv[1] + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(host));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("cannot start %s\n", argv[1]);
        return 1;
    }

    const DWORD end = GetTickCount() + static_cast<DWORD>(std::atoi(argv[2])) * 1000;
    MSG message;
    bool quit = false;
    while (!quit && static_cast<LONG>(end - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                break;
            }
            DispatchMessageA(&message);
        }
    }
    if (IsWindow(host)) {
        DestroyWindow(host);
    }
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("saver %s, exit code %lu\n", ended ? "ended" : "still running",
                static_cast<unsigned long>(code));
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
    }
    return ended ? 0 : 1;
}
