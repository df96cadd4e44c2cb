#pragma once

#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <stdexcept>
#include <string>

namespace voriraz {

// A save that would write a preset which is not the user's or cannot be
// loaded again.
class SaveRefusedError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Writes the controls back into the loaded tree and stores it at path (the
// document's last loaded file when path is empty): primary mastery, army,
// war machines, attributes, skills, perks, spells, artifacts and one "0"
// untransferable flag per artifact, in that order. The lists and slots
// replace the preset's items; every other node stays where it was. An army
// slot is written when its creature index is above 0 and its count is not
// empty, a skill slot when its skill index is above 0 and a mastery is
// selected; written slots close up, so gaps disappear.
//
// Refused, before anything changes, with DocumentError "No active document"
// when nothing is loaded, and with SaveRefusedError when the last load did
// not fill every control (lastLoadComplete false: the controls would mix two
// presets) or no primary mastery is chosen (the file could not be loaded
// again). Other errors (DocumentError, FileWriteError) leave the file on
// disk as it was; the tree keeps the changes made before the error.
void savePreset(PresetDocument &document, const std::string &path, const PresetCatalogs &catalogs,
                const PresetControls &controls, bool lastLoadComplete);

// The first part of savePreset: writes the controls back into the loaded
// tree, with the same refusals and errors, and stores nothing. What
// document.SaveToBytes() then gives is exactly what savePreset would write.
void writeControlsToDocument(PresetDocument &document, const PresetCatalogs &catalogs,
                             const PresetControls &controls, bool lastLoadComplete);

} // namespace voriraz
