// The component: its "001", "000" and selection records, the selection test over the
// sub-component tree and the release of its elements.
#include "setup/core/component.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Column n (from 1) of a comma-terminated record.
std::string Column(const std::string& record, int n) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        start = record.find(',', start);
        if (start == std::string::npos)
            return "<missing>";
        ++start;
    }
    std::size_t end = record.find(',', start);
    return end == std::string::npos ? "<missing>" : record.substr(start, end - start);
}

int ColumnCount(const std::string& record) {
    int count = 0;
    for (char c : record)
        count += c == ',';
    return count;
}

class ComponentTree : public ::testing::Test {
protected:
    WSetupComponent parent, a, b, c;
    void SetUp() override {
        parent.Id = "Parent";
        a.Id = "A";
        b.Id = "B";
        c.Id = "C";
    }
};

} // namespace

TEST(ComponentRecords, Record001Columns) {
    WSetupComponent component;
    component.Id = "Main";
    component.Text3 = "Main files";
    component.Number4 = -7;
    component.Flag5 = 9;
    component.Text6 = "six";
    component.Size = 1234.5;
    component.Text8 = "eight";
    component.Text9 = "not written";
    component.Type14 = 3;
    component.Text15 = "fifteen";
    component.Flags16 = 3;
    EXPECT_EQ(component.GetRecord001(),
              "Main,001,Main files,-7,1,six,1234,eight,,,,,,3,fifteen,1,");

    component.Size = 0.0;
    component.Flags16 = 6;
    component.Flag5 = 0;
    std::string record = component.GetRecord001();
    EXPECT_EQ(Column(record, 5), "0");
    EXPECT_EQ(Column(record, 7), "0");
    EXPECT_EQ(Column(record, 16), "4");
    EXPECT_EQ(ColumnCount(record), 16);
}

TEST_F(ComponentTree, ChildrenAndFilteredRelatedInRecord001) {
    EXPECT_EQ(Column(parent.GetRecord001().str(), 12), "");
    parent.Children.Add(&a);
    parent.Children.Add(&b);
    EXPECT_EQ(Column(parent.GetRecord001().str(), 12), "A | B");

    // Related components are listed only for the types 1, 2, 3, 4 and 6.
    a.Type14 = 5;
    b.Type14 = 6;
    c.Type14 = 1;
    parent.Related.Add(&a);
    parent.Related.Add(&b);
    parent.Related.Add(&c);
    EXPECT_EQ(Column(parent.GetRecord001().str(), 13), "B | C");
    a.Type14 = 0;
    b.Type14 = 7;
    c.Type14 = 0;
    EXPECT_EQ(Column(parent.GetRecord001().str(), 13), "");
}

TEST_F(ComponentTree, Record000WithAndWithoutAlternativeColumns) {
    parent.Text3 = "t3";
    parent.Number4 = 4;
    parent.Size = 99.0; // never written in this record
    parent.Text9 = "t9";
    parent.Text10 = "t10";
    parent.Text11 = "t11";
    parent.AltText12 = "alt12";
    parent.AltText13 = "alt13";
    parent.Type14 = 5;
    parent.Flags16 = 2;
    parent.Text17 = "t17";
    EXPECT_EQ(parent.GetRecord000(0), "Parent,000,t3,4,0,,0,,t9,t10,t11,,,5,,0,t17,");
    EXPECT_EQ(parent.GetRecord000(1), "Parent,000,t3,4,0,,0,,t9,t10,t11,alt12,alt13,5,,0,t17,");

    a.Type14 = 5; // no filter in this record
    parent.Children.Add(&a);
    parent.Children.Add(&b);
    parent.Related.Add(&a);
    std::string record = parent.GetRecord000(0).str();
    EXPECT_EQ(Column(record, 12), "A | B");
    EXPECT_EQ(Column(record, 13), "A");
    EXPECT_EQ(ColumnCount(record), 17);
    EXPECT_EQ(Column(parent.GetRecord000(1).str(), 12), "alt12");

    parent.SetText17("new");
    EXPECT_EQ(parent.GetText17(), "new");
    EXPECT_EQ(Column(parent.GetRecord000(0).str(), 17), "new");
}

TEST_F(ComponentTree, SelectionRecordReplacesColumn12) {
    a.ModeStates[2] = 4; // selected in the current mode (2)
    b.ModeStates[2] = 3;
    c.ModeStates[0] = 5; // selected only in mode 0
    parent.Children.Add(&a);
    parent.Children.Add(&b);
    parent.Children.Add(&c);

    parent.RecordText = "x,y";
    EXPECT_EQ(parent.GetSelectionRecord(), "x,y,,,,,,,,,,A,");

    parent.RecordText = "1,2,3,4,5,6,7,8,9,10,11,old,13,14";
    EXPECT_EQ(parent.GetSelectionRecord(), "1,2,3,4,5,6,7,8,9,10,11,A,13,14");
    EXPECT_EQ(parent.GetRecordText(), "1,2,3,4,5,6,7,8,9,10,11,old,13,14");
}

