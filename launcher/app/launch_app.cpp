// Start-up of Install.exe.
#include "app/launch_app.h"

#include <windows.h>

#include "app/launch_dlg.h"
#include "win32/windows_version.h"

namespace {

CLaunchApp theApp;

}  // namespace

CLaunchApp::CLaunchApp() : Application("Install") {}

CLaunchApp::~CLaunchApp() = default;

bool CLaunchApp::InitInstance() {
    kq::launcher::LoadLibrariesFromSystemOnly();

    // Held until the process ends: a second launcher of the same file name sees it and leaves.
    // A failed call for any other reason runs the launcher without that guarantee.
    CreateMutexA(nullptr, TRUE, ExeName());
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;

    CLaunchDlg dialog;
    SetMainWindow(&dialog);
    dialog.DoModal();
    SetMainWindow(nullptr);
    return false;
}
