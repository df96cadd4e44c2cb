#pragma once

#include "presets/LayoutKeepingSave.h"
#include "presets/PresetControls.h"

#include <string>
#include <string_view>

namespace voriraz {

// The values a preset saved from `saved` gives at its next load, when the
// saved file holds the skill and army items of the slots at the positions
// `items` gives (-1: the slot has no item). Items close up, so the slots
// after the last item read as empty: the first skill and creature entries,
// no mastery, no count.
PresetControls valuesReadBack(const PresetControls &saved, const SlotItems &items, const PresetCatalogs &catalogs);

// The first value in which two sets of values differ as sameValues()
// compares them, named as the save's messages name values ("Offence",
// "Primary skill mastery", "Army slot 3", "Perks, line 2", "Artifacts, line
// 4, untransferable flag"); empty when they are the same.
std::string firstDifference(const PresetControls &a, const PresetControls &b);

// Proves a save before it replaces the file: reads `bytes` as a load reads
// a file and compares the values with valuesReadBack(saved, items,
// catalogs). Throws SaveRefusedError when they would not load again ("The
// file to be written would not load again (<error>); nothing was saved") or
// would load with another value ("The file to be written would not read
// back as saved (Army slot 3); nothing was saved").
void checkReadBack(std::string_view bytes, const PresetCatalogs &catalogs, const PresetControls &saved,
                   const SlotItems &items);

} // namespace voriraz