TEST_F(ComponentTree, SelectionRecordCountsChosenDescendantsOfFreeChildren) {
    WSetupComponent grandchild;
    grandchild.Id = "G";
    grandchild.ModeStates[2] = 2;
    grandchild.ModeIndex = 0;
    b.Children.Add(&grandchild);
    c.Children.Add(&grandchild);
    c.Fixed = 1; // a fixed child is listed only when selected itself
    parent.Children.Add(&a);
    parent.Children.Add(&b);
    parent.Children.Add(&c);
    parent.RecordText = "r";
    EXPECT_EQ(parent.GetSelectionRecord(), "r,,,,,,,,,,,B,");
    EXPECT_EQ(grandchild.ModeIndex, 2); // the parent's mode was written into the grandchild
}

TEST_F(ComponentTree, ChosenDescendantWritesModeAndHonoursFixedLockedStrict) {
    parent.ModeIndex = 3;
    a.ModeIndex = 0;
    b.ModeIndex = 0;
    parent.Children.Add(&a);
    parent.Children.Add(&b);
    EXPECT_FALSE(parent.HasChosenDescendant(&parent, 0));
    EXPECT_EQ(a.ModeIndex, 3);
    EXPECT_EQ(b.ModeIndex, 3);

    b.Locked = 1;
    EXPECT_FALSE(parent.HasChosenDescendant(&parent, 0));
    EXPECT_TRUE(parent.HasChosenDescendant(&parent, 1));
    b.Locked = 0;

    // Depth: a chosen grandchild answers yes; a fixed one too.
    b.Children.Add(&c);
    c.ModeStates[3] = 5;
    EXPECT_TRUE(parent.HasChosenDescendant(&parent, 0));
    EXPECT_EQ(c.ModeIndex, 3);
    c.ModeStates[3] = 3;
    EXPECT_FALSE(parent.HasChosenDescendant(&parent, 0));
    c.Fixed = 1;
    EXPECT_TRUE(parent.HasChosenDescendant(&parent, 0));
    EXPECT_FALSE(parent.HasChosenDescendant(&c, 0)); // no children
}

TEST(ComponentSelection, ModeStatesDecideSelection) {
    WSetupComponent component;
    EXPECT_EQ(component.ModeIndex, 2);
    int states[4] = {0, 0, 4, 0};
    std::copy(states, states + 4, component.ModeStates);
    EXPECT_TRUE(component.IsSelected());
    component.ModeStates[2] = 3;
    EXPECT_FALSE(component.IsSelected());
    for (int state : {2, 4, 5}) {
        component.ModeStates[2] = state;
        EXPECT_TRUE(component.IsSelected()) << state;
    }
    component.ModeIndex = 7; // outside the four modes: nothing is read out of range
    EXPECT_FALSE(component.IsSelected());
    component.ModeIndex = -1;
    EXPECT_FALSE(component.IsSelected());
}

TEST(ComponentElements, ReleaseLeavesSharedElementsAlive) {
    WSetupComponent first, second;
    WSetupElement shared, own;
    shared.Kind = KindFile;
    own.Kind = KindRegEntry;
    ASSERT_TRUE(first.AddElement(&shared));
    ASSERT_TRUE(second.AddElement(&shared));
    ASSERT_TRUE(first.AddElement(&own));
    EXPECT_EQ(shared.RefCount, 2);
    EXPECT_EQ(first.ElementAt(KindFile, 0), &shared);

    EXPECT_EQ(first.ReleaseElements(), 1);
    EXPECT_EQ(shared.RefCount, 1);
    EXPECT_EQ(own.RefCount, 0);
    for (const FwPtrArray& list : first.Elements) {
        EXPECT_EQ(list.GetSize(), 0);
        EXPECT_EQ(list.GetData(), nullptr);
    }
    EXPECT_EQ(second.Elements[KindFile].GetSize(), 1);
    EXPECT_EQ(first.ReleaseElements(), 1); // nothing left: still 1, counts unchanged
    EXPECT_EQ(shared.RefCount, 1);

    WSetupElement plain; // kind -1 has no list
    EXPECT_FALSE(first.AddElement(&plain));
    EXPECT_FALSE(first.AddElement(nullptr));
}
