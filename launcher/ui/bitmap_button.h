// Owner-drawn button that shows a picture 1:1 and takes the picture's size.
#pragma once

#include <windows.h>

#include "ui/dialog.h"
#include "ui/handles.h"

namespace kq::ui {

class BitmapButton : public OwnerDrawnControl {
  public:
    // The normal picture and, optionally (0: none), pictures for the pressed, focused and
    // disabled states; a state without its own picture shows the normal one. False when a
    // picture is missing from the resources.
    bool LoadBitmaps(HINSTANCE instance, UINT normal, UINT selected = 0, UINT focus = 0,
                     UINT disabled = 0);

    // Takes over drawing of the dialog's button control id (style BS_OWNERDRAW).
    bool Attach(Dialog& dialog, int id);

    // Resizes the button to its picture; keeps its place, z-order and activation, no redraw.
    void SizeToContent();

    HWND Handle() const { return window_; }
    int ControlId() const override { return id_; }
    void DrawItem(const DRAWITEMSTRUCT& item) override;

  private:
    const Bitmap& PictureFor(UINT state) const;

    Bitmap normal_;
    Bitmap selected_;
    Bitmap focus_;
    Bitmap disabled_;
    HWND window_ = nullptr;
    int id_ = 0;
};

}  // namespace kq::ui
