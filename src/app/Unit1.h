#pragma once

#include "app/Controls.h"
#include "app/Prompts.h"
#include "app/StatusCaption.h"
#include "packaging/ArchiveWriter.h"
#include "catalogs/CatalogFill.h"
#include "editing/ArmyStatistics.h"
#include "editing/PresetSession.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QFileSystemWatcher>
#include <QMenu>
#include <QTimer>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QTabWidget>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>

namespace voriraz {

class CollectionView;

// The colour of army totals that leave something out.
inline const QColor totalsWarningColour {0xb3, 0x47, 0x00};

// What the window starts on, from its command line.
struct WindowOptions
{
    // The program's directory; none: the directory of the running
    // executable (tests give other trees).
    std::optional<std::string> applicationDir;
    // The data folder; none: the "data" folder of the program's directory.
    std::optional<std::string> dataFolder;
    // The preset selected and loaded at start-up instead of the first of the
    // list: a bare file name of the presets folder, or a path to a file in
    // that folder.
    std::optional<std::string> preset;
};

// The editor's one window: the preset list, the three pages of preset
// controls and the command buttons. Every control carries its name as its
// objectName. The window's behaviour lies in its handlers; each one runs
// through runHandler(), the single place where an error ends a handler and
// is shown in an error box.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // Builds every control, then runs FormCreate. applicationDir overrides
    // the directory of the running executable (tests use other data trees);
    // prompts overrides the real message boxes.
    explicit TForm1(std::optional<std::string> applicationDir = std::nullopt,
                    std::shared_ptr<Prompts> prompts = nullptr);
    explicit TForm1(WindowOptions options, std::shared_ptr<Prompts> prompts = nullptr);
    ~TForm1() override;

    // Handlers, named after their control and event.
    void FormCreate();
    void FileListBox1Click();
    void SpeedButton7Click();
    void ComboBoxEx1Change();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void ListBox1Click();
    void ComboBoxEx9Change();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void ListBox2Click();
    void ComboBoxEx10Change();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void ListBox3Click();
    void ComboBoxEx16Change();
    void SpeedButton5Click();
    void SpeedButton6Click();

    // Recomputes the army totals into Label8, Label9 and Label10; totals
    // that leave a stack out show in a warning colour, the tooltip saying
    // why. Throws what the computation throws, the labels left as they were.
    void UpdateArmyStatistics();
    // The same while a count is typed (each keystroke): an error shows as
    // "---" in the warning colour with the error as the tooltip, no box.
    void updateTotalsWhileTyping();

    // Everyday editing beyond the buttons: Save as (Ctrl+Shift+S), a copy
    // of a preset, the presets folder in the file manager, undo and redo.
    void SaveAs();
    void DuplicatePreset(int line);
    void OpenPresetFolder();
    void UndoEdit();
    void RedoEdit();

    const std::string &ApplicationDir() const { return mApplicationDir; }
    // The data folder the window reads and writes, set by FormCreate.
    const DataFolder &dataFolder() const { return mDataFolder; }

    // Whether the last preset load set every control (its statistics may
    // still have failed). Saving is refused otherwise.
    bool presetLoadComplete() const { return PresetSession1.loadComplete(); }

    // Whether saves keep the file's own layout. The window starts with the
    // remembered choice; the "Save preset" button's context menu changes
    // and remembers it; setKeepLayout() changes it for this run only.
    bool keepLayout() const { return PresetSession1.keepLayout(); }
    void setKeepLayout(bool keep);
    QAction *KeepLayoutAction = nullptr;
    QAction *SaveAsAction = nullptr;
    QAction *UndoAction = nullptr;
    QAction *RedoAction = nullptr;

    // Runs a handler; an error it throws ends it and is shown in an error box.
    // While "Create mod" packs, no handler runs: it returns at once.
    void runHandler(const std::function<void()> &handler);

    // Whether "Create mod" is packing: the window takes no input, its actions
    // and shortcuts are off, and handlers refuse to start.
    bool isPacking() const { return mPacking; }

    // The item lists the preset controls select in.
    PresetCatalogs presetCatalogs() const;

