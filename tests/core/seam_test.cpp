// The seams through which tests replace a platform function: what an override puts in place and
// what its end puts back.
#include "setup/core/seam.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int Platform() {
    return 1;
}
int First() {
    return 2;
}
int Second() {
    return 3;
}

using Function = int (*)();
Seam<Function> g_seam{&Platform};

int Call() {
    return g_seam.Get()();
}

} // namespace

// Each row is a sequence of overrides begun in order (null: the platform's own) and ended in
// reverse; the answers are those seen after each beginning, then after each end.
TEST(Seam, OverridesNestAndEachEndPutsBackWhatItFound) {
    struct Row {
        std::vector<Function> overrides;
        const char* expected;
    };
    const Row rows[] = {
        {{}, "begun: ; ended: ; now 1"},
        {{&First}, "begun: 2; ended: 1; now 1"},
        {{nullptr}, "begun: 1; ended: 1; now 1"},
        {{&First, &Second}, "begun: 2 3; ended: 2 1; now 1"},
        {{&First, nullptr, &Second}, "begun: 2 1 3; ended: 1 2 1; now 1"},
    };
    for (const Row& row : rows) {
        std::string begun, ended;
        // Nested scopes, built by recursion so that each override ends with its own scope.
        struct Nest {
            static void Run(const std::vector<Function>& list, std::size_t at, std::string& begun,
                            std::string& ended) {
                if (at == list.size())
                    return;
                {
                    OverrideForTesting replaced(g_seam, list[at]);
                    begun += (begun.empty() ? "" : " ") + std::to_string(Call());
                    Run(list, at + 1, begun, ended);
                }
                ended += (ended.empty() ? "" : " ") + std::to_string(Call());
            }
        };
        Nest::Run(row.overrides, 0, begun, ended);
        const std::string saw =
            "begun: " + begun + "; ended: " + ended + "; now " + std::to_string(Call());
        EXPECT_EQ(saw, row.expected);
    }
}

// A seam of an object: the library calls whatever object is in place.
TEST(Seam, HoldsObjectsAsWellAsFunctions) {
    struct Source {
        virtual ~Source() = default;
        virtual std::string Name() { return "platform"; }
    };
    struct StandIn : Source {
        std::string Name() override { return "stand-in"; }
    };
    static Source platform;
    static Seam<Source*> seam{&platform};
    StandIn standIn;
    {
        OverrideForTesting replaced(seam, &standIn);
        EXPECT_EQ(seam.Get()->Name(), "stand-in");
    }
    EXPECT_EQ(seam.Get()->Name(), "platform");
}
