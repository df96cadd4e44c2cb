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

// What each save does with what it meets: "a save" is every save, the
// default one included; "a save that keeps the layout" is named where it
// does otherwise.
const char *const keptByLayout = ", a save that keeps the layout keeps it";

std::string missMessage(const PresetLoadReport::Miss &miss)
{
    // The window asks before such a drop, and resave needs --drop-unknown.
    const std::string drops = " (asked first; resave needs --drop-unknown)";
    switch (miss.catalog) {
    case PresetCatalog::PrimaryMasteries:
        return "primary mastery " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::primaryMastery)
               + "; the window refuses to save the preset";
    case PresetCatalog::Skills:
        return "skill " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::skills.catalogFile)
               + "; a save drops this skill item" + drops + keptByLayout;
    case PresetCatalog::Masteries:
        return "mastery " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::mastery)
               + "; a save drops this skill item" + drops + keptByLayout;
    case PresetCatalog::Creatures:
        return "creature " + quoted(miss.text) + " is not in " + fileOf(catalogKinds::creatures.catalogFile)
               + "; a save drops this army item" + drops + keptByLayout;
    }
    return {};
}

std::string respellingMessage(const PresetLoadReport::Miss &respelt, const PresetCatalogs &catalogs)
{
    struct Kind
    {
        const char *what;
        const char *file;
        const CatalogList &entries;
    };
    const Kind kind = [&]() -> Kind {
        switch (respelt.catalog) {
        case PresetCatalog::PrimaryMasteries:
            return {"primary mastery", catalogKinds::primaryMastery, catalogs.primaryMasteries};
        case PresetCatalog::Skills:
            return {"skill", catalogKinds::skills.catalogFile, catalogs.skills};
        case PresetCatalog::Masteries:
            return {"mastery", catalogKinds::mastery, catalogs.masteries};
        case PresetCatalog::Creatures:
            break;
        }
        return {"creature", catalogKinds::creatures.catalogFile, catalogs.creatures};
    }();
    const std::string entry = itemText(kind.entries, findEntryIgnoringCase(kind.entries, respelt.text));
    return std::string(kind.what) + " " + quoted(respelt.text) + " is " + quoted(entry) + " in " + fileOf(kind.file)
           + "; a save writes " + quoted(entry) + ", a save that keeps the layout keeps " + quoted(respelt.text);
}

// List lines are written back as they stand, so an entry the catalog lacks
// is not lost, nor is its spelling changed; but the game may not know it.
void checkList(const LineList &lines, const std::vector<std::string> &elements, const CatalogList &catalog,
               const char *what, const IconCatalogKind &kind, std::vector<Finding> &findings)
{
    for (std::size_t i = 0; i < lines.lines.size() && i < elements.size(); ++i) {
        const int entry = findEntryIgnoringCase(catalog, lines.lines[i]);
        if (entry < 0) {
            findings.push_back({elements[i], std::string(what) + " " + quoted(lines.lines[i]) + " is not in "
                                                 + fileOf(kind.catalogFile) + "; a save keeps it as written"});
        } else if (catalog[static_cast<std::size_t>(entry)] != lines.lines[i]) {
            findings.push_back({elements[i], std::string(what) + " " + quoted(lines.lines[i]) + " is "
                                                 + quoted(catalog[static_cast<std::size_t>(entry)]) + " in "
                                                 + fileOf(kind.catalogFile) + "; a save keeps it as written"});
        }
    }
}

using Node = PresetDocument::Node;

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

std::string nodePath(const std::string &parent, Node node, std::size_t position)
{
    return parent + "/" + nodeName(node) + "[" + std::to_string(position + 1) + "]";
}

std::string kindOfNode(Node node)
{
    switch (node.type()) {
    case pugi::node_element:
        return "an element";
    case pugi::node_comment:
        return "a comment";
    case pugi::node_pi:
        return "a processing instruction";
    default:
        return "text";
    }
}

// The attributes a save leaves behind with an element it writes anew.
void checkAttributes(Node element, const std::string &path, std::vector<Finding> &findings)
{
    std::string names;
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute; attribute = attribute.next_attribute())
        names += (names.empty() ? "" : ", ") + std::string(attribute.name());
    if (!names.empty())
        findings.push_back({path, "a save drops the attributes of this element (" + names
                                      + "), a save that keeps the layout keeps them"});
}

Node firstChildElement(Node parent, const char *name)
{
    for (Node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && std::string_view(child.name()) == name)
            return child;
    }
    return Node();
}

