#include "progress_window.h"

#include <commctrl.h>

#include "cancel.h"
#include "setup/core/process.h"

namespace {

const char* const WindowClass = "TarvoSetupProgress";
constexpr int ElementTextId = 101;
constexpr int BarId = 102;
constexpr int Width = 420;
constexpr int Height = 180;
constexpr int BarRange = 1000;

bool RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSA cls = {};
    if (GetClassInfoA(instance, WindowClass, &cls))
        return true;
    cls.lpfnWndProc = ProgressWindow::Procedure;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = WindowClass;
    return RegisterClassA(&cls) != 0;
}

// NT 3.51 has no DEFAULT_GUI_FONT.
HGDIOBJ DialogFont() {
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    return font ? font : GetStockObject(ANSI_VAR_FONT);
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           int id) {
    HWND child = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (child)
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    return child;
}

void AskToCancel(HWND window) {
    RequestCancel();
    EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
    SetDlgItemTextA(
        window, ElementTextId,
        "Cancelling: the element being installed finishes, then everything is put back.");
}

} // namespace

LRESULT CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            AskToCancel(window);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        // The keyboard goes to Cancel, so that Space or Enter asks to stop.
        SetFocus(GetDlgItem(window, IDCANCEL));
        return 0;
    case WM_CLOSE:
        // Closing the window is a Cancel; the engine destroys it when it has finished.
        if (IsWindowEnabled(GetDlgItem(window, IDCANCEL)))
            AskToCancel(window);
        return 0;
    case WM_PAINT:
        if (self && !self->m_bar) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            self->PaintOwnBar(dc);
            EndPaint(window, &paint);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ProgressWindow::~ProgressWindow() {
    if (m_window) {
        SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
        (void)DestroyWindow(m_window); // the process's windows go with it in any case
    }
}

bool ProgressWindow::Open(const std::string& productName, int total, bool commonBar,
                          bool removing) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    InitCommonControls();
    if (!RegisterWindowClass(instance))
        return false;
    const std::string title =
        productName.empty() ? std::string("Tarvo Setup") : productName + " - Tarvo Setup";
    const int x = (GetSystemMetrics(SM_CXSCREEN) - Width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - Height) / 2;
    m_window = CreateWindowExA(0, WindowClass, title.c_str(),
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y,
                               Width, Height, nullptr, nullptr, instance, nullptr);
    if (!m_window)
        return false;
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_total = total > 0 ? total : 1;
    const std::string heading = (removing ? "Removing " : "Installing ") +
                                (productName.empty() ? "the product" : productName);
    Child(m_window, "STATIC", heading.c_str(), SS_LEFT, 16, 12, Width - 40, 18, 100);
    // Two lines: a long element name or the cancel notice wraps.
    m_element = Child(m_window, "STATIC", removing ? "Reading the log" : "Checking the description",
                      SS_LEFT | SS_NOPREFIX, 16, 36, Width - 40, 30, ElementTextId);
    m_barRect = {16, 72, Width - 24, 90};
    if (commonBar)
        m_bar = Child(m_window, PROGRESS_CLASSA, "", 0, m_barRect.left, m_barRect.top,
                      m_barRect.right - m_barRect.left, m_barRect.bottom - m_barRect.top, BarId);
    if (m_bar)
        SendMessageA(m_bar, PBM_SETRANGE, 0, MAKELPARAM(0, BarRange));
    m_cancel = Child(m_window, "BUTTON", "Cancel", BS_DEFPUSHBUTTON | WS_TABSTOP, Width - 110, 104,
                     80, 24, IDCANCEL);
    ShowWindow(m_window, SW_SHOWNORMAL);
    UpdateWindow(m_window);
    Pump();
    return true;
}

void ProgressWindow::SetPosition(int done) {
    m_done = done < 0 ? 0 : (done > m_total ? m_total : done);
    const int position = static_cast<int>(static_cast<long long>(m_done) * BarRange / m_total);
    if (m_bar)
        SendMessageA(m_bar, PBM_SETPOS, position, 0);
    else
        InvalidateRect(m_window, &m_barRect, FALSE);
}

void ProgressWindow::PaintOwnBar(HDC dc) {
    FrameRect(dc, &m_barRect, reinterpret_cast<HBRUSH>(COLOR_WINDOWFRAME + 1));
    RECT inner = {m_barRect.left + 1, m_barRect.top + 1, m_barRect.right - 1, m_barRect.bottom - 1};
    RECT filled = inner;
    filled.right = inner.left + static_cast<int>(static_cast<long long>(inner.right - inner.left) *
                                                 m_done / m_total);
    RECT rest = inner;
    rest.left = filled.right;
    FillRect(dc, &filled, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1));
    FillRect(dc, &rest, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

void ProgressWindow::Step(int n, const std::string& element) {
    if (!m_window)
        return;
    if (!CancelRequested()) {
        const std::string text =
            std::to_string(n) + " of " + std::to_string(m_total) + ": " + element;
        SetWindowTextA(m_element, text.c_str());
    }
    SetPosition(n - 1);
    Pump();
}

void ProgressWindow::Say(const std::string& text) {
    if (!m_window)
        return;
    SetWindowTextA(m_element, text.c_str());
    EnableWindow(m_cancel, FALSE);
    Pump();
}

void ProgressWindow::NoCancel() {
    if (m_window)
        (void)EnableWindow(m_cancel, FALSE); // answers the earlier state, not a success
}

void ProgressWindow::Pump() {
    // A bounded number, so that a stream of messages cannot hold the installation up.
    MSG msg;
    for (int i = 0; i < 64 && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); ++i)
        PumpOneMessage();
}
