// Modal dialogs loaded by template id in the loader's language, with message dispatch.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kq::ui {

// A control of a dialog that the dialog draws (BS_OWNERDRAW), reached through WM_DRAWITEM.
class OwnerDrawnControl {
  public:
    virtual ~OwnerDrawnControl() = default;
    virtual int ControlId() const = 0;
    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

class Dialog {
  public:
    // parent null: owned by the application's main window, if there is one by then.
    Dialog(UINT templateId, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog until it ends; its end code, or -1 when it could not be shown.
    INT_PTR DoModal();

    HWND Handle() const { return window_; }

    // From now on WM_DRAWITEM for control's id goes to control; false when the table is full.
    bool AddOwnerDrawn(OwnerDrawnControl& control);

  protected:
    // After the controls exist; true lets the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Default OK and cancel: the dialog ends with IDOK / IDCANCEL.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // A derived dialog's message handling; true when handled, with result as the answer.
    // WM_COMMAND comes here before the default OK and cancel handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void EndDialog(INT_PTR result);
    HINSTANCE Instance() const;
    // Construction failed (a resource is missing): DoModal shows nothing.
    void RefuseToShow() { refused_ = true; }

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    static constexpr std::size_t kMaxOwnerDrawn = 8;

    UINT templateId_;
    HWND parent_;
    HWND window_ = nullptr;
    bool refused_ = false;
    OwnerDrawnControl* ownerDrawn_[kMaxOwnerDrawn] = {};
    std::size_t ownerDrawnCount_ = 0;
};

}  // namespace kq::ui
