// The window as a view of the edited preset: each control's change goes into
// PresetSession1, and each change of the session is drawn back into the
// controls, with the live checks marked on the controls they are about.

#include "app/Unit1.h"

#include "editing/CollectionEditing.h"

#include <QPalette>
#include <QSignalBlocker>
#include <QStyle>

#include <map>

namespace voriraz {

namespace {

const char *const plainToolTip = "plainToolTip";
const QColor problemColour {0xd0, 0x00, 0x00};

// A red frame around a control, drawn on the control's parent so that the
// control keeps its own look; clicks go through to whatever lies below.
QWidget *problemFrame(QWidget *control)
{
    auto *frame = new QFrame(control->parentWidget());
    frame->setObjectName(QStringLiteral("ProblemFrame"));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setStyleSheet(QStringLiteral("QFrame#ProblemFrame { border: 2px solid #d00000; background: transparent; }"));
    frame->setGeometry(control->geometry().adjusted(-2, -2, 2, 2));
    frame->show();
    frame->raise();
    return frame;
}

// The tooltip a control has of its own, kept the first time a problem's
// message replaces it.
QString ownToolTip(QWidget *control)
{
    const QVariant kept = control->property(plainToolTip);
    if (!kept.isValid()) {
        control->setProperty(plainToolTip, control->toolTip());
        return control->toolTip();
    }
    return kept.toString();
}

} // namespace

void TForm1::bindControls()
{
    PresetSession1.addObserver([this](unsigned changes) { sessionChanged(changes); });

    // Typing in a field is one step of the history until the field is left.
    auto typed = [this](QLineEdit *edit, const std::function<void(const std::string &)> &set) {
        connect(edit, &QLineEdit::textChanged, this, [set](const QString &text) { set(text.toStdString()); });
        connect(edit, &QLineEdit::editingFinished, this, [this] { PresetSession1.endTyping(); });
    };
    for (int i = 0; i < static_cast<int>(mAttributeEdits.size()); ++i)
        typed(mAttributeEdits[i], [this, i](const std::string &text) { PresetSession1.setAttribute(i, text); });
    for (int n = 0; n < static_cast<int>(mCountEdits.size()); ++n)
        typed(mCountEdits[n], [this, n](const std::string &text) { PresetSession1.setCount(n, text); });

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) { PresetSession1.setPrimaryMastery(index); });
    for (int i = 0; i < static_cast<int>(mWarMachineBoxes.size()); ++i)
        connect(mWarMachineBoxes[i], &QCheckBox::toggled, this, [this, i](bool on) { PresetSession1.setWarMachine(i, on); });
    for (int n = 0; n < skillSlotCount; ++n) {
        connect(mSkillPickers[n], &QComboBox::currentIndexChanged, this, [this, n](int index) { PresetSession1.setSkill(n, index); });
        connect(mMasteryLists[n], &QComboBox::currentIndexChanged, this, [this, n](int index) { PresetSession1.setSkillMastery(n, index); });
    }
    // A creature picked is followed by ComboBoxEx1Change, whose totals show
    // their errors in a box; other army changes recompute them quietly.
    for (int n = 0; n < armySlotCount; ++n) {
        connect(mCreaturePickers[n], &QComboBox::currentIndexChanged, this, [this, n](int index) {
            mPickingCreature = true;
            PresetSession1.setCreature(n, index);
            mPickingCreature = false;
        });
    }

    // The check box of an artifact line is its untransferable flag.
    connect(ListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        PresetSession1.setArtifactFlag(ListBox1->row(item), item->checkState() == Qt::Checked);
    });
}

void TForm1::sessionChanged(unsigned changes)
{
    showSessionValues();
    if (changes & PresetSession::FileChanged)
        updateTitle();
    else
        updateModified();
    // A load computes the totals itself, once it is whole.
    if ((changes & PresetSession::ArmyChanged) && !(changes & PresetSession::FileChanged) && !mPickingCreature && mStatistics)
        updateTotalsWhileTyping();
    UndoAction->setEnabled(PresetSession1.canUndo());
    RedoAction->setEnabled(PresetSession1.canRedo());
    showProblems();
}

