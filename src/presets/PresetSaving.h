#pragma once

#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"
#include "presets/PresetLoading.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace voriraz {

// A save that would write a preset which is not the user's, or which the
// game or the editor could not read.
class SaveRefusedError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The refusals of a whole preset rather than of one value.
namespace refusal {
inline constexpr const char *incompleteLoad = "The selected preset was not loaded completely, so the controls do not show it; "
                                              "nothing was saved. Select a preset that loads without errors before saving";
inline constexpr const char *noPrimaryMastery = "Choose a primary skill mastery before saving: without one the preset "
                                                "could not be loaded again. Nothing was saved";
} // namespace refusal

// The values a save refuses, one line each, in the order of the pages:
//   Offence: "abc" is not a whole number from -2147483648 to 2147483647.
//   Army slot 3: "" is not a whole number from 0 to 2147483647.
//   Perks, line 2: no perk has been chosen for this line; pick one or delete the line.
// An attribute must be a decimal whole number in the signed 32-bit range, the
// count of a slot with a creature a decimal whole number from 0 up, and no
// line of a list may be the placeholder Add left, nor empty (an empty
// catalog entry picked for it, which would not load again). Empty when all
// is well.
std::vector<std::string> refusedValues(const PresetControls &controls);

// The same refusals, each with the value it is about.
struct RefusedValue
{
    ValuePlace place;
    std::string message;
};
std::vector<RefusedValue> refusedValuePlaces(const PresetControls &controls);

// Writes the controls back into the loaded tree and stores it at path (the
// document's last loaded file when path is empty): primary mastery, army,
// war machines, attributes, skills, perks, spells, artifacts and each
// artifact line's untransferable flag, in that order. The lists and slots
// replace the preset's items (every child node a load reads as one: each
// child of a line list, each element of the army, skill and flag lists,
// whatever its name), together with the formatting an earlier save added
// around them, so saving the same values again gives the same file and
// reads back as saved; every other node stays where it was. An army slot is written when its
// creature index is above 0 and its count is not empty, a skill slot when
// its skill index is above 0 and a mastery is selected; written slots close
// up, so gaps disappear.
//
// Refused before anything changes: DocumentError "No active document" when
// nothing is loaded; SaveRefusedError when the last load did not fill every
// control (lastLoadComplete false: the controls would mix two presets), when
// no primary mastery is chosen (the file could not be loaded again), or with
// the lines of refusedValues(); DocumentError "Element does not contain a
// single text node" when a value element to be written holds elements.
// FileWriteError leaves the file on disk as it was.
void savePreset(PresetDocument &document, const std::string &path, const PresetCatalogs &catalogs,
                const PresetControls &controls, bool lastLoadComplete);

// Throws what writeControlsToDocument would refuse the controls with, and
// changes nothing.
void refuseUnsavable(const PresetDocument &document, const PresetCatalogs &catalogs,
                     const PresetControls &controls, bool lastLoadComplete);

// The first part of savePreset: writes the controls back into the loaded
// tree, with the same refusals and errors, and stores nothing. What
// document.SaveToBytes() then gives is exactly what savePreset would write.
void writeControlsToDocument(PresetDocument &document, const PresetCatalogs &catalogs,
                             const PresetControls &controls, bool lastLoadComplete);

// A skill or army item of the loaded preset that a save leaves out because
// no catalog knows one of its identifiers.
struct DroppedItem
{
    enum class Kind { Skill, Army };
    Kind kind;
    int slot;               // 1-based
    std::string identifier; // the unknown identifier, as the preset spells it

    bool operator==(const DroppedItem &) const = default;
};

// The items a save of controls drops: the slots whose identifier the load
// found in no catalog and that still show no entry (a skill whose mastery
// was unknown counts while the skill is set). Skills first, then the army.
std::vector<DroppedItem> droppedItems(const PresetControls &controls, const UnknownIdentifiers &unknown);

// "Saving drops 2 skill items and 1 army stack that the catalogs do not know:
// SKL_FOO (slot 2), SKL_BAR (slot 4), CRT_X (slot 3). Save anyway?"
std::string dropQuestion(const std::vector<DroppedItem> &items);

// One item on a line of its own: "drops skill item SKL_FOO (slot 2), which
// the catalogs do not know".
std::string dropWarning(const DroppedItem &item);

} // namespace voriraz
