#pragma once

#include "TestSupport.h"
#include "app/Unit1.h"

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Lets test failures print Qt strings readably.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList &texts, std::ostream *out) { *out << '[' << texts.join(" | ").toStdString() << ']'; }

namespace voriraz::test {

// Answers the window's questions from a queue and records every box, so a
// test can drive the window without a person.
class RecordingPrompts : public Prompts
{
public:
    struct Box
    {
        QString title;
        QString text;
    };

    void showError(QWidget *owner, const QString &title, const QString &text) override;
    void showMessage(QWidget *owner, const QString &title, const QString &text) override;
    bool confirm(QWidget *owner, const QString &title, const QString &text) override;
    UnsavedAnswer askUnsaved(QWidget *owner, const QString &title, const QString &text) override;
    PackUnsavedAnswer askSaveBeforePacking(QWidget *owner, const QString &title, const QString &text) override;
    std::optional<QString> chooseSaveFile(QFileDialog *dialog) override;
    void openFolder(const QString &path) override { openedFolders.push_back(path); }
    TPromptAnswer askFailure(QWidget *owner, const QString &title, const QString &text,
                             TPromptButtons buttons) override;

    // The answer to the next question: true for Yes, false for No.
    void answerNext(bool yes) { mAnswers.push_back(yes); }

    // The title every box of the program carries.
    QString errorTitle() const;

    // Answers to the question about unsaved edits, and the questions asked.
    std::deque<UnsavedAnswer> unsavedAnswers;
    std::vector<Box> unsavedQuestions;

    // Answers to the question about unsaved edits before packing, and the
    // questions asked.
    std::deque<PackUnsavedAnswer> packUnsavedAnswers;
    std::vector<Box> packUnsavedQuestions;

    // Answers to the save dialog (a path, or nothing for Cancel), and the
    // file the dialog proposed each time it was shown.
    std::deque<std::optional<QString>> saveFiles;
    std::vector<QString> proposedFiles;
    // Answers to the packing failure prompt, and the prompts shown.
    std::deque<TPromptAnswer> failureAnswers;
    std::vector<Box> failures;
    std::vector<TPromptButtons> failureButtons;

    std::vector<QString> openedFolders;
    std::vector<Box> errors;
    std::vector<Box> messages;
    std::vector<Box> questions;
    std::vector<QWidget *> owners;

private:
    std::deque<bool> mAnswers;
};

// A small data tree of its own for each test: a few catalog entries with
// icons, a creature reference table, and presets written by the test.
struct MiniTree
{
    // Writes the catalogs of smallCatalogs() and artifacts ART_A..ART_C;
    // spells SPL_A..SPL_C; perks PRK_A..PRK_C), one icon per entry, and the
    // reference table with creature files (Krell 10/25/100, Ossik 3/12/40,
    // Varm 500/1500/9000 as exp/gold/power).
    static void write(const std::filesystem::path &applicationDir);
};

// A preset document with the given parts, for writing into a tree.
std::string presetXml(const std::string &attributes = "1,2,3,4", const std::string &primary = "PSM_B",
                      const std::string &skills = "", const std::string &army = "",
                      const std::string &artifacts = "", const std::string &perks = "", const std::string &spells = "");

class WindowTest : public ::testing::Test
{
protected:
    // Every test starts without remembered settings.
    WindowTest();

    // Opens the window on dir (FormCreate runs).
    TForm1 &open(const std::filesystem::path &applicationDir);
    TForm1 &openMini();

    std::filesystem::path presets() const { return tree / "data/mod/Maps/DuelMode/Heroes"; }
    void writePreset(const std::string &name, const std::string &xml);

    // User actions.
    void clickFile(int row);
    void pick(QComboBox *box, int index);
    void clickLine(QListWidget *list, int row);
    void click(QAbstractButton *button);

    QStringList errorTexts() const;

    TempDir tree;
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    std::unique_ptr<TForm1> window;
};

} // namespace voriraz::test
