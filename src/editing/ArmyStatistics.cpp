#include "editing/ArmyStatistics.h"

#include "presets/Conversions.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace voriraz {

namespace {

constexpr const char *referenceTable = "/data/GameMechanics/RefTables/Creatures.xdb";

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

} // namespace

ArmyStatistics::ArmyStatistics(std::string applicationDir)
    : mApplicationDir(std::move(applicationDir))
{
}

ArmyTotals ArmyStatistics::compute(const ArmySlotStates &slots)
{
    struct Reference
    {
        std::size_t slot;
        std::string location;
    };
    std::vector<Reference> references;

    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (slots[k].index <= 0)
            continue;
        mDocument.LoadDocument(mApplicationDir + referenceTable);
        const Node objects = mDocument.FindOrCreateChild(mDocument.DocumentElement(), "objects");
        const std::size_t entries = mDocument.ChildCount(objects);
        for (std::size_t i = 0; i < entries; ++i) {
            const Node entry = mDocument.ChildAt(objects, i);
            const XmlValue id = mDocument.FindChildValue(entry, "ID");
            if (!id || *id != slots[k].identifier)
                continue;
            const pugi::xml_attribute href = mDocument.FindOrCreateChild(entry, "Obj").attribute("href");
            references.push_back({k, valueToText(href ? XmlValue(href.value()) : std::nullopt)});
        }
    }

    // Products and sums are checked in 64 bits: a total outside the 32-bit
    // range is refused instead of wrapping to a plainly wrong number.
    std::int64_t experience = 0;
    std::int64_t gold = 0;
    std::int64_t power = 0;
    for (const Reference &reference : references) {
        const std::string &count = slots[reference.slot].count;
        mDocument.LoadDocument(mApplicationDir + "/data" + withoutLastCharacters(reference.location, referenceSuffixLength));
        const Node root = mDocument.DocumentElement();
        auto value = [&](Node element) { return textToInteger(valueToText(mDocument.NodeValue(element))); };

        int n = textToInteger(count);
        addChecked(experience, n, value(mDocument.FindOrCreateChild(root, "Exp")), "total experience");
        n = textToInteger(count);
        addChecked(power, n, value(mDocument.FindOrCreateChild(root, "Power")), "total power");
        n = textToInteger(count);
        addChecked(gold, n, value(mDocument.FindOrCreateChild(mDocument.FindOrCreateChild(root, "Cost"), "Gold")), "total gold cost");
    }
    return {static_cast<int>(experience), static_cast<int>(gold), static_cast<int>(power)};
}

ArmySlotStates armySlotStates(const PresetControls &controls, const CatalogList &creatures)
{
    ArmySlotStates slots;
    for (std::size_t k = 0; k < slots.size(); ++k)
        slots[k] = {controls.creatures[k], itemText(creatures, controls.creatures[k]), controls.counts[k]};
    return slots;
}

} // namespace voriraz
