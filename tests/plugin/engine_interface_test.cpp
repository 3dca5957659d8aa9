// The plug-in's lookups on the engine's component index.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "plugin/engine_interface.h"
#include "setup/core/component.h"

namespace {

class DerivedComponent : public WSetupComponent {
    FW_DECLARE_DYNCREATE(DerivedComponent)
};
FW_IMPLEMENT_DYNCREATE(DerivedComponent, WSetupComponent)

// A component as another module sees it: its class records are that module's own copies, equal
// to this module's only by name.
const FwRuntimeClass ForeignComponentClass = {"WSetupComponent", 608, FwNoSchema, nullptr,
                                              &FwObject::classFwObject};
const FwRuntimeClass ForeignDerivedClass = {"EngineComponent", 608, FwNoSchema, nullptr,
                                            &ForeignComponentClass};
const FwRuntimeClass ForeignLookalikeClass = {"WSetupComponentX", 608, FwNoSchema, nullptr,
                                              &FwObject::classFwObject};

class ForeignComponent : public WSetupComponent {
public:
    explicit ForeignComponent(const FwRuntimeClass* cls) : m_class(cls) {}
    const FwRuntimeClass* GetRuntimeClass() const override { return m_class; }

private:
    const FwRuntimeClass* m_class;
};

class IndexTest : public ::testing::Test {
protected:
    template <typename T, typename... Args> T* Make(Args&&... args) {
        T* object = new T(std::forward<Args>(args)...);
        m_objects.emplace_back(object, [](FwObject* o) { FwDelete(o); });
        return object;
    }
    void Enter(int map, const char* name, void* object) {
        registry.Index.Maps[map].SetAt(name, object);
    }

    ComponentRegistry registry;

private:
    std::vector<std::unique_ptr<FwObject, void (*)(FwObject*)>> m_objects;
};

} // namespace

TEST_F(IndexTest, FindComponentSearchesMapsInOrder) {
    WSetupComponent* inMap3 = Make<WSetupComponent>();
    WSetupComponent* inMap6 = Make<WSetupComponent>();
    WSetupComponent* later = Make<WSetupComponent>();
    Enter(3, "A", inMap3);
    Enter(5, "A", later);
    Enter(6, "B", inMap6);
    EXPECT_EQ(registry.FindComponent("A"), inMap3);
    EXPECT_EQ(registry.FindComponent("B"), inMap6);
    EXPECT_EQ(registry.FindComponent("a"), nullptr) << "names compare exactly";
    EXPECT_EQ(registry.FindComponent("C"), nullptr);
    EXPECT_EQ(registry.FindComponent(nullptr), nullptr);
}

TEST_F(IndexTest, FirstMapHoldingNameDecides) {
    Enter(0, "Other", Make<FwPtrArray>());
    Enter(1, "Other", Make<WSetupComponent>());
    Enter(2, "Null", nullptr);
    Enter(3, "Null", Make<WSetupComponent>());
    EXPECT_EQ(registry.FindComponent("Other"), nullptr);
    EXPECT_EQ(registry.FindComponent("Null"), nullptr);
}

TEST_F(IndexTest, DerivedAndForeignClassesCount) {
    WSetupComponent* derived = Make<DerivedComponent>();
    WSetupComponent* foreign = Make<ForeignComponent>(&ForeignComponentClass);
    WSetupComponent* foreignDerived = Make<ForeignComponent>(&ForeignDerivedClass);
    Enter(0, "Derived", derived);
    Enter(0, "Foreign", foreign);
    Enter(4, "ForeignDerived", foreignDerived);
    Enter(4, "Lookalike", Make<ForeignComponent>(&ForeignLookalikeClass));
    EXPECT_EQ(registry.FindComponent("Derived"), derived);
    EXPECT_EQ(registry.FindComponent("Foreign"), foreign);
    EXPECT_EQ(registry.FindComponent("ForeignDerived"), foreignDerived);
    EXPECT_EQ(registry.FindComponent("Lookalike"), nullptr);
}

TEST_F(IndexTest, ListGroupComponents) {
    FwPtrArray list;
    list.Add(this);
    EXPECT_EQ(registry.ListGroupComponents(2, list), 1);
    EXPECT_EQ(list.GetSize(), 0) << "an empty group gives an empty list";

    std::vector<void*> components;
    for (const char* name : {"k1", "k2", "k3", "k4", "k5"}) {
        WSetupComponent* component = Make<DerivedComponent>();
        components.push_back(component);
        Enter(2, name, component);
    }
    Enter(2, "array", Make<FwPtrArray>());
    Enter(2, "null", nullptr);
    Enter(3, "elsewhere", Make<WSetupComponent>());
    list.Add(this);
    EXPECT_EQ(registry.ListGroupComponents(2, list), 1);

    // The map's own order, without the objects that are not components.
    std::vector<void*> expected;
    const FwMapStringToPtr& map = registry.Index.Maps[2];
    for (FwPosition position = map.GetStartPosition(); position;) {
        FwString key;
        void* object = nullptr;
        map.GetNextAssoc(position, key, object);
        if (std::find(components.begin(), components.end(), object) != components.end())
            expected.push_back(object);
    }
    ASSERT_EQ(list.GetSize(), 5);
    for (int i = 0; i < list.GetSize(); ++i)
        EXPECT_EQ(list.GetAt(i), expected[i]);
}

TEST_F(IndexTest, GroupOutsideRange) {
    Enter(6, "six", Make<WSetupComponent>());
    FwPtrArray list;
    EXPECT_EQ(registry.ListGroupComponents(6, list), 1);
    EXPECT_EQ(list.GetSize(), 1);
    for (int group : {-1, 7, 1000}) {
        list.Add(this);
        EXPECT_EQ(registry.ListGroupComponents(group, list), 0);
        EXPECT_EQ(list.GetSize(), 0);
    }
}
