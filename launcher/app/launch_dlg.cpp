// The main dialog's construction, painting and pointer.
#include "app/launch_dlg.h"

#include "app/launch_about_dlg.h"
#include "res/resource_ids.h"
#include "ui/application.h"

CLaunchDlg::CLaunchDlg() : Dialog(IDD_LAUNCH_DIALOG, nullptr) {
    m_hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    // Without every face the dialog would show holes: it is then not shown at all.
    bool loaded = m_btnInstall.LoadBitmaps(Instance(), IDB_INSTALL) &&
                  m_btnManual.LoadBitmaps(Instance(), IDB_MANUAL) &&
                  m_btnExit.LoadBitmaps(Instance(), IDB_EXIT) &&
                  m_btnReader.LoadBitmaps(Instance(), IDB_READER);
    if (!loaded) {
        OutputDebugStringA("Install: a button picture is missing from the resources\n");
        RefuseToShow();
    }
}

CLaunchDlg::~CLaunchDlg() = default;

BOOL CLaunchDlg::OnInitDialog() {
    Dialog::OnInitDialog();
    HWND self = Handle();

    SendMessageA(self, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(self, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_hNullBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));

    m_bmpBackground = kq::ui::LoadBitmapResource(Instance(), IDB_BACKGROUND);
    GetObjectA(m_bmpBackground.Get(), sizeof m_bmBackground, &m_bmBackground);

    GetClientRect(self, &m_rcClient);

    kq::ui::ClientDc clientDc(self);
    m_dcBackground.Reset(CreateCompatibleDC(clientDc.Get()));
    if (m_dcBackground && m_bmpBackground) {
        m_hOldBitmap = SelectObject(m_dcBackground.Get(), m_bmpBackground.Get());
    }

    struct Face {
        kq::ui::BitmapButton& button;
        int id;
    };
    for (Face face : {Face{m_btnInstall, IDC_INSTALL}, Face{m_btnManual, IDC_MANUAL},
                      Face{m_btnExit, IDOK}, Face{m_btnReader, IDC_READER}}) {
        if (face.button.Attach(*this, face.id)) face.button.SizeToContent();
    }

    char notice[512];
    kq::ui::LoadText(IDS_NOTICE, notice);
    SetDlgItemTextA(self, IDC_NOTICE, notice);

    SetForegroundWindow(self);
    return TRUE;
}

bool CLaunchDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam);
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_hIcon);
            return true;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            result = reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam)));
            return true;
        case WM_ERASEBKGND:
            result = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
            return true;
        case WM_SETCURSOR:
            if (!OnSetCursor(reinterpret_cast<HWND>(wParam))) return false;
            result = TRUE;
            return true;
        case WM_DESTROY:
            OnDestroy();
            return false;  // the dialog manager's own destroy handling goes on
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return false;
            switch (LOWORD(wParam)) {
                case IDC_INSTALL:
                    OnInstall();
                    return true;
                case IDC_MANUAL:
                    OnManual();
                    return true;
                case IDC_READER:
                    OnReader();
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

bool CLaunchDlg::OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != 0x10) return false;
    CLaunchAboutDlg about;
    about.DoModal();
    return true;
}

bool CLaunchDlg::OnPaint() {
    HWND self = Handle();
    if (!IsIconic(self)) return false;
    kq::ui::PaintDc dc(self);
    SendMessageA(self, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(self, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc.Get(), x, y, m_hIcon);
    return true;
}

HBRUSH CLaunchDlg::OnCtlColor(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    return m_hNullBrush;
}

BOOL CLaunchDlg::OnEraseBkgnd(HDC dc) {
    // One pixel less than the picture each way: its last column and row never show.
    StretchBlt(dc, 0, 0, m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top,
               m_dcBackground.Get(), 0, 0, m_bmBackground.bmWidth - 1, m_bmBackground.bmHeight - 1,
               SRCCOPY);
    return TRUE;
}

bool CLaunchDlg::OnSetCursor(HWND under) {
    switch (GetDlgCtrlID(under)) {
        case IDOK:
        case IDC_MANUAL:
        case IDC_INSTALL:
        case IDC_READER:
            SetCursor(LoadCursorA(Instance(), MAKEINTRESOURCEA(IDC_POINTING_HAND)));
            return true;
        default:
            return false;
    }
}

void CLaunchDlg::OnDestroy() {
    if (m_dcBackground && m_hOldBitmap != nullptr) {
        SelectObject(m_dcBackground.Get(), m_hOldBitmap);
        m_hOldBitmap = nullptr;
    }
    m_bmpBackground.Reset();
}