QWidget *TForm1::controlOf(const ValuePlace &place) const
{
    const auto at = static_cast<std::size_t>(place.index);
    switch (place.field) {
    case ValueField::None:
        return nullptr;
    case ValueField::Attribute:
        return mAttributeEdits.at(at);
    case ValueField::PrimaryMastery:
        return ComboBox1;
    case ValueField::WarMachine:
        return mWarMachineBoxes.at(at);
    case ValueField::Skill:
        return mSkillPickers.at(at);
    case ValueField::SkillMastery:
        return mMasteryLists.at(at);
    case ValueField::Creature:
        return mCreaturePickers.at(at);
    case ValueField::Count:
        return mCountEdits.at(at);
    case ValueField::Artifact:
    case ValueField::Spell:
    case ValueField::Perk:
        for (const CollectionGroup &group : mCollections) {
            if (group.field == place.field)
                return group.list;
        }
        break;
    }
    return nullptr;
}

void TForm1::showProblems()
{
    for (QWidget *frame : mProblemFrames)
        delete frame;
    mProblemFrames.clear();

    // The messages of each control, and of each list line.
    std::map<QWidget *, QStringList> messages;
    std::map<std::pair<ListBox *, int>, QStringList> lineMessages;
    const std::vector<Problem> &problems = PresetSession1.problems();
    for (const Problem &problem : problems) {
        QWidget *control = controlOf(problem.place);
        if (!control)
            continue;
        const QString message = QString::fromStdString(problem.message);
        messages[control].append(message);
        if (auto *list = qobject_cast<ListBox *>(control))
            lineMessages[{list, problem.place.index}].append(message);
    }

    QList<QWidget *> controls;
    for (QLineEdit *edit : mAttributeEdits)
        controls.append(edit);
    for (QLineEdit *edit : mCountEdits)
        controls.append(edit);
    for (int n = 0; n < skillSlotCount; ++n)
        controls << mSkillPickers[n] << mMasteryLists[n];
    for (IconComboBox *picker : mCreaturePickers)
        controls.append(picker);
    controls.append(ComboBox1);
    for (const CollectionGroup &group : mCollections)
        controls.append(group.list);
    for (QWidget *control : controls) {
        const QString own = ownToolTip(control);
        const auto found = messages.find(control);
        if (found == messages.end()) {
            control->setToolTip(own);
            continue;
        }
        control->setToolTip(found->second.join(QLatin1Char('\n')));
        mProblemFrames.push_back(problemFrame(control));
    }
    // A list's lines with problems show in red, the message as their tooltip.
    for (const CollectionGroup &group : mCollections) {
        const QSignalBlocker blocker(group.list);
        for (int line = 0; line < group.list->count(); ++line) {
            QListWidgetItem *item = group.list->item(line);
            const auto found = lineMessages.find({group.list, line});
            if (found == lineMessages.end()) {
                item->setData(Qt::ForegroundRole, QVariant());
                if (group.list != ListBox1)
                    item->setToolTip(QString());
            } else {
                item->setForeground(problemColour);
                item->setToolTip(found->second.join(QLatin1Char('\n')));
            }
        }
    }

    ProblemsMenu->clear();
    for (std::size_t i = 0; i < problems.size(); ++i) {
        QAction *entry = ProblemsMenu->addAction(QString::fromStdString(problems[i].message));
        connect(entry, &QAction::triggered, this, [this, i] { runHandler([this, i] { goToProblem(i); }); });
    }
    ProblemsButton->setText(problems.empty() ? QStringLiteral("No problems")
                                             : problems.size() == 1 ? QStringLiteral("1 problem")
                                                                    : QStringLiteral("%1 problems").arg(problems.size()));
    ProblemsButton->setEnabled(!problems.empty());
}

void TForm1::goToProblem(std::size_t index)
{
    const std::vector<Problem> &problems = PresetSession1.problems();
    if (index >= problems.size())
        return;
    const ValuePlace place = problems[index].place;
    QWidget *control = controlOf(place);
    if (!control)
        return;
    for (QWidget *page = control; page; page = page->parentWidget()) {
        if (PageControl1->indexOf(page) >= 0) {
            PageControl1->setCurrentWidget(page);
            break;
        }
    }
    control->setFocus(Qt::OtherFocusReason);
    for (std::size_t group = 0; group < mCollections.size(); ++group) {
        if (mCollections[group].field == place.field) {
            mCollections[group].list->selectLine(place.index);
            editCollection(group, [](CollectionView &view) { showSelectedLine(view); });
        }
    }
}

} // namespace voriraz
