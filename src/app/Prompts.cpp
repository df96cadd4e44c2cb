#include "app/Prompts.h"

#include "catalogs/ErrorText.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <QMessageBox>
#include <QPushButton>

namespace voriraz {

void MessageBoxPrompts::showError(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner);
    box.exec();
}

void MessageBoxPrompts::showMessage(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box.exec();
}

bool MessageBoxPrompts::confirm(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() != QMessageBox::No;
}

UnsavedAnswer MessageBoxPrompts::askUnsaved(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return UnsavedAnswer::Save;
    case QMessageBox::Discard: return UnsavedAnswer::Discard;
    default: return UnsavedAnswer::Cancel;
    }
}

PackUnsavedAnswer MessageBoxPrompts::askSaveBeforePacking(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, owner);
    QPushButton *save = box.addButton(QMessageBox::Save);
    QPushButton *pack = box.addButton(QStringLiteral("Pack without saving"), QMessageBox::DestructiveRole);
    pack->setObjectName(QStringLiteral("PackWithoutSavingButton"));
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return PackUnsavedAnswer::Save;
    if (box.clickedButton() == pack)
        return PackUnsavedAnswer::PackWithoutSaving;
    return PackUnsavedAnswer::Cancel;
}

QString applicationTitle(const QString &executablePath)
{
    QString name = executablePath.mid(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString errorBoxText(const QString &message)
{
    return QString::fromStdString(shownErrorText(message.toStdString()));
}

std::optional<QString> MessageBoxPrompts::chooseSaveFile(QFileDialog *dialog)
{
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().first();
}

void MessageBoxPrompts::openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

TPromptAnswer MessageBoxPrompts::askFailure(QWidget *owner, const QString &title, const QString &text,
                                            TPromptButtons buttons)
{
    QMessageBox::StandardButtons choices = QMessageBox::Abort | QMessageBox::Ignore;
    if (buttons == TPromptButtons::AbortRetryIgnore)
        choices |= QMessageBox::Retry;
    QMessageBox box(QMessageBox::Question, title, text, choices, owner);
    switch (box.exec()) {
    case QMessageBox::Retry: return TPromptAnswer::Retry;
    case QMessageBox::Ignore: return TPromptAnswer::Ignore;
    default: return TPromptAnswer::Abort;
    }
}

} // namespace voriraz