// A skill or army item that a save writes anew from its two values: every
// other node of it, a second value of the same name included, is dropped.
void checkSlotItem(Node item, const std::string &path, const char *first, const char *second, const char *kind,
                   std::vector<Finding> &findings)
{
    checkAttributes(item, path, findings);
    std::size_t position = 0;
    bool firstSeen = false;
    bool secondSeen = false;
    for (Node child = item.first_child(); child; child = child.next_sibling(), ++position) {
        const bool isFirst = child.type() == pugi::node_element && std::string_view(child.name()) == first;
        const bool isSecond = child.type() == pugi::node_element && std::string_view(child.name()) == second;
        bool &seen = isFirst ? firstSeen : secondSeen;
        if ((isFirst || isSecond) && !seen) {
            seen = true;
            checkAttributes(child, path + "/" + child.name(), findings);
            continue;
        }
        const std::string at = nodePath(path, child, position);
        if (isFirst || isSecond) {
            const Node read = firstChildElement(item, child.name());
            findings.push_back({at, "a second " + std::string(child.name()) + " " + quoted(child.text().get())
                                        + "; the editor reads the first, " + quoted(read.text().get())
                                        + ", a save drops this one" + keptByLayout});
        } else {
            findings.push_back({at, "a save drops this node of the " + std::string(kind) + keptByLayout});
        }
    }
}

// The children of a line list (perks, spells, artifacts): each is a line,
// whatever its kind; a save writes every line as an Item.
void checkListNodes(Node list, const std::string &path, const char *what, std::vector<Finding> &findings)
{
    std::size_t position = 0;
    for (Node child = list.first_child(); child; child = child.next_sibling(), ++position) {
        const std::string at = nodePath(path, child, position);
        if (child.type() == pugi::node_element && std::string_view(child.name()) == element::item) {
            checkAttributes(child, at, findings);
            continue;
        }
        findings.push_back({at, kindOfNode(child) + " read as " + what + " line; a save writes it as an Item" + keptByLayout});
    }
}

// The untransferable flags: an element per artifact line, whatever its name.
void checkFlags(Node root, std::size_t lines, std::vector<Finding> &findings)
{
    const Node list = firstChildElement(root, element::isUntransferable);
    std::size_t position = 0;
    std::size_t line = 0;
    for (Node child = list.first_child(); child; child = child.next_sibling(), ++position) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string at = nodePath(element::isUntransferable, child, position);
        if (line++ >= lines) {
            findings.push_back({at, "a flag " + quoted(child.text().get()) + " without an artifact line; a save drops it"
                                        + keptByLayout});
            continue;
        }
        if (std::string_view(child.name()) != element::item)
            findings.push_back({at, "an element read as the flag of artifact line " + std::to_string(line)
                                        + "; a save writes it as an Item" + keptByLayout});
        checkAttributes(child, at, findings);
    }
}

bool contains(const std::vector<std::string> &texts, const std::string &text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// What a save writes anew and so would not keep: empty slots, the other
// nodes of skill and army items, list children that are no Item, flags
// without an artifact line, attributes of the items written anew.
void checkStructure(const PresetDocument &document, const PresetControls &controls, const PresetLoadReport &report,
                    std::vector<Finding> &findings)
{
    const Node root = document.DocumentElement();
    const Node editable = firstChildElement(root, element::editable);
    const Node skills = firstChildElement(editable, element::skills);
    std::size_t j = 0;
    for (Node item = skills.first_child(); item && j < report.skillItems.size(); item = item.next_sibling(), ++j) {
        if (controls.skills[j] == 0) {
            findings.push_back({report.skillItems[j], "an empty skill slot; a save leaves it out and the skill items "
                                                      "after it move up" + std::string(keptByLayout)});
        } else if (controls.skills[j] > 0 && controls.skillMasteries[j] >= 0) {
            checkSlotItem(item, report.skillItems[j], element::mastery, element::skillId, "skill item", findings);
        }
    }
    j = 0;
    const Node army = firstChildElement(root, element::armySlots);
    for (Node item = army.first_child(); item && j < report.armyItems.size(); item = item.next_sibling(), ++j) {
        if (controls.creatures[j] == 0) {
            findings.push_back({report.armyItems[j], "an empty army slot; a save leaves it out and the stacks after "
                                                     "it move up" + std::string(keptByLayout)});
        } else if (controls.creatures[j] > 0 && !controls.counts[j].empty()) {
            checkSlotItem(item, report.armyItems[j], element::creature, element::count, "army item", findings);
        }
    }
    const std::string editablePath = std::string(element::editable) + "/";
    checkListNodes(firstChildElement(root, element::artifactIds), element::artifactIds, "an artifact", findings);
    checkListNodes(firstChildElement(editable, element::perkIds), editablePath + element::perkIds, "a perk", findings);
    checkListNodes(firstChildElement(editable, element::spellIds), editablePath + element::spellIds, "a spell", findings);
    checkFlags(root, controls.artifacts.lines.size(), findings);
}

} // namespace

