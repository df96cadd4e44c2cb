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

void addPlaceholderLine(CollectionView &view, std::string_view placeholderText)
{
    view.appendLine(std::string(placeholderText));
    view.selectLine(view.lineCount() - 1);
}

void deleteSelectedLine(CollectionView &view, const Confirmation &confirm)
{
    const int line = view.selectedLine();
    if (line < 0 || !confirm(view.lineText(line)))
        return;
    view.removeLine(line);
    view.selectLine(-1);
}

std::string deleteQuestion(std::string_view kind, const std::string &line, std::string_view placeholderText)
{
    if (line == placeholderText)
        return "Delete the line with no " + std::string(kind) + " chosen?";
    return "Delete the " + std::string(kind) + " " + line + "?";
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
