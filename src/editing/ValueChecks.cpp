// The live checks of the edited values: what a save would refuse or lose,
// and the slips a save takes as they are (the same perk twice).

#include "editing/PresetSession.h"

#include "catalogs/CatalogList.h"

namespace voriraz {

namespace {

std::string slotName(const char *kind, int slot)
{
    return std::string(kind) + " slot " + std::to_string(slot + 1);
}

// Each line equal to an earlier line of its list, ignoring letter case.
// Placeholders and empty lines are the save's refusals, not duplicates.
void checkDuplicateLines(std::vector<Problem> &problems, const LineList &lines, const char *list, const char *placeholderText,
                         ValueField field)
{
    for (std::size_t line = 1; line < lines.lines.size(); ++line) {
        const std::string &text = lines.lines[line];
        if (text.empty() || text == placeholderText)
            continue;
        for (std::size_t earlier = 0; earlier < line; ++earlier) {
            if (equalIgnoringCase(lines.lines[earlier], text)) {
                problems.push_back({{field, static_cast<int>(line)},
                                    std::string(list) + ", line " + std::to_string(line + 1) + ": " + text
                                        + " is already on line " + std::to_string(earlier + 1) + ".",
                                    Problem::Kind::Duplicate});
                break;
            }
        }
    }
}

void addRefusals(std::vector<Problem> &problems, std::vector<RefusedValue> &refusals, ValueField field)
{
    for (RefusedValue &refusal : refusals) {
        if (refusal.place.field == field)
            problems.push_back({refusal.place, std::move(refusal.message)});
    }
}

} // namespace

std::vector<Problem> checkValues(const PresetControls &values, const PresetCatalogs &catalogs,
                                 const UnknownIdentifiers &unknown, bool loadComplete)
{
    std::vector<Problem> problems;
    if (!loadComplete)
        problems.push_back({{}, refusal::incompleteLoad});
    std::vector<RefusedValue> refusals = refusedValuePlaces(values);
    const std::vector<DroppedItem> dropped = droppedItems(values, unknown);
    auto addDropped = [&](DroppedItem::Kind kind, ValueField field) {
        for (const DroppedItem &item : dropped) {
            if (item.kind == kind) {
                problems.push_back({{field, item.slot - 1}, "A save " + dropWarning(item) + ".", Problem::Kind::Drop});
            }
        }
    };

    // Attributes & Skills
    addRefusals(problems, refusals, ValueField::Attribute);
    addDropped(DroppedItem::Kind::Skill, ValueField::Skill);
    for (int n = 0; n < skillSlotCount; ++n) {
        const std::string skill = itemText(catalogs.skills, values.skills[n]);
        if (values.skills[n] == 0 && values.skillMasteries[n] >= 0) {
            problems.push_back({{ValueField::SkillMastery, n},
                                slotName("Skill", n) + ": a mastery is chosen but no skill; a save leaves the slot out.",
                                Problem::Kind::LeftOut});
        } else if (values.skills[n] > 0 && values.skillMasteries[n] < 0 && unknown.masteries[n].empty()) {
            problems.push_back({{ValueField::SkillMastery, n},
                                slotName("Skill", n) + ": no mastery is chosen for " + skill + "; a save leaves the slot out.",
                                Problem::Kind::LeftOut});
        }
        if (values.skills[n] <= 0)
            continue;
        for (int earlier = 0; earlier < n; ++earlier) {
            if (values.skills[earlier] > 0 && equalIgnoringCase(itemText(catalogs.skills, values.skills[earlier]), skill)) {
                problems.push_back({{ValueField::Skill, n},
                                    slotName("Skill", n) + ": " + skill + " is already in slot " + std::to_string(earlier + 1) + ".",
                                    Problem::Kind::Duplicate});
                break;
            }
        }
    }
    if (itemText(catalogs.primaryMasteries, values.primaryMastery).empty())
        problems.push_back({{ValueField::PrimaryMastery, 0}, refusal::noPrimaryMastery});
    addRefusals(problems, refusals, ValueField::Perk);
    checkDuplicateLines(problems, values.perks, "Perks", placeholder::perk, ValueField::Perk);

    // Creatures
    addDropped(DroppedItem::Kind::Army, ValueField::Creature);
    for (int n = 0; n < armySlotCount; ++n) {
        if (values.creatures[n] == 0 && !values.counts[n].empty()) {
            problems.push_back({{ValueField::Count, n},
                                slotName("Army", n) + ": a count is given but no creature; a save leaves the slot out.",
                                Problem::Kind::LeftOut});
        }
    }
    addRefusals(problems, refusals, ValueField::Count);

    // Artifacts & Spells
    addRefusals(problems, refusals, ValueField::Artifact);
    checkDuplicateLines(problems, values.artifacts, "Artifacts", placeholder::artifact, ValueField::Artifact);
    addRefusals(problems, refusals, ValueField::Spell);
    checkDuplicateLines(problems, values.spells, "Spells", placeholder::spell, ValueField::Spell);
    return problems;
}

} // namespace voriraz
