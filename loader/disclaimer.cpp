#include "loader/disclaimer.h"

#include "resources/resource.h"
#include "setup/core/handles.h"

#include <cstdio>
#include <cstring>

const char* const DisclaimerFallbackText = "We Didn't manage to get a disclaimer from then file";

std::string ReadDisclaimerText(const std::string& path) {
    StdioFile stream(std::fopen(path.c_str(), "rt"));
    std::FILE* file = stream.Get();
    if (!file)
        return DisclaimerFallbackText;
    // Lines are read in pieces of at most 1022 characters; the pieces of a longer line are
    // joined again, so "\r\n" only ever stands where the file has a line end.
    std::string text;
    std::string line;
    char piece[1023];
    while (!std::feof(file)) {
        if (!std::fgets(piece, sizeof piece, file)) {
            if (std::ferror(file))
                break;
            text += line + "\r\n"; // end of file: the last (possibly empty) line
            line.clear();
            continue;
        }
        std::size_t length = std::strlen(piece);
        const bool lineEnds = length > 0 && piece[length - 1] == '\n';
        line.append(piece, lineEnds ? length - 1 : length);
        if (lineEnds || std::feof(file)) {
            text += line + "\r\n";
            line.clear();
        }
    }
    return text;
}

DisclaimerDialog::DisclaimerDialog(const std::string& heading, const std::string& body)
    : m_heading(heading), m_body(body) {}

INT_PTR DisclaimerDialog::DoModal(HWND* window) {
    m_windowSlot = window;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    m_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QUENDA));
    const INT_PTR result =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DISCLAIMER), nullptr,
                        &DisclaimerDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_windowSlot)
        *m_windowSlot = nullptr;
    m_windowSlot = nullptr;
    return result;
}

void DisclaimerDialog::OnInitDialog(HWND window) {
    if (m_windowSlot)
        *m_windowSlot = window;
    SetDlgItemTextA(window, IDC_HEADING, m_heading.c_str());
    SetDlgItemTextA(window, IDC_DISCLAIMER_TEXT, m_body.c_str());
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    // The template places the dialog at 0,0: centre it on the screen's work area instead.
    RECT frame, work;
    if (GetWindowRect(window, &frame) && SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        const int x = work.left + ((work.right - work.left) - (frame.right - frame.left)) / 2;
        const int y = work.top + ((work.bottom - work.top) - (frame.bottom - frame.top)) / 2;
        SetWindowPos(window, nullptr, x > work.left ? x : work.left, y > work.top ? y : work.top, 0,
                     0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

bool DisclaimerDialog::OnPaint(HWND window) {
    if (!IsIconic(window))
        return false;
    // Minimised: the icon, centred in the client area.
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_icon);
    EndPaint(window, &paint);
    return true;
}

INT_PTR CALLBACK DisclaimerDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<DisclaimerDialog*>(lParam)->OnInitDialog(window);
        // Focus on OK rather than on the read-only text, which would otherwise open with all
        // of its text selected.
        SetFocus(GetDlgItem(window, IDOK));
        return FALSE;
    }
    auto* self = reinterpret_cast<DisclaimerDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!self)
        return FALSE;
    switch (message) {
    case WM_PAINT:
        return self->OnPaint(window) ? TRUE : FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}
