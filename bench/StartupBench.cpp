// Times the window's start-up on the sample data: constructing TForm1 (every
// control), filling every picker with its catalog and icons, listing the
// presets and loading the first one with its statistics.
//
//     voriraz_startup_bench [runs] [application directory]
//
// The application directory defaults to this program's own, where the build
// places the sample data. Prints the median, fastest and slowest run.

#include "app/Unit1.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class CountingPrompts : public voriraz::Prompts
{
public:
    void showError(QWidget *, const QString &, const QString &text) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        ++errors;
    }
    void showMessage(QWidget *, const QString &, const QString &) override {}
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
    int errors = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::string dir = argc > 2 ? argv[2] : QCoreApplication::applicationDirPath().toStdString();
    auto prompts = std::make_shared<CountingPrompts>();

    std::vector<double> ms;
    for (int i = 0; i <= runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        {
            voriraz::TForm1 window(dir, prompts);
            window.show();
            QApplication::processEvents();
            const auto shown = std::chrono::steady_clock::now();
            if (i > 0) // the first run warms the file cache
                ms.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up to a shown window (%d runs, %d errors): median %.1f ms (fastest %.1f, slowest %.1f)\n", runs,
                prompts->errors, ms[ms.size() / 2], ms.front(), ms.back());
    return prompts->errors == 0 ? 0 : 1;
}
