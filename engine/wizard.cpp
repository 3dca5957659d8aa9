#include "wizard.h"

#include <map>

#include "kind_table.h"
#include "registration.h"
#include "setup/core/macros.h"

const char* PageName(WizardPage page) {
    switch (page) {
    case WizardPage::Welcome:
        return "welcome";
    case WizardPage::Licence:
        return "licence";
    case WizardPage::Destination:
        return "destination";
    case WizardPage::Components:
        return "components";
    case WizardPage::Group:
        return "group";
    case WizardPage::Ready:
        return "ready";
    }
    return "";
}

namespace {

// Adds `component` and, below it, its sub-components (depth first), unless the plug-in hid it:
// a hidden component's sub-components are never installed either.
void Offer(WSetupComponent* component, int parent, int depth,
           const std::map<WSetupComponent*, std::vector<WSetupElement*>>& filesOf,
           std::vector<WizardComponent>& offered) {
    if (component->Action == 8)
        return;
    WizardComponent c;
    c.id = component->Id.c_str();
    c.parent = parent;
    c.depth = depth;
    c.fixed = component->Fixed != 0;
    c.locked = component->Locked != 0;
    for (int m = 0; m < 4; ++m)
        c.inType[m] = component->ModeStates[m] != 0;
    c.chosen = component->IsSelected();
    auto files = filesOf.find(component);
    if (files != filesOf.end())
        c.files = files->second;
    for (WSetupElement* file : c.files) {
        std::uint32_t size = 0;
        if (SourceSizeOf(*file, size))
            c.size += size;
    }
    offered.push_back(c);
    const int index = static_cast<int>(offered.size()) - 1;
    for (int i = 0; i < component->Children.GetSize(); ++i)
        Offer(component->ChildAt(i), index, depth + 1, filesOf, offered);
}

} // namespace

WizardModel::WizardModel(const ProductDescription& description, const Product& product) {
    m_pages.push_back(WizardPage::Welcome);
    if (!description.licence.empty())
        m_pages.push_back(WizardPage::Licence);
    for (WizardPage page :
         {WizardPage::Destination, WizardPage::Components, WizardPage::Group, WizardPage::Ready})
        m_pages.push_back(page);
    m_types = description.types;
    m_type = m_types.empty() ? 2 : 0;

    std::map<WSetupComponent*, std::vector<WSetupElement*>> filesOf;
    for (WSetupElement* element : product.elements) {
        auto component = product.componentById.find(product.componentOf.at(element));
        if (component != product.componentById.end() && RowOf(*element).copiesAFile)
            filesOf[component->second].push_back(element);
    }
    std::map<WSetupComponent*, bool> isChild;
    for (const auto& component : product.components)
        for (int i = 0; i < component->Children.GetSize(); ++i)
            isChild[component->ChildAt(i)] = true;
    for (const auto& component : product.components) {
        if (component->Id == RegistrationComponent || isChild.count(component.get()))
            continue;
        m_type = component->ModeIndex;
        Offer(component.get(), -1, 0, filesOf, m_components);
    }
    // Without the command line's components=, the type chooses as the rules have it (a Fixed
    // sub-component brings its parent, as an explicit choice of components does).
    if (!description.choices.componentsChosen)
        ChooseType(m_type);
    destination = TheSetupContext().MacroD.c_str();
    group = description.group;
}

WizardPage WizardModel::Neighbour(WizardPage page, bool forward) const {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] != page)
            continue;
        if (forward)
            return i + 1 < m_pages.size() ? m_pages[i + 1] : page;
        return i > 0 ? m_pages[i - 1] : page;
    }
    return page;
}

bool WizardModel::KeptIn(int index) const {
    const WizardComponent& c = m_components[index];
    return c.fixed || (c.locked && c.inType[m_type]);
}

bool WizardModel::MayChange(int index) const {
    return !m_components[index].fixed && !m_components[index].locked;
}

void WizardModel::ChooseWithParents(int index) {
    for (int i = index; i >= 0; i = m_components[i].parent)
        m_components[i].chosen = true;
}

void WizardModel::LeaveOutWithChildren(int index) {
    m_components[index].chosen = false;
    for (std::size_t i = 0; i < m_components.size(); ++i)
        if (m_components[i].parent == index)
            LeaveOutWithChildren(static_cast<int>(i));
}

void WizardModel::ChooseType(int type) {
    if (type < 0 || type > 3)
        return;
    m_type = type;
    for (WizardComponent& c : m_components)
        c.chosen = c.fixed || c.inType[type];
    for (std::size_t i = 0; i < m_components.size(); ++i)
        if (KeptIn(static_cast<int>(i)))
            ChooseWithParents(static_cast<int>(i));
    // Parents come before their sub-components.
    for (WizardComponent& c : m_components)
        if (c.parent >= 0 && !m_components[c.parent].chosen)
            c.chosen = false;
}

bool WizardModel::Choose(int index, bool chosen) {
    if (index < 0 || index >= static_cast<int>(m_components.size()))
        return false;
    WizardComponent& c = m_components[index];
    if (c.chosen == chosen)
        return true;
    if (chosen) {
        if (c.locked)
            return false;
        for (int p = c.parent; p >= 0; p = m_components[p].parent)
            if (m_components[p].locked && !m_components[p].chosen)
                return false;
        ChooseWithParents(index);
        return true;
    }
    if (KeptIn(index))
        return false;
    // A sub-component that must stay keeps its parent.
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        if (!m_components[i].chosen || !KeptIn(static_cast<int>(i)))
            continue;
        for (int p = m_components[i].parent; p >= 0; p = m_components[p].parent)
            if (p == index)
                return false;
    }
    LeaveOutWithChildren(index);
    return true;
}

std::vector<std::string> WizardModel::ChosenIds() const {
    std::vector<std::string> ids;
    for (const WizardComponent& c : m_components)
        if (c.chosen)
            ids.push_back(c.id);
    return ids;
}

std::uint64_t WizardModel::ChosenSize() const {
    std::uint64_t size = 0;
    for (const WizardComponent& c : m_components)
        if (c.chosen)
            size += c.size;
    return size;
}

std::vector<DriveSpace> WizardModel::Space(const std::string& folder) const {
    std::vector<WSetupElement*> files;
    for (const WizardComponent& c : m_components)
        if (c.chosen)
            files.insert(files.end(), c.files.begin(), c.files.end());
    SetupContext& context = TheSetupContext();
    const FwString before = context.MacroD;
    context.MacroD = Expanded(folder).c_str();
    std::vector<DriveSpace> drives = SpaceNeeded(files);
    context.MacroD = before;
    return drives;
}

const DriveSpace* WizardModel::Short(const std::vector<DriveSpace>& drives) {
    for (const DriveSpace& drive : drives)
        if (drive.known && drive.needed > drive.free)
            return &drive;
    return nullptr;
}

void WizardModel::ApplyTo(ProductDescription& description) const {
    description.destination = destination;
    description.group = group;
    if (!m_types.empty())
        description.choices.type = m_types[static_cast<std::size_t>(m_type)];
    description.choices.componentsChosen = true;
    description.choices.components = ChosenIds();
}
