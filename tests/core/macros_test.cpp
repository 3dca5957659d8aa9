// The macro context: replacement steps and their order, derived forms, custom macros,
// variables, and the path resolution built on them.
#include "setup/core/macros.h"

#include <cstring>

#include <gtest/gtest.h>

#include "setup/core/path.h"
#include "setup/core/sysfolders.h"

namespace {

class MacroExpansion : public ::testing::Test {
protected:
    MacroExpansion() {
        context.Enabled = 1;
        context.MacroD = "C:\\Prog\\Sub";
    }
    SetupContext context;
};

TEST(MacroContext, DisabledContextReturnsTextUnchanged) {
    SetupContext context;
    EXPECT_EQ(context.RunFromSource, 0);
    EXPECT_EQ(context.CustomMacros.GetSize(), 0);
    context.MacroD = "C:\\Prog";
    EXPECT_EQ(context.Expand("<D>\\a.txt"), "<D>\\a.txt");
    EXPECT_EQ(context.ResolvePath("<D>\\sub", "a.txt"), "<D>\\sub\\a.txt"); // joined only
    EXPECT_EQ(ExpandText("<D>\\a.txt"), "<D>\\a.txt"); // the process-wide context is disabled
}

TEST_F(MacroExpansion, DestinationForms) {
    EXPECT_EQ(context.Expand("C:\\plain"), "C:\\plain");
    EXPECT_EQ(context.Expand("<D>\\x"), "C:\\Prog\\Sub\\x");
    EXPECT_EQ(context.Expand("<DL>|<DL:>|<ND>"), "C|C:|Prog\\Sub");
    EXPECT_EQ(context.Expand("<D2>|<ND2>"), "C:\\\\Prog\\\\Sub|Prog\\\\Sub");
    EXPECT_EQ(context.Expand("<DR>|<DR2>"), "C:\\Prog\\Sub|C:\\\\Prog\\\\Sub");
    // Empty values expand to empty text, drives included.
    EXPECT_EQ(context.Expand("[<S>][<SDL>][<SDL:>][<SND2>][<W2>]"), "[][][][][]");
}

TEST_F(MacroExpansion, NetworkValues) {
    context.MacroS = "\\\\srv\\share\\setup";
    context.MacroD = "\\\\srv\\share\\apps\\prog";
    EXPECT_EQ(context.Expand("<SDL>|<SDL:>|<SND>"), "\\\\srv\\share|\\\\srv\\share|setup");
    EXPECT_EQ(context.Expand("<DL>|<ND>|<ND2>"), "\\\\srv\\share|apps\\prog|apps\\\\prog");
    EXPECT_EQ(context.Expand("<S2>"), "\\\\\\\\srv\\\\share\\\\setup");
}

TEST_F(MacroExpansion, EveryFolderMacro) {
    context.MacroS = "A:\\s";
    context.MacroSF = "B:\\sf";
    context.MacroW = "E:\\w";
    context.MacroY = "F:\\y";
    context.MacroVRF = "G:\\v";
    context.MacroF = "H:\\f";
    context.MacroT = "I:\\t";
    context.MacroBDE = "J:\\b";
    EXPECT_EQ(context.Expand("<BDE>,<S>,<SF>,<W>,<Y>,<VRF>,<F>,<T>"),
              "J:\\b,A:\\s,B:\\sf,E:\\w,F:\\y,G:\\v,H:\\f,I:\\t");
    EXPECT_EQ(context.Expand("<BDE2>,<S2>,<SF2>,<W2>,<Y2>,<VRF_2>,<F2>,<T2>"),
              "J:\\\\b,A:\\\\s,B:\\\\sf,E:\\\\w,F:\\\\y,G:\\\\v,H:\\\\f,I:\\\\t");
    EXPECT_EQ(context.Expand("<SFDL>,<SFDL:>,<WDL>,<WDL:>,<SND2>"), "B,B:,E,E:,s");
    const std::string run = "<DR>|<SFR>|<WR>|<YR>|<VRF_R>|<FR>|<TR>";
    EXPECT_EQ(context.Expand(run), "C:\\Prog\\Sub|B:\\sf|E:\\w|F:\\y|G:\\v|H:\\f|I:\\t");
    context.RunFromSource = 1;
    EXPECT_EQ(context.Expand(run), "A:\\s|A:\\s|A:\\s|A:\\s|A:\\s|A:\\s|A:\\s");
    EXPECT_EQ(context.Expand("<DR2>|<SFR2>|<WR2>|<YR2>|<VRF_R2>|<FR2>|<TR2>"),
              "A:\\\\s|A:\\\\s|A:\\\\s|A:\\\\s|A:\\\\s|A:\\\\s|A:\\\\s");
    EXPECT_EQ(context.Expand("<W>"), "E:\\w"); // the plain forms keep their values
}

TEST_F(MacroExpansion, NamesAndSettings) {
    context.MacroN = "n";
    context.MacroC = "c";
    context.MacroE = "e";
    context.MacroG = "g";
    context.MacroK = "k";
    context.MacroO = "o";
    context.MacroR = "r";
    context.MacroU = "u";
    context.MacroP = "C:\\p";
    context.MacroL = "l";
    context.MacroLogonId = "id";
    context.MacroLang = "9";
    context.MacroSubLang = "1";
    context.MacroSysLang = "7";
    context.MacroSysSubLang = "2";
    context.MacroWtDefault = "wt";
    context.MacroProduct = "Product";
    context.MacroBoxName = "box";
    EXPECT_EQ(context.Expand("<N><C><E><G><K><O><R><U>|<P>|<P_2>|<L><LOGONID>"),
              "ncegkoru|C:\\p|C:\\\\p|lid");
    EXPECT_EQ(context.Expand("<LANG><SUBLANG><SYSLANG><SYSSUBLANG>|<WT_DEFAULT>|<PRODUCT>"),
              "9172|wt|Product");
    EXPECT_EQ(context.Expand("a<NEWLINE>b<BOXNAME>"), "a\nbbox");
}

TEST_F(MacroExpansion, UnknownAndLowerCaseMacrosStay) {
    EXPECT_EQ(context.Expand("<d>\\x|<Dl>|<XYZ>|<D"), "<d>\\x|<Dl>|<XYZ>|<D");
    EXPECT_EQ(context.Expand("<CUSTNOPED>"), "<CUSTNOPED>");
}

TEST_F(MacroExpansion, LaterStepsExpandWhatEarlierStepsInserted) {
    // <W> comes after <S>: a value holding <W> is expanded in the same call.
    context.MacroS = "<W>";
    context.MacroW = "C:\\Win";
    EXPECT_EQ(context.Expand("<S>"), "C:\\Win");
    // <S> came before <W>: inserted by the <W> step, it stays.
    context.MacroS = "C:\\Src";
    context.MacroW = "<S>";
    EXPECT_EQ(context.Expand("<W>"), "<S>");
    // A drive form inserted by the plain step is expanded by the drive step.
    context.MacroS = "<DL:>";
    EXPECT_EQ(context.Expand("<S>"), "C:");
    // A value holding its own macro is inserted, not rescanned.
    context.MacroD = "<D>";
    EXPECT_EQ(context.Expand("<D><D>"), "<D><D>");
}

TEST_F(MacroExpansion, CustomMacros) {
    context.MacroS = "R:\\Src";
    context.AddCustomMacro("  <CUSTX ,  D:\\Data\\Set  ");
    EXPECT_EQ(context.Expand("<CUSTXD>\\f"), "D:\\Data\\Set\\f");
    EXPECT_EQ(context.Expand("<CUSTXDL:>|<CUSTXDL>"), "D:|D");
    EXPECT_EQ(context.Expand("<CUSTXND>|<CUSTXND2>"), "Data\\Set|Data\\\\Set");
    EXPECT_EQ(context.Expand("<CUSTXD2>|<CUSTXDR>"), "D:\\\\Data\\\\Set|D:\\Data\\Set");
    context.RunFromSource = 1;
    EXPECT_EQ(context.Expand("<CUSTXDR>|<CUSTXDR2>"), "R:\\Src|R:\\\\Src");
    EXPECT_EQ(context.Expand("<D>;<CUSTXD>"), "C:\\Prog\\Sub;D:\\Data\\Set");
}

TEST_F(MacroExpansion, CustomDefinitionsInTheirBuffers) {
    context.AddCustomMacro("<CUSTA,C:\\A");
    context.AddCustomMacro("<CUSTAB,C:\\AB");
    context.AddCustomMacro(",C:\\NoKey"); // must not replace every "D>"
    EXPECT_EQ(context.Expand("<CUSTAD>|<CUSTABD>| D>"), "C:\\A|C:\\AB| D>");
    // A definition rewritten in place in its buffer, which holds at least 300 bytes.
    char* entry = static_cast<char*>(context.CustomMacros.GetAt(0));
    std::string longer = "<CUSTA," + std::string(290, 'x');
    std::memcpy(entry, longer.c_str(), longer.size() + 1);
    EXPECT_EQ(context.Expand("<CUSTAD>"), std::string(290, 'x'));
}

TEST(MacroVariables, Expansion) {
    SetupContext context;
    context.Variables.SetAt("A", "alpha");
    EXPECT_EQ(context.LookupVariable("A"), "alpha");
    EXPECT_EQ(context.LookupVariable("B"), "");
    // A known variable, then an absent one: the expansion stops at the absent one.
    EXPECT_EQ(context.ExpandVariables("%A%\\%B%\\%A%"), "alpha\\%B%\\alpha");
    EXPECT_EQ(context.ExpandVariables("%B%%A%"), "%B%%A%");
    EXPECT_EQ(context.ExpandVariables("100% sure"), "100% sure");
    context.Variables.SetAt("B", "%A%"); // a value bringing back an expanded variable
    EXPECT_EQ(context.ExpandVariables("%A%%B%"), "alphaalpha");
}

TEST(MacroVariables, CyclicValuesTerminate) {
    SetupContext context;
    context.Variables.SetAt("A", "%B%");
    context.Variables.SetAt("B", "%A%");
    std::string result = context.ExpandVariables("%A%");
    EXPECT_TRUE(result == "%A%" || result == "%B%") << result;
}

TEST_F(MacroExpansion, ResolvePaths) {
    EXPECT_EQ(context.ResolvePath("<D>\\bin", "app.exe"), "C:\\Prog\\Sub\\bin\\app.exe");
    EXPECT_EQ(context.ResolvePath("", "app.exe"), "C:\\Prog\\Sub\\app.exe");
    context.MacroG = "My Group";
    context.MacroN = "Named";
    EXPECT_EQ(context.ResolveGroupPath("<N> Tools"), "Named Tools");
    EXPECT_EQ(context.ResolveGroupPath(""),
              JoinPath(TheSystemFolders().Programs(false), "My Group", true));
}

} // namespace
