// Installing 5,000 "STRING" registry entries (each reads the value it replaces first) against a
// plain create-set-close loop writing the same values, in 50 keys of 100 values each. Measured
// twice: onto absent values, and over values that are already there (so that every entry has a
// previous value to remember). Each contender runs three times, alternating; the best counts.
// Usage: regentry_bench-win2k.exe
// The values go under HKEY_CURRENT_USER\Software\TarvoBench\regentry and are deleted.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_clock.h"
#include "setup/core/handles.h"
#include "setup/elements/registry_entry.h"

namespace {

constexpr int ValueCount = 5000;
constexpr int ValuesPerKey = 100;
const char* const BaseKey = "Software\\TarvoBench\\regentry";

std::string KeyOf(int i) {
    return std::string(BaseKey) + "\\k" + std::to_string(i / ValuesPerKey);
}
std::string NameOf(int i) {
    return "Value" + std::to_string(i);
}
std::string DataOf(int i, int round) {
    return "C:\\Program Files\\Tarvo\\data-" + std::to_string(round) + "-" + std::to_string(i);
}

bool Plain(int round) {
    for (int i = 0; i < ValueCount; ++i) {
        RegKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyOf(i).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Receive(),
                            nullptr) != ERROR_SUCCESS)
            return false;
        const std::string data = DataOf(i, round);
        if (RegSetValueExA(key.Get(), NameOf(i).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1)) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool Entries(int round) {
    for (int i = 0; i < ValueCount; ++i) {
        WSetupRegEntry e;
        e.RootName = "HKEY_CURRENT_USER";
        e.KeyPath = KeyOf(i);
        e.ValueName = NameOf(i);
        e.ValueData = DataOf(i, round);
        e.ValueType = "STRING";
        if (e.Install() != EntryStringWritten)
            return false;
    }
    return true;
}

void Clear() {
    RegDeleteTreeA(HKEY_CURRENT_USER, BaseKey);
}

// Best of three alternating runs of each contender; `over` writes onto values already there.
bool Measure(bool over, double& plainBest, double& oursBest) {
    plainBest = oursBest = 1e9;
    for (int run = 0; run < 3; ++run) {
        for (int contender = 0; contender < 2; ++contender) {
            Clear();
            if (over && !Plain(99))
                return false;
            const double start = Now();
            const bool ok = contender == 0 ? Plain(run) : Entries(run);
            const double seconds = Now() - start;
            if (!ok)
                return false;
            double& best = contender == 0 ? plainBest : oursBest;
            if (seconds < best)
                best = seconds;
        }
    }
    Clear();
    return true;
}

} // namespace

int main() {
    std::printf("| values | plain create-set-close | WSetupRegEntry::Install | time ratio |\n");
    std::printf("|---|---|---|---|\n");
    for (bool over : {false, true}) {
        double plain = 0, ours = 0;
        if (!Measure(over, plain, ours)) {
            std::printf("%s: a write failed\n", over ? "over existing" : "absent");
            Clear();
            return 1;
        }
        std::printf("| 5,000 %s | %.0f ms (%.1f us each) | %.0f ms (%.1f us each) | %.2f |\n",
                    over ? "over existing values" : "absent before", plain * 1000,
                    plain * 1e6 / ValueCount, ours * 1000, ours * 1e6 / ValueCount, ours / plain);
    }
    return 0;
}