    // The control that shows a value (the list for a list line), and the
    // page it is on; nullptr for the preset as a whole.
    QWidget *controlOf(const ValuePlace &place) const;
    // Shows the problem at index of the session's live checks: its page, its
    // control focused, a list line selected.
    void goToProblem(std::size_t index);

    // Controls, named as in the window description.
    QGroupBox *GroupBox1;
    FileListBox *FileListBox1;
    SpeedButton *SpeedButton7;
    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    QFrame *Bevel1;
    SpeedButton *SpeedButton6;
    QLabel *Label11;
    SpeedButton *SpeedButton5;
    // The live checks: a count on the button, the problems in its menu.
    SpeedButton *ProblemsButton;
    QMenu *ProblemsMenu;

    QGroupBox *GroupBox3;
    QLabel *Label2, *Label3, *Label4, *Label5;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4;
    QGroupBox *GroupBox2;
    IconComboBox *ComboBoxEx11, *ComboBoxEx12, *ComboBoxEx13, *ComboBoxEx14, *ComboBoxEx15;
    QComboBox *ComboBox2, *ComboBox3, *ComboBox4, *ComboBox5, *ComboBox6;
    QGroupBox *GroupBox6;
    QComboBox *ComboBox1;
    QGroupBox *GroupBox5;
    IconComboBox *ComboBoxEx16;
    SpeedButton *SpeedButton8, *SpeedButton9;
    ListBox *ListBox3;

    QGroupBox *CreaturesBox;
    IconComboBox *ComboBoxEx1, *ComboBoxEx2, *ComboBoxEx3, *ComboBoxEx4,
        *ComboBoxEx5, *ComboBoxEx6, *ComboBoxEx7, *ComboBoxEx8;
    QLineEdit *Edit_Count_0, *Edit_Count_1, *Edit_Count_2, *Edit_Count_3,
        *Edit_Count_4, *Edit_Count_5, *Edit_Count_6, *Edit_Count_7;
    QGroupBox *GroupBox4;
    QFrame *Bevel9, *Bevel10, *Bevel11;
    QLabel *Image9, *Image10, *Image11;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3;
    QGroupBox *GroupBox7;
    QLabel *Label1 = nullptr, *Label6, *Label7, *Label8, *Label9, *Label10;

    QGroupBox *ArtifactsBox;
    IconComboBox *ComboBoxEx9;
    SpeedButton *SpeedButton1, *SpeedButton2;
    ListBox *ListBox1;
    QGroupBox *SpellsBox;
    IconComboBox *ComboBoxEx10;
    SpeedButton *SpeedButton3, *SpeedButton4;
    ListBox *ListBox2;

    // The icons of each kind: creatures, artifacts, spells, skills, perks.
    QList<QIcon> ImageList1, ImageList2, ImageList3, ImageList4, ImageList5;

    // The preset being edited: its values, history, checks and document.
    // The controls show it; they keep no values of their own.
    PresetSession PresetSession1;
    PresetDocument &XMLDocument1 = PresetSession1.document();
    // Save as: the dialog that asks for the new file.
    QFileDialog *SaveAsDialog1;
    // Watches the presets folder and the file being edited.
    QFileSystemWatcher *PresetWatcher;

    // "Create mod": the dialog that asks for the archive, and the writer.
    QFileDialog *SaveDialog1;
    TArchiveWriter ArchiveWriter1;

    // A short message in the bottom caption (Label11) for a few seconds.
    void showStatus(const QString &message) { mStatus->show(message); }
    StatusCaption &statusCaption() { return *mStatus; }

