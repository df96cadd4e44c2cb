#include "editing/ArmyStatistics.h"

#include "catalogs/CatalogFill.h"
#include "catalogs/ErrorText.h"
#include "catalogs/FileErrors.h"
#include "presets/XmlParseError.h"

#include <cstdint>
#include <limits>

namespace voriraz {

namespace {

using Node = PresetDocument::Node;

bool outOfRange(std::int64_t value)
{
    return value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max();
}

void addChecked(std::int64_t &total, int count, int value, const char *what)
{
    const std::int64_t product = static_cast<std::int64_t>(count) * value;
    total += product;
    if (outOfRange(product) || outOfRange(total)) {
        throw IntegerOverflowError(std::string("The army's ") + what
                                   + " leaves the range of 32-bit integers (-2147483648 to 2147483647)");
    }
}

// How much of a refused reference its message shows.
constexpr std::size_t shownReferenceCharacters = 120;

} // namespace

OutsideDataFolderError::OutsideDataFolderError(std::string_view reference)
    : std::runtime_error("Creature file \"" + shortenedForMessage(reference, shownReferenceCharacters)
                         + "\" lies outside the data folder")
{
}

ArmyStatistics::ArmyStatistics(const std::string &applicationDir)
    : ArmyStatistics(dataFolderOf(applicationDir))
{
}

ArmyStatistics::ArmyStatistics(DataFolder data)
    : mDataDir(std::move(data.path))
{
}

std::string referencedFile(std::string_view href)
{
    return std::string(href.substr(0, href.find('#')));
}

std::string duplicateWarning(const std::string &identifier, std::size_t firstLine, std::size_t line)
{
    return std::string(creatureReferenceTable + 1) + ": ID \"" + identifier + "\" on line " + std::to_string(line)
        + " repeats line " + std::to_string(firstLine) + "; the totals use line " + std::to_string(firstLine);
}

void ArmyStatistics::refreshTable()
{
    std::string bytes;
    try {
        bytes = readDataFile(mDataDir, creatureReferenceTable);
    } catch (const FileOpenError &e) {
        throw XmlParseError(std::string(e.what()) + ".", 0, std::string());
    }
    if (mTableParsed && bytes == mTableBytes)
        return;

    mTableParsed = false;
    mTable.clear();
    mIdOrder.clear();
    mScanFailure.reset();
    mDocument.LoadFromBytes(bytes);

    // Index every entry a scan would reach. Reading an entry's ID can fail
    // (an ID holding elements); a scan for any identifier stops there, so the
    // failure is remembered with its position and nothing after it is read.
    const Node objects = mDocument.FindOrCreateChild(mDocument.DocumentElement(), "objects");
    for (Node entry = objects.first_child(); entry; entry = entry.next_sibling()) {
        XmlValue id;
        try {
            id = mDocument.FindChildValue(entry, "ID");
        } catch (const DocumentError &e) {
            mScanFailure = e.what();
            break;
        }
        if (!id)
            continue;
        const std::size_t line = mDocument.SourceLine(entry.child("ID"));
        const pugi::xml_attribute href = mDocument.FindOrCreateChild(entry, "Obj").attribute("href");
        std::vector<Reference> &references = mTable[*id];
        if (references.empty())
            mIdOrder.push_back(*id);
        references.push_back({href ? XmlValue(href.value()) : std::nullopt, line});
    }
    mTableBytes = std::move(bytes);
    mTableParsed = true;
}

const std::vector<ArmyStatistics::Reference> *ArmyStatistics::referencesOf(const std::string &identifier) const
{
    const auto found = mTable.find(identifier);
    return found == mTable.end() ? nullptr : &found->second;
}

ArmyTotals ArmyStatistics::compute(const ArmySlotStates &slots, std::vector<std::string> *warnings)
{
    struct SlotReference
    {
        std::size_t slot;
        std::string location;
    };
    std::vector<SlotReference> references;
    std::vector<std::string> notes;
    auto leftOut = [&](std::size_t slot, const std::string &why) {
        notes.push_back("Army slot " + std::to_string(slot + 1) + ": creature \"" + slots[slot].identifier + "\" " + why
                        + "; the totals leave this stack out");
    };

    bool tableRead = false;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (slots[k].index < 0 && !slots[k].identifier.empty())
            leftOut(k, "is not in " + std::string(catalogKinds::creatures.catalogFile + 1));
        if (slots[k].index <= 0)
            continue;
        if (!tableRead) {
            refreshTable();
            tableRead = true;
        }
        const std::vector<Reference> *found = referencesOf(slots[k].identifier);
        if (found) {
            // The first entry counts; a reference it lacks is the null
            // conversion, found before any broken entry after it.
            references.push_back({k, valueToText(found->front().location)});
            for (std::size_t again = 1; again < found->size(); ++again)
                notes.push_back(duplicateWarning(slots[k].identifier, found->front().line, (*found)[again].line));
        }
        // Entries indexed lie before any failure, so the scan reaches them
        // first; every scan goes on to the failure.
        if (mScanFailure)
            throw DocumentError(*mScanFailure);
        if (!found)
            leftOut(k, std::string("has no entry in ") + (creatureReferenceTable + 1));
    }

