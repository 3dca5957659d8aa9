// What the interactive installation's wizard decides, without its windows (wizard_window.h shows
// it): the order of its pages, the components the user may choose and the rules the choice
// follows, the space the chosen files need, and how the choices reach the installation.
//
// Pages: Welcome, Licence (only when the description names one), Destination, Components (with
// the setup type), Group, Ready. Back and Next keep every choice.
//
// Selection: a setup type chooses what each component's mode state for it says. A Fixed
// component is always chosen; a Locked one is as its type says and no choice changes it; a
// sub-component is chosen only with its parent: choosing it chooses the parent, leaving the
// parent out leaves its sub-components out (refused when one of them is Fixed, or Locked in).
// Components the plug-in hid (action 8 in its Initialize) and the engine's registration are
// neither offered nor chosen.
//
// The choices reach the installation as the command line's words do (ApplyTo): destination=,
// group=, type= and components= with exactly the chosen components; the installation then builds
// its product again from the description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "description.h"
#include "preflight.h"
#include "product.h"

enum class WizardPage { Welcome, Licence, Destination, Components, Group, Ready };

// The page's name in the engine's progress lines ("wizard page <name>").
const char* PageName(WizardPage page);

struct WizardComponent {
    std::string id;
    int parent = -1; // index among the offered components; -1 at the top
    int depth = 0;
    bool fixed = false;
    bool locked = false;
    bool inType[4] = {false, false, false, false}; // what each setup type installs
    std::uint64_t size = 0;                        // the sizes of the sources its files copy
    std::vector<WSetupElement*> files;             // the copying elements, owned by the product
    bool chosen = false;
};

class WizardModel {
public:
    // The product must be built from the description (after the plug-in's Initialize) and
    // outlive the model. The type, the components and the destination start as the run's
    // choices (the command line's, else the description's) have them.
    WizardModel(const ProductDescription& description, const Product& product);

    const std::vector<WizardPage>& Pages() const { return m_pages; }
    // The page after (`forward`) or before `page`; `page` itself at either end.
    WizardPage Neighbour(WizardPage page, bool forward) const;

    const std::vector<std::string>& Types() const { return m_types; }
    int Type() const { return m_type; }
    // Chooses every component as setup type `type` (its index in Types) installs it.
    void ChooseType(int type);

    const std::vector<WizardComponent>& Components() const { return m_components; }
    // Whether the user may change component `index` at all (neither Fixed nor Locked).
    bool MayChange(int index) const;
    // Chooses component `index` or leaves it out, with its parents or its sub-components; false,
    // with nothing changed, when the rules keep it as it is.
    bool Choose(int index, bool chosen);
    std::vector<std::string> ChosenIds() const;
    // The sum of the sizes of the chosen components' files.
    std::uint64_t ChosenSize() const;
    // The drives the chosen files go to with `destination` as <D>, each with what it needs and
    // what it has free (the preflight's figures). The context's <D> is as it was afterwards.
    std::vector<DriveSpace> Space(const std::string& destination) const;
    // The first drive whose space is short, or null.
    static const DriveSpace* Short(const std::vector<DriveSpace>& drives);

    std::string destination; // as the user typed it
    std::string group;
    bool licenceAccepted = false;

    // Writes the choices into the description as the command line's words would.
    void ApplyTo(ProductDescription& description) const;

private:
    void ChooseWithParents(int index);
    void LeaveOutWithChildren(int index);
    bool KeptIn(int index) const; // Fixed, or Locked and chosen by its type

    std::vector<WizardPage> m_pages;
    std::vector<std::string> m_types;
    int m_type = 0;
    std::vector<WizardComponent> m_components;
};
