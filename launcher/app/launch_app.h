// The launcher application: single instance, then the main dialog.
#pragma once

#include "ui/application.h"

class CLaunchApp : public kq::ui::Application {
  public:
    CLaunchApp();
    ~CLaunchApp() override;

    bool InitInstance() override;
};
