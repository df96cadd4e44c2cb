#pragma once

#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <array>
#include <string>

namespace voriraz {

// Which child node of the file's skill and army lists holds each slot of
// the window, -1 for a slot without an item. After a load, item n holds
// slot n; a save may leave slots without items between others.
struct SlotItems
{
    std::array<int, skillSlotCount> skills {-1, -1, -1, -1, -1};
    std::array<int, armySlotCount> army {-1, -1, -1, -1, -1, -1, -1, -1};

    bool operator==(const SlotItems &) const = default;
};

// The slots of a freshly loaded document: item n holds slot n.
SlotItems slotItemsOf(const PresetDocument &document);
// The slots of the file a tree save of controls writes: the written slots
// in order.
SlotItems writtenSlotItems(const PresetControls &controls);

struct LayoutKeepingSave
{
    std::string text;   // the new text, in UTF-8
    SlotItems items;    // where the slots are in it
};

// A save that keeps the file's own layout: the values that differ between
// `file` (what the document's source text holds) and `saved` are written
// into that text where they stand, and nothing else changes. Whitespace,
// comments, entity references, quoting and the spelling of every value left
// alone stay byte for byte, so saving unchanged values gives the file back
// exactly. Items added to a list take the line break and indentation of
// their siblings (or of their parent plus the file's indentation unit);
// items removed take the whitespace before them along.
//
// A skill or army slot keeps its item, whatever it holds, while its values
// are unchanged; a changed slot has the values of its item replaced, loses
// the item when a save would not write it, or gets one when it had none. The
// other lists are matched item by item (a longest common subsequence of
// their values): a changed item keeps its place and has its text replaced.
// A value equal in meaning is left as spelled: "TRUE" stays while the war
// machine stays ticked, an identifier's letter case while the same catalog
// entry is chosen. Lists the file lacks are added only when they get items.
//
// `file` must be the values the source text holds, slot by slot as `items`
// places them, and `saved` values that writeControlsToDocument accepts.
LayoutKeepingSave layoutKeepingText(const PresetDocument &document, const PresetCatalogs &catalogs,
                                    const PresetControls &file, const PresetControls &saved, const SlotItems &items);

} // namespace voriraz
