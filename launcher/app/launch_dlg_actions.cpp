// INSTALL, MANUAL and READER: start the installer, open the manual, open the reader's page.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdint>

#include "app/launch_dlg.h"
#include "core/install_choice.h"
#include "core/mbcs_text.h"
#include "core/shell_result.h"
#include "res/resource_ids.h"
#include "ui/application.h"
#include "win32/windows_version.h"

namespace {

// Message 14000 with name in place of its %s.
void ShowFileNotFound(const char* name) {
    char pattern[256];
    char text[512];
    kq::ui::LoadText(IDS_FILE_NOT_FOUND, pattern);
    kq::launcher::FormatWithName(text, sizeof text, pattern, name, kq::ui::IsAnsiLeadByte);
    kq::ui::StopMessage(text);
}

void ShowText(UINT id) {
    char text[512];
    kq::ui::LoadText(id, text);
    kq::ui::StopMessage(text);
}

}  // namespace

void CLaunchDlg::OnInstall() {
    kq::launcher::WindowsVersion windows;
    kq::launcher::InstallChoice choice = kq::launcher::ChooseInstaller(windows);
    switch (choice.action) {
        case kq::launcher::InstallChoice::Action::StartProgram:
            // The bare name: Windows looks first in the launcher's own folder.
            if (WinExec(choice.program, SW_SHOWNORMAL) <= 31) ShowFileNotFound(choice.program);
            break;
        case kq::launcher::InstallChoice::Action::ShowMessage:
            ShowText(choice.messageId);
            break;
        case kq::launcher::InstallChoice::Action::Nothing:
            break;
    }
}

void CLaunchDlg::OnManual() {
    char name[MAX_PATH];
    if (!kq::ui::LoadText(IDS_MANUAL_FILE, name)) return;

    char module[MAX_PATH];
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    // A launcher path cut short by the buffer cannot lead to the manual: say it is not there.
    if (length == 0 || length >= MAX_PATH ||
        !kq::launcher::PathBeside(path, sizeof path, module, name, kq::ui::IsAnsiLeadByte)) {
        ShowFileNotFound(name);
        return;
    }

    HINSTANCE answer = ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOW);
    switch (kq::launcher::JudgeManualResult(reinterpret_cast<std::intptr_t>(answer))) {
        case kq::launcher::ManualFeedback::FileNotFound:
            ShowFileNotFound(name);
            break;
        case kq::launcher::ManualFeedback::NoViewer:
            ShowText(IDS_READER_NOT_FOUND);
            break;
        case kq::launcher::ManualFeedback::None:
            break;
    }
}

void CLaunchDlg::OnReader() {
    char address[MAX_PATH];
    if (!kq::ui::LoadText(IDS_READER_URL, address)) return;
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}
