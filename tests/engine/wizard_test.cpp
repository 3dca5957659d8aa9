// The wizard's decisions without its windows: the pages it shows, what each setup type chooses,
// the rules a change of the choice follows, the space figures, and that the choices reach the
// installation as the engine itself then selects them (the product built again from the
// description the wizard wrote its choices into).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "description.h"
#include "product.h"
#include "setup/assembly/class_table.h"
#include "setup/core/macros.h"
#include "support/fixtures.h"
#include "wizard.h"

using testsupport::TempFolder;
using testsupport::WriteFileBytes;

namespace {

std::string Joined(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids)
        text += (text.empty() ? "" : " ") + id;
    return text;
}

// Main is Fixed; Docs in Typical and Custom with its sub-component Help in Typical; Extras in
// Custom only; Tools in Typical only and Locked; Base in Custom with its Fixed sub-component
// Core. Each component's file has a size of its own.
struct Component {
    const char* id;
    const char* settings;
    std::size_t size;
};
const Component Components[] = {{"Main", "Fixed = 1", 1000},
                                {"Docs", "Types = Typical, Custom", 200},
                                {"Help", "Types = Typical\r\nParent = Docs", 30},
                                {"Extras", "Types = Custom", 4},
                                {"Tools", "Types = Typical\r\nLocked = 1", 50000},
                                {"Base", "Types = Custom", 600},
                                {"Core", "Fixed = 1\r\nParent = Base", 7}};

class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        UseSetupClassTable();
        std::string text =
            "[Product]\r\nName = Wizard test\r\nDestination = " + (folder / "Product") +
            "\r\nGroup = Wizard\r\nTypes = Typical, Compact, Custom\r\n" + licence;
        for (const Component& c : Components) {
            text += std::string("\r\n[Component ") + c.id + "]\r\n" + c.settings + "\r\n";
            ASSERT_TRUE(
                WriteFileBytes(folder / (std::string(c.id) + ".dat"), std::string(c.size, 'x')));
        }
        for (const Component& c : Components)
            text += std::string("\r\n[WSetupFile ") + c.id + "File]\r\nComponent = " + c.id +
                    "\r\nSourceDir = <S>\r\nMediaName = " + c.id + ".dat\r\nDestName = " + c.id +
                    ".dat\r\n";
        ASSERT_TRUE(WriteFileBytes(folder / "product.txt", text));
        std::string error;
        ASSERT_TRUE(ReadDescription(folder / "product.txt", description, error)) << error;
        Build(description, product);
    }

    static void Build(const ProductDescription& d, Product& p) {
        FillContext(d);
        std::vector<std::string> problems;
        ASSERT_TRUE(BuildProduct(d, p, problems)) << (problems.empty() ? "" : problems[0]);
    }

    // The components the engine selects once the wizard's choices are in the description.
    std::string SelectedAfterApplying(const WizardModel& model) const {
        ProductDescription chosen = description;
        model.ApplyTo(chosen);
        Product rebuilt;
        Build(chosen, rebuilt);
        std::vector<std::string> ids;
        for (const auto& c : rebuilt.components)
            if (c->IsSelected())
                ids.push_back(c->Id.c_str());
        return Joined(ids);
    }

    int IndexOf(const WizardModel& model, const std::string& id) const {
        for (std::size_t i = 0; i < model.Components().size(); ++i)
            if (model.Components()[i].id == id)
                return static_cast<int>(i);
        return -1;
    }

    TempFolder folder;
    std::string licence;
    ProductDescription description;
    Product product;
};

TEST_F(Wizard, ShowsTheLicencePageOnlyWhenTheDescriptionNamesOne) {
    WizardModel without(description, product);
    std::vector<std::string> pages;
    for (WizardPage page : without.Pages())
        pages.push_back(PageName(page));
    EXPECT_EQ("welcome destination components group ready", Joined(pages));
    EXPECT_EQ(WizardPage::Welcome, without.Neighbour(WizardPage::Welcome, false));
    EXPECT_EQ(WizardPage::Ready, without.Neighbour(WizardPage::Ready, true));
    EXPECT_EQ(WizardPage::Destination, without.Neighbour(WizardPage::Welcome, true));

    description.licence = "licence.txt";
    WizardModel with(description, product);
    pages.clear();
    for (WizardPage page : with.Pages())
        pages.push_back(PageName(page));
    EXPECT_EQ("welcome licence destination components group ready", Joined(pages));
    EXPECT_EQ(WizardPage::Licence, with.Neighbour(WizardPage::Destination, false));
    EXPECT_FALSE(with.licenceAccepted);
}

TEST_F(Wizard, StartsWithTheDescriptionsDestinationGroupAndType) {
    WizardModel model(description, product);
    EXPECT_EQ(folder / "Product", model.destination);
    EXPECT_EQ("Wizard", model.group);
    EXPECT_EQ(0, model.Type());
    EXPECT_EQ("Main Docs Help Tools Base Core", Joined(model.ChosenIds()));
}

// Each type chooses what its mode states say, and the engine selects the same.
TEST_F(Wizard, EachSetupTypeChoosesAsTheEngineSelects) {
    const struct {
        int type;
        const char* chosen;
    } rows[] = {{0, "Main Docs Help Tools Base Core"},
                {1, "Main Base Core"},
                {2, "Main Docs Extras Base Core"}};
    WizardModel model(description, product);
    for (const auto& row : rows) {
        model.ChooseType(row.type);
        const std::string chosen = Joined(model.ChosenIds());
        const std::string selected = SelectedAfterApplying(model);
        std::printf("type %-8s chosen %-30s engine selects %s\n",
                    model.Types()[static_cast<std::size_t>(row.type)].c_str(), chosen.c_str(),
                    selected.c_str());
        EXPECT_EQ(row.chosen, chosen);
        EXPECT_EQ(row.chosen, selected);
    }
}

