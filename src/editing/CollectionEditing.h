#pragma once

#include "presets/PresetControls.h"

#include <functional>
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

// Asks the user whether to delete the line with the given text; true unless
// the answer is No.
using Confirmation = std::function<bool(const std::string &line)>;

// The Delete confirmation's question for a line of a collection of `kind`
// ("artifact", "spell", "perk"): "Delete the artifact ART_X?", or for a
// line still holding the placeholder, "Delete the line with no artifact
// chosen?".
std::string deleteQuestion(std::string_view kind, const std::string &line, std::string_view placeholderText);

// The list was clicked: the picker shows the catalog entry equal to the
// selected line, ignoring case (the first such entry), or nothing when the
// line is no catalog entry (a placeholder, say). Does nothing when no line
// is selected.
void showSelectedLine(CollectionView &view);

// Add: appends the placeholder and selects it; the picker keeps its choice.
void addPlaceholderLine(CollectionView &view, std::string_view placeholderText);

// Delete: with a line selected, asks first and, unless the answer is No,
// removes the line and leaves none selected. Without a selection it does
// nothing and asks nothing.
void deleteSelectedLine(CollectionView &view, const Confirmation &confirm);

// The picker changed: the selected line takes the picked entry's text and
// stays selected. Without a selected line the pick changes no line.
void writePickedEntry(CollectionView &view);

} // namespace voriraz
