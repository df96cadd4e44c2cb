#include "presets/PresetSaving.h"

#include "presets/PresetElements.h"

namespace voriraz {

namespace {

using Node = PresetDocument::Node;

void removeItems(PresetDocument &document, Node list)
{
    const std::size_t count = document.ChildCount(list);
    for (std::size_t i = 0; i < count; ++i)
        document.RemoveChildNamed(list, element::item);
}

void writeList(PresetDocument &document, Node list, const LineList &lines)
{
    removeItems(document, list);
    for (const std::string &line : lines.lines)
        document.SetNodeValue(document.AppendChild(list, element::item), line);
}

} // namespace

void savePreset(PresetDocument &document, const std::string &path, const PresetCatalogs &catalogs,
                const PresetControls &controls, bool lastLoadComplete)
{
    writeControlsToDocument(document, catalogs, controls, lastLoadComplete);
    document.SaveDocument(path);
}

void writeControlsToDocument(PresetDocument &document, const PresetCatalogs &catalogs,
                             const PresetControls &controls, bool lastLoadComplete)
{
    const Node root = document.DocumentElement();
    if (!lastLoadComplete) {
        throw SaveRefusedError("The selected preset was not loaded completely, so the controls do not show it; "
                               "nothing was saved. Select a preset that loads without errors before saving");
    }
    const std::string primaryMastery = itemText(catalogs.primaryMasteries, controls.primaryMastery);
    if (primaryMastery.empty()) {
        throw SaveRefusedError("Choose a primary skill mastery before saving: without one the preset "
                               "could not be loaded again. Nothing was saved");
    }

    document.SetNodeValue(document.FindOrCreateChild(root, element::primarySkillMastery), primaryMastery);

    removeItems(document, document.FindOrCreateChild(root, element::armySlots));
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

    removeItems(document, document.FindOrCreateChild(editable, element::skills));
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

    const Node untransferable = document.FindOrCreateChild(root, element::isUntransferable);
    removeItems(document, untransferable);
    for (std::size_t i = 0; i < controls.artifacts.lines.size(); ++i)
        document.SetNodeValue(document.AppendChild(untransferable, element::item), 0);
}

} // namespace voriraz
