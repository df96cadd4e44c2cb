#pragma once

#include "cli/DataTree.h"
#include "editing/ArmyStatistics.h"

#include <string>
#include <vector>

namespace voriraz::cli {

// One thing the window would refuse or lose in a preset. The element is a
// path below the document element as PresetLoadReport names them, or empty
// for the file as a whole.
struct Finding
{
    std::string element;
    std::string message;

    bool operator==(const Finding &) const = default;
};

// Checks presets with the window's own code: the load (PresetLoadReport
// reading on past each error), the army totals and the save, against one
// data tree.
class PresetCheck
{
public:
    explicit PresetCheck(const DataTree &tree);

    // Everything found in one preset, in this order: what stops the load
    // (the window's messages, exactly); identifiers the catalogs lack and
    // identifiers spelt in another letter case than their catalog's, with
    // what each save does to them; list lines the catalogs lack or spell
    // otherwise; what a save writes anew and so leaves out (empty slots,
    // other nodes of skill and army items such as a second Count, list
    // children that are no Item, flags without an artifact line, attributes
    // of items); counts that are not integers; army creatures without a
    // reference table entry; errors of the army totals, each one at the army
    // item it comes from where it comes from one; and anything else that
    // refuses the save, or the save that keeps the layout where it fares
    // otherwise. "A save" is every save; where the save that keeps the
    // layout does otherwise, the finding says so. Nothing is written. Empty
    // for a preset the window opens, totals and saves without changing any
    // value.
    std::vector<Finding> check(const PresetFile &preset);

    // What the data folder itself holds that the editor works round, one
    // line each: icons shown as placeholders, creatures the reference table
    // carries twice.
    std::vector<std::string> dataWarnings();

private:
    const DataTree &mTree;
    ArmyStatistics mStatistics;
};

} // namespace voriraz::cli