// A change the rules allow, or one they refuse with nothing changed; what the engine then
// selects is what the wizard chose.
TEST_F(Wizard, ChoicesFollowFixedLockedAndParents) {
    const struct {
        int type;
        const char* id;
        bool choose;
        bool allowed;
        const char* chosen;
    } rows[] = {
        {0, "Main", false, false, "Main Docs Help Tools Base Core"},  // Fixed
        {0, "Tools", false, false, "Main Docs Help Tools Base Core"}, // Locked in by Typical
        {1, "Tools", true, false, "Main Base Core"},                  // Locked out by Compact
        {1, "Help", true, true, "Main Docs Help Base Core"},          // its parent comes along
        {0, "Docs", false, true, "Main Tools Base Core"},             // its child goes along
        {0, "Help", false, true, "Main Docs Tools Base Core"},        // the parent stays
        {0, "Extras", true, true, "Main Docs Help Extras Tools Base Core"},
        {1, "Base", false, false, "Main Base Core"}, // its Fixed sub-component keeps it
        {2, "Extras", false, true, "Main Docs Base Core"},
    };
    for (const auto& row : rows) {
        WizardModel model(description, product);
        model.ChooseType(row.type);
        const bool allowed = model.Choose(IndexOf(model, row.id), row.choose);
        const std::string chosen = Joined(model.ChosenIds());
        const std::string selected = SelectedAfterApplying(model);
        std::printf("type %d %-9s %-6s allowed %d chosen %-28s engine selects %s\n", row.type,
                    row.choose ? "choose" : "leave out", row.id, allowed, chosen.c_str(),
                    selected.c_str());
        EXPECT_EQ(row.allowed, allowed) << row.id;
        EXPECT_EQ(row.chosen, chosen) << row.id;
        EXPECT_EQ(row.chosen, selected) << row.id;
    }
}

TEST_F(Wizard, OnlyFixedAndLockedComponentsMayNotBeChanged) {
    WizardModel model(description, product);
    EXPECT_FALSE(model.MayChange(IndexOf(model, "Main")));
    EXPECT_FALSE(model.MayChange(IndexOf(model, "Tools")));
    EXPECT_TRUE(model.MayChange(IndexOf(model, "Help")));
    EXPECT_EQ(IndexOf(model, "Docs"), model.Components()[IndexOf(model, "Help")].parent);
    EXPECT_EQ(1, model.Components()[IndexOf(model, "Help")].depth);
}

// The figure shown is the sum of the sizes of the chosen components' files, on the drive of the
// destination typed, and follows the choice.
TEST_F(Wizard, SpaceIsTheSumOfTheChosenFilesOnTheDestinationsDrive) {
    WizardModel model(description, product);
    const std::string before = TheSetupContext().MacroD.c_str();
    EXPECT_EQ(1000u + 200u + 30u + 50000u + 600u + 7u, model.ChosenSize());
    std::vector<DriveSpace> drives = model.Space(folder / "Elsewhere");
    ASSERT_EQ(1u, drives.size());
    EXPECT_EQ(folder.Path().substr(0, 3), drives[0].root);
    EXPECT_EQ(model.ChosenSize(), drives[0].needed);
    EXPECT_EQ(before, TheSetupContext().MacroD.c_str());
    EXPECT_TRUE(drives[0].known);
    EXPECT_EQ(nullptr, WizardModel::Short(drives));

    ASSERT_TRUE(model.Choose(IndexOf(model, "Docs"), false));
    drives = model.Space(folder / "Elsewhere");
    ASSERT_EQ(1u, drives.size());
    EXPECT_EQ(1000u + 50000u + 600u + 7u, drives[0].needed);
    drives[0].free = drives[0].needed - 1;
    EXPECT_EQ(&drives[0], WizardModel::Short(drives));
    EXPECT_EQ(1000u, model.Components()[IndexOf(model, "Main")].size);
}

// Components the plug-in hid (action 8) are not offered, nor are their sub-components.
TEST_F(Wizard, ComponentsThePluginHidAreNotOffered) {
    product.componentById.at("Docs")->Action = 8;
    product.componentById.at("Extras")->Action = 8;
    WizardModel model(description, product);
    std::vector<std::string> offered;
    for (const WizardComponent& c : model.Components())
        offered.push_back(c.id);
    EXPECT_EQ("Main Tools Base Core", Joined(offered));
}

TEST_F(Wizard, TheChosenDestinationAndGroupReachTheDescription) {
    WizardModel model(description, product);
    model.destination = folder / "Chosen";
    model.group = "Chosen group";
    model.ChooseType(2);
    ProductDescription chosen = description;
    model.ApplyTo(chosen);
    FillContext(chosen);
    EXPECT_EQ(folder / "Chosen", std::string(TheSetupContext().MacroD.c_str()));
    EXPECT_EQ("Chosen group", std::string(TheSetupContext().MacroG.c_str()));
    EXPECT_EQ("Custom", chosen.choices.type);
    EXPECT_TRUE(chosen.choices.componentsChosen);
}

} // namespace
