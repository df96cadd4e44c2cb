#pragma once

#include "catalogs/ApplicationDir.h"
#include "presets/Conversions.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace voriraz {

// One army slot as the statistics see it: the picker's selection index, the
// text of its selected item and the text of its count edit.
struct ArmySlotState
{
    int index = -1;
    std::string identifier;
    std::string count;
};

using ArmySlotStates = std::array<ArmySlotState, armySlotCount>;

// The creature reference table, relative to the data folder.
inline constexpr const char *creatureReferenceTable = "/GameMechanics/RefTables/Creatures.xdb";

// A creature reference that would read a file outside the data folder:
// "Creature file "<reference>" lies outside the data folder". The message
// names the reference, never anything of the file it points to.
class OutsideDataFolderError : public std::runtime_error
{
public:
    explicit OutsideDataFolderError(std::string_view reference);
};

// The army's three totals.
struct ArmyTotals
{
    int experience = 0;
    int gold = 0;
    int power = 0;

    bool operator==(const ArmyTotals &) const = default;
};

// Computes the army totals from the game's creature reference table,
// <data folder>/GameMechanics/RefTables/Creatures.xdb, whose
// entries map a creature identifier (exact, case-sensitive) to its
// description file, and from those files' Exp, Power and Cost/Gold values.
//
// Every occupied slot (index above 0) adds count × value for every table
// entry carrying its identifier, in slot order, the count converted before
// each value. Every computation reads the files again, so edits on disk show
// at the next one; the parsed table is kept only while the file's bytes stay
// the same.
class ArmyStatistics
{
public:
    // Reads the data folder of applicationDir, as the window does.
    explicit ArmyStatistics(const std::string &applicationDir);
    explicit ArmyStatistics(DataFolder data);

    // Throws at the first error, and then returns nothing: XmlParseError
    // (table or description file missing or malformed), IntegerFormatError
    // (a count or value that is not an integer), ConversionError (a missing
    // or empty value, or a matching entry without href), DocumentError, or
    // IntegerOverflowError when a product or a total leaves the signed 32-bit
    // range, or OutsideDataFolderError for a reference that does not stay
    // inside the data folder (refused before anything is read for it).
    ArmyTotals compute(const ArmySlotStates &slots);

    // The number of reference table entries whose ID is identifier (exact,
    // case-sensitive) that compute would reach, the table read as compute
    // reads it. Throws XmlParseError when the table is missing or malformed;
    // entries after one whose ID holds elements are never reached and not
    // counted.
    std::size_t referenceCount(const std::string &identifier);

private:
    void refreshTable();
    std::vector<std::string> referencesOf(const std::string &identifier) const;

    std::string mDataDir;
    PresetDocument mDocument {PresetDocument::Formatting::None};
    std::string mTableBytes;
    bool mTableParsed = false;
    // The references of each identifier in document order, absent where an
    // entry's Obj has no href, and the error that stops every scan of the
    // entries, if one does (an ID holding elements).
    std::unordered_map<std::string, std::vector<XmlValue>> mTable;
    std::optional<std::string> mScanFailure;
};

// Slot states from the preset controls and the creature catalog.
ArmySlotStates armySlotStates(const PresetControls &controls, const CatalogList &creatures);

} // namespace voriraz