    // Packing that runs longer than this shows its progress (tests shorten it).
    void setPackProgressDelayForTesting(int milliseconds) { mPackProgressDelayMs = milliseconds; }

protected:
    void showEvent(QShowEvent *event) override;
    // Another font moves the captions clear of their boxes' borders again.
    void changeEvent(QEvent *event) override;
    // Closing with unsaved edits asks first; Cancel keeps the window open.
    void closeEvent(QCloseEvent *event) override;
    // Undo and redo keys reach the window's history unless the field being
    // typed in has steps of its own to take back.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    // Moves the captions of group boxes clear of the boxes' titles and
    // borders at whatever font the window has.
    void fitCaptionsToFont();
    void connectHandlers();
    void setTabOrder();
    void createModComponents();
    // Packs sourceDir into a new archive at archivePath, replacing any file
    // there once complete, on a thread of its own while the window runs on,
    // and tells what it did; true when the archive was written. Throws what
    // creating or writing the archive throws.
    bool WriteModArchive(std::string archivePath, std::string sourceDir);
    // With unsaved edits of a preset of the mod folder, asks whether to save
    // them before packing; true when packing may go on (saved, or not to
    // be). Throws what the save throws.
    bool saveBeforePacking();
    // The archive packed last from the window's data folder (empty for
    // none), and remembering it, between runs.
    QString rememberedArchive() const;
    void rememberArchive(const QString &archive);

    // Saves the edited preset, asking first when the save drops items the
    // catalogs do not know. False when the user said No. Throws refusals
    // and write errors.
    bool saveEditedPreset();
    // With unsaved edits, asks whether to save them; true when the caller
    // may go on (saved or discarded), false for Cancel or a save answered
    // No. Throws what the save throws.
    bool resolveUnsavedEdits();
    // The title names the preset being edited and marks unsaved edits; a
    // file outside the presets folder is named with its full path.
    void updateTitle();
    // Whether the edited file lies in the folder the preset list shows.
    bool editsListedFolder() const;
    // The three totals' texts, and what they leave out (none: normal look).
    void showTotals(const std::array<QString, 3> &texts, const std::vector<std::string> &warnings);
    // The icons start-up shows as placeholders, in one message box.
    void showIconProblems(const std::vector<std::string> &problems);
    void updateModified();

    void createEditingComponents();
    // Saves the edited preset to path, asking about items it drops; false
    // when the user said No. Throws refusals and write errors.
    bool saveEditedPresetTo(const std::string &path);
    // The list of the presets folder again, keeping its selection; and the
    // edited file, if another program changed it.
    void followDisk();
    // Watches the edited file and takes it as it is now.
    void rememberEditedFile();

    // Every control's change goes into the session; every change of the
    // session is drawn into the controls (sessionChanged).
    void bindControls();
    void sessionChanged(unsigned changes);
    void showSessionValues();
    // Red frames and tooltips on the controls with problems, the count on
    // ProblemsButton and the entries of ProblemsMenu.
    void showProblems();
    // A collection group's lines changed through CollectionEditing's
    // operations, as one step of the session.
    void editCollection(std::size_t group, const std::function<void(CollectionView &)> &operation);
    // Loads the preset at path into the controls and starts its history.
    void loadEditedPreset(const std::string &path);

    // The line of the preset list that start-up selects. Throws when the
    // preset asked for is not in the list.
    int startupPresetLine() const;

    std::shared_ptr<Prompts> mPrompts;
    StatusCaption *mStatus = nullptr;
    WindowOptions mOptions;
    std::string mApplicationDir;
    DataFolder mDataFolder;
    std::unique_ptr<ArmyStatistics> mStatistics;

    // The preset controls, built once by createControls.
    std::array<QLineEdit *, 4> mAttributeEdits {};
    std::array<QCheckBox *, 3> mWarMachineBoxes {};
    std::array<IconComboBox *, skillSlotCount> mSkillPickers {};
    std::array<QComboBox *, skillSlotCount> mMasteryLists {};
    std::array<IconComboBox *, armySlotCount> mCreaturePickers {};
    std::array<QLineEdit *, armySlotCount> mCountEdits {};
    // The three collection groups: artifacts, spells, perks.
    struct CollectionGroup
    {
        ListBox *list;
        IconComboBox *picker;
        LineList PresetControls::*lines;
        ValueField field;
        const char *placeholderText;
        QWidget *page;
    };
    std::array<CollectionGroup, 3> mCollections {};
    // A creature picker is passing the user's pick to the session.
    bool mPickingCreature = false;
    // Frames drawn around the controls with problems.
    std::vector<QWidget *> mProblemFrames;
    // The file of the list's line that the window last loaded from.
    std::string mListedPreset;
    QTimer mDiskTimer;
    bool mCentred = false;
    int mPackProgressDelayMs = 500;
    bool mPacking = false;
};

} // namespace voriraz
