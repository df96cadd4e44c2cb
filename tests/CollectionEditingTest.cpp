#include "editing/CollectionEditing.h"

#include <gtest/gtest.h>

using namespace voriraz;

namespace {

// A list and a picker in memory.
class FakeView : public CollectionView
{
public:
    int lineCount() const override { return static_cast<int>(lines.size()); }
    std::string lineText(int line) const override { return lines.at(static_cast<std::size_t>(line)); }
    int selectedLine() const override { return selected; }
    void selectLine(int line) override { selected = line; }
    void appendLine(const std::string &text) override { lines.push_back(text); }
    void removeLine(int line) override { lines.erase(lines.begin() + line); }
    void setLineText(int line, const std::string &text) override { lines.at(static_cast<std::size_t>(line)) = text; }
    int pickerCount() const override { return static_cast<int>(items.size()); }
    std::string pickerText(int item) const override { return items.at(static_cast<std::size_t>(item)); }
    int pickerSelection() const override { return picked; }
    void selectPickerItem(int item) override { picked = item; }

    std::vector<std::string> lines;
    int selected = -1;
    std::vector<std::string> items {"ART_A", "ART_B", "Art_Ce"};
    int picked = -1;
};

TEST(CollectionEditing, AddAppendsThePickersChoiceOrThePlaceholderAndSelectsIt)
{
    FakeView view;
    view.lines = {"ART_A"};
    view.picked = 2;
    addLine(view, placeholder::artifact);
    EXPECT_EQ(view.selected, 1);
    view.picked = -1;
    addLine(view, placeholder::artifact);
    addLine(view, placeholder::artifact);
    EXPECT_EQ(view.lines, (std::vector<std::string> {"ART_A", "Art_Ce", placeholder::artifact, placeholder::artifact}));
    EXPECT_EQ(view.selected, 3);
    EXPECT_EQ(view.picked, -1);
}

TEST(CollectionEditing, PlaceholdersHaveTheirExactLengths)
{
    EXPECT_EQ(std::string(placeholder::artifact).size(), 30u);
    EXPECT_EQ(std::string(placeholder::spell).size(), 27u);
    EXPECT_EQ(std::string(placeholder::perk).size(), 26u);
    EXPECT_EQ(std::string(placeholder::spell), "------- select spell ------");
}

TEST(CollectionEditing, DeleteRemovesOnlyASelectedLineWithoutAsking)
{
    FakeView view;
    view.lines = {"ART_A", "ART_B", "ART_C"};
    view.picked = 0;
    deleteSelectedLine(view);
    EXPECT_EQ(view.lines.size(), 3u);

    view.selected = 1;
    deleteSelectedLine(view);
    EXPECT_EQ(view.lines, (std::vector<std::string> {"ART_A", "ART_C"}));
    EXPECT_EQ(view.selected, -1);
    EXPECT_EQ(view.picked, 0);
}

TEST(CollectionEditing, PickWritesOnlyIntoTheSelectedLine)
{
    FakeView view;
    view.lines = {"ART_A", placeholder::artifact};
    view.picked = 1;
    writePickedEntry(view);
    EXPECT_EQ(view.lines, (std::vector<std::string> {"ART_A", placeholder::artifact}));

    view.selected = 1;
    writePickedEntry(view);
    view.selected = 0;
    writePickedEntry(view);
    EXPECT_EQ(view.lines, (std::vector<std::string> {"ART_B", "ART_B"}));
    EXPECT_EQ(view.selected, 0);
}

TEST(CollectionEditing, ShowingALineSelectsItsEntryIgnoringCaseOrNothing)
{
    FakeView view;
    view.lines = {"art_ce", placeholder::artifact, "ART_B", "ART_Z"};
    view.picked = 0;
    view.selected = 0;
    showSelectedLine(view);
    EXPECT_EQ(view.picked, 2);
    EXPECT_EQ(view.lines[0], "art_ce") << "the line keeps its own text";
    view.selected = 1;
    showSelectedLine(view);
    EXPECT_EQ(view.picked, -1);
    view.selected = 2;
    showSelectedLine(view);
    EXPECT_EQ(view.picked, 1);
    view.selected = 3;
    showSelectedLine(view);
    EXPECT_EQ(view.picked, -1);
}

} // namespace
