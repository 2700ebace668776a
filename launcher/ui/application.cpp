// Start-up of the one application object, string loading and the message box.
#include "ui/application.h"

#include <cstring>

#include "core/mbcs_text.h"
#include "ui/dialog.h"

namespace kq::ui {

Application* Application::current_ = nullptr;

Application::Application(const char* nameIfPathTooLong) : nameIfPathTooLong_(nameIfPathTooLong) {
    current_ = this;
}

Application::~Application() {
    if (current_ == this) current_ = nullptr;
}

int Application::Run(HINSTANCE instance) {
    instance_ = instance;
    // Room beyond MAX_PATH: NT runs programs from longer paths, and the name is at their end.
    // A path that fills the buffer may have been cut (and left unterminated on XP).
    constexpr DWORD kPathRoom = 4096;
    char path[kPathRoom];
    DWORD length = GetModuleFileNameA(nullptr, path, kPathRoom);
    bool named = length > 0 && length < kPathRoom &&
                 launcher::FileTitle(exeName_, sizeof exeName_, path, IsAnsiLeadByte);
    if (!named) {
        launcher::FileTitle(exeName_, sizeof exeName_, nameIfPathTooLong_, IsAnsiLeadByte);
    }
    if (!InitInstance()) return 0;
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

HWND Application::MainWindowHandle() const {
    return mainWindow_ != nullptr ? mainWindow_->Handle() : nullptr;
}

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

bool LoadText(UINT id, char* out, int outSize) {
    if (outSize <= 0) return false;
    out[0] = '\0';
    Application* app = Application::Current();
    return LoadStringA(app != nullptr ? app->Instance() : nullptr, id, out, outSize) > 0;
}

void StopMessage(const char* text) {
    Application* app = Application::Current();
    HWND owner = app != nullptr ? app->MainWindowHandle() : nullptr;
    MessageBoxA(owner, text, app != nullptr ? app->Title() : nullptr, MB_OK | MB_ICONHAND);
}

}  // namespace kq::ui

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    kq::ui::Application* app = kq::ui::Application::Current();
    return app != nullptr ? app->Run(instance) : 1;
}
