// The application object: start-up, the program's name and title, the main window.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kq::ui {

class Dialog;

// Exactly one object of a class derived from this exists; WinMain hands control to it.
class Application {
  public:
    // nameIfPathTooLong serves as name and title when the program's path is too long to be
    // read whole, or its file name alone does not fit MAX_PATH.
    explicit Application(const char* nameIfPathTooLong);
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Called once at start; true would run a message loop, false ends the program.
    virtual bool InitInstance() = 0;

    // Start-up from WinMain; returns the process exit code.
    int Run(HINSTANCE instance);

    static Application* Current() { return current_; }

    HINSTANCE Instance() const { return instance_; }
    // The program file name without directory and extension ("Install" for Install.exe).
    const char* ExeName() const { return exeName_; }
    const char* Title() const { return exeName_; }

    void SetMainWindow(Dialog* dialog) { mainWindow_ = dialog; }
    // The main window's handle while it exists, else null.
    HWND MainWindowHandle() const;

  private:
    static Application* current_;
    HINSTANCE instance_ = nullptr;
    const char* nameIfPathTooLong_;
    char exeName_[MAX_PATH] = {};
    Dialog* mainWindow_ = nullptr;
};

// The ANSI code page's lead-byte test, for the multibyte walks.
bool IsAnsiLeadByte(unsigned char byte);

// Loads string id of the program in the loader's language into out; false (out empty) when
// the string is missing.
bool LoadText(UINT id, char* out, int outSize);
template <std::size_t N>
bool LoadText(UINT id, char (&out)[N]) {
    static_assert(N <= 4096, "string buffers stay small");
    return LoadText(id, out, static_cast<int>(N));
}

// The program's message box: stop icon, OK, owned by the main window, captioned with the
// application title.
void StopMessage(const char* text);

}  // namespace kq::ui
