// The resources of the built loader: its string table, the disclaimer dialog's template and the
// application icon, read from Quenda.exe as a data file.
#include "loader_support.h"
#include "resources/resource.h"
#include "setup/core/handles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Reads a classic dialog template: DLGTEMPLATE, then DLGITEMTEMPLATE records.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, DWORD size) : m_begin(data), m_p(data), m_end(data + size) {}
    bool Ok() const { return m_p <= m_end; }
    WORD Word() {
        WORD w = 0;
        if (m_p + 2 <= m_end)
            std::memcpy(&w, m_p, 2);
        m_p += 2;
        return w;
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or an ordinal (0xFFFF and a value) written as "#value".
    std::string Text() {
        WORD c = Word();
        if (c == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string s;
        for (; c != 0 && Ok(); c = Word())
            s += static_cast<char>(c);
        return s;
    }
    void AlignToDword() {
        while ((m_p - m_begin) % 4)
            ++m_p;
    }

private:
    const BYTE* m_begin;
    const BYTE* m_p;
    const BYTE* m_end;
};

struct Item {
    DWORD style, exStyle;
    short x, y, cx, cy;
    WORD id;
    std::string cls, title;
};

} // namespace

class QuendaResources : public ::testing::Test {
protected:
    void SetUp() override {
        module.Reset(
            LoadLibraryExA(loadertest::QuendaExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << loadertest::QuendaExe();
    }
    std::string String(UINT id) {
        char buffer[1024];
        const int n = LoadStringA(module.Get(), id, buffer, sizeof buffer);
        return std::string(buffer, n > 0 ? n : 0);
    }
    const BYTE* Resource(LPCSTR name, LPCSTR type, DWORD& size) {
        HRSRC info = FindResourceA(module.Get(), name, type);
        if (!info)
            return nullptr;
        size = SizeofResource(module.Get(), info);
        return static_cast<const BYTE*>(LockResource(LoadResource(module.Get(), info)));
    }
    LoadedModule module;
};

TEST_F(QuendaResources, StringTable) {
    EXPECT_EQ(String(1), "Tarvo Setup");
    EXPECT_EQ(String(2), "ravell32.dll");
    EXPECT_EQ(String(3), "setup\\desc.txt");
    EXPECT_EQ(String(4), "Please insert %1 containing %2 into drive (%3) and press any key when "
                         "ready.");
    EXPECT_EQ(String(5), "Your installation is not completed yet and your programs may not work "
                         "properly we strongly recommend to let the setup to complete. Do you "
                         "want to cancel it anyway?");
    EXPECT_EQ(String(6), "Please login(attach) into drive/Server (%3)  containing %2 and press "
                         "any key when ready.");
    EXPECT_EQ(String(7), "");
}

TEST_F(QuendaResources, DisclaimerDialogTemplate) {
    DWORD size = 0;
    const BYTE* data = Resource(MAKEINTRESOURCEA(129), MAKEINTRESOURCEA(5) /*RT_DIALOG*/, size);
    ASSERT_NE(data, nullptr);
    TemplateReader r(data, size);
    const DWORD style = r.Dword();
    // 3-D controls also where the system draws them only on request: the product is marked for
    // Windows NT 3.10, and Windows 95 and NT 4.0 draw a dialog of such a program flat otherwise.
    EXPECT_EQ(style,
              static_cast<DWORD>(DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | DS_SETFONT));
    EXPECT_EQ(r.Dword(), 0u); // extended style
    const WORD count = r.Word();
    ASSERT_EQ(count, 3);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 340);
    EXPECT_EQ(r.Short(), 200);
    EXPECT_EQ(r.Text(), ""); // no menu
    EXPECT_EQ(r.Text(), ""); // the standard dialog class
    EXPECT_EQ(r.Text(), "Tarvo Setup");
    EXPECT_EQ(r.Word(), 8);
    EXPECT_EQ(r.Text(), "MS Sans Serif");

    std::vector<Item> items;
    for (int i = 0; i < count; ++i) {
        r.AlignToDword();
        Item item;
        item.style = r.Dword();
        item.exStyle = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = r.Word();
        item.cls = r.Text();
        item.title = r.Text();
        r.AlignToDword();
        const WORD extra = r.Word();
        for (WORD b = 0; b < extra; ++b)
            r.Word();
        items.push_back(item);
    }
    ASSERT_TRUE(r.Ok());
    const DWORD child = WS_CHILD | WS_VISIBLE;

    // 130: static text (class 0x82), left-aligned.
    EXPECT_EQ(items[0].id, 130);
    EXPECT_EQ(items[0].cls, "#130");
    EXPECT_EQ(items[0].style & ~WS_GROUP, child | SS_LEFT);
    EXPECT_EQ(std::vector<short>({items[0].x, items[0].y, items[0].cx, items[0].cy}),
              std::vector<short>({13, 15, 292, 10}));

    // 131: edit (class 0x81), multi-line, read-only, border, vertical scroll bar, tab stop.
    EXPECT_EQ(items[1].id, 131);
    EXPECT_EQ(items[1].cls, "#129");
    EXPECT_EQ(items[1].style,
              child | ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP);
    EXPECT_EQ(std::vector<short>({items[1].x, items[1].y, items[1].cx, items[1].cy}),
              std::vector<short>({17, 34, 304, 130}));

    // 1: the default push button "OK" (class 0x80).
    EXPECT_EQ(items[2].id, IDOK);
    EXPECT_EQ(items[2].cls, "#128");
    EXPECT_EQ(items[2].title, "OK");
    EXPECT_EQ(items[2].style & ~WS_GROUP, child | WS_TABSTOP | BS_DEFPUSHBUTTON);
    EXPECT_EQ(std::vector<short>({items[2].x, items[2].y, items[2].cx, items[2].cy}),
              std::vector<short>({144, 172, 50, 14}));
    for (const Item& item : items)
        EXPECT_EQ(item.exStyle, 0u) << item.id;
}

TEST_F(QuendaResources, IconInTwoSizesThatEveryVersionCanShow) {
    DWORD size = 0;
    const BYTE* group =
        Resource(MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14) /*RT_GROUP_ICON*/, size);
    ASSERT_NE(group, nullptr);
    ASSERT_GE(size, 6u);
    WORD header[3];
    std::memcpy(header, group, sizeof header);
    EXPECT_EQ(header[1], 1); // icons
    ASSERT_EQ(header[2], 2);
    ASSERT_GE(size, 6u + 2 * 14);
    std::vector<int> sizes;
    for (int i = 0; i < header[2]; ++i) {
        const BYTE* entry = group + 6 + 14 * i; // GRPICONDIRENTRY
        WORD id;
        std::memcpy(&id, entry + 12, 2);
        DWORD imageSize = 0;
        const BYTE* image =
            Resource(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3) /*RT_ICON*/, imageSize);
        ASSERT_NE(image, nullptr);
        BITMAPINFOHEADER info;
        ASSERT_GE(imageSize, sizeof info);
        std::memcpy(&info, image, sizeof info);
        EXPECT_EQ(info.biWidth, entry[0]);
        EXPECT_EQ(info.biHeight, 2 * entry[0]); // colour and mask
        // 16 colours: shown the same by the 95/98 family and NT 3.51 to 2000.
        EXPECT_EQ(info.biBitCount, 4);
        sizes.push_back(entry[0]);
    }
    EXPECT_EQ(sizes, std::vector<int>({16, 32}));

    HICON icon = static_cast<HICON>(
        LoadImageA(module.Get(), MAKEINTRESOURCEA(IDI_QUENDA), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(icon, nullptr);
    if (icon)
        DestroyIcon(icon);
}
