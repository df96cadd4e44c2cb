#pragma once

#include "catalogs/ApplicationDir.h"
#include "presets/Conversions.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"
#include "presets/PresetLoading.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace voriraz {

// One army slot as the statistics see it: the picker's selection index, the
// text of its selected item and the text of its count edit. A slot without
// a selection whose preset item names a creature the catalog lacks carries
// that name instead, so the totals can say which stack they leave out.
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
// Every occupied slot (index above 0) adds count × value for the first table
// entry carrying its identifier, in slot order, the count converted before
// each value; a later entry with the same ID is a warning, never counted
// twice. An entry's file is its Obj href up to the first "#" (what follows,
// such as "#xpointer(/Creature)", points into the file and is not read),
// relative to the data folder. Every computation reads the files again, so
// edits on disk show at the next one; the parsed table is kept only while
// the file's bytes stay the same. The table and the creature files are
// read only where they lie inside the data folder, links followed.
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
    // inside the data folder, by its letters or through a link (refused
    // before anything is read for it).
    //
    // With warnings, the totals say what they leave out, one line each:
    //   Army slot 2: creature "CRT_X" is not in creatures.txt; the totals leave this stack out
    //   Army slot 3: creature "CRT_Y" has no entry in GameMechanics/RefTables/Creatures.xdb; the totals leave this stack out
    // and which table entries they pass over (duplicateWarning).
    ArmyTotals compute(const ArmySlotStates &slots, std::vector<std::string> *warnings = nullptr);

    // The number of reference table entries whose ID is identifier (exact,
    // case-sensitive), the table read as compute reads it; compute counts
    // only the first. Throws XmlParseError when the table is missing or
    // malformed; entries after one whose ID holds elements are never reached
    // and not counted.
    std::size_t referenceCount(const std::string &identifier);

    // One warning for every ID the table carries more than once, in table
    // order (see duplicateWarning). Throws as referenceCount does.
    std::vector<std::string> referenceTableWarnings();

private:
    struct Reference
    {
        XmlValue location; // absent where the entry's Obj has no href
        std::size_t line;  // the line of the entry's ID in the table
    };

    void refreshTable();
    const std::vector<Reference> *referencesOf(const std::string &identifier) const;

    std::string mDataDir;
    PresetDocument mDocument {PresetDocument::Formatting::None};
    std::string mTableBytes;
    bool mTableParsed = false;
    // The entries of each identifier in document order, and the error that
    // stops every scan of the entries, if one does (an ID holding elements).
    std::unordered_map<std::string, std::vector<Reference>> mTable;
    std::vector<std::string> mIdOrder;
    std::optional<std::string> mScanFailure;
};

// "GameMechanics/RefTables/Creatures.xdb: ID "CRT_X" on line 40 repeats line
// 12; the totals use line 12".
std::string duplicateWarning(const std::string &identifier, std::size_t firstLine, std::size_t line);

// The file an Obj href names, relative to the data folder: the href up to
// its first "#".
std::string referencedFile(std::string_view href);

// Slot states from the preset controls and the creature catalog; with the
// identifiers a load found in no catalog, a slot without a selection carries
// its preset's identifier.
ArmySlotStates armySlotStates(const PresetControls &controls, const CatalogList &creatures,
                              const UnknownIdentifiers *unknown = nullptr);

} // namespace voriraz
