#include "presets/PresetLoading.h"

#include "presets/PresetElements.h"

#include <algorithm>

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

// The node's name as the DOM gives it.
std::string nodeName(Node node)
{
    switch (node.type()) {
    case pugi::node_element:
    case pugi::node_pi:
        return node.name();
    case pugi::node_pcdata:
        return "#text";
    case pugi::node_cdata:
        return "#cdata-section";
    case pugi::node_comment:
        return "#comment";
    default:
        return "#node";
    }
}

std::string childPath(const std::string &list, Node child, std::size_t position)
{
    return list + "/" + nodeName(child) + "[" + std::to_string(position + 1) + "]";
}

// The reads of one load. Without a report, an error ends the load, as in the
// window; with one, it is recorded against the element being read and the
// load reads on. Element paths are only formed when something is recorded.
class Reads
{
public:
    explicit Reads(PresetLoadReport *report) : mReport(report) {}

    bool reporting() const { return mReport != nullptr; }

    template<typename Path, typename Read>
    void operator()(const Path &path, const Read &read)
    {
        if (!mReport) {
            read();
            return;
        }
        try {
            read();
        } catch (const std::exception &e) {
            mReport->problems.push_back({path(), e.what()});
        }
    }

    void refuse(const std::string &path, const TooManyItemsError &error)
    {
        if (!mReport)
            throw error;
        mReport->problems.push_back({path, error.what()});
    }

    // The entry's position in the catalog, recording a miss when there is none.
    template<typename Path>
    int lookUp(const CatalogList &entries, const std::string &text, PresetCatalog catalog, const Path &path)
    {
        const int index = findEntryIgnoringCase(entries, text);
        if (index < 0 && mReport)
            mReport->misses.push_back({path(), text, catalog});
        else if (index >= 0 && mReport && entries[static_cast<std::size_t>(index)] != text)
            mReport->respellings.push_back({path(), text, catalog});
        return index;
    }

    void item(std::vector<std::string> PresetLoadReport::*items, const std::string &path)
    {
        if (mReport)
            (mReport->*items).push_back(path);
    }

private:
    PresetLoadReport *mReport;
};

const std::string skillsPath = std::string(element::editable) + "/" + element::skills;

// Counts child nodes without the creating lookups of the load itself, so a
// refused preset leaves even the document's tree as parsed.
void refuseMoreItemsThanSlots(const PresetDocument &document, Node root, Reads &reads)
{
    const std::size_t skills = document.ChildCount(firstChildElement(firstChildElement(root, element::editable), element::skills));
    if (skills > skillSlotCount) {
        reads.refuse(skillsPath, TooManyItemsError("The preset has " + std::to_string(skills) + " skill items, but the editor has only "
                                                   + std::to_string(skillSlotCount) + " skill slots"));
    }
    const std::size_t army = document.ChildCount(firstChildElement(root, element::armySlots));
    if (army > armySlotCount) {
        reads.refuse(element::armySlots, TooManyItemsError("The preset has " + std::to_string(army) + " army items, but the editor has only "
                                                           + std::to_string(armySlotCount) + " army slots"));
    }
}

// Resetting a picker to its first entry leaves an empty picker without one.
int firstEntryOrNone(const CatalogList &items)
{
    return items.empty() ? -1 : 0;
}

// Empties the list box, then appends the text of each of the list's child
// nodes in order; the list box is left without a selected line.
void readList(PresetDocument &document, Node list, const std::string &listPath, LineList &lines,
              std::vector<std::string> PresetLoadReport::*linePaths, Reads &reads)
{
    lines.lines.clear();
    lines.selected = -1;
    const std::size_t count = document.ChildCount(list);
    for (std::size_t j = 0; j < count; ++j) {
        const Node child = document.ChildAt(list, j);
        auto path = [&] { return childPath(listPath, child, j); };
        reads(path, [&] {
            lines.lines.push_back(valueToText(document.NodeValue(child)));
            if (reads.reporting())
                reads.item(linePaths, path());
        });
    }
}

// One flag per artifact line, by position among the flag list's elements,
// each read as every other value is: an element holding anything but one
// text or CDATA node is the error NodeValue gives, so a flag is never taken
// for another. The flags were never required, so a missing or short list,
// or an empty flag, gives "0".
void readArtifactFlags(PresetDocument &document, Node root, std::size_t lines, std::vector<std::string> &flags,
                       Reads &reads)
{
    flags.assign(lines, "0");
    const Node list = firstChildElement(root, element::isUntransferable);
    std::size_t line = 0;
    std::size_t position = 0;
    for (Node flag = list.first_child(); flag && line < lines; flag = flag.next_sibling(), ++position) {
        if (flag.type() != pugi::node_element)
            continue;
        reads([&] { return childPath(element::isUntransferable, flag, position); }, [&] {
            // An empty flag reads as absent; NodeValue would give it a text node.
            if (flag.first_child()) {
                if (XmlValue value = document.NodeValue(flag))
                    flags[line] = std::move(*value);
            }
        });
        ++line;
    }
}

} // namespace

