#include "setup/core/progman.h"

#include <windows.h>
#include <dde.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "setup/core/handles.h"

namespace {

// Service and topic of the Program Manager.
const char kService[] = "PROGMAN";
// Instance flags: fail every server-side transaction (the instance is a client only).
const DWORD kClientOnlyFlags = 0x3f000;
const DWORD kTimeoutMs = 1000;

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// Removes DDE messages left in this thread's queue by an ended conversation, so that a stale
// acknowledgement cannot be taken for the answer to a later transaction.
void DrainDdeMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE))
        DispatchMessageA(&msg);
}

// One conversation with "PROGMAN": initialise, connect and, at the end, disconnect and
// uninitialise. Failures on the way release what was made before.
class PmConversation {
public:
    PmConversation() {
        DWORD instance = 0;
        if (DdeInitializeA(&instance, ClientCallback, kClientOnlyFlags, 0) != DMLERR_NO_ERROR)
            return; // nothing to uninitialise
        m_instance.Reset(instance);
        DdeString name(m_instance.Get(), kService);
        if (name)
            m_conv.Reset(DdeConnect(m_instance.Get(), name.Get(), name.Get(), nullptr));
    }
    PmConversation(const PmConversation&) = delete;
    PmConversation& operator=(const PmConversation&) = delete;

    bool Connected() const { return static_cast<bool>(m_conv); }
    DWORD Instance() const { return m_instance.Get(); }
    HCONV Conversation() const { return m_conv.Get(); }

    // Ends the conversation; true when both the disconnect and the uninitialisation succeeded.
    bool Close() {
        const bool disconnected = m_conv.Reset();
        return m_instance.Reset() && disconnected;
    }

private:
    // The instance is declared first: it outlives the conversation.
    DdeInstance m_instance;
    DdeConversation m_conv;
};

// Formats a command into a buffer of PmCommandBufferSize bytes; false when it does not fit.
template <typename... Args>
bool FormatCommand(char (&buffer)[PmCommandBufferSize], const char* format, Args... args) {
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return n >= 0 && static_cast<std::size_t>(n) < sizeof buffer;
}

// A command that takes one name: an empty name sends the empty command.
bool SendNameCommand(const char* format, const char* name) {
    if (!name)
        return false;
    char command[PmCommandBufferSize] = "";
    if (*name && !FormatCommand(command, format, name))
        return false;
    return PmExecute(command);
}

bool IsZeroCount(const std::string& field) {
    std::size_t begin = field.find_first_not_of(" \t");
    std::size_t end = field.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return false;
    std::string digits = field.substr(begin, end - begin + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return digits.find_first_not_of('0') == std::string::npos;
}

} // namespace

bool PmExecute(const char* command) {
    if (!command)
        return false;
    PmConversation conv;
    if (!conv.Connected())
        return false;
    DdeData data(
        DdeCreateDataHandle(conv.Instance(), reinterpret_cast<LPBYTE>(const_cast<char*>(command)),
                            static_cast<DWORD>(std::strlen(command) + 1), 0, nullptr, 0, 0));
    if (!data)
        return false;
    DWORD result = 0;
    // Once passed to the transaction, the data handle belongs to the system.
    if (!DdeClientTransaction(reinterpret_cast<LPBYTE>(data.Release()), static_cast<DWORD>(-1),
                              conv.Conversation(), nullptr, 0, XTYP_EXECUTE, kTimeoutMs, &result))
        return false;
    return conv.Close();
}

bool PmRequest(const char* item, char* buffer, std::size_t size) {
    if (!item || !buffer || size == 0)
        return false;
    buffer[0] = '\0';
    bool ok = false;
    {
        PmConversation conv;
        if (conv.Connected()) {
            DdeData answer;
            {
                DdeString itemName(conv.Instance(), item);
                if (itemName)
                    answer.Reset(DdeClientTransaction(nullptr, 0, conv.Conversation(),
                                                      itemName.Get(), CF_TEXT, XTYP_REQUEST,
                                                      kTimeoutMs, nullptr));
            }
            if (answer) {
                DWORD copied = DdeGetData(answer.Get(), reinterpret_cast<LPBYTE>(buffer),
                                          static_cast<DWORD>(size), 0);
                buffer[copied < size ? copied : size - 1] = '\0';
                answer.Reset();
                ok = conv.Close();
            }
        }
    }
    DrainDdeMessages();
    return ok;
}

bool PmCreateGroup(const char* name, const char* path) {
    if (!name)
        return false;
    char command[PmCommandBufferSize];
    bool fits = (path && *path) ? FormatCommand(command, "[CreateGroup(%s,%s)]", name, path)
                                : FormatCommand(command, "[CreateGroup(%s)]", name);
    return fits && PmExecute(command);
}

bool PmDeleteGroup(const char* name) {
    return SendNameCommand("[DeleteGroup(%s)]", name);
}

bool PmShowGroup(const char* name, unsigned short showCommand) {
    if (!name)
        return false;
    char command[PmCommandBufferSize] = "";
    if (*name &&
        !FormatCommand(command, "[ShowGroup(%s,%u)]", name, static_cast<unsigned int>(showCommand)))
        return false;
    return PmExecute(command);
}

bool PmAddItem(const char* commandLine, const char* title, const char* iconPath,
               unsigned short iconIndex, const char* workDir) {
    if (!commandLine || !title)
        return false;
    char command[PmCommandBufferSize];
    bool fits;
    if (iconPath && *iconPath)
        fits = FormatCommand(command, "[AddItem(%s,%s,%s,%u)]", commandLine, title, iconPath,
                             static_cast<unsigned int>(iconIndex));
    else
        fits = FormatCommand(command, "[AddItem(%s,%s,%s,%s,%s,%s,%s)]", commandLine, title,
                             commandLine, "", "", "", workDir ? workDir : "");
    return fits && PmExecute(command);
}

bool PmDeleteItem(const char* title) {
    return SendNameCommand("[DeleteItem(%s)]", title);
}

bool PmReplaceItem(const char* title) {
    return SendNameCommand("[ReplaceItem(%s)]", title);
}

bool PmAddProgramItem(const char* group, const char* title, const char* commandLine,
                      const char* workDir) {
    if (!PmShowGroup(group, 1))
        return false;
    // ReplaceItem is refused when the group holds no item of that title yet, which is the
    // usual case for a new item; the item is added all the same.
    (void)PmReplaceItem(title);
    return PmAddItem(commandLine, title, nullptr, 0, workDir);
}

bool PmDeleteGroupIfEmpty(const char* group) {
    if (!group)
        return false;
    std::string info(PmGroupInfoBufferSize, '\0');
    if (!PmRequest(group, &info[0], info.size()))
        return false;
    info.resize(std::strlen(info.c_str()));
    // The first line describes the group: name, file, number of items, ...
    std::size_t first = info.find(',');
    std::size_t second = first == std::string::npos ? first : info.find(',', first + 1);
    if (second == std::string::npos)
        return false;
    std::size_t third = info.find_first_of(",\r\n", second + 1);
    std::string count = info.substr(second + 1, third == std::string::npos ? std::string::npos
                                                                           : third - second - 1);
    return IsZeroCount(count) && PmDeleteGroup(group);
}
