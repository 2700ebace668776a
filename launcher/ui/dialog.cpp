// Dialog procedure shared by every dialog: routes messages to the dialog object.
#include "ui/dialog.h"

#include "ui/application.h"

namespace kq::ui {

namespace {

// Messages whose answer is the dialog procedure's own return value, not DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

}  // namespace

Dialog::Dialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

HINSTANCE Dialog::Instance() const {
    Application* app = Application::Current();
    return app != nullptr ? app->Instance() : GetModuleHandleA(nullptr);
}

INT_PTR Dialog::DoModal() {
    if (refused_) return -1;
    HWND owner = parent_;
    Application* app = Application::Current();
    if (owner == nullptr && app != nullptr) owner = app->MainWindowHandle();
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (window_ != nullptr) ::EndDialog(window_, result);
}

bool Dialog::AddOwnerDrawn(OwnerDrawnControl& control) {
    if (ownerDrawnCount_ == kMaxOwnerDrawn) return false;
    ownerDrawn_[ownerDrawnCount_++] = &control;
    return true;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
    INT_PTR answer = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        self->window_ = nullptr;
    }
    return answer;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        for (std::size_t i = 0; i < ownerDrawnCount_; ++i) {
            if (static_cast<UINT>(ownerDrawn_[i]->ControlId()) == item->CtlID) {
                ownerDrawn_[i]->DrawItem(*item);
                return TRUE;
            }
        }
    }
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) {
        if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
        SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && (HIWORD(wParam) == BN_CLICKED)) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace kq::ui
