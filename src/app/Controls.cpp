#include "app/Controls.h"

#include "presets/PresetDirectory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolTip>

namespace voriraz {

namespace {

// The drop-down's rows: each as tall as its icon (not the font) plus a small
// margin, the icon drawn whole at its own size, the identifier beside it.
class IconRowDelegate : public QStyledItemDelegate
{
public:
    IconRowDelegate(QObject *parent, QSize iconSize) : QStyledItemDelegate(parent), mIconSize(iconSize) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QSize text = QStyledItemDelegate::sizeHint(option, index);
        return {mIconSize.width() + 2 * iconRowMargin + 4 + option.fontMetrics.horizontalAdvance(index.data().toString()) + 8,
                std::max(text.height(), mIconSize.height() + 2 * iconRowMargin)};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem panel = option;
        initStyleOption(&panel, index);
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        panel.text.clear();
        panel.icon = QIcon();
        style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

        const QRect icon(option.rect.left() + iconRowMargin, option.rect.top() + (option.rect.height() - mIconSize.height()) / 2,
                         mIconSize.width(), mIconSize.height());
        index.data(Qt::DecorationRole).value<QIcon>().paint(painter, icon);
        const QRect text = option.rect.adjusted(icon.right() + 1 + 4 - option.rect.left(), 0, 0, 0);
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                          option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }

private:
    QSize mIconSize;
};

} // namespace

IconComboBox::IconComboBox(QWidget *parent, int visibleRows)
    : QComboBox(parent)
{
    setEditable(false);
    setIconSize(QSize(32, 32));
    setItemDelegate(new IconRowDelegate(this, iconSize()));
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

void IconComboBox::paintEvent(QPaintEvent *)
{
    // The style's frame and arrow, then the current icon whole at its own
    // size: the style's label would shrink it to fit its text margins.
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentIcon = QIcon();
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() >= 0) {
        const QRect icon(iconRowMargin + 1, (height() - iconSize().height()) / 2, iconSize().width(), iconSize().height());
        itemIcon(currentIndex()).paint(&painter, icon, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
}

bool IconComboBox::eventFilter(QObject *watched, QEvent *event)
{
    // Escape and Backspace first take back the filter: the popup must not
    // take them as its own keys (Escape would close it) while there is one.
    if (watched == view() && event->type() == QEvent::ShortcutOverride && !mFilter.isEmpty()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Backspace) {
            event->accept();
            return true;
        }
    }
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
    // A problem's message, set as the tooltip, comes first.
    const auto *help = static_cast<QHelpEvent *>(event);
    QStringList lines;
    if (!toolTip().isEmpty())
        lines.append(toolTip());
    if (currentIndex() >= 0)
        lines.append(currentText());
    if (lines.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), lines.join(QLatin1Char('\n')), this);
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

int FileListBox::lineOf(const std::string &path) const
{
    for (int i = 0; i < count(); ++i) {
        if (samePresetPath(presetFilePath(mDirectory, item(i)->text().toStdString()), path))
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