PresetCheck::PresetCheck(const DataTree &tree)
    : mTree(tree)
    , mStatistics(tree.folder())
{
}

std::vector<std::string> PresetCheck::dataWarnings()
{
    std::vector<std::string> warnings;
    for (const std::string &problem : mTree.catalogs().iconProblems)
        warnings.push_back("placeholder icon: " + shownErrorOnOneLine(problem));
    try {
        for (const std::string &duplicate : mStatistics.referenceTableWarnings())
            warnings.push_back(duplicate);
    } catch (const std::exception &) {
        // A table that cannot be read is a finding of every preset whose
        // army needs it.
    }
    return warnings;
}

namespace {

// The element a live check of the window is about: the item or line it
// comes from, or its list when the file has none there.
std::string elementOf(const ValuePlace &place, const PresetLoadReport &report)
{
    auto at = [&](const std::vector<std::string> &items, const std::string &list) {
        const auto index = static_cast<std::size_t>(place.index);
        return index < items.size() ? items[index] : list;
    };
    switch (place.field) {
    case ValueField::Skill:
    case ValueField::SkillMastery:
        return at(report.skillItems, std::string(element::editable) + "/" + element::skills);
    case ValueField::Creature:
    case ValueField::Count:
        return at(report.armyItems, element::armySlots);
    case ValueField::Artifact:
        return at(report.artifactLines, element::artifactIds);
    case ValueField::Perk:
        return at(report.perkLines, std::string(element::editable) + "/" + element::perkIds);
    case ValueField::Spell:
        return at(report.spellLines, std::string(element::editable) + "/" + element::spellIds);
    default:
        return std::string();
    }
}

// The window's live checks that the findings above do not already tell in
// their own words: lines equal to an earlier line of their list, and
// half-filled slots that no finding names. Refusals and dropped items are
// found above.
void addLiveFindings(const std::vector<Problem> &problems, const PresetLoadReport &report, std::vector<Finding> &findings)
{
    for (const Problem &problem : problems) {
        if (problem.kind != Problem::Kind::Duplicate && problem.kind != Problem::Kind::LeftOut)
            continue;
        const std::string element = elementOf(problem.place, report);
        const bool told = problem.kind == Problem::Kind::LeftOut
            && std::any_of(findings.begin(), findings.end(), [&](const Finding &finding) { return finding.element == element; });
        if (!told)
            findings.push_back({element, problem.message});
    }
}

} // namespace

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
    for (const PresetLoadReport::Miss &respelt : report.respellings)
        findings.push_back({respelt.element, respellingMessage(respelt, catalogs)});
    checkList(controls.artifacts, report.artifactLines, mTree.catalogs().artifacts, "artifact", catalogKinds::artifacts, findings);
    checkList(controls.perks, report.perkLines, mTree.catalogs().perks, "perk", catalogKinds::perks, findings);
    checkList(controls.spells, report.spellLines, mTree.catalogs().spells, "spell", catalogKinds::spells, findings);
    if (session.loadComplete()) {
        checkStructure(session.document(), controls, report, findings);
        addLiveFindings(session.problems(), report, findings);
    }

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

    // The saves themselves, into memory, after a load the window would
    // finish: the default one, then the one that keeps the layout where it
    // fares otherwise.
    if (session.loadComplete()) {
        std::string refused;
        try {
            session.bytesToSave(controls);
        } catch (const SaveRefusedError &e) {
            refused = e.what();
            // One finding for each value the save refuses.
            std::string_view reasons = refused;
            while (!primaryMissing && !reasons.empty()) {
                const std::size_t end = std::min(reasons.find('\n'), reasons.size());
                findings.push_back({std::string(), "save refused: " + shownErrorOnOneLine(reasons.substr(0, end))});
                reasons.remove_prefix(std::min(end + 1, reasons.size()));
            }
        } catch (const std::exception &e) {
            refused = e.what();
            findings.push_back({std::string(), "save: " + shownErrorOnOneLine(e)});
        }
        // The tree now holds the default save's values; the layout-keeping
        // save works on the file's text and the values loaded.
        PresetSession kept(catalogs);
        kept.setKeepLayout(true);
        PresetControls keptControls;
        try {
            kept.load(preset.path, keptControls);
            kept.bytesToSave(keptControls);
        } catch (const std::exception &e) {
            if (e.what() != refused)
                findings.push_back({std::string(), "save that keeps the layout: " + shownErrorOnOneLine(e)});
        }
    }
    return findings;
}

} // namespace voriraz::cli
