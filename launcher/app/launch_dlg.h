// The main dialog of the launcher: background, banner, notice and the four picture buttons.
#pragma once

#include <windows.h>

#include "ui/bitmap_button.h"
#include "ui/dialog.h"
#include "ui/handles.h"

class CLaunchDlg : public kq::ui::Dialog {
  public:
    CLaunchDlg();
    ~CLaunchDlg() override;

  protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    virtual BOOL OnEraseBkgnd(HDC dc);

  private:
    bool OnSysCommand(WPARAM command);
    bool OnPaint();
    HBRUSH OnCtlColor(HDC dc);
    bool OnSetCursor(HWND under);
    void OnDestroy();

    void OnInstall();
    void OnManual();
    void OnReader();

    kq::ui::BitmapButton m_btnInstall;
    kq::ui::BitmapButton m_btnManual;
    kq::ui::BitmapButton m_btnExit;
    kq::ui::BitmapButton m_btnReader;
    kq::ui::MemoryDc m_dcBackground;
    kq::ui::Bitmap m_bmpBackground;
    HGDIOBJ m_hOldBitmap = nullptr;
    HBRUSH m_hNullBrush = nullptr;
    BITMAP m_bmBackground{};
    RECT m_rcClient{};
    HICON m_hIcon = nullptr;
};
