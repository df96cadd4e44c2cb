#pragma once

#include "packaging/BaseArchiver.h"

#include <QString>

#include <optional>

class QFileDialog;

namespace voriraz {
// What to do with unsaved edits before they would be lost.
enum class UnsavedAnswer { Save, Discard, Cancel };
// What to do with unsaved edits before packing, which takes the presets as
// they are on the disk.
enum class PackUnsavedAnswer { Save, PackWithoutSaving, Cancel };
}

class QWidget;

namespace voriraz {

// Every question and message box the window shows goes through one of
// these, so tests can answer and record them without a person.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // An error box: critical icon, one OK button, modal to owner.
    virtual void showError(QWidget *owner, const QString &title, const QString &text) = 0;

    // A message box with the information icon and one OK button, modal to
    // owner: what the program did, when a caption would not hold it.
    virtual void showMessage(QWidget *owner, const QString &title, const QString &text) = 0;

    // A Yes/No question with the question icon and No as the default
    // button; true unless the answer is No.
    virtual bool confirm(QWidget *owner, const QString &title, const QString &text) = 0;

    // Asks about unsaved edits: Save, Discard or Cancel, Save the default,
    // Escape and the close box Cancel.
    virtual UnsavedAnswer askUnsaved(QWidget *owner, const QString &title, const QString &text) = 0;

    // Asks about unsaved edits before packing: Save, Pack without saving or
    // Cancel, Save the default, Escape and the close box Cancel.
    virtual PackUnsavedAnswer askSaveBeforePacking(QWidget *owner, const QString &title, const QString &text) = 0;

    // Shows the save dialog modally; the chosen file's full path, or nothing
    // when the user cancels.
    virtual std::optional<QString> chooseSaveFile(QFileDialog *dialog) = 0;

    // Shows a folder in the desktop's file manager.
    virtual void openFolder(const QString &path) = 0;

    // The packing failure prompt: a confirmation box with the question icon
    // and the buttons Abort, Retry and Ignore (or Abort and Ignore).
    virtual TPromptAnswer askFailure(QWidget *owner, const QString &title, const QString &text,
                                     TPromptButtons buttons) = 0;
};

// The real boxes, shown with QMessageBox.
class MessageBoxPrompts : public Prompts
{
public:
    void showError(QWidget *owner, const QString &title, const QString &text) override;
    void showMessage(QWidget *owner, const QString &title, const QString &text) override;
    bool confirm(QWidget *owner, const QString &title, const QString &text) override;
    UnsavedAnswer askUnsaved(QWidget *owner, const QString &title, const QString &text) override;
    PackUnsavedAnswer askSaveBeforePacking(QWidget *owner, const QString &title, const QString &text) override;
    std::optional<QString> chooseSaveFile(QFileDialog *dialog) override;
    void openFolder(const QString &path) override;
    TPromptAnswer askFailure(QWidget *owner, const QString &title, const QString &text,
                             TPromptButtons buttons) override;
};

// The title of the program's error boxes, derived from the executable's
// file name: its name without directory, cut at its first full stop, every
// character after the first in lower case ("VORIRAZ.EXE" gives "Voriraz").
QString applicationTitle(const QString &executablePath);

// An error message as the error box shows it (shownErrorText): a full stop
// is appended when the last character sorts after the full stop.
QString errorBoxText(const QString &message);

} // namespace voriraz
