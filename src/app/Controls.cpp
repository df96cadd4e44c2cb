#include "app/Controls.h"

#include "presets/PresetDirectory.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListView>
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
    view()->installEventFilter(this);
}

void IconComboBox::setFilter(const QString &filter)
{
    mFilter = filter;
    auto *list = qobject_cast<QListView *>(view());
    if (!list)
        return;
    int shown = 0;
    int firstShown = -1;
    for (int row = 0; row < count(); ++row) {
        const bool matches = itemText(row).contains(filter, Qt::CaseInsensitive);
        list->setRowHidden(row, !matches);
        if (matches) {
            ++shown;
            if (firstShown < 0)
                firstShown = row;
        }
    }
    // The highlighted entry is always one that can be chosen.
    const QModelIndex current = view()->currentIndex();
    if ((!current.isValid() || list->isRowHidden(current.row())) && firstShown >= 0)
        view()->setCurrentIndex(model()->index(firstShown, modelColumn(), rootModelIndex()));
    // The popup covers the window's caption; the filter shows beside it.
    if (view()->isVisible() && !mFilter.isEmpty()) {
        QToolTip::showText(view()->mapToGlobal(QPoint(view()->width(), 0)),
                           QStringLiteral("\"%1\": %2 of %3").arg(mFilter).arg(shown).arg(count()), view());
    } else {
        QToolTip::hideText();
    }
    emit filterChanged(mFilter, shown);
}

void IconComboBox::showPopup()
{
    if (!mFilter.isEmpty())
        setFilter(QString());
    QComboBox::showPopup();
}

void IconComboBox::hidePopup()
{
    QComboBox::hidePopup();
    if (!mFilter.isEmpty())
        setFilter(QString());
}

bool IconComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != view() || event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Escape && !mFilter.isEmpty()) {
        setFilter(QString());
        return true;
    }
    if (key->key() == Qt::Key_Backspace && !mFilter.isEmpty()) {
        setFilter(mFilter.chopped(1));
        return true;
    }
    const QString text = key->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint()
        && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (printable) {
        setFilter(mFilter + text);
        return true;
    }
    return QComboBox::eventFilter(watched, event);
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

std::vector<std::string> ListBox::lineData() const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        lines.push_back(item(i)->data(Qt::UserRole).toString().toStdString());
    return lines;
}

void ListBox::setLineData(const std::vector<std::string> &lines)
{
    const QSignalBlocker blocker(this);
    for (int i = 0; i < count(); ++i) {
        const auto line = static_cast<std::size_t>(i);
        item(i)->setData(Qt::UserRole, line < lines.size() ? QString::fromStdString(lines[line]) : QString());
    }
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

int FileListBox::lineOf(const std::string &path) const
{
    for (int i = 0; i < count(); ++i) {
        if (presetFilePath(mDirectory, item(i)->text().toStdString()) == path)
            return i;
    }
    return -1;
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