UnknownIdentifiers loadPreset(PresetDocument &document, const std::string &path,
                              const PresetCatalogs &catalogs, PresetControls &controls,
                              PresetLoadReport *report)
{
    document.LoadDocument(path);
    return readPreset(document, catalogs, controls, report);
}

UnknownIdentifiers readPreset(PresetDocument &document, const PresetCatalogs &catalogs, PresetControls &controls,
                              PresetLoadReport *report)
{
    Reads reads(report);
    UnknownIdentifiers unknown;
    Node root = document.DocumentElement();
    refuseMoreItemsThanSlots(document, root, reads);

    const std::string editablePath = std::string(element::editable) + "/";
    Node editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::attributes.size(); ++i) {
        reads([&] { return editablePath + element::attributes[i]; },
              [&] { controls.attributes[i] = valueToText(document.FindChildValue(editable, element::attributes[i])); });
    }

    Node primary = document.FindOrCreateChild(root, element::primarySkillMastery);
    auto primaryPath = [] { return std::string(element::primarySkillMastery); };
    reads(primaryPath, [&] {
        controls.primaryMastery = reads.lookUp(catalogs.primaryMasteries, valueToText(document.NodeValue(primary)),
                                               PresetCatalog::PrimaryMasteries, primaryPath);
    });

    editable = document.FindOrCreateChild(root, element::editable);
    for (std::size_t i = 0; i < element::warMachines.size(); ++i) {
        reads([&] { return editablePath + element::warMachines[i]; },
              [&] { controls.warMachines[i] = valueToBoolean(document.FindChildValue(editable, element::warMachines[i])); });
    }

    for (int n = 0; n < skillSlotCount; ++n) {
        controls.skills[n] = firstEntryOrNone(catalogs.skills);
        controls.skillMasteries[n] = -1;
    }
    Node skills = document.FindOrCreateChild(editable, element::skills);
    // Only a report lets a load go on with more items than slots.
    const std::size_t skillItems = std::min<std::size_t>(document.ChildCount(skills), skillSlotCount);
    for (std::size_t j = 0; j < skillItems; ++j) {
        Node item = document.ChildAt(skills, j);
        const std::string itemPath = reads.reporting() ? childPath(skillsPath, item, j) : std::string();
        reads.item(&PresetLoadReport::skillItems, itemPath);
        auto skillPath = [&] { return itemPath + "/" + element::skillId; };
        reads(skillPath, [&] {
            const std::string text = valueToText(document.FindChildValue(item, element::skillId));
            controls.skills[j] = reads.lookUp(catalogs.skills, text, PresetCatalog::Skills, skillPath);
            if (controls.skills[j] < 0)
                unknown.skills[j] = text;
        });
        auto masteryPath = [&] { return itemPath + "/" + element::mastery; };
        reads(masteryPath, [&] {
            const std::string text = valueToText(document.FindChildValue(item, element::mastery));
            controls.skillMasteries[j] = reads.lookUp(catalogs.masteries, text, PresetCatalog::Masteries, masteryPath);
            if (controls.skillMasteries[j] < 0)
                unknown.masteries[j] = text;
        });
    }

    for (int n = 0; n < armySlotCount; ++n) {
        controls.creatures[n] = firstEntryOrNone(catalogs.creatures);
        controls.counts[n].clear();
    }
    Node army = document.FindOrCreateChild(root, element::armySlots);
    const std::size_t armyItems = std::min<std::size_t>(document.ChildCount(army), armySlotCount);
    for (std::size_t j = 0; j < armyItems; ++j) {
        Node item = document.ChildAt(army, j);
        const std::string itemPath = reads.reporting() ? childPath(element::armySlots, item, j) : std::string();
        reads.item(&PresetLoadReport::armyItems, itemPath);
        auto creaturePath = [&] { return itemPath + "/" + element::creature; };
        reads(creaturePath, [&] {
            const std::string text = valueToText(document.FindChildValue(item, element::creature));
            controls.creatures[j] = reads.lookUp(catalogs.creatures, text, PresetCatalog::Creatures, creaturePath);
            if (controls.creatures[j] < 0)
                unknown.creatures[j] = text;
        });
        reads([&] { return itemPath + "/" + element::count; },
              [&] { controls.counts[j] = valueToText(document.FindChildValue(item, element::count)); });
    }

    readList(document, document.FindOrCreateChild(root, element::artifactIds), element::artifactIds, controls.artifacts,
             &PresetLoadReport::artifactLines, reads);

    readList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::perkIds),
             editablePath + element::perkIds, controls.perks, &PresetLoadReport::perkLines, reads);

    readList(document, document.FindOrCreateChild(document.FindOrCreateChild(root, element::editable), element::spellIds),
             editablePath + element::spellIds, controls.spells, &PresetLoadReport::spellLines, reads);

    std::vector<std::string> flags;
    readArtifactFlags(document, root, controls.artifacts.lines.size(), flags, reads);
    controls.artifactFlags = std::move(flags);
    return unknown;
}

} // namespace voriraz
