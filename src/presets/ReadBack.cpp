#include "presets/ReadBack.h"

#include "presets/PresetElements.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

namespace voriraz {

namespace {

int firstEntryOrNone(const CatalogList &items)
{
    return items.empty() ? -1 : 0;
}

std::string lineDifference(const char *list, const LineList &a, const LineList &b)
{
    const std::size_t common = std::min(a.lines.size(), b.lines.size());
    for (std::size_t line = 0; line < common; ++line) {
        if (a.lines[line] != b.lines[line])
            return std::string(list) + ", line " + std::to_string(line + 1);
    }
    if (a.lines.size() != b.lines.size())
        return std::string(list) + ", line " + std::to_string(common + 1);
    return std::string();
}

} // namespace

PresetControls valuesReadBack(const PresetControls &saved, const SlotItems &items, const PresetCatalogs &catalogs)
{
    PresetControls values = saved;
    for (int n = 0; n < skillSlotCount; ++n) {
        values.skills[n] = firstEntryOrNone(catalogs.skills);
        values.skillMasteries[n] = -1;
    }
    for (int n = 0; n < armySlotCount; ++n) {
        values.creatures[n] = firstEntryOrNone(catalogs.creatures);
        values.counts[n].clear();
    }
    for (int n = 0; n < skillSlotCount; ++n) {
        const int at = items.skills[n];
        if (at >= 0 && at < skillSlotCount) {
            values.skills[at] = saved.skills[n];
            values.skillMasteries[at] = saved.skillMasteries[n];
        }
    }
    for (int n = 0; n < armySlotCount; ++n) {
        const int at = items.army[n];
        if (at >= 0 && at < armySlotCount) {
            values.creatures[at] = saved.creatures[n];
            values.counts[at] = saved.counts[n];
        }
    }
    return values;
}

std::string firstDifference(const PresetControls &a, const PresetControls &b)
{
    for (std::size_t i = 0; i < a.attributes.size(); ++i) {
        if (a.attributes[i] != b.attributes[i])
            return element::attributes[i];
    }
    if (a.primaryMastery != b.primaryMastery)
        return "Primary skill mastery";
    for (std::size_t i = 0; i < a.warMachines.size(); ++i) {
        if (a.warMachines[i] != b.warMachines[i])
            return element::warMachines[i];
    }
    for (int n = 0; n < skillSlotCount; ++n) {
        if (a.skills[n] != b.skills[n] || a.skillMasteries[n] != b.skillMasteries[n])
            return "Skill slot " + std::to_string(n + 1);
    }
    for (int n = 0; n < armySlotCount; ++n) {
        if (a.creatures[n] != b.creatures[n] || a.counts[n] != b.counts[n])
            return "Army slot " + std::to_string(n + 1);
    }
    for (const auto &[list, lines] : {std::pair {"Perks", &PresetControls::perks}, std::pair {"Spells", &PresetControls::spells},
                                      std::pair {"Artifacts", &PresetControls::artifacts}}) {
        if (std::string difference = lineDifference(list, a.*lines, b.*lines); !difference.empty())
            return difference;
    }
    for (std::size_t line = 0; line < a.artifacts.lines.size(); ++line) {
        if (artifactFlag(a, line) != artifactFlag(b, line))
            return "Artifacts, line " + std::to_string(line + 1) + ", untransferable flag";
    }
    return std::string();
}

void checkReadBack(std::string_view bytes, const PresetCatalogs &catalogs, const PresetControls &saved,
                   const SlotItems &items)
{
    PresetDocument document(PresetDocument::Formatting::None);
    PresetControls readBack;
    try {
        document.LoadFromBytes(bytes);
        readPreset(document, catalogs, readBack);
    } catch (const std::exception &e) {
        throw SaveRefusedError(std::string("The file to be written would not load again (") + e.what()
                               + "); nothing was saved");
    }
    const std::string difference = firstDifference(readBack, valuesReadBack(saved, items, catalogs));
    if (!difference.empty())
        throw SaveRefusedError("The file to be written would not read back as saved (" + difference + "); nothing was saved");
}

} // namespace voriraz
