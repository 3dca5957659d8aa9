// The engine's window while it installs interactively: the product's name, the element being
// installed, a progress bar and a Cancel button. Cancel (or closing the window) only asks the
// engine to stop (RequestCancel); the engine looks at the request between elements.
//
// The bar is the common controls' progress bar where the system has one (Windows 95, NT 4.0 and
// later); where it cannot be created (NT 3.51's common controls have none by that class name) the
// window paints the bar itself, a filled rectangle of the same meaning.
//
// Everything runs on the engine's one thread: the window's messages are handled only while the
// engine pumps them (Pump, and the library's own loops, which dispatch one message per step).
#pragma once

#include <windows.h>

#include <string>

class ProgressWindow {
public:
    ProgressWindow() = default;
    ~ProgressWindow(); // destroys the window
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Makes and shows the window for `total` elements; false when no window can be made (no
    // display, no desktop): the engine then goes on with its progress lines alone.
    // `commonBar` false paints the bar even where the common control exists (for the tests).
    // `removing`: the window of a removal ("Removing <product>").
    [[nodiscard]] bool Open(const std::string& productName, int total, bool commonBar = true,
                            bool removing = false);
    void SetTotal(int total) { m_total = total > 0 ? total : 1; }
    bool IsOpen() const { return m_window != nullptr; }

    // Element `n` of the total (1-based) is about to run: its text and the bar move on. Pumps.
    void Step(int n, const std::string& element);
    // A line of its own in place of the element's (a rollback, the end).
    void Say(const std::string& text);
    // Takes Cancel away: what runs now cannot be stopped half-way (a removal).
    void NoCancel();
    // Handles the window's pending messages.
    void Pump();

    // Whether the bar is the system's common control (false: painted by the window itself).
    bool HasCommonProgressBar() const { return m_bar != nullptr; }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void SetPosition(int done);
    void PaintOwnBar(HDC dc);

    HWND m_window = nullptr;
    HWND m_element = nullptr;
    HWND m_bar = nullptr;
    HWND m_cancel = nullptr;
    RECT m_barRect = {0, 0, 0, 0};
    int m_total = 0;
    int m_done = 0;
};
