#pragma once

#include <QComboBox>
#include <QFrame>
#include <QListWidget>
#include <QToolButton>

namespace voriraz {

// The space around a picker's icon, in its drop-down rows and its closed box.
inline constexpr int iconRowMargin = 1;

// A picker of catalog entries, each shown with its 32 × 32 icon. The closed
// box is narrow and shows little more than the icon; the drop-down opens
// wide enough to read the identifiers. activated() reports the user's picks;
// selections set by the program report nothing.
class IconComboBox : public QComboBox
{
    Q_OBJECT

public:
    IconComboBox(QWidget *parent, int visibleRows);

    // Widens the drop-down list to the longest item (call after a fill).
    void fitPopupToItems();

    // Typing while the list is open filters it to the entries that contain
    // the typed text, ignoring case; Backspace takes a character back,
    // Escape clears the filter (and closes the list when there is none).
    // Closing the list clears it too.
    const QString &filter() const { return mFilter; }
    void setFilter(const QString &filter);

    void showPopup() override;
    void hidePopup() override;

signals:
    // The filter changed; shown counts the entries it lets through.
    void filterChanged(const QString &filter, int shown);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The tooltip (a problem's message, when one is set) and the identifier of the current entry, read when it is
    // asked for: the closed box shows only the icon, and many icons look
    // alike. Selections set by the program report nothing, so the tooltip
    // cannot be kept up to date from signals.
    bool event(QEvent *event) override;

private:
    QString mFilter;
};

// A list box whose userClicked() reports what the user does to it: moving the
// selection with the mouse or the keys, or clicking the selected line again.
// Changes made by the program report nothing.
class ListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit ListBox(QWidget *parent);

    // The selected line, or -1.
    int selectedLine() const;
    // Selects a line (-1: none) without reporting it.
    void selectLine(int line);
    // Replaces every line, leaving none selected, without reporting it.
    void setLines(const std::vector<std::string> &lines);
    std::vector<std::string> lines() const;

signals:
    void userClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The list of preset files: the "*.xdb" files of one directory.
class FileListBox : public ListBox
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget *parent);

    // Lists the directory's preset files, sorted. Throws DirectoryListError
    // when the directory cannot be listed; the list then stays as it was.
    void setDirectory(const std::string &directory);
    const std::string &directory() const { return mDirectory; }

    // The selected file's full path, or the empty text.
    std::string selectedFilePath() const;
    // The line of the file at path, or -1 when the list does not show it.
    int lineOf(const std::string &path) const;

private:
    std::string mDirectory;
};

// A flat button with a 16 × 16 glyph above its caption.
class SpeedButton : public QToolButton
{
    Q_OBJECT

public:
    SpeedButton(QWidget *parent, const QString &caption, const QString &glyph);
};

} // namespace voriraz
