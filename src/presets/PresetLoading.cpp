#include "presets/PresetLoading.h"

#include "presets/PresetElements.h"

namespace voriraz {

namespace {

using Node = PresetDocument::Node;

Node firstChildElement(Node parent, const char *name)
{
    for (Node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && std::string_view(child.name()) == name)
            return child;
    }
    return Node();
}

// Counts child nodes without the creating lookups of the load itself, so a
// refused preset leaves even the document's tree as parsed.
void refuseMoreItemsThanSlots(const PresetDocument &document, Node root)
{
    const std::size_t skills = document.ChildCount(firstChildElement(firstChildElement(root, element::editable), element::skills));
    if (skills > skillSlotCount) {
        throw TooManyItemsError("The preset has " + std::to_string(skills) + " skill items, but the editor has only "
                                + std::to_string(skillSlotCount) + " skill slots");
    }
    const std::size_t army = document.ChildCount(firstChildElement(root, element::armySlots));
    if (army > armySlotCount) {
        throw TooManyItemsError("The preset has " + std::to_string(army) + " army items, but the editor has only "
                                + std::to_string(armySlotCount) + " army slots");
    }
}

// Resetting a picker to its first entry leaves an empty picker without one.
int firstEntryOrNone(const CatalogList &items)
{
    return items.empty() ? -1 : 0;
}

// Empties the list box, then appends the text of each of the list's child
// nodes in order; the list box is left without a selected line.
void readList(PresetDocument &document, Node list, LineList &lines)
{
    lines.lines.clear();
    lines.selected = -1;
    const std::size_t count = document.ChildCount(list);
    for (std::size_t j = 0; j < count; ++j)
        lines.lines.push_back(valueToText(document.NodeValue(document.ChildAt(list, j))));
}

} // namespace

void loadPreset(PresetDocument &document, const std::string &path,
                const PresetCatalogs &catalogs, PresetControls &controls)
{
    document.LoadDocument(path);
    Node root = document.DocumentElement();
    refuseMoreItemsThanSlots(document, root);

    Node editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::attributes.size(); ++i)
        controls.attributes[i] = valueToText(document.FindChildValue(editable, element::attributes[i]));

    Node primary = document.FindOrCreateChild(root, element::primarySkillMastery);
    controls.primaryMastery = findEntryIgnoringCase(catalogs.primaryMasteries, valueToText(document.NodeValue(primary)));

    editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::warMachines.size(); ++i)
        controls.warMachines[i] = valueToBoolean(document.FindChildValue(editable, element::warMachines[i]));

    for (int n = 0; n < skillSlotCount; ++n) {
        controls.skills[n] = firstEntryOrNone(catalogs.skills);
        controls.skillMasteries[n] = -1;
    }
    Node skills = document.FindOrCreateChild(editable, element::skills);
    const std::size_t skillItems = document.ChildCount(skills);
    for (std::size_t j = 0; j < skillItems; ++j) {
        Node item = document.ChildAt(skills, j);
        controls.skills[j] = findEntryIgnoringCase(catalogs.skills, valueToText(document.FindChildValue(item, element::skillId)));
        controls.skillMasteries[j] = findEntryIgnoringCase(catalogs.masteries, valueToText(document.FindChildValue(item, element::mastery)));
    }

    for (int n = 0; n < armySlotCount; ++n) {
        controls.creatures[n] = firstEntryOrNone(catalogs.creatures);
        controls.counts[n].clear();
    }
    Node army = document.FindOrCreateChild(root, element::armySlots);
    const std::size_t armyItems = document.ChildCount(army);
    for (std::size_t j = 0; j < armyItems; ++j) {
        Node item = document.ChildAt(army, j);
        controls.creatures[j] = findEntryIgnoringCase(catalogs.creatures, valueToText(document.FindChildValue(item, element::creature)));
        controls.counts[j] = valueToText(document.FindChildValue(item, element::count));
    }

    readList(document, document.FindOrCreateChild(root, element::artifactIds), controls.artifacts);

    readList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::perkIds), controls.perks);

    readList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::spellIds), controls.spells);
}

} // namespace voriraz
