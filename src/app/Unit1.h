#pragma once

#include "app/Controls.h"
#include "app/Prompts.h"
#include "app/StatusCaption.h"
#include "packaging/ArchiveWriter.h"
#include "catalogs/CatalogFill.h"
#include "editing/ArmyStatistics.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QTabWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace voriraz {

class CollectionView;

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

    // Recomputes the army totals into Label8, Label9 and Label10.
    void UpdateArmyStatistics();

    const std::string &ApplicationDir() const { return mApplicationDir; }

    // Whether the last preset load set every control (its statistics may
    // still have failed). Saving is refused otherwise.
    bool presetLoadComplete() const { return mPresetLoadComplete; }

    // Runs a handler; an error it throws ends it and is shown in an error box.
    void runHandler(const std::function<void()> &handler);

    // The preset controls' values, and writing them back. Writing sets
    // nothing that would run a handler.
    PresetControls readPresetControls() const;
    void writePresetControls(const PresetControls &controls);
    PresetCatalogs presetCatalogs() const;

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
    QLabel *Label1, *Label6, *Label7, *Label8, *Label9, *Label10;

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

    // The preset being edited, and the scratch document of the statistics.
    PresetDocument XMLDocument1 {PresetDocument::Formatting::AutoIndent};

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

private:
    void createControls();
    void connectHandlers();
    void setTabOrder();
    void createModComponents();
    // Packs sourceDir into a new archive at archivePath, replacing any file
    // there once complete, on a thread of its own while the window runs on,
    // and tells what it did. Throws what creating or writing the archive
    // throws.
    void WriteModArchive(std::string archivePath, std::string sourceDir);

    template<typename T>
    T *control(const QString &name) const { return findChild<T *>(name); }

    std::unique_ptr<CollectionView> collectionView(ListBox *list, IconComboBox *picker) const;

    std::shared_ptr<Prompts> mPrompts;
    StatusCaption *mStatus = nullptr;
    std::optional<std::string> mRequestedDir;
    std::string mApplicationDir;
    std::unique_ptr<ArmyStatistics> mStatistics;
    bool mPresetLoadComplete = false;
    bool mCentred = false;
    int mPackProgressDelayMs = 500;
};

} // namespace voriraz
