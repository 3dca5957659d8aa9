// The disclaimer shown before an interactive installation: its text file and its dialog.
#pragma once

#include <windows.h>

#include <string>

// The text shown when the disclaimer file cannot be read.
extern const char* const DisclaimerFallbackText;

// The disclaimer body: every line of the file followed by "\r\n" (a file whose last line ends
// with a line feed thus gets one more "\r\n", and an empty file gives just "\r\n"); the
// fallback text when the file cannot be opened.
std::string ReadDisclaimerText(const std::string& path);

// The modal disclaimer dialog (template 129): the heading goes into control 130, the body into
// control 131, and the application icon becomes the window's large and small icon.
class DisclaimerDialog {
public:
    DisclaimerDialog(const std::string& heading, const std::string& body);
    DisclaimerDialog(const DisclaimerDialog&) = delete;
    DisclaimerDialog& operator=(const DisclaimerDialog&) = delete;

    // Shows the dialog until it is closed (OK, Enter or Esc). While it is open, `*window`
    // (when given) holds the dialog's window; it is null again afterwards.
    INT_PTR DoModal(HWND* window = nullptr);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND window);
    bool OnPaint(HWND window);

    std::string m_heading;
    std::string m_body;
    HICON m_icon = nullptr;
    HWND* m_windowSlot = nullptr;
};
