#pragma once

#include "catalogs/CatalogList.h"

#include <array>
#include <string>
#include <vector>

namespace voriraz {

inline constexpr int skillSlotCount = 5;
inline constexpr int armySlotCount = 8;

// The text of a line that Add appended and no pick has replaced yet.
namespace placeholder {
inline constexpr const char *artifact = "------- select artifact ------";
inline constexpr const char *spell = "------- select spell ------";
inline constexpr const char *perk = "------- select perk ------";
} // namespace placeholder

// The lines of a list box and its selected line (-1 for none).
struct LineList
{
    std::vector<std::string> lines;
    int selected = -1;

    bool operator==(const LineList &) const = default;
};

// The values of the window's preset controls, copied out of the controls
// before a load or save and written back after a load. Selections are item
// indexes into the controls' catalogs, -1 meaning no selection.
struct PresetControls
{
    std::array<std::string, 4> attributes;            // Edit1..Edit4: offence, defence, spellpower, knowledge
    int primaryMastery = -1;                          // ComboBox1
    std::array<bool, 3> warMachines {};               // CheckBox1..3: ballista, first-aid tent, ammunition cart
    std::array<int, skillSlotCount> skills {-1, -1, -1, -1, -1};          // ComboBoxEx11..15
    std::array<int, skillSlotCount> skillMasteries {-1, -1, -1, -1, -1};  // ComboBox2..6
    std::array<int, armySlotCount> creatures {-1, -1, -1, -1, -1, -1, -1, -1}; // ComboBoxEx1..8
    std::array<std::string, armySlotCount> counts;    // Edit_Count_0..7
    LineList artifacts;                               // ListBox1
    LineList spells;                                  // ListBox2
    LineList perks;                                   // ListBox3
    // The untransferable flag of each artifact line, as the preset spells
    // it ("0", "1"); a line the user added has "0". Lines beyond the flags
    // read from a preset also take "0".
    std::vector<std::string> artifactFlags;

    bool operator==(const PresetControls &) const = default;
};

// The flag of artifact line `line`: its own, or "0" when it has none.
std::string artifactFlag(const PresetControls &controls, std::size_t line);

// Whether two sets of values would save the same preset: everything but the
// lines selected in the lists, with the artifact flags compared line by
// line as artifactFlag() gives them.
bool sameValues(const PresetControls &a, const PresetControls &b);

// Where a value sits among the preset controls: a field and the position in
// it (attribute 0..3, war machine 0..2, skill or army slot from 0, list line
// from 0; 0 for the primary mastery). None stands for the preset as a whole.
enum class ValueField { None, Attribute, PrimaryMastery, WarMachine, Skill, SkillMastery, Creature, Count, Artifact, Spell, Perk };

struct ValuePlace
{
    ValueField field = ValueField::None;
    int index = 0;

    bool operator==(const ValuePlace &) const = default;
};

// The item lists of the controls a preset selects in: every creature picker
// holds the creature catalog, every skill picker the skill catalog, every
// skill mastery list the mastery catalog.
struct PresetCatalogs
{
    CatalogList creatures;
    CatalogList skills;
    CatalogList masteries;
    CatalogList primaryMasteries;
};

// The text of the item at index, or the empty text when index is not an item.
inline std::string itemText(const CatalogList &items, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < items.size() ? items[static_cast<std::size_t>(index)] : std::string();
}

} // namespace voriraz
