// The disclaimer text file and the disclaimer dialog.
#include "loader/disclaimer.h"
#include "resources/resource.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

std::string ReadWith(const TempFolder& folder, const std::string& bytes) {
    const std::string path = folder / "desc.txt";
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return ReadDisclaimerText(path);
}

} // namespace

TEST(DisclaimerText, MissingFileGivesTheFallbackText) {
    TempFolder folder;
    EXPECT_EQ(ReadDisclaimerText(folder / "desc.txt"),
              "We Didn't manage to get a disclaimer from then file");
    // A folder cannot be read as a file either.
    EXPECT_EQ(ReadDisclaimerText(folder.Path()), DisclaimerFallbackText);
    EXPECT_EQ(ReadDisclaimerText(""), DisclaimerFallbackText);
}

TEST(DisclaimerText, EveryLineEndsInCrLfAndTheEndOfFileAddsOne) {
    TempFolder folder;
    EXPECT_EQ(ReadWith(folder, ""), "\r\n");
    EXPECT_EQ(ReadWith(folder, "one"), "one\r\n");
    EXPECT_EQ(ReadWith(folder, "one\ntwo"), "one\r\ntwo\r\n");
    EXPECT_EQ(ReadWith(folder, "one\ntwo\n"), "one\r\ntwo\r\n\r\n");
    EXPECT_EQ(ReadWith(folder, "\n\n"), "\r\n\r\n\r\n");
    // Text mode: a file written with CR LF reads the same.
    EXPECT_EQ(ReadWith(folder, "one\r\ntwo\r\n"), "one\r\ntwo\r\n\r\n");
}

TEST(DisclaimerText, LongLinesStayWhole) {
    TempFolder folder;
    for (std::size_t length : {1021u, 1022u, 1023u, 2044u, 5000u}) {
        const std::string line(length, 'x');
        EXPECT_EQ(ReadWith(folder, line + "\nend"), line + "\r\nend\r\n") << length;
        EXPECT_EQ(ReadWith(folder, line), line + "\r\n") << length;
        EXPECT_EQ(ReadWith(folder, line + "\n"), line + "\r\n\r\n") << length;
    }
}

namespace {

// What a thread timer saw of the open dialog, and what it did to close it.
struct DialogWatch {
    bool closeWithEscape = false;
    HWND* slot = nullptr;
    bool found = false;
    HWND dialog = nullptr;
    HWND slotWhileOpen = nullptr;
    std::string heading;
    std::string body;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    LONG_PTR style = 0;
    int ticks = 0;
};

DialogWatch* watch = nullptr;

HWND FindOwnDialog() {
    HWND window = FindWindowA("#32770", "Tarvo Setup");
    while (window) {
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            return window;
        window = FindWindowExA(nullptr, window, "#32770", "Tarvo Setup");
    }
    return nullptr;
}

// Runs inside the dialog's own message loop (same thread).
void CALLBACK WatchDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    DialogWatch& w = *watch;
    HWND dialog = FindOwnDialog();
    if (!dialog) {
        if (++w.ticks > 500)
            KillTimer(nullptr, timer);
        return;
    }
    KillTimer(nullptr, timer);
    w.found = true;
    w.dialog = dialog;
    w.slotWhileOpen = w.slot ? *w.slot : nullptr;
    std::string text(70000, '\0');
    text.resize(GetDlgItemTextA(dialog, IDC_HEADING, &text[0], 70000));
    w.heading = text;
    text.assign(70000, '\0');
    text.resize(GetDlgItemTextA(dialog, IDC_DISCLAIMER_TEXT, &text[0], 70000));
    w.body = text;
    w.bigIcon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    w.smallIcon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    w.style = GetWindowLongPtrA(dialog, GWL_STYLE);
    if (w.closeWithEscape) {
        // Esc on the focused control: the dialog manager turns it into IDCANCEL.
        HWND focus = GetFocus();
        PostMessageA(focus ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    }
}

} // namespace

class DisclaimerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::EnvText("DISPLAY").empty())
            GTEST_SKIP() << "no X display (DISPLAY unset): the dialog cannot be shown";
    }
    INT_PTR Show(DisclaimerDialog& dialog, DialogWatch& w, HWND* slot) {
        watch = &w;
        w.slot = slot;
        SetTimer(nullptr, 0, 10, &WatchDialog);
        const INT_PTR result = dialog.DoModal(slot);
        watch = nullptr;
        return result;
    }
};

TEST_F(DisclaimerWindow, ShowsHeadingBodyAndIconAndClosesWithOk) {
    const std::string body = "First line\r\nSecond line\r\n" + std::string(3000, 'z') + "\r\n";
    DisclaimerDialog dialog("Tarvo Setup", body);
    HWND mainWindow = reinterpret_cast<HWND>(1);
    DialogWatch w;
    EXPECT_EQ(Show(dialog, w, &mainWindow), IDOK);
    ASSERT_TRUE(w.found);
    EXPECT_EQ(w.heading, "Tarvo Setup");
    EXPECT_EQ(w.body, body);
    EXPECT_NE(w.bigIcon, nullptr);
    EXPECT_NE(w.smallIcon, nullptr);
    EXPECT_EQ(w.slotWhileOpen, w.dialog);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(w.style & WS_SYSMENU, 0);
    EXPECT_NE(w.style & WS_CAPTION, 0);
    EXPECT_FALSE(IsWindow(w.dialog));
}

TEST_F(DisclaimerWindow, EscapeClosesItToo) {
    DisclaimerDialog dialog("Heading", DisclaimerFallbackText);
    DialogWatch w;
    w.closeWithEscape = true;
    EXPECT_EQ(Show(dialog, w, nullptr), IDCANCEL);
    ASSERT_TRUE(w.found);
    EXPECT_EQ(w.heading, "Heading");
    EXPECT_EQ(w.body, DisclaimerFallbackText);
}
