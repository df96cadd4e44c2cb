#pragma once

#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace voriraz {

// A preset with more skill or army items than the window has slots.
class TooManyItemsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The catalogs a load looks identifiers up in.
enum class PresetCatalog { PrimaryMasteries, Skills, Masteries, Creatures };

// What a load met that the window would stop at or could not show, for
// tools that check presets. Elements are named by their path below the
// document element ("Editable/Offence", "armySlots/Item[2]/Count"); a
// list's child is named by its node name (DOM style: "#comment", "#text"
// for nodes that are no elements) and its position among all of the list's
// child nodes, counted from 1, which is how the load reads lists.
struct PresetLoadReport
{
    // An error that would stop the window's load, with its exact message.
    struct Problem
    {
        std::string element;
        std::string message;
    };
    // An identifier that matches no catalog entry, even ignoring case.
    struct Miss
    {
        std::string element;
        std::string text;
        PresetCatalog catalog;
    };

    std::vector<Problem> problems;
    std::vector<Miss> misses;
    // An identifier that matches its catalog entry only when letter case is
    // ignored, as the file spells it.
    std::vector<Miss> respellings;
    // The element paths of the skill and army items read, slot by slot, and
    // of the nodes each list's lines were read from, line by line.
    std::vector<std::string> skillItems;
    std::vector<std::string> armyItems;
    std::vector<std::string> artifactLines;
    std::vector<std::string> perkLines;
    std::vector<std::string> spellLines;
};

// The identifiers of the skill and army items a load found in no catalog,
// by slot; empty where the slot's identifiers were found or the preset has
// no item for the slot. A save drops these items.
struct UnknownIdentifiers
{
    std::array<std::string, skillSlotCount> skills;
    std::array<std::string, skillSlotCount> masteries;
    std::array<std::string, armySlotCount> creatures;

    bool operator==(const UnknownIdentifiers &) const = default;
};

// Loads the preset file at path into document and fills controls from it:
// attributes, primary mastery, war machines, the five skill slots, the eight
// army slots, the artifact, perk and spell lists and the artifacts'
// untransferable flags, in that order. An empty path loads the document's
// previous file again. A flag is read as every other value: one holding
// anything but a single text or CDATA node is a DocumentError; a missing
// flag list, a missing flag and an empty one read as "0".
//
// Throws at the first error (XmlParseError, DocumentError, ConversionError,
// TooManyItemsError). The controls set before the error keep their new
// values and the later ones keep what they held, so a caller that writes
// every value back shows exactly how far the load came. The document keeps
// the new tree unless parsing failed. A preset with more than five skill
// items or eight army items is refused right after parsing, before any
// control changes.
//
// With a report, the same load reads on past the errors of single elements
// instead: each is recorded as a problem (a preset with too many items as a
// problem of its list, of which only the first five or eight items are
// read), the control being read keeps what it held, and every identifier
// the catalogs lack is recorded as a miss. Only errors that leave nothing to
// read are still thrown (XmlParseError, DocumentError for a blank path).
UnknownIdentifiers loadPreset(PresetDocument &document, const std::string &path,
                              const PresetCatalogs &catalogs, PresetControls &controls,
                              PresetLoadReport *report = nullptr);

// The same reads on a document that is loaded already (say from bytes), as
// loadPreset makes them after parsing; the document gains what a load adds
// (missing containers, empty text nodes).
UnknownIdentifiers readPreset(PresetDocument &document, const PresetCatalogs &catalogs, PresetControls &controls,
                              PresetLoadReport *report = nullptr);

} // namespace voriraz
