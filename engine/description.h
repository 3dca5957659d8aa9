// A product description: the plain text file from which the product engine installs a product.
//
//   # comment (also ";"); blank lines are skipped; blanks around names and values are trimmed
//   [Product]
//   Name = Tarvo Sample                      the <PRODUCT> macro
//   Destination = <P>\Tarvo Sample           the <D> macro (may use the folder macros below)
//   Group = Tarvo Sample                     the <G> macro (program group)
//   Log = <D>\install.log                    where the uninstall log goes (this is the default)
//   Disclaimer = disclaimer.txt              the text the medium builder lays out as setup\desc.txt
//                                            (relative to the description's folder); the engine
//                                            itself does not read it
//   Licence = licence.txt                    the licence the interactive installation shows and
//                                            the user must accept before anything is installed
//                                            (relative to the description's folder)
//   Icon = sample.ico                        the icon the medium builder lays out as AUTORUN.ICO,
//                                            the CD's icon (relative to the description's
//                                            folder); without it the CD shows the loader's
//   Version = 1.1                            the product's version (the installed programs' list)
//   Publisher = Tarvo Software               who made it (the installed programs' list)
//   DisplayIcon = <D>\notes.exe,0            the icon the installed programs' list shows
//   Types = Typical, Compact, Custom         the setup types (at most four), in the order the
//                                            user is offered them; each is one of the
//                                            components' four mode states
//   Type = Typical                           the type installed unless another is chosen
//                                            (default: the first)
//   Plugin = Morvik.dll                      a plug-in on the medium (below <S>) that the engine
//                                            calls around the installation and the removal
//                                            (plugin_host.h); needs a Name
//
//   [Variables]                              %NAME% variables, one "NAME = value" a line
//   [Macros]                                 custom macros: "<CUSTAPP = <D>\Folder" (the folder
//                                            may use the folder macros and variables; elements
//                                            name it "<CUSTAPPD>")
//
//   [Component Main]                         a component and its Id; a plug-in finds it by the
//                                            part after the last ":" or "." ("Sample:Sync.Conduits"
//                                            is found as "Conduits", plugin_host.h)
//   Selected = 1                             0 leaves it (and its elements) out
//   Types = Typical, Custom                  the setup types that install it (in place of
//                                            Selected, which then counts for every type)
//   Fixed = 1                                installed in every type, whatever is chosen
//   Locked = 1                               its type decides: no choice changes it
//   Parent = Main                            a sub-component: installed only with its parent;
//                                            choosing it chooses the parent
//   Macro = <CUSTHOTSYNC                     the custom macro whose folder a plug-in may point
//                                            elsewhere for this component (its QualifiedName)
//
//   [WSetupFile MainProgram]                 an element: its class name and its Id
//   Component = Main                         the component that holds it (required)
//   SourceName = sample.exe                  any field of the kind, by its own name; a file is
//                                            copied from the medium's MediaName, which is the
//                                            SourceName when the description names none
//
// The engine fills these folder macros from the machine: <S> the folder of the description (the
// medium), <W> the Windows folder, <Y> the system folder, <F> the fonts folder, <T> the temporary
// folder, <P> the program files folder, <SF> the common files folder. Values keep their macros
// and variables: each element expands them itself when it runs.
//
// A description is checked whole before anything is installed: an unknown section, class name or
// field, a value of the wrong form, a "," where the element's record could not keep it, a
// component that does not exist, or a source file missing from the medium refuses it with the
// file name, the line number and the reason.
#pragma once

#include <string>
#include <vector>

struct DescribedValue {
    std::string name;
    std::string value;
    int line = 0;
};

struct DescribedItem {
    std::string className; // "Component" for a component
    std::string id;
    int line = 0;
    std::vector<DescribedValue> values;
};

// What a run chose beyond the description: from the engine's command line (destination=,
// group=, type=, components=) or from the wizard's pages.
struct Choices {
    std::string type; // a setup type's name; "": the description's Type
    bool componentsChosen = false;
    std::vector<std::string> components; // exactly these (with the Fixed ones and the parents)
};

struct ProductDescription {
    std::string path;
    std::string name;
    std::string destination;
    std::string group;
    std::string log = "<D>\\install.log";
    std::string disclaimer;
    int disclaimerLine = 0;
    std::string licence;
    int licenceLine = 0;
    std::string icon;
    int iconLine = 0;
    std::string version;
    std::string publisher;
    std::string displayIcon;
    std::vector<std::string> types;
    int typesLine = 0;
    std::string defaultType;
    int defaultTypeLine = 0;
    Choices choices;
    std::string plugin; // below the medium folder <S> (plugin_host.h)
    int pluginLine = 0;
    std::vector<DescribedValue> variables;
    std::vector<DescribedValue> customMacros;
    std::vector<DescribedItem> components;
    std::vector<DescribedItem> elements;
};

// The parts of a list separated by ",", trimmed; empty parts are dropped. Goes by characters.
std::vector<std::string> SplitList(const std::string& text);

// Reads the file; false with "<file>(<line>): <reason>" when it cannot be read or is malformed.
// This checks the form only; CheckDescription checks it against the kinds and the medium.
[[nodiscard]] bool ReadDescription(const std::string& path, ProductDescription& description,
                                   std::string& error);
