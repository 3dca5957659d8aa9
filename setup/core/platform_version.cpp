// The platform version record: the version query's answer, classified into a version code and
// the new-shell flag that decides between shell links and the program manager.
#include "setup/core/platform_version.h"

#include <cstring>

PlatformVersion::PlatformVersion() {
    std::memset(&m_info, 0, sizeof m_info);
    m_info.dwOSVersionInfoSize = sizeof m_info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    bool ok = GetVersionExA(&m_info) != FALSE;
#pragma GCC diagnostic pop
    Classify(ok);
}

PlatformVersion::PlatformVersion(bool ok, DWORD platformId, DWORD major, DWORD minor) {
    std::memset(&m_info, 0, sizeof m_info);
    m_info.dwOSVersionInfoSize = sizeof m_info;
    m_info.dwPlatformId = platformId;
    m_info.dwMajorVersion = major;
    m_info.dwMinorVersion = minor;
    Classify(ok);
}

DWORD PlatformVersion::PlatformId() const {
    return m_ok ? m_info.dwPlatformId : 0;
}

void PlatformVersion::Classify(bool ok) {
    m_ok = ok;
    m_newShell = false;
    if (!ok) {
        m_code = QueryFailed;
        return;
    }
    const DWORD major = m_info.dwMajorVersion;
    const DWORD minor = m_info.dwMinorVersion;
    switch (m_info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        m_code = Win32s;
        break;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (major == 4 && minor == 0)
            m_code = Windows95;
        else if (major == 4 && minor == 10)
            m_code = Windows98;
        else
            m_code = OtherWin9x;
        m_newShell = true;
        break;
    case VER_PLATFORM_WIN32_NT:
        if (major == 3 && minor == 51)
            m_code = WindowsNT351;
        else if (major == 4 && minor == 0)
            m_code = WindowsNT4;
        else if (major == 5 && minor == 0)
            m_code = Windows2000;
        else
            m_code = OtherNT;
        // NT 3.x still has the program manager; the explorer shell came with 4.0.
        m_newShell = major >= 4;
        break;
    default:
        m_code = OtherPlatform;
        break;
    }
}
