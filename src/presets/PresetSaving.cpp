#include "presets/PresetSaving.h"

#include "presets/PresetElements.h"

#include <cstdint>

namespace voriraz {

namespace {

using Node = PresetDocument::Node;

// Every child node of a list is a line to the load, whatever its kind (a
// comment, an element of another name): all of them go, or a save would
// write such a line twice, once as it stood and once as an item.
void writeList(PresetDocument &document, Node list, const LineList &lines)
{
    document.RemoveChildren(list);
    for (const std::string &line : lines.lines)
        document.SetNodeValue(document.AppendChild(list, element::item), line);
}

// Whether text is a decimal whole number from min to max: an optional minus
// sign (only where min is negative) and digits, nothing else.
bool isWholeNumber(const std::string &text, std::int64_t min, std::int64_t max)
{
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-' && min < 0;
    if (negative)
        ++at;
    if (at == text.size())
        return false;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9')
            return false;
        value = value * 10 + (text[at] - '0');
        if (value > max + 1) // leading zeros aside, far out of range already
            return false;
    }
    if (negative)
        value = -value;
    return value >= min && value <= max;
}

std::string notWholeNumber(const std::string &field, const std::string &text, std::int64_t min, std::int64_t max)
{
    return field + ": \"" + text + "\" is not a whole number from " + std::to_string(min) + " to " + std::to_string(max) + ".";
}

void refusePlaceholders(std::vector<RefusedValue> &refusals, const char *list, const char *kind, const LineList &lines,
                        const char *placeholderText, ValueField field)
{
    // An empty line (a pick of an empty catalog entry) would not load again.
    for (std::size_t line = 0; line < lines.lines.size(); ++line) {
        if (lines.lines[line] == placeholderText || lines.lines[line].empty()) {
            refusals.push_back({{field, static_cast<int>(line)},
                                std::string(list) + ", line " + std::to_string(line + 1) + ": no " + kind
                                    + " has been chosen for this line; pick one or delete the line."});
        }
    }
}

Node firstChildElement(Node parent, const char *name)
{
    for (Node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && std::string_view(child.name()) == name)
            return child;
    }
    return Node();
}

// Every value the save writes goes into an element's single text; one
// that holds anything else is refused before the tree changes at all.
void refuseValueElementsWithChildren(Node root)
{
    auto check = [](Node element) {
        const Node first = element.first_child();
        if (!first)
            return;
        if ((first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata) || first.next_sibling())
            throw DocumentError("Element does not contain a single text node");
    };
    check(firstChildElement(root, element::primarySkillMastery));
    const Node editable = firstChildElement(root, element::editable);
    for (const char *name : element::warMachines)
        check(firstChildElement(editable, name));
    for (const char *name : element::attributes)
        check(firstChildElement(editable, name));
}

std::string counted(std::size_t count, const char *what)
{
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

} // namespace

std::vector<RefusedValue> refusedValuePlaces(const PresetControls &controls)
{
    constexpr std::int64_t intMin = INT32_MIN;
    constexpr std::int64_t intMax = INT32_MAX;
    std::vector<RefusedValue> refusals;
    for (std::size_t i = 0; i < element::attributes.size(); ++i) {
        if (!isWholeNumber(controls.attributes[i], intMin, intMax))
            refusals.push_back({{ValueField::Attribute, static_cast<int>(i)},
                                notWholeNumber(element::attributes[i], controls.attributes[i], intMin, intMax)});
    }
    refusePlaceholders(refusals, "Perks", "perk", controls.perks, placeholder::perk, ValueField::Perk);
    for (int n = 0; n < armySlotCount; ++n) {
        if (controls.creatures[n] > 0 && !isWholeNumber(controls.counts[n], 0, intMax))
            refusals.push_back({{ValueField::Count, n}, notWholeNumber("Army slot " + std::to_string(n + 1), controls.counts[n], 0, intMax)});
    }
    refusePlaceholders(refusals, "Artifacts", "artifact", controls.artifacts, placeholder::artifact, ValueField::Artifact);
    refusePlaceholders(refusals, "Spells", "spell", controls.spells, placeholder::spell, ValueField::Spell);
    return refusals;
}

std::vector<std::string> refusedValues(const PresetControls &controls)
{
    std::vector<std::string> texts;
    for (RefusedValue &refusal : refusedValuePlaces(controls))
        texts.push_back(std::move(refusal.message));
    return texts;
}

void savePreset(PresetDocument &document, const std::string &path, const PresetCatalogs &catalogs,
                const PresetControls &controls, bool lastLoadComplete)
{
    writeControlsToDocument(document, catalogs, controls, lastLoadComplete);
    document.SaveDocument(path);
}

