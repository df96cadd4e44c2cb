#pragma once

#include "presets/PresetControls.h"

#include <string>
#include <string_view>

namespace voriraz {

// The controls of one collection group (artifacts, spells or perks): a list
// whose lines are the collection, and a picker holding the collection's
// catalog. Implementations change controls without running any handler.
class CollectionView
{
public:
    virtual ~CollectionView() = default;

    virtual int lineCount() const = 0;
    virtual std::string lineText(int line) const = 0;
    // The selected line, or -1.
    virtual int selectedLine() const = 0;
    virtual void selectLine(int line) = 0; // -1 selects none
    virtual void appendLine(const std::string &text) = 0;
    virtual void removeLine(int line) = 0;
    virtual void setLineText(int line, const std::string &text) = 0;

    virtual int pickerCount() const = 0;
    virtual std::string pickerText(int item) const = 0;
    // The picker's selected item, or -1.
    virtual int pickerSelection() const = 0;
    virtual void selectPickerItem(int item) = 0; // -1 selects none
};

// The list was clicked: the picker shows the catalog entry equal to the
// selected line, ignoring case (the first such entry), or nothing when the
// line is no catalog entry (a placeholder, say). Does nothing when no line
// is selected.
void showSelectedLine(CollectionView &view);

// Add: appends the entry the picker shows, or the placeholder when it shows
// none, and selects the new line; the picker keeps its choice.
void addLine(CollectionView &view, std::string_view placeholderText);

// Delete: removes the selected line and leaves none selected (Undo takes it
// back, so nothing is asked). Without a selection it does nothing.
void deleteSelectedLine(CollectionView &view);

// The picker changed: the selected line takes the picked entry's text and
// stays selected. Without a selected line the pick changes no line.
void writePickedEntry(CollectionView &view);

} // namespace voriraz
