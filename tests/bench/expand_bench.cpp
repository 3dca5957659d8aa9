// Macro expansion on long texts full of macros: the time should grow linearly with the text.
//   tests/bench/run.sh expand_bench-win2k
#include <windows.h>

#include <cstdio>
#include <string>

#include "setup/core/macros.h"

namespace {

// One line using macros of every step, a custom macro and plain text.
const char* const Line = "<D>\\bin\\<N>.exe /d=<D2> <SF>\\<SFDL:> <S> <SND> <WR> <YR2> <T2> "
                         "<CUSTAPPD>\\data <CUSTAPPDL:> <LANG>-<SUBLANG> <PRODUCT><NEWLINE>"
                         "plain text without any macro at all, <unknown> <d> stays\n";

std::string TextOfSize(std::size_t size) {
    std::string text;
    text.reserve(size + 256);
    while (text.size() < size)
        text += Line;
    return text;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Best of a few runs.
double TimeExpand(const SetupContext& context, const std::string& text, std::size_t& outSize) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        std::string result = context.Expand(text);
        QueryPerformanceCounter(&end);
        outSize = result.size();
        double s = Seconds(start, end);
        if (s < best)
            best = s;
    }
    return best;
}

} // namespace

int main() {
    SetupContext context;
    context.Enabled = 1;
    context.MacroD = "C:\\Program Files\\Product";
    context.MacroS = "\\\\server\\share\\setup\\disk1";
    context.MacroSF = "C:\\Program Files\\Common Files\\Shared";
    context.MacroW = "C:\\WINDOWS";
    context.MacroY = "C:\\WINDOWS\\SYSTEM";
    context.MacroT = "C:\\WINDOWS\\TEMP";
    context.MacroN = "Product";
    context.MacroLang = "9";
    context.MacroSubLang = "1";
    context.MacroProduct = "Product 1.0";
    context.AddCustomMacro("<CUSTAPP, D:\\Apps\\Product");

    double perByte[2] = {};
    const std::size_t sizes[2] = {1u << 20, 4u << 20};
    for (int i = 0; i < 2; ++i) {
        std::string text = TextOfSize(sizes[i]);
        std::size_t outSize = 0;
        double seconds = TimeExpand(context, text, outSize);
        perByte[i] = seconds * 1e9 / double(text.size());
        std::printf("Expand %7zu bytes -> %8zu bytes: %8.1f ms (%.1f ns per input byte)\n",
                    text.size(), outSize, seconds * 1e3, perByte[i]);
    }
    std::printf("time per byte, 4 MiB over 1 MiB: %.2f (1.00 = linear)\n", perByte[1] / perByte[0]);
    return 0;
}