void refuseUnsavable(const PresetDocument &document, const PresetCatalogs &catalogs,
                     const PresetControls &controls, bool lastLoadComplete)
{
    const Node root = document.DocumentElement();
    if (!lastLoadComplete) {
        throw SaveRefusedError(refusal::incompleteLoad);
    }
    if (itemText(catalogs.primaryMasteries, controls.primaryMastery).empty()) {
        throw SaveRefusedError(refusal::noPrimaryMastery);
    }
    if (const std::vector<std::string> refusals = refusedValues(controls); !refusals.empty()) {
        std::string message;
        for (const std::string &refusal : refusals)
            message += (message.empty() ? "" : "\n") + refusal;
        throw SaveRefusedError(message);
    }
    refuseValueElementsWithChildren(root);
}

void writeControlsToDocument(PresetDocument &document, const PresetCatalogs &catalogs,
                             const PresetControls &controls, bool lastLoadComplete)
{
    refuseUnsavable(document, catalogs, controls, lastLoadComplete);
    const Node root = document.DocumentElement();
    const std::string primaryMastery = itemText(catalogs.primaryMasteries, controls.primaryMastery);

    document.SetNodeValue(document.FindOrCreateChild(root, element::primarySkillMastery), primaryMastery);

    // The load reads a slot from each child of the list, whatever its name;
    // one that stayed would come back as a stack of its own.
    document.RemoveChildren(document.FindOrCreateChild(root, element::armySlots), true);
    for (int n = 0; n < armySlotCount; ++n) {
        const Node army = document.FindOrCreateChild(root, element::armySlots);
        if (controls.creatures[n] > 0 && !controls.counts[n].empty()) {
            const Node item = document.AppendChild(army, element::item);
            document.SetNodeValue(document.AppendChild(item, element::creature), itemText(catalogs.creatures, controls.creatures[n]));
            document.SetNodeValue(document.AppendChild(item, element::count), controls.counts[n]);
        }
    }

    Node editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::warMachines.size(); ++i)
        document.SetChildValue(editable, element::warMachines[i], controls.warMachines[i]);

    editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::attributes.size(); ++i)
        document.SetChildValue(editable, element::attributes[i], std::string_view(controls.attributes[i]));

    document.RemoveChildren(document.FindOrCreateChild(editable, element::skills), true);
    for (int n = 0; n < skillSlotCount; ++n) {
        const Node skills = document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::skills);
        if (controls.skills[n] > 0 && controls.skillMasteries[n] >= 0) {
            const Node item = document.AppendChild(skills, element::item);
            document.SetNodeValue(document.AppendChild(item, element::mastery), itemText(catalogs.masteries, controls.skillMasteries[n]));
            document.SetNodeValue(document.AppendChild(item, element::skillId), itemText(catalogs.skills, controls.skills[n]));
        }
    }

    writeList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::perkIds), controls.perks);
    writeList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::spellIds), controls.spells);
    writeList(document, document.FindOrCreateChild(root, element::artifactIds), controls.artifacts);

    // Each element of the flag list is the flag of a line, whatever its name.
    const Node untransferable = document.FindOrCreateChild(root, element::isUntransferable);
    document.RemoveChildren(untransferable, true);
    for (std::size_t line = 0; line < controls.artifacts.lines.size(); ++line)
        document.SetNodeValue(document.AppendChild(untransferable, element::item), artifactFlag(controls, line));
}

std::vector<DroppedItem> droppedItems(const PresetControls &controls, const UnknownIdentifiers &unknown)
{
    std::vector<DroppedItem> items;
    for (int n = 0; n < skillSlotCount; ++n) {
        if (controls.skills[n] < 0 && !unknown.skills[n].empty())
            items.push_back({DroppedItem::Kind::Skill, n + 1, unknown.skills[n]});
        else if (controls.skills[n] > 0 && controls.skillMasteries[n] < 0 && !unknown.masteries[n].empty())
            items.push_back({DroppedItem::Kind::Skill, n + 1, unknown.masteries[n]});
    }
    for (int n = 0; n < armySlotCount; ++n) {
        if (controls.creatures[n] < 0 && !unknown.creatures[n].empty())
            items.push_back({DroppedItem::Kind::Army, n + 1, unknown.creatures[n]});
    }
    return items;
}

std::string dropQuestion(const std::vector<DroppedItem> &items)
{
    std::size_t skills = 0;
    for (const DroppedItem &item : items)
        skills += item.kind == DroppedItem::Kind::Skill;
    const std::size_t army = items.size() - skills;
    std::string text = "Saving drops ";
    if (skills > 0)
        text += counted(skills, "skill item");
    if (skills > 0 && army > 0)
        text += " and ";
    if (army > 0)
        text += counted(army, "army stack");
    text += " that the catalogs do not know: ";
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i ? ", " : "") + items[i].identifier + " (slot " + std::to_string(items[i].slot) + ")";
    return text + ". Save anyway?";
}

std::string dropWarning(const DroppedItem &item)
{
    return std::string("drops ") + (item.kind == DroppedItem::Kind::Skill ? "skill item " : "army stack ") + item.identifier
        + " (slot " + std::to_string(item.slot) + "), which the catalogs do not know";
}

} // namespace voriraz
