// The product a run works on: its components and elements, built either from a description
// (checked whole: every problem is reported and nothing is installed) or from a log's header and
// steps; and the process-wide macro context the elements expand their paths with, which the log's
// header keeps so that checking, removal and rollback see the paths the installation saw.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "description.h"
#include "setup/core/component.h"
#include "setup/core/framework.h"
#include "transaction_log.h"

// The <S> folder of the source= switch (ReadCommandLine sets it); empty: the description's folder.
extern std::string g_sourceFolder;

struct Product {
    std::vector<FwPtr<WSetupComponent>> components;
    std::map<std::string, WSetupComponent*> componentById;
    std::vector<WSetupElement*> elements; // owned by `owned`
    std::vector<FwPtr<WSetupElement>> owned;
    std::map<WSetupElement*, std::string> componentOf;
    std::vector<DescribedValue> mediumFiles; // full source paths, by description line
    std::string pluginCopy; // the kept copy of the plug-in, which the log's header names
    std::string version;    // the description's Version, which the log's header keeps

    ~Product() {
        for (auto& c : components)
            c->ReleaseElements();
    }
};

// Fills the process-wide macro context from the machine and the description.
void FillContext(const ProductDescription& description);

// A text with the context's variables and macros expanded.
std::string Expanded(const std::string& text);

// Checks the description against the kinds and the medium and builds its objects; nothing is
// installed yet. Every problem is added to `problems` ("<file>(<line>): <reason>"); false when
// there was any. Needs the context filled from the same description.
[[nodiscard]] bool BuildProduct(const ProductDescription& description, Product& product,
                                std::vector<std::string>& problems);

// The elements in the order the engine runs them: kinds in install order, each kind's elements
// in the order of their components and of the description.
std::vector<WSetupElement*> Ordered(const Product& product, bool selectedOnly);

// The engine's settings and the selected components, as the log's header keeps them.
std::vector<std::string> HeaderLines(const Product& product);

// Rebuilds the context and the components from a log's header; false, with the error, on a
// setting the engine does not know.
[[nodiscard]] bool ApplyHeader(const std::vector<std::string>& header, Product& product,
                               std::string& error);

// The element of a logged step, from the record the step left (or, without an outcome, the one
// it was announced with); it joins its component, which the header must have named. Null, with
// the error, when it cannot be rebuilt.
WSetupElement* ElementOfStep(const LoggedStep& step, Product& product, std::string& error);