    // Products and sums are checked in 64 bits: a total outside the 32-bit
    // range is refused instead of wrapping to a plainly wrong number.
    std::int64_t experience = 0;
    std::int64_t gold = 0;
    std::int64_t power = 0;
    for (const SlotReference &reference : references) {
        const std::string &count = slots[reference.slot].count;
        const std::string file = referencedFile(reference.location);
        if (!staysInsideDataFolder(file))
            throw OutsideDataFolderError(reference.location);
        try {
            mDocument.LoadFromBytes(readDataFile(mDataDir, file));
        } catch (const OutsideDataFolderFileError &) {
            throw OutsideDataFolderError(reference.location);
        } catch (const FileOpenError &e) {
            throw XmlParseError(std::string(e.what()) + ".", 0, std::string());
        }
        const Node root = mDocument.DocumentElement();
        auto value = [&](Node element) { return textToInteger(valueToText(mDocument.NodeValue(element))); };

        int n = textToInteger(count);
        addChecked(experience, n, value(mDocument.FindOrCreateChild(root, "Exp")), "total experience");
        n = textToInteger(count);
        addChecked(power, n, value(mDocument.FindOrCreateChild(root, "Power")), "total power");
        n = textToInteger(count);
        addChecked(gold, n, value(mDocument.FindOrCreateChild(mDocument.FindOrCreateChild(root, "Cost"), "Gold")),
                   "total gold cost");
    }
    if (warnings)
        *warnings = std::move(notes);
    return {static_cast<int>(experience), static_cast<int>(gold), static_cast<int>(power)};
}

std::size_t ArmyStatistics::referenceCount(const std::string &identifier)
{
    refreshTable();
    const std::vector<Reference> *found = referencesOf(identifier);
    return found ? found->size() : 0;
}

std::vector<std::string> ArmyStatistics::referenceTableWarnings()
{
    refreshTable();
    std::vector<std::string> warnings;
    for (const std::string &id : mIdOrder) {
        const std::vector<Reference> &found = mTable.at(id);
        for (std::size_t again = 1; again < found.size(); ++again)
            warnings.push_back(duplicateWarning(id, found.front().line, found[again].line));
    }
    return warnings;
}

ArmySlotStates armySlotStates(const PresetControls &controls, const CatalogList &creatures,
                              const UnknownIdentifiers *unknown)
{
    ArmySlotStates slots;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        slots[k] = {controls.creatures[k], itemText(creatures, controls.creatures[k]), controls.counts[k]};
        if (controls.creatures[k] < 0 && unknown)
            slots[k].identifier = unknown->creatures[k];
    }
    return slots;
}

} // namespace voriraz
