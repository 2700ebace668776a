// Picture buttons: one BitBlt of the state's picture into the button.
#include "ui/bitmap_button.h"

namespace kq::ui {

bool BitmapButton::LoadBitmaps(HINSTANCE instance, UINT normal, UINT selected, UINT focus,
                               UINT disabled) {
    normal_ = LoadBitmapResource(instance, normal);
    if (!normal_) return false;
    struct Optional {
        Bitmap& slot;
        UINT id;
    };
    for (Optional o :
         {Optional{selected_, selected}, Optional{focus_, focus}, Optional{disabled_, disabled}}) {
        o.slot.Reset();
        if (o.id == 0) continue;
        o.slot = LoadBitmapResource(instance, o.id);
        if (!o.slot) return false;
    }
    return true;
}

bool BitmapButton::Attach(Dialog& dialog, int id) {
    window_ = GetDlgItem(dialog.Handle(), id);
    id_ = id;
    return window_ != nullptr && dialog.AddOwnerDrawn(*this);
}

void BitmapButton::SizeToContent() {
    BITMAP bm{};
    if (window_ == nullptr || GetObjectA(normal_.Get(), sizeof bm, &bm) == 0) return;
    SetWindowPos(window_, nullptr, 0, 0, bm.bmWidth, bm.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

const Bitmap& BitmapButton::PictureFor(UINT state) const {
    if ((state & ODS_SELECTED) != 0 && selected_) return selected_;
    if ((state & ODS_FOCUS) != 0 && focus_) return focus_;
    if ((state & ODS_DISABLED) != 0 && disabled_) return disabled_;
    return normal_;
}

void BitmapButton::DrawItem(const DRAWITEMSTRUCT& item) {
    const Bitmap& picture = PictureFor(item.itemState);
    BITMAP bm{};
    if (!picture || GetObjectA(picture.Get(), sizeof bm, &bm) == 0) return;
    MemoryDc memory(CreateCompatibleDC(item.hDC));
    if (!memory) return;
    SelectedObject selected(memory.Get(), picture.Get());
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, bm.bmWidth, bm.bmHeight, memory.Get(), 0, 0,
           SRCCOPY);
}

}  // namespace kq::ui
