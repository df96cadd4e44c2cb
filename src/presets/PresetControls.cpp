#include "presets/PresetControls.h"

namespace voriraz {

std::string artifactFlag(const PresetControls &controls, std::size_t line)
{
    if (line < controls.artifactFlags.size() && !controls.artifactFlags[line].empty())
        return controls.artifactFlags[line];
    return "0";
}

bool sameValues(const PresetControls &a, const PresetControls &b)
{
    if (a.attributes != b.attributes || a.primaryMastery != b.primaryMastery || a.warMachines != b.warMachines
        || a.skills != b.skills || a.skillMasteries != b.skillMasteries || a.creatures != b.creatures
        || a.counts != b.counts || a.artifacts.lines != b.artifacts.lines || a.spells.lines != b.spells.lines
        || a.perks.lines != b.perks.lines)
        return false;
    for (std::size_t line = 0; line < a.artifacts.lines.size(); ++line) {
        if (artifactFlag(a, line) != artifactFlag(b, line))
            return false;
    }
    return true;
}

} // namespace voriraz
