// The installation: the description is built and checked whole, then every element of the
// selected components is installed as one transaction whose log becomes the uninstall log. An
// element that fails, a log that cannot be written or the user's cancel rolls back what was done.
// The macro context must be filled from the description first (FillContext).
#pragma once

#include <string>
#include <vector>

#include "description.h"

// What the test build of the engine asks of an installation (test_switches.h); the shipped
// engine leaves it as it is.
struct InstallSwitches {
    int cancelAfter = 0; // the user's cancel is requested right after element n's outcome
};

struct Product;

// What the installation tells a plug-in host (plugin_host.h) at its moments; each answers ExitOk
// to go on, or the exit code that ends the run.
class InstallMoments {
public:
    virtual ~InstallMoments() = default;
    // The components are built and checked; the selection is not final, nothing has changed.
    virtual int BeforeOffer(Product& product) = 0;
    // The selection is final; the transaction (and its log) has not begun.
    virtual int BeforeTransaction(Product& product) = 0;
    // The installation is committed; its summary has been said.
    virtual int AfterCommit(Product& product) = 0;
};

class TransactionWriter;
class WSetupElement;

// What an installation over an installed product adds to its transaction (reinstall.h). Each
// runs inside the transaction: a false answer rolls back everything the transaction did.
class TransactionAdditions {
public:
    virtual ~TransactionAdditions() = default;
    // Right after the log's header, before any element; false when the log could not be written.
    [[nodiscard]] virtual bool AfterHeader(TransactionWriter& writer,
                                           const std::vector<WSetupElement*>& order) = 0;
    // After the last element's outcome, before the commit; its steps are numbered from `next`.
    // False when a step failed or the log could not be written (`logFailed`).
    [[nodiscard]] virtual bool BeforeCommit(TransactionWriter& writer, int next,
                                            bool& logFailed) = 0;
    // After the commit: the run's exit code, ExitOk to go on.
    [[nodiscard]] virtual int AfterCommit() = 0;
};

// Installs the product with its log at `logPath`; a log already there (a committed installation)
// is refused. Answers the run's exit code.
[[nodiscard]] int Install(const ProductDescription& description, const std::string& logPath,
                          const InstallSwitches& switches, InstallMoments* moments = nullptr,
                          TransactionAdditions* additions = nullptr);
