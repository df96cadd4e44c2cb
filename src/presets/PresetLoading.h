#pragma once

#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <stdexcept>
#include <string>

namespace voriraz {

// A preset with more skill or army items than the window has slots.
class TooManyItemsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Loads the preset file at path into document and fills controls from it:
// attributes, primary mastery, war machines, the five skill slots, the eight
// army slots and the artifact, perk and spell lists, in that order. An empty
// path loads the document's previous file again.
//
// Throws at the first error (XmlParseError, DocumentError, ConversionError,
// TooManyItemsError). The controls set before the error keep their new
// values and the later ones keep what they held, so a caller that writes
// every value back shows exactly how far the load came. The document keeps
// the new tree unless parsing failed. A preset with more than five skill
// items or eight army items is refused right after parsing, before any
// control changes.
void loadPreset(PresetDocument &document, const std::string &path,
                const PresetCatalogs &catalogs, PresetControls &controls);

} // namespace voriraz
