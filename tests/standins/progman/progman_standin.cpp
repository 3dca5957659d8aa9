// A stand-in Program Manager for tests: serves DDE service and topic "PROGMAN", appends every
// execute command it receives to a log file (one command per line), keeps simple groups with
// item titles, and answers a request for a group with a description line whose third
// comma-separated field is the group's item count.
//
//   progman_standin.exe <log file> <ready event name> [timeout ms]
//
// It signals the named event once the service is registered, and ends on "[ExitProgman(...)]"
// or when the time-out (default 60 s) has passed.
#include <windows.h>
#include <ddeml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "setup/core/handles.h"

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
std::string g_logPath;
std::map<std::string, std::vector<std::string>> g_groups; // keyed by upper-cased name
std::map<std::string, std::string> g_groupNames;          // key -> name as created
std::string g_current;                                    // key of the current group
bool g_exit = false;

std::string Upper(std::string text) {
    CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

void AppendLog(const std::string& line) {
    if (FILE* f = std::fopen(g_logPath.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fputc('\n', f);
        std::fclose(f);
    }
}

// Splits an argument list at commas outside double quotes.
std::vector<std::string> SplitArgs(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    args.push_back(current);
    return args;
}

std::string Unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string>* CurrentGroup() {
    auto it = g_groups.find(g_current);
    return it == g_groups.end() ? nullptr : &it->second;
}

bool RemoveItem(std::vector<std::string>& items, const std::string& title) {
    auto it = std::find_if(items.begin(), items.end(),
                           [&](const std::string& item) { return Upper(item) == Upper(title); });
    if (it == items.end())
        return false;
    items.erase(it);
    return true;
}

// Carries out one "[Name(args)]" command; false when it is refused.
bool RunCommand(const std::string& name, const std::vector<std::string>& args) {
    std::string command = Upper(name);
    std::string first = args.empty() ? std::string() : Unquoted(args[0]);
    if (command == "CREATEGROUP") {
        if (first.empty())
            return false;
        std::string key = Upper(first);
        g_groups[key];
        g_groupNames[key] = first;
        g_current = key;
        return true;
    }
    if (command == "SHOWGROUP") {
        if (!g_groups.count(Upper(first)))
            return false;
        g_current = Upper(first);
        return true;
    }
    if (command == "DELETEGROUP") {
        std::string key = Upper(first);
        if (!g_groups.erase(key))
            return false;
        g_groupNames.erase(key);
        if (g_current == key)
            g_current.clear();
        return true;
    }
    if (command == "ADDITEM") {
        std::vector<std::string>* items = CurrentGroup();
        if (!items || first.empty())
            return false;
        std::string title = args.size() > 1 ? Unquoted(args[1]) : std::string();
        items->push_back(title.empty() ? first : title);
        return true;
    }
    if (command == "REPLACEITEM") {
        std::vector<std::string>* items = CurrentGroup();
        return items && RemoveItem(*items, first);
    }
    if (command == "DELETEITEM") {
        std::vector<std::string>* items = CurrentGroup();
        return items && RemoveItem(*items, first);
    }
    if (command == "EXITPROGMAN") {
        g_exit = true;
        return true;
    }
    return false;
}

// Runs every bracketed command of an execute text; false when the text holds none or one of
// them is refused.
bool RunExecute(const std::string& text) {
    std::size_t pos = 0;
    bool any = false;
    while ((pos = text.find('[', pos)) != std::string::npos) {
        std::size_t open = text.find('(', pos);
        std::size_t close = text.rfind(')', text.find(']', pos));
        if (open == std::string::npos || close == std::string::npos || close < open)
            return false;
        std::string name = text.substr(pos + 1, open - pos - 1);
        if (!RunCommand(name, SplitArgs(text.substr(open + 1, close - open - 1))))
            return false;
        any = true;
        pos = close;
    }
    return any;
}

std::string Describe(const std::string& key) {
    const std::vector<std::string>& items = g_groups[key];
    std::string text = "\"" + g_groupNames[key] + "\"," + g_groupNames[key] + ".grp," +
                       std::to_string(items.size()) + ",1\r\n";
    for (const std::string& item : items)
        text += "\"" + item + "\"\r\n";
    return text;
}

std::string HszText(HSZ hsz) {
    char buffer[1024] = "";
    DdeQueryStringA(g_instance, hsz, buffer, sizeof buffer, CP_WINANSI);
    return buffer;
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                           ULONG_PTR, ULONG_PTR) {
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(
            static_cast<ULONG_PTR>(Upper(HszText(hsz1)) == "PROGMAN"));
    case XTYP_EXECUTE: {
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        if (size)
            DdeGetData(data, reinterpret_cast<LPBYTE>(&text[0]), size, 0);
        text.resize(std::string(text.c_str()).size());
        AppendLog(text);
        bool ok = RunExecute(text);
        if (g_exit)
            PostQuitMessage(0);
        return reinterpret_cast<HDDEDATA>(
            static_cast<ULONG_PTR>(ok ? DDE_FACK : DDE_FNOTPROCESSED));
    }
    case XTYP_REQUEST: {
        if (format != CF_TEXT)
            return nullptr;
        std::string key = Upper(HszText(hsz2));
        if (!g_groups.count(key))
            return nullptr;
        std::string text = Describe(key);
        return DdeCreateDataHandle(g_instance,
                                   reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                                   static_cast<DWORD>(text.size() + 1), 0, hsz2, CF_TEXT, 0);
    }
    default:
        return nullptr;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: progman_standin <log file> <ready event> [timeout ms]\n");
        return 2;
    }
    g_logPath = argv[1];
    DWORD timeout = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 60000;
    if (DdeInitializeA(&g_instance, Callback, APPCLASS_STANDARD | CBF_SKIP_ALLNOTIFICATIONS, 0) !=
        DMLERR_NO_ERROR)
        return 3;
    g_service = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
    if (!g_service || !DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER))
        return 4;
    if (KernelHandle ready{OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2])})
        SetEvent(ready.Get());
    SetTimer(nullptr, 0, timeout, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr)
            break;
        DispatchMessageA(&msg);
    }
    DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(g_instance, g_service);
    DdeUninitialize(g_instance);
    return 0;
}
