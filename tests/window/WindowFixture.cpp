#include "window/WindowFixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QSettings>
#include <QTest>

namespace fs = std::filesystem;

namespace voriraz::test {

void RecordingPrompts::showError(QWidget *owner, const QString &title, const QString &text)
{
    errors.push_back({title, text});
    owners.push_back(owner);
}

void RecordingPrompts::showMessage(QWidget *owner, const QString &title, const QString &text)
{
    messages.push_back({title, text});
    owners.push_back(owner);
}

bool RecordingPrompts::confirm(QWidget *owner, const QString &title, const QString &text)
{
    questions.push_back({title, text});
    owners.push_back(owner);
    if (mAnswers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    }
    const bool yes = mAnswers.front();
    mAnswers.pop_front();
    return yes;
}

UnsavedAnswer RecordingPrompts::askUnsaved(QWidget *owner, const QString &title, const QString &text)
{
    unsavedQuestions.push_back({title, text});
    owners.push_back(owner);
    if (unsavedAnswers.empty()) {
        ADD_FAILURE() << "unexpected question about unsaved edits: " << text.toStdString();
        return UnsavedAnswer::Cancel;
    }
    const UnsavedAnswer answer = unsavedAnswers.front();
    unsavedAnswers.pop_front();
    return answer;
}

PackUnsavedAnswer RecordingPrompts::askSaveBeforePacking(QWidget *owner, const QString &title, const QString &text)
{
    packUnsavedQuestions.push_back({title, text});
    owners.push_back(owner);
    if (packUnsavedAnswers.empty()) {
        ADD_FAILURE() << "unexpected question about unsaved edits before packing: " << text.toStdString();
        return PackUnsavedAnswer::Cancel;
    }
    const PackUnsavedAnswer answer = packUnsavedAnswers.front();
    packUnsavedAnswers.pop_front();
    return answer;
}

std::optional<QString> RecordingPrompts::chooseSaveFile(QFileDialog *dialog)
{
    proposedFiles.push_back(dialog->selectedFiles().value(0));
    if (saveFiles.empty()) {
        ADD_FAILURE() << "unexpected save dialog";
        return std::nullopt;
    }
    const std::optional<QString> answer = saveFiles.front();
    saveFiles.pop_front();
    return answer;
}

TPromptAnswer RecordingPrompts::askFailure(QWidget *owner, const QString &title, const QString &text,
                                           TPromptButtons buttons)
{
    failures.push_back({title, text});
    failureButtons.push_back(buttons);
    owners.push_back(owner);
    if (failureAnswers.empty()) {
        ADD_FAILURE() << "unexpected failure prompt: " << text.toStdString();
        return TPromptAnswer::Abort;
    }
    const TPromptAnswer answer = failureAnswers.front();
    failureAnswers.pop_front();
    return answer;
}

QString RecordingPrompts::errorTitle() const
{
    return applicationTitle(QCoreApplication::applicationFilePath());
}

namespace {

void writeCatalogWithIcons(const fs::path &dir, const std::string &kind, const std::vector<std::string> &entries)
{
    std::string text;
    unsigned char shade = 30;
    for (const std::string &entry : entries) {
        text += entry + "\r\n";
        writeFile(dir / ("data/img/" + kind + "/" + entry + ".jpg"), jpegBytes(32, 32, shade, 100, 200));
        shade = static_cast<unsigned char>(shade + 40);
    }
    writeFile(dir / ("data/" + kind + ".txt"), text);
}

void writeCreature(const fs::path &dir, const std::string &name, int exp, int gold, int power)
{
    writeFile(dir / ("data/GameMechanics/Creature/" + name + ".xdb"),
              "<Creature><Exp>" + std::to_string(exp) + "</Exp><Power>" + std::to_string(power)
                  + "</Power><Cost><Gold>" + std::to_string(gold) + "</Gold></Cost></Creature>");
}

} // namespace

void MiniTree::write(const fs::path &root)
{
    const PresetCatalogs catalogs = smallCatalogs();
    writeCatalogWithIcons(root, "creatures", catalogs.creatures);
    writeCatalogWithIcons(root, "artifacts", {"ART_A", "ART_B", "ART_C"});
    writeCatalogWithIcons(root, "spells", {"SPL_A", "SPL_B", "SPL_C"});
    writeCatalogWithIcons(root, "perks", {"PRK_A", "PRK_B", "PRK_C"});
    writeCatalogWithIcons(root, "skills", catalogs.skills);
    auto lines = [](const CatalogList &entries) {
        std::string text;
        for (const std::string &entry : entries)
            text += entry + "\r\n";
        return text;
    };
    writeFile(root / "data/primary_mastery.txt", lines(catalogs.primaryMasteries));
    writeFile(root / "data/mastery.txt", lines(catalogs.masteries));
    writeCreature(root, "Krell", 10, 25, 100);
    writeCreature(root, "Ossik", 3, 12, 40);
    writeCreature(root, "Varm", 500, 1500, 9000);
    std::string table = "<Table><objects>";
    for (const auto &[id, name] : {std::pair {"CRT_KRELL", "Krell"}, {"CRT_OSSIK", "Ossik"}, {"CRT_VARM", "Varm"}}) {
        table += std::string("<Item><ID>") + id + "</ID><Obj href=\"/GameMechanics/Creature/" + name
                 + ".xdb#xpointer(/Creature)\"/></Item>";
    }
    writeFile(root / "data/GameMechanics/RefTables/Creatures.xdb", table + "</objects></Table>");
    fs::create_directories(root / "data/mod/Maps/DuelMode/Heroes");
}

std::string presetXml(const std::string &attributes, const std::string &primary, const std::string &skills,
                      const std::string &army, const std::string &artifacts, const std::string &perks,
                      const std::string &spells)
{
    std::vector<std::string> values;
    std::string rest = attributes;
    for (std::size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1))
        values.push_back(rest.substr(0, comma));
    values.push_back(rest);
    values.resize(4);
    auto element = [](const char *name, const std::string &value) {
        return "<" + std::string(name) + ">" + value + "</" + name + ">";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Hero>\n<Editable>"
           + element("Offence", values[0]) + element("Defence", values[1]) + element("Spellpower", values[2])
           + element("Knowledge", values[3]) + "<Ballista>true</Ballista><FirstAidTent>false</FirstAidTent>"
           "<AmmoCart>true</AmmoCart>" + element("skills", skills) + element("perkIDs", perks)
           + element("spellIDs", spells) + "</Editable>\n" + element("PrimarySkillMastery", primary)
           + element("armySlots", army) + element("artifactIDs", artifacts) + "\n</Hero>\n";
}

WindowTest::WindowTest()
{
    QSettings().clear();
}

TForm1 &WindowTest::open(const fs::path &applicationDir)
{
    window = std::make_unique<TForm1>(applicationDir.string(), prompts);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
}

TForm1 &WindowTest::openMini()
{
    return open(tree.path());
}

void WindowTest::writePreset(const std::string &name, const std::string &xml)
{
    writeFile(presets() / name, xml);
}

void WindowTest::clickFile(int row)
{
    clickLine(window->FileListBox1, row);
}

void WindowTest::clickLine(QListWidget *list, int row)
{
    QListWidgetItem *item = list->item(row);
    ASSERT_NE(item, nullptr) << "no line " << row;
    list->scrollToItem(item);
    const QRect rect = list->visualItemRect(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void WindowTest::pick(QComboBox *box, int index)
{
    // What a pick in the drop-down ends with: the new current item and the
    // activation signal of a user's choice.
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void WindowTest::click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList WindowTest::errorTexts() const
{
    QStringList texts;
    for (const auto &box : prompts->errors)
        texts.append(box.text);
    return texts;
}

} // namespace voriraz::test
