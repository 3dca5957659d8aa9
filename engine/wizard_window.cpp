#include "wizard_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <vector>

#include "engine_resources.h"
#include "file_io.h"
#include "output.h"
#include "preflight.h"
#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/macros.h"
#include "setup/core/path.h"
#include "setup/core/platform_version.h"
#include "setup/core/sysfolders.h"
#include "setup/core/text.h"

namespace {

constexpr UINT SyncChecks = WM_APP + 1; // the tree's check boxes changed: read them again

HINSTANCE Instance() {
    return GetModuleHandleA(nullptr);
}

std::string Text(UINT id) {
    char buffer[1024];
    const int n = LoadStringA(Instance(), id, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The text with each "%s" in turn replaced by the next argument.
std::string Text(UINT id, std::initializer_list<std::string> arguments) {
    std::string text = Text(id);
    std::size_t from = 0;
    for (const std::string& argument : arguments) {
        const std::size_t at = text.find("%s", from);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, argument);
        from = at + argument.size();
    }
    return text;
}

std::string ItemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    const int length = item ? GetWindowTextLengthA(item) : 0;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int n = item ? GetWindowTextA(item, &text[0], length + 1) : 0;
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

// Multi-line controls want "\r\n".
std::string WithReturns(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string SpaceLines(const std::vector<DriveSpace>& drives) {
    std::string lines;
    for (const DriveSpace& d : drives)
        lines += (lines.empty() ? "" : "\n") +
                 (d.known ? Text(IDS_SPACE_LINE,
                                 {d.root, std::to_string(d.needed), std::to_string(d.free)})
                          : Text(IDS_SPACE_UNKNOWN, {d.root, std::to_string(d.needed)}));
    return lines;
}

// The groups there are: the folders in the start menu's Programs folder.
std::vector<std::string> ProgramGroups() {
    std::vector<std::string> groups;
    const std::string programs = TheSystemFolders().Programs();
    if (programs.empty())
        return groups;
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA(JoinPath(programs, "*.*", true).c_str(), &found));
    if (!find)
        return groups;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
            groups.push_back(name);
    } while (FindNextFileA(find.Get(), &found));
    return groups;
}

using BrowseFn = LPITEMIDLIST(WINAPI*)(LPBROWSEINFOA);
using PathFromListFn = BOOL(WINAPI*)(LPCITEMIDLIST, LPSTR);
using GetMallocFn = HRESULT(WINAPI*)(IMalloc**);

class Wizard {
public:
    Wizard(WizardModel* model, const ProductDescription& description, bool finishOnly)
        : m_model(model), m_description(description), m_finishOnly(finishOnly) {}

    int Run(bool& shown) {
        InitCommonControls();
        const INT_PTR result = DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_WIZARD), nullptr,
                                               FrameProcedure, reinterpret_cast<LPARAM>(this));
        shown = result != -1 && result != 0;
        return shown ? static_cast<int>(result) - 1 : ExitOk;
    }

