#include "editing/ArmyStatistics.h"

#include "catalogs/ErrorText.h"

#include <cstdint>
#include <limits>

namespace voriraz {

namespace {

// The length, in characters, of the location suffix every reference ends
// with ("#xpointer(/Creature)").
constexpr std::size_t referenceSuffixLength = 20;

using Node = PresetDocument::Node;

// text without its last `count` characters (code points).
std::string withoutLastCharacters(const std::string &text, std::size_t count)
{
    std::size_t end = text.size();
    while (count > 0 && end > 0) {
        --end;
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80)
            --count;
    }
    return count > 0 ? std::string() : text.substr(0, end);
}

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

void ArmyStatistics::refreshTable()
{
    std::string bytes = PresetDocument::ReadDocumentFile(mDataDir + creatureReferenceTable);
    if (mTableParsed && bytes == mTableBytes)
        return;

    mTableParsed = false;
    mTable.clear();
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
        const pugi::xml_attribute href = mDocument.FindOrCreateChild(entry, "Obj").attribute("href");
        mTable[*id].push_back(href ? XmlValue(href.value()) : std::nullopt);
    }
    mTableBytes = std::move(bytes);
    mTableParsed = true;
}

std::vector<std::string> ArmyStatistics::referencesOf(const std::string &identifier) const
{
    std::vector<std::string> locations;
    const auto found = mTable.find(identifier);
    if (found != mTable.end()) {
        for (const XmlValue &location : found->second)
            locations.push_back(valueToText(location));
    }
    // Entries indexed lie before any failure, so the scan reaches them first.
    if (mScanFailure)
        throw DocumentError(*mScanFailure);
    return locations;
}

ArmyTotals ArmyStatistics::compute(const ArmySlotStates &slots)
{
    struct SlotReference
    {
        std::size_t slot;
        std::string location;
    };
    std::vector<SlotReference> references;

    bool tableRead = false;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (slots[k].index <= 0)
            continue;
        if (!tableRead) {
            refreshTable();
            tableRead = true;
        }
        for (std::string &location : referencesOf(slots[k].identifier))
            references.push_back({k, std::move(location)});
    }

    // Products and sums are checked in 64 bits: a total outside the 32-bit
    // range is refused instead of wrapping to a plainly wrong number.
    std::int64_t experience = 0;
    std::int64_t gold = 0;
    std::int64_t power = 0;
    for (const SlotReference &reference : references) {
        const std::string &count = slots[reference.slot].count;
        const std::string file = withoutLastCharacters(reference.location, referenceSuffixLength);
        if (!staysInsideDataFolder(file))
            throw OutsideDataFolderError(reference.location);
        mDocument.LoadDocument(mDataDir + file);
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
    return {static_cast<int>(experience), static_cast<int>(gold), static_cast<int>(power)};
}

std::size_t ArmyStatistics::referenceCount(const std::string &identifier)
{
    refreshTable();
    const auto found = mTable.find(identifier);
    return found == mTable.end() ? 0 : found->second.size();
}

ArmySlotStates armySlotStates(const PresetControls &controls, const CatalogList &creatures)
{
    ArmySlotStates slots;
    for (std::size_t k = 0; k < slots.size(); ++k)
        slots[k] = {controls.creatures[k], itemText(creatures, controls.creatures[k]), controls.counts[k]};
    return slots;
}

} // namespace voriraz
