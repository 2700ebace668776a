// The about box: template 100, ended by its OK button.
#pragma once

#include "res/resource_ids.h"
#include "ui/dialog.h"

class CLaunchAboutDlg : public kq::ui::Dialog {
  public:
    CLaunchAboutDlg() : Dialog(IDD_ABOUTBOX, nullptr) {}
};
