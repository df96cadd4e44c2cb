#include "editing/CollectionEditing.h"

#include "catalogs/CatalogList.h"

namespace voriraz {

void showSelectedLine(CollectionView &view)
{
    const int line = view.selectedLine();
    if (line < 0)
        return;
    const std::string text = view.lineText(line);
    int match = -1;
    for (int i = 0; i < view.pickerCount() && match < 0; ++i) {
        if (equalIgnoringCase(view.pickerText(i), text))
            match = i;
    }
    view.selectPickerItem(match);
}

void addLine(CollectionView &view, std::string_view placeholderText)
{
    const int picked = view.pickerSelection();
    view.appendLine(picked >= 0 ? view.pickerText(picked) : std::string(placeholderText));
    view.selectLine(view.lineCount() - 1);
}

void deleteSelectedLine(CollectionView &view)
{
    const int line = view.selectedLine();
    if (line < 0)
        return;
    view.removeLine(line);
    view.selectLine(-1);
}

void writePickedEntry(CollectionView &view)
{
    const int line = view.selectedLine();
    const int picked = view.pickerSelection();
    if (line < 0 || picked < 0)
        return;
    view.setLineText(line, view.pickerText(picked));
    view.selectLine(line);
}

} // namespace voriraz
