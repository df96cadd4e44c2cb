// Renders the editor's window, with the data tree beside the editor loaded,
// to one PNG file per tab page, so the window can be looked at without a
// display: voriraz-screenshot <output directory> [application directory].

#include "app/Unit1.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>

namespace {

// Errors go to stderr instead of a box nobody could close.
class PrintedPrompts : public voriraz::Prompts
{
public:
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
    void showMessage(QWidget *, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
    bool confirm(QWidget *, const QString &, const QString &) override { return false; }
    voriraz::UnsavedAnswer askUnsaved(QWidget *, const QString &, const QString &) override
    {
        return voriraz::UnsavedAnswer::Discard;
    }
    voriraz::PackUnsavedAnswer askSaveBeforePacking(QWidget *, const QString &, const QString &) override
    {
        return voriraz::PackUnsavedAnswer::Cancel;
    }
    std::optional<QString> chooseSaveFile(QFileDialog *) override { return std::nullopt; }
    void openFolder(const QString &) override {}
    voriraz::TPromptAnswer askFailure(QWidget *, const QString &, const QString &, voriraz::TPromptButtons) override
    {
        return voriraz::TPromptAnswer::Abort;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: voriraz-screenshot <output directory> [application directory]\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    std::optional<std::string> applicationDir;
    if (argc > 2)
        applicationDir = argv[2];
    else
        applicationDir = (QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")).toStdString();

    QDir().mkpath(output);
    voriraz::TForm1 form(applicationDir, std::make_shared<PrintedPrompts>());
    form.show();
    QApplication::processEvents();

    const char *names[] = {"attributes-skills", "creatures", "artifacts-spells"};
    for (int page = 0; page < form.PageControl1->count(); ++page) {
        form.PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        const QString file = output + QStringLiteral("/window-%1.png").arg(QLatin1String(names[page]));
        if (!form.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
