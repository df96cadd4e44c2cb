#pragma once

// The army statistics from arbitrary bytes. The input is the count of the
// first two army slots up to the first line feed, then the creature
// reference table, then a line "@@@@" and one creature description file:
//
//     12\n<table bytes>\n@@@@\n<creature bytes>
//
// The table and the creature file are written into a data tree; slot 1
// shows CRT_A and slot 2 CRT_B, so a table that maps them to
// /GameMechanics/Creature/Creatures/Fuzz.xdb reaches the creature file.

#include "FuzzCheck.h"
#include "ScratchTree.h"

#include "editing/ArmyStatistics.h"

#include <string>
#include <string_view>

namespace voriraz::fuzz {

inline constexpr std::string_view armyInputSeparator = "\n@@@@\n";

class ArmyStatisticsTarget
{
public:
    void run(std::string_view bytes)
    {
        std::string_view count = bytes;
        std::string_view table;
        std::string_view creature;
        if (const std::size_t line = bytes.find('\n'); line != std::string_view::npos) {
            count = bytes.substr(0, line);
            table = bytes.substr(line + 1);
            if (const std::size_t cut = table.find(armyInputSeparator); cut != std::string_view::npos) {
                creature = table.substr(cut + armyInputSeparator.size());
                table = table.substr(0, cut);
            }
        }
        mTree.write("data/GameMechanics/RefTables/Creatures.xdb", table);
        mTree.write("data/GameMechanics/Creature/Creatures/Fuzz.xdb", creature);

        ArmySlotStates slots;
        slots[0] = {1, "CRT_A", std::string(count)};
        slots[1] = {2, "CRT_B", std::string(count)};
        ArmyStatistics statistics(mTree.path());
        try {
            statistics.compute(slots);
        } catch (const std::runtime_error &e) {
            check(*e.what() != '\0', "a computation failed without a message");
            return;
        }
        // The same files give the same totals the second time, whether the
        // table was kept or read again.
        const ArmyTotals first = statistics.compute(slots);
        check(ArmyStatistics(mTree.path()).compute(slots) == first, "a kept table gives other totals");
    }

private:
    ScratchTree mTree;
};

} // namespace voriraz::fuzz