private:
    static INT_PTR CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG)
            SetWindowLongPtrA(frame, GWLP_USERDATA, lParam);
        auto* self = reinterpret_cast<Wizard*>(GetWindowLongPtrA(frame, GWLP_USERDATA));
        if (!self)
            return FALSE;
        switch (message) {
        case WM_INITDIALOG:
            self->m_frame = frame;
            self->Open();
            return FALSE;
        case WM_COMMAND:
            self->FrameCommand(LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
        }
    }

    static INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(page, GWLP_USERDATA, lParam);
            return FALSE;
        }
        auto* self = reinterpret_cast<Wizard*>(GetWindowLongPtrA(page, GWLP_USERDATA));
        if (!self)
            return FALSE;
        switch (message) {
        case WM_COMMAND:
            self->PageCommand(page, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            self->TreeNotice(reinterpret_cast<NMHDR*>(lParam));
            return TRUE;
        case WM_VKEYTOITEM:
            if (LOWORD(wParam) == VK_SPACE && reinterpret_cast<HWND>(lParam) == self->m_list) {
                self->ToggleListSelection();
                SetWindowLongPtrA(page, DWLP_MSGRESULT, -2);
                return -2;
            }
            return FALSE;
        case SyncChecks:
            self->SyncTreeChecks();
            return TRUE;
        default:
            return FALSE;
        }
    }

    HWND Page(WizardPage page) const {
        for (std::size_t i = 0; i < m_pageKinds.size(); ++i)
            if (m_pageKinds[i] == page)
                return m_pages[i];
        return nullptr;
    }

    HWND MakePage(int templateId) {
        HWND page = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(templateId), m_frame,
                                       PageProcedure, reinterpret_cast<LPARAM>(this));
        if (!page)
            return nullptr;
        RECT area;
        GetWindowRect(GetDlgItem(m_frame, IDC_PAGE_AREA), &area);
        MapWindowPoints(nullptr, m_frame, reinterpret_cast<POINT*>(&area), 2);
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_HIDEWINDOW);
        return page;
    }

    void Open() {
        const std::string product = m_description.name;
        SetWindowTextA(m_frame, Text(IDS_WIZARD_CAPTION, {product}).c_str());
        if (m_finishOnly) {
            m_finish = MakePage(IDD_PAGE_FINISH);
            if (m_finish) {
                SetDlgItemTextA(m_finish, IDC_HEADING, Text(IDS_FINISH_TEXT, {product}).c_str());
                ShowWindow(m_finish, SW_SHOW);
            }
            ShowWindow(GetDlgItem(m_frame, IDC_BACK), SW_HIDE);
            ShowWindow(GetDlgItem(m_frame, IDCANCEL), SW_HIDE);
            SetDlgItemTextA(m_frame, IDOK, Text(IDS_FINISH).c_str());
            Focus(GetDlgItem(m_frame, IDOK));
            Say("wizard page finish");
            return;
        }
        static const struct {
            WizardPage page;
            int templateId;
        } Templates[] = {{WizardPage::Welcome, IDD_PAGE_WELCOME},
                         {WizardPage::Licence, IDD_PAGE_LICENCE},
                         {WizardPage::Destination, IDD_PAGE_DESTINATION},
                         {WizardPage::Components, IDD_PAGE_COMPONENTS},
                         {WizardPage::Group, IDD_PAGE_GROUP},
                         {WizardPage::Ready, IDD_PAGE_READY}};
        for (WizardPage kind : m_model->Pages())
            for (const auto& t : Templates)
                if (t.page == kind) {
                    m_pageKinds.push_back(kind);
                    m_pages.push_back(MakePage(t.templateId));
                }
        for (HWND page : m_pages)
            if (!page) {
                EndDialog(m_frame, 0); // no window: the run goes on without the wizard
                return;
            }
        FillPages();
        Show(m_model->Pages().front());
    }

    void FillPages() {
        const std::string product = m_description.name;
        HWND welcome = Page(WizardPage::Welcome);
        SetDlgItemTextA(welcome, IDC_HEADING, Text(IDS_WELCOME_HEADING, {product}).c_str());
        SetDlgItemTextA(welcome, IDC_TEXT, Text(IDS_WELCOME_TEXT, {product}).c_str());
        if (HWND licence = Page(WizardPage::Licence)) {
            SetDlgItemTextA(licence, IDC_HEADING, Text(IDS_LICENCE_HEADING).c_str());
            const std::string path =
                JoinPath(ParentOf(m_description.path), m_description.licence, true);
            std::string text;
            if (!ReadWholeFile(path, text))
                text = Text(IDS_LICENCE_UNREADABLE, {path});
            SetDlgItemTextA(licence, IDC_LICENCE_TEXT, WithReturns(text).c_str());
            CheckRadioButton(licence, IDC_ACCEPT, IDC_DECLINE, IDC_DECLINE);
        }
        HWND destination = Page(WizardPage::Destination);
        SetDlgItemTextA(destination, IDC_HEADING, Text(IDS_DESTINATION_HEADING).c_str());
        SetDlgItemTextA(destination, IDC_TEXT, Text(IDS_DESTINATION_TEXT).c_str());
        SetDlgItemTextA(destination, IDC_DESTINATION, m_model->destination.c_str());
        m_defaultDestination = m_model->destination;
        const bool browser = ThePlatformVersion().NewShell();
        EnableWindow(GetDlgItem(destination, IDC_BROWSE), browser ? TRUE : FALSE);
        Say(std::string("wizard browse: ") +
            (browser ? "the shell's folder browser" : "the edit field alone"));

        HWND components = Page(WizardPage::Components);
        SetDlgItemTextA(components, IDC_HEADING, Text(IDS_COMPONENTS_HEADING).c_str());
        HWND types = GetDlgItem(components, IDC_TYPE);
        for (const std::string& type : m_model->Types())
            SendMessageA(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type.c_str()));
        if (m_model->Types().empty()) {
            const std::string one = Text(IDS_NO_TYPES);
            SendMessageA(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(one.c_str()));
            SendMessageA(types, CB_SETCURSEL, 0, 0);
            EnableWindow(types, FALSE);
        } else {
            SendMessageA(types, CB_SETCURSEL, static_cast<WPARAM>(m_model->Type()), 0);
        }
        MakeComponentControl(components);

        HWND group = Page(WizardPage::Group);
        SetDlgItemTextA(group, IDC_HEADING, Text(IDS_GROUP_HEADING).c_str());
        SetDlgItemTextA(group, IDC_TEXT, Text(IDS_GROUP_TEXT).c_str());
        SetDlgItemTextA(group, IDC_GROUP, m_model->group.c_str());
        for (const std::string& name : ProgramGroups())
            SendDlgItemMessageA(group, IDC_GROUPS, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(name.c_str()));
        SetDlgItemTextA(Page(WizardPage::Ready), IDC_HEADING, Text(IDS_READY_HEADING).c_str());
    }

    // The tree view with check boxes, or the list in its place.
    void MakeComponentControl(HWND page) {
        RECT area;
        GetWindowRect(GetDlgItem(page, IDC_COMPONENT_AREA), &area);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&area), 2);
        const int width = area.right - area.left, height = area.bottom - area.top;
        m_tree = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES |
                                     TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                 area.left, area.top, width, height, page,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_COMPONENT_LIST)),
                                 Instance(), nullptr);
        if (m_tree) {
            // The check boxes' images are made when the style is set after the creation.
            SetWindowLongPtrA(m_tree, GWL_STYLE,
                              GetWindowLongPtrA(m_tree, GWL_STYLE) | TVS_CHECKBOXES);
            const auto& components = m_model->Components();
            m_items.assign(components.size(), nullptr);
            for (std::size_t i = 0; i < components.size(); ++i) {
                const std::string label = Label(static_cast<int>(i), false);
                TVINSERTSTRUCTA insert = {};
                insert.hParent = components[i].parent >= 0
                                     ? m_items[static_cast<std::size_t>(components[i].parent)]
                                     : TVI_ROOT;
                insert.hInsertAfter = TVI_LAST;
                insert.item.mask = TVIF_TEXT | TVIF_PARAM;
                insert.item.pszText = const_cast<char*>(label.c_str());
                insert.item.lParam = static_cast<LPARAM>(i);
                m_items[i] = reinterpret_cast<HTREEITEM>(
                    SendMessageA(m_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
            }
            for (HTREEITEM item : m_items)
                SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
            if (!m_items.empty())
                SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET,
                             reinterpret_cast<LPARAM>(m_items.front()));
        } else {
            m_list =
                CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER |
                                    LBS_NOTIFY | LBS_WANTKEYBOARDINPUT,
                                area.left, area.top, width, height, page,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_COMPONENT_LIST)),
                                Instance(), nullptr);
            if (m_list)
                SendMessageA(m_list, WM_SETFONT, SendMessageA(page, WM_GETFONT, 0, 0), FALSE);
        }
        ShowChoice();
    }

    std::string Label(int index, bool withBox) const {
        const WizardComponent& c = m_model->Components()[static_cast<std::size_t>(index)];
        std::string label = c.fixed ? Text(IDS_COMPONENT_FIXED, {c.id}) : c.id;
        if (withBox)
            label = std::string(static_cast<std::size_t>(c.depth) * 4, ' ') +
                    (c.chosen ? "[x] " : "[ ] ") + label;
        return label;
    }

    int SelectedComponent() const {
        if (m_tree) {
            const auto item =
                reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
            for (std::size_t i = 0; i < m_items.size(); ++i)
                if (m_items[i] == item && item)
                    return static_cast<int>(i);
            return -1;
        }
        const LRESULT at = m_list ? SendMessageA(m_list, LB_GETCURSEL, 0, 0) : LB_ERR;
        return at == LB_ERR ? -1 : static_cast<int>(at);
    }

    // The check boxes, the figures and the progress lines as the model has them now.
    void ShowChoice() {
        const auto& components = m_model->Components();
        if (m_tree) {
            for (std::size_t i = 0; i < m_items.size(); ++i) {
                TVITEMA item = {};
                item.mask = TVIF_STATE;
                item.hItem = m_items[i];
                item.stateMask = TVIS_STATEIMAGEMASK;
                item.state = INDEXTOSTATEIMAGEMASK(components[i].chosen ? 2 : 1);
                SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            }
        } else if (m_list) {
            const LRESULT selected = SendMessageA(m_list, LB_GETCURSEL, 0, 0);
            SendMessageA(m_list, LB_RESETCONTENT, 0, 0);
            for (std::size_t i = 0; i < components.size(); ++i) {
                const std::string line = Label(static_cast<int>(i), true);
                SendMessageA(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            }
            SendMessageA(m_list, LB_SETCURSEL, selected == LB_ERR ? 0 : selected, 0);
        }
        ShowFigures();
    }

    void ShowFigures() {
        HWND page = Page(WizardPage::Components);
        const int selected = SelectedComponent();
        if (selected >= 0) {
            const WizardComponent& c = m_model->Components()[static_cast<std::size_t>(selected)];
            std::string text = Text(IDS_COMPONENT_SIZE, {c.id, std::to_string(c.size)});
            if (!m_model->MayChange(selected))
                text += "\n" + Text(IDS_COMPONENT_KEPT);
            SetDlgItemTextA(page, IDC_COMPONENT_SIZE, text.c_str());
        }
        const std::vector<DriveSpace> drives = m_model->Space(m_model->destination);
        SetDlgItemTextA(page, IDC_SPACE, SpaceLines(drives).c_str());
        if (m_current != WizardPage::Components)
            return;
        std::string ids;
        for (const std::string& id : m_model->ChosenIds())
            ids += (ids.empty() ? "" : ",") + id;
        Say("wizard chosen " + ids + " size " + std::to_string(m_model->ChosenSize()));
        for (const DriveSpace& d : drives)
            Say("wizard space " + d.root + " needed " + std::to_string(d.needed) + " free " +
                (d.known ? std::to_string(d.free) : std::string("unknown")));
    }

    // A box of the tree changed (a click on it or Space): the model decides what it may be.
    void SyncTreeChecks() {
        const auto& components = m_model->Components();
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            TVITEMA item = {};
            item.mask = TVIF_STATE;
            item.hItem = m_items[i];
            item.stateMask = TVIS_STATEIMAGEMASK;
            SendMessageA(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
            const bool checked = ((item.state & TVIS_STATEIMAGEMASK) >> 12) == 2;
            if (checked != components[i].chosen) {
                if (!m_model->Choose(static_cast<int>(i), checked))
                    MessageBeep(MB_OK);
                break;
            }
        }
        ShowChoice();
    }

    void ToggleListSelection() {
        const int selected = SelectedComponent();
        if (selected < 0)
            return;
        const bool chosen = m_model->Components()[static_cast<std::size_t>(selected)].chosen;
        if (!m_model->Choose(selected, !chosen))
            MessageBeep(MB_OK);
        ShowChoice();
    }

    void TreeNotice(const NMHDR* notice) {
        if (!m_tree || notice->hwndFrom != m_tree)
            return;
        HWND page = Page(WizardPage::Components);
        if (notice->code == NM_CLICK) {
            TVHITTESTINFO hit = {};
            const DWORD at = GetMessagePos();
            hit.pt.x = static_cast<short>(LOWORD(at));
            hit.pt.y = static_cast<short>(HIWORD(at));
            ScreenToClient(m_tree, &hit.pt);
            SendMessageA(m_tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            if (hit.flags & TVHT_ONITEMSTATEICON)
                PostMessageA(page, SyncChecks, 0, 0);
        } else if (notice->code == TVN_KEYDOWN) {
            if (reinterpret_cast<const NMTVKEYDOWN*>(notice)->wVKey == VK_SPACE)
                PostMessageA(page, SyncChecks, 0, 0);
        } else if (notice->code == TVN_SELCHANGEDA || notice->code == TVN_SELCHANGEDW) {
            ShowFigures();
        }
    }

    void PageCommand(HWND page, int id, int code) {
        if (id == IDC_ACCEPT || id == IDC_DECLINE) {
            m_model->licenceAccepted = IsDlgButtonChecked(page, IDC_ACCEPT) == BST_CHECKED;
            UpdateButtons();
        } else if (id == IDC_BROWSE && code == BN_CLICKED) {
            Browse(page);
        } else if (id == IDC_TYPE && code == CBN_SELCHANGE) {
            const LRESULT type = SendDlgItemMessageA(page, IDC_TYPE, CB_GETCURSEL, 0, 0);
            if (type != CB_ERR && !m_model->Types().empty()) {
                m_model->ChooseType(static_cast<int>(type));
                ShowChoice();
            }
        } else if (id == IDC_COMPONENT_LIST && code == LBN_DBLCLK) {
            ToggleListSelection();
        } else if (id == IDC_COMPONENT_LIST && code == LBN_SELCHANGE) {
            ShowFigures();
        } else if (id == IDC_GROUPS && code == LBN_SELCHANGE) {
            const LRESULT at = SendDlgItemMessageA(page, IDC_GROUPS, LB_GETCURSEL, 0, 0);
            if (at == LB_ERR)
                return;
            std::string name(static_cast<std::size_t>(SendDlgItemMessageA(
                                 page, IDC_GROUPS, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0)) +
                                 1,
                             '\0');
            const LRESULT n =
                SendDlgItemMessageA(page, IDC_GROUPS, LB_GETTEXT, static_cast<WPARAM>(at),
                                    reinterpret_cast<LPARAM>(&name[0]));
            name.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            SetDlgItemTextA(page, IDC_GROUP, name.c_str());
        }
    }

    void Browse(HWND page) {
        LoadedModule shell(LoadLibraryA("shell32.dll"));
        if (!shell)
            return;
        const auto browse = reinterpret_cast<BrowseFn>(
            reinterpret_cast<void*>(GetProcAddress(shell.Get(), "SHBrowseForFolderA")));
        const auto pathOf = reinterpret_cast<PathFromListFn>(
            reinterpret_cast<void*>(GetProcAddress(shell.Get(), "SHGetPathFromIDListA")));
        const auto getMalloc = reinterpret_cast<GetMallocFn>(
            reinterpret_cast<void*>(GetProcAddress(shell.Get(), "SHGetMalloc")));
        IMalloc* allocator = nullptr;
        if (!browse || !pathOf || !getMalloc || FAILED(getMalloc(&allocator)) || !allocator) {
            EnableWindow(GetDlgItem(page, IDC_BROWSE), FALSE);
            return;
        }
        const ComScope com;
        const std::string title = Text(IDS_BROWSE_TITLE);
        char display[MAX_PATH] = "";
        BROWSEINFOA info = {};
        info.hwndOwner = m_frame;
        info.pszDisplayName = display;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        ShellMemory<ITEMIDLIST> chosen(allocator, browse(&info));
        char path[MAX_PATH] = "";
        if (chosen && pathOf(chosen.Get(), path) && path[0])
            SetDlgItemTextA(page, IDC_DESTINATION, path);
    }

    void Focus(HWND control) {
        if (control)
            SendMessageA(m_frame, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    }

    void UpdateButtons() {
        const auto& pages = m_model->Pages();
        EnableWindow(GetDlgItem(m_frame, IDC_BACK), m_current != pages.front() ? TRUE : FALSE);
        const bool mayGoOn = m_current != WizardPage::Licence || m_model->licenceAccepted;
        EnableWindow(GetDlgItem(m_frame, IDOK), mayGoOn ? TRUE : FALSE);
        SetDlgItemTextA(m_frame, IDOK,
                        Text(m_current == WizardPage::Ready ? IDS_INSTALL : IDS_NEXT).c_str());
        // A disabled default button takes no Enter; the focus goes where the user can act.
        if (!mayGoOn && GetFocus() == GetDlgItem(m_frame, IDOK))
            Focus(GetDlgItem(Page(m_current), IDC_ACCEPT));
    }

    void Show(WizardPage page) {
        for (HWND p : m_pages)
            ShowWindow(p, SW_HIDE);
        m_current = page;
        HWND shown = Page(page);
        if (page == WizardPage::Ready)
            SetDlgItemTextA(shown, IDC_SUMMARY, WithReturns(Summary()).c_str());
        if (page == WizardPage::Components)
            ShowChoice();
        ShowWindow(shown, SW_SHOW);
        UpdateButtons();
        HWND focus = GetDlgItem(m_frame, IDOK);
        if (page == WizardPage::Licence)
            focus = GetDlgItem(shown, IDC_LICENCE_TEXT);
        else if (page == WizardPage::Destination)
            focus = GetDlgItem(shown, IDC_DESTINATION);
        else if (page == WizardPage::Components)
            focus = m_tree ? m_tree : m_list;
        else if (page == WizardPage::Group)
            focus = GetDlgItem(shown, IDC_GROUP);
        Focus(focus);
        Say(std::string("wizard page ") + PageName(page));
    }

    std::string Summary() const {
        std::string components;
        for (const std::string& id : m_model->ChosenIds())
            components += (components.empty() ? "" : ", ") + id;
        std::string text = Text(IDS_READY_DESTINATION, {m_model->destination}) + "\n";
        if (!m_model->Types().empty())
            text += Text(IDS_READY_TYPE,
                         {m_model->Types()[static_cast<std::size_t>(m_model->Type())]}) +
                    "\n";
        text += Text(IDS_READY_COMPONENTS, {components}) + "\n";
        text += Text(IDS_READY_GROUP, {m_model->group}) + "\n";
        text += Text(IDS_READY_SIZE, {std::to_string(m_model->ChosenSize())});
        return text;
    }

    void Refuse(const std::string& what, const std::string& message, const std::string& why) {
        Say("wizard refused " + what + ": " + why);
        MessageBoxA(m_frame, message.c_str(), m_description.name.c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
    }

    // What the page holds goes into the model; false, with the user told why, when it cannot.
    bool Leave(WizardPage page) {
        HWND p = Page(page);
        if (page == WizardPage::Destination) {
            const std::string typed = Trimmed(ItemText(p, IDC_DESTINATION));
            const std::string folder = Expanded(typed);
            std::string why = DestinationRefusal(folder, typed != m_defaultDestination);
            if (why.empty() && !CanWriteTo(folder, false))
                why = Text(IDS_NOT_WRITABLE);
            if (!why.empty()) {
                Refuse("destination " + typed, Text(IDS_DESTINATION_REFUSED, {typed}) + why, why);
                Focus(GetDlgItem(p, IDC_DESTINATION));
                return false;
            }
            m_model->destination = typed;
        } else if (page == WizardPage::Components) {
            const std::vector<DriveSpace> drives = m_model->Space(m_model->destination);
            if (const DriveSpace* drive = WizardModel::Short(drives)) {
                Refuse("space", Text(IDS_NO_SPACE, {SpaceLines(drives)}),
                       "not enough disk space on " + drive->root);
                return false;
            }
        } else if (page == WizardPage::Group) {
            m_model->group = Trimmed(ItemText(p, IDC_GROUP));
        }
        return true;
    }

    void FrameCommand(int id) {
        if (m_finishOnly) {
            if (id == IDOK || id == IDCANCEL)
                EndDialog(m_frame, 1 + ExitOk);
            return;
        }
        if (id == IDOK) {
            if (!IsWindowEnabled(GetDlgItem(m_frame, IDOK)) || !Leave(m_current))
                return;
            if (m_current == WizardPage::Ready) {
                Say("wizard install");
                EndDialog(m_frame, 1 + ExitOk);
                return;
            }
            Show(m_model->Neighbour(m_current, true));
        } else if (id == IDC_BACK) {
            if (m_current == WizardPage::Group)
                m_model->group = Trimmed(ItemText(Page(m_current), IDC_GROUP));
            Show(m_model->Neighbour(m_current, false));
        } else if (id == IDCANCEL) {
            const std::string question = Text(IDS_CANCEL_QUESTION, {m_description.name});
            if (MessageBoxA(m_frame, question.c_str(), m_description.name.c_str(),
                            MB_YESNO | MB_ICONQUESTION) == IDYES) {
                Say(std::string("wizard cancelled on ") + PageName(m_current));
                EndDialog(m_frame, 1 + ExitCancelled);
            }
        }
    }

    WizardModel* m_model;
    const ProductDescription& m_description;
    bool m_finishOnly;
    HWND m_frame = nullptr;
    HWND m_finish = nullptr;
    std::vector<WizardPage> m_pageKinds;
    std::vector<HWND> m_pages; // children of the frame: they go with it
    WizardPage m_current = WizardPage::Welcome;
    HWND m_tree = nullptr;
    HWND m_list = nullptr;
    std::vector<HTREEITEM> m_items;
    std::string m_defaultDestination;
};

} // namespace

int RunWizard(WizardModel& model, const ProductDescription& description, bool& shown) {
    Wizard wizard(&model, description, false);
    return wizard.Run(shown);
}

void ShowFinishPage(const std::string& productName) {
    ProductDescription description;
    description.name = productName;
    Wizard wizard(nullptr, description, true);
    bool shown = false;
    (void)wizard.Run(shown);
}
