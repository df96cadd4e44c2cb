#include "app/Controls.h"

#include "presets/PresetDirectory.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolTip>

namespace voriraz {

IconComboBox::IconComboBox(QWidget *parent, int visibleRows)
    : QComboBox(parent)
{
    setEditable(false);
    setIconSize(QSize(32, 32));
    setMaxVisibleItems(visibleRows);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Some styles open a drop-down list as a menu as tall as the screen;
    // this keeps it a list of the given number of rows.
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

void IconComboBox::fitPopupToItems()
{
    int widest = 0;
    const QFontMetrics metrics = view()->fontMetrics();
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    // icon, its gap, the text, the frame and a scroll bar
    view()->setMinimumWidth(std::max(width(), iconSize().width() + 16 + widest + 40));
}

bool IconComboBox::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QComboBox::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    if (currentIndex() < 0)
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), currentText(), this);
    return true;
}

ListBox::ListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // The view moves the current row before it selects it, so the
    // selection change is the moment the new line is really selected.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (selectedLine() >= 0)
            emit userClicked();
    });
}

int ListBox::selectedLine() const
{
    const int row = currentRow();
    return row >= 0 && item(row)->isSelected() ? row : -1;
}

void ListBox::selectLine(int line)
{
    const QSignalBlocker blocker(this);
    if (line < 0) {
        clearSelection();
        setCurrentRow(-1);
    } else {
        setCurrentRow(line);
    }
}

void ListBox::setLines(const std::vector<std::string> &lines)
{
    const QSignalBlocker blocker(this);
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string &line : lines)
        texts.append(QString::fromStdString(line));
    clear();
    addItems(texts);
    setCurrentRow(-1);
}

std::vector<std::string> ListBox::lines() const
{
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        texts.push_back(item(i)->text().toStdString());
    return texts;
}

void ListBox::mousePressEvent(QMouseEvent *event)
{
    const int before = selectedLine();
    QListWidget::mousePressEvent(event);
    // A click on the line that was already selected changes nothing in the
    // view, but is still a click the user meant.
    if (before >= 0 && selectedLine() == before && itemAt(event->position().toPoint()) == item(before))
        emit userClicked();
}

FileListBox::FileListBox(QWidget *parent)
    : ListBox(parent)
{
}

void FileListBox::setDirectory(const std::string &directory)
{
    std::vector<std::string> names = listPresetFiles(directory);
    mDirectory = directory;
    setLines(names);
}

std::string FileListBox::selectedFilePath() const
{
    const int line = selectedLine();
    return line < 0 ? std::string() : presetFilePath(mDirectory, item(line)->text().toStdString());
}

SpeedButton::SpeedButton(QWidget *parent, const QString &caption, const QString &glyph)
    : QToolButton(parent)
{
    setText(caption);
    setIcon(QIcon(glyph));
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
}

} // namespace voriraz
