#include "cli/PresetCheck.h"

#include "editing/PresetSession.h"
#include "presets/Conversions.h"
#include "presets/PresetElements.h"

#include <algorithm>

namespace voriraz::cli {

namespace {

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// A catalog's file name, as the data folder holds it.
std::string fileOf(const char *catalogFile)
{
    return std::string(catalogFile + 1);
}

std::string missMessage(const PresetLoadReport::Miss &miss)
{
    switch (miss.catalog) {
    case PresetCatalog::PrimaryMasteries:
        return "primary mastery " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::primaryMastery)
               + "; the window refuses to save the preset";
    case PresetCatalog::Skills:
        return "skill " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::skills.catalogFile)
               + "; a save drops this skill item";
    case PresetCatalog::Masteries:
        return "mastery " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::mastery)
               + "; a save drops this skill item";
    case PresetCatalog::Creatures:
        return "creature " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::creatures.catalogFile)
               + "; a save drops this army item";
    }
    return {};
}

// List lines are written back as they stand, so an entry the catalog lacks
// is not lost; but the game will not know it either.
void checkList(const LineList &lines, const std::vector<std::string> &elements, const CatalogList &catalog,
               const char *what, const IconCatalogKind &kind, std::vector<Finding> &findings)
{
    for (std::size_t i = 0; i < lines.lines.size() && i < elements.size(); ++i) {
        if (findEntryIgnoringCase(catalog, lines.lines[i]) < 0) {
            findings.push_back({elements[i], std::string(what) + " " + quoted(lines.lines[i]) + " is not in "
                                                 + fileOf(kind.catalogFile) + "; a save keeps it as written"});
        }
    }
}

bool contains(const std::vector<std::string> &texts, const std::string &text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

} // namespace

PresetCheck::PresetCheck(const DataTree &tree)
    : mTree(tree)
    , mStatistics(tree.folder())
{
}

std::vector<Finding> PresetCheck::check(const PresetFile &preset)
{
    std::vector<Finding> findings;
    const PresetCatalogs &catalogs = mTree.presetCatalogs();
    PresetSession session(catalogs);
    PresetControls controls;
    PresetLoadReport report;
    try {
        session.load(preset.path, controls, &report);
    } catch (const std::exception &e) {
        findings.push_back({std::string(), shownErrorOnOneLine(e)});
        return findings;
    }

    for (const PresetLoadReport::Problem &problem : report.problems)
        findings.push_back({problem.element, shownErrorOnOneLine(problem.message)});
    bool primaryMissing = false;
    for (const PresetLoadReport::Miss &miss : report.misses) {
        findings.push_back({miss.element, missMessage(miss)});
        primaryMissing = primaryMissing || miss.catalog == PresetCatalog::PrimaryMasteries;
    }
    checkList(controls.artifacts, report.artifactLines, mTree.catalogs().artifacts, "artifact", catalogKinds::artifacts, findings);
    checkList(controls.perks, report.perkLines, mTree.catalogs().perks, "perk", catalogKinds::perks, findings);
    checkList(controls.spells, report.spellLines, mTree.catalogs().spells, "spell", catalogKinds::spells, findings);

    // Counts: an empty one is a count that did not load (a problem above).
    std::vector<std::string> countErrors(armySlotCount);
    for (std::size_t j = 0; j < report.armyItems.size(); ++j) {
        if (controls.counts[j].empty())
            continue;
        try {
            textToInteger(controls.counts[j]);
        } catch (const std::exception &e) {
            countErrors[j] = shownErrorOnOneLine(e);
            findings.push_back({report.armyItems[j] + "/" + element::count, countErrors[j]});
        }
    }

    // The army totals as the window computes them, then slot by slot to tell
    // which item an error comes from. A slot whose count did not load is
    // left out; after a load without problems there is none.
    ArmySlotStates army = armySlotStates(controls, catalogs.creatures);
    std::vector<std::size_t> occupied;
    for (std::size_t j = 0; j < army.size(); ++j) {
        if (army[j].count.empty())
            army[j].index = -1;
        if (army[j].index > 0)
            occupied.push_back(j);
    }
    bool tableRead = true;
    for (std::size_t j : occupied) {
        try {
            if (mStatistics.referenceCount(army[j].identifier) == 0) {
                findings.push_back({report.armyItems[j] + "/" + element::creature,
                                    "creature " + quoted(army[j].identifier) + " has no entry in "
                                        + fileOf(creatureReferenceTable) + "; the army totals count nothing for it"});
            }
        } catch (const std::exception &e) {
            findings.push_back({element::armySlots, "army totals: " + shownErrorOnOneLine(e)});
            tableRead = false;
            break;
        }
    }
    if (tableRead && !occupied.empty()) {
        std::vector<std::string> slotErrors;
        for (std::size_t j : occupied) {
            ArmySlotStates single {};
            single[j] = army[j];
            try {
                mStatistics.compute(single);
            } catch (const std::exception &e) {
                const std::string message = shownErrorOnOneLine(e);
                slotErrors.push_back(message);
                if (message != countErrors[j]) {
                    findings.push_back({report.armyItems[j], "army totals for creature " + quoted(army[j].identifier)
                                                                 + ": " + message});
                }
            }
        }
        try {
            mStatistics.compute(army);
        } catch (const std::exception &e) {
            const std::string message = shownErrorOnOneLine(e);
            if (!contains(slotErrors, message))
                findings.push_back({element::armySlots, "army totals: " + message});
        }
    }

    // The save itself, into memory, after a load the window would finish.
    if (session.loadComplete()) {
        try {
            session.bytesToSave(controls);
        } catch (const SaveRefusedError &e) {
            // One finding for each value the save refuses.
            std::string_view reasons = e.what();
            while (!primaryMissing && !reasons.empty()) {
                const std::size_t end = std::min(reasons.find('\n'), reasons.size());
                findings.push_back({std::string(), "save refused: " + shownErrorOnOneLine(reasons.substr(0, end))});
                reasons.remove_prefix(std::min(end + 1, reasons.size()));
            }
        } catch (const std::exception &e) {
            findings.push_back({std::string(), "save: " + shownErrorOnOneLine(e)});
        }
    }
    return findings;
}

} // namespace voriraz::cli
