// The product engine refuses a bad description before it installs anything, naming the file, the
// line and the reason; and it rebuilds an element from its record exactly.
#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"

using testsupport::ReadFileBytes;
using testsupport::RunAndWait;
using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

std::string Engine() {
    return testsupport::ProgramFolder() + "\\standins\\productengine.exe";
}

// A small valid product: one folder and one file copied from the medium folder. Its name is the
// test's own (the list of installed programs is shared by the tests that run at the same time).
std::string ValidProduct(const std::string& destination) {
    const std::string folder = destination.substr(0, destination.rfind('\\'));
    return "[Product]\r\nName = Refusal test " + folder.substr(folder.rfind('\\') + 1) +
           "\r\nDestination = " + destination +
           "\r\n\r\n[Component Main]\r\nSelected = 1\r\n\r\n[WSetupDir Folder]\r\n"
           "Component = Main\r\nDestName = Data\r\n\r\n[WSetupFile Program]\r\n"
           "Component = Main\r\nSourceDir = <S>\r\nMediaName = app.txt\r\nDestName = app.txt\r\n";
}

struct Outcome {
    long exitCode;
    std::string output;
};

Outcome RunEngine(const TempFolder& folder, const std::string& description,
                  const std::string& mode = "install") {
    WriteFileBytes(folder / "product.txt", description);
    std::string output = folder / "engine.out";
    long code = RunAndWait("\"" + Engine() + "\" mode=" + mode + " \"description=" +
                           (folder / "product.txt") + "\" \"output=" + output + "\"");
    return {code, ReadFileBytes(output)};
}

class EngineDescription : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WriteFileBytes(medium / "app.txt", "application\r\n")); }
    std::string Destination() const { return medium / "Installed"; }
    TempFolder medium;
};

TEST_F(EngineDescription, AValidDescriptionInstallsAndIsRemovedFromItsLog) {
    Outcome installed = RunEngine(medium, ValidProduct(Destination()));
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    // Two of the product's own elements, and the entry in the list of installed programs (whose
    // values depend on the Windows version).
    EXPECT_NE(installed.output.find("install 1 of "), std::string::npos) << installed.output;
    EXPECT_NE(installed.output.find(": Main WSetupDir Folder status 0 DirCreated"),
              std::string::npos)
        << installed.output;
    EXPECT_EQ(ReadFileBytes(Destination() + "\\app.txt"), "application\r\n");

    std::string log = Destination() + "\\install.log";
    std::string out = medium / "remove.out";
    long removed =
        RunAndWait("\"" + Engine() + "\" mode=remove \"log=" + log + "\" \"output=" + out + "\"");
    EXPECT_EQ(removed, 0) << ReadFileBytes(out);
    EXPECT_EQ(GetFileAttributesA(Destination().c_str()), INVALID_FILE_ATTRIBUTES)
        << ReadFileBytes(out);
}

TEST_F(EngineDescription, BadInputIsRefusedWithFileLineAndReasonAndNothingInstalled) {
    struct Case {
        const char* what;
        std::string text;
        const char* expected;
    };
    const std::string base = ValidProduct(Destination());
    const Case cases[] = {
        {"unknown class", base + "\r\n[WSetupFiel Typo]\r\nComponent = Main\r\n",
         "(18): unknown element class \"WSetupFiel\""},
        {"unknown field", base + "DestNmae = x\r\n", "(17): unknown field \"DestNmae\""},
        {"value of the wrong form", base + "CopyMode = often\r\n",
         "(17): field CopyMode takes a whole number"},
        {"flag of the wrong form", base + "RemoveOnUninstall = yes\r\n",
         "(17): field RemoveOnUninstall takes 0 or 1"},
        {"missing source file",
         "[Product]\r\nDestination = " + Destination() +
             "\r\n[Component Main]\r\n[WSetupFile Missing]\r\nComponent = Main\r\n"
             "MediaName = absent.txt\r\n",
         "(4): source file"},
        {"unknown component", base + "\r\n[WSetupDir Other]\r\nComponent = Nowhere\r\n",
         "(18): unknown component \"Nowhere\""},
        {"a comma the record cannot keep", base + "ExtraText = a,b\r\n",
         "(12): its record could not be read back"},
        // Its surplus column would be taken for a part of the value data, the one column that
        // may hold ",", and every column between would be rebuilt under the wrong field.
        {"a comma before the free text column",
         base + "\r\n[WSetupRegEntry Comma]\r\nComponent = Main\r\n"
                "RootName = HKEY_CURRENT_USER\r\nKeyPath = Software\\a,b\r\nValueData = x\r\n",
         "(18): its record could not be read back (field KeyPath)"},
        {"line without a value", base + "Garbage\r\n", "(17): expected \"Name = value\""},
    };
    for (const Case& c : cases) {
        Outcome refused = RunEngine(medium, c.text);
        EXPECT_EQ(refused.exitCode, 2) << c.what << "\n" << refused.output;
        EXPECT_NE(refused.output.find("product.txt" + std::string(c.expected)), std::string::npos)
            << c.what << "\n"
            << refused.output;
        EXPECT_NE(refused.output.find("nothing was installed"), std::string::npos) << c.what;
        EXPECT_EQ(GetFileAttributesA(Destination().c_str()), INVALID_FILE_ATTRIBUTES) << c.what;
    }
}

TEST_F(EngineDescription, ARecordWithCommasInItsFreeTextColumnIsRebuiltExactly) {
    // A binary registry value's text form holds commas; the record keeps them in one column.
    std::string text = "[Product]\r\nDestination = " + Destination() +
                       "\r\n[Component Main]\r\n[WSetupRegEntry Bytes]\r\nComponent = Main\r\n"
                       "RootName = HKEY_CURRENT_USER\r\nKeyPath = Software\\TarvoTests\\x\r\n"
                       "ValueName = v\r\nValueData = hex:0A,0b, FF\r\nValueType = BINARY-RAW\r\n";
    Outcome validated = RunEngine(medium, text, "validate");
    EXPECT_EQ(validated.exitCode, 0) << validated.output;
}

} // namespace
