#include "ArtPainter.h"
#include "ArtgenJobs.h"
#include "CatalogText.h"
#include "IconPainter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using namespace voriraz;

namespace {

QStringList split(const char* text, qsizetype size = -1)
{
    return splitCatalogText(size < 0 ? QByteArray(text) : QByteArray(text, size));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void writeCatalogs(const QString& dir)
{
    writeFile(dir + "/creatures.txt", "CRT_NONE\r\nCRT_RAVIX\r\nCRT_MOKTESH_RAVIX\r\n");
    writeFile(dir + "/artifacts.txt", "ART_PELFRA_SABATONS\nART_ISKVOR_SABATONS");
    writeFile(dir + "/spells.txt", "SPL_MIBHUL_VEIL\rSPL_JETYTH_BLOOM\r");
    writeFile(dir + "/perks.txt", "PRK_UGOSS_THRIFT\r\n");
    writeFile(dir + "/skills.txt", "SKL_NONE\r\nSKL_ZONY_LORE\r\n");
}

} // namespace

TEST(CatalogText, SplitsOnEveryLineBreakStyle)
{
    EXPECT_EQ(split("A\r\nB\nC\rD"), QStringList({"A", "B", "C", "D"}));
}

TEST(CatalogText, LineFeedThenCarriageReturnEndsTwoLines)
{
    EXPECT_EQ(split("A\n\rB\r\n"), QStringList({"A", "", "B"}));
}

TEST(CatalogText, FinalBreakAddsNoEntry)
{
    EXPECT_EQ(split("A\r\nB\r\n"), QStringList({"A", "B"}));
    EXPECT_EQ(split("A\r\n\r\n"), QStringList({"A", ""}));
    EXPECT_EQ(split("\r\n"), QStringList({""}));
    EXPECT_TRUE(split("").isEmpty());
}

TEST(CatalogText, NulEndsTheText)
{
    EXPECT_EQ(split("A\r\nB\0C\r\n", 9), QStringList({"A", "B"}));
    EXPECT_EQ(split("A\r\0\nB", 6), QStringList({"A"}));
}

TEST(CatalogText, KeepsEntriesVerbatim)
{
    EXPECT_EQ(split(" A b \r\n"), QStringList({" A b "}));
}

TEST(Abbreviation, DropsKindPrefixAndTakesInitials)
{
    EXPECT_EQ(abbreviateEntry("CRT_MOKTESH_RAVIX"), "MR");
    EXPECT_EQ(abbreviateEntry("ART_PELFRA_SABATONS"), "PS");
    EXPECT_EQ(abbreviateEntry("CRT_RAVIX"), "Ra");
    EXPECT_EQ(abbreviateEntry("ZelquaMarrow"), "ZM");
    EXPECT_EQ(abbreviateEntry("ravix"), "Ra");
    EXPECT_EQ(abbreviateEntry("Q"), "Q");
    EXPECT_EQ(abbreviateEntry(""), "");
    EXPECT_EQ(abbreviateEntry("__"), "");
}

TEST(Hash, IsStableAndSpreadsNeighbours)
{
    EXPECT_EQ(entryHash("CRT_RAVIX"), entryHash(QString("CRT_") + "RAVIX"));
    EXPECT_NE(entryHash("CRT_RAVIX"), entryHash("CRT_RAVIY"));
    EXPECT_NE(entryHash("CRT_RAVIX") % 360, entryHash("CRT_RAVIY") % 360);
}

TEST(IconPainter, TilesAreDistinctPerEntryAndKind)
{
    const IconPainter painter;
    const QImage a = painter.paintEntry(IconKind::Creature, "CRT_RAVIX");
    EXPECT_EQ(a.size(), QSize(32, 32));
    EXPECT_EQ(a, painter.paintEntry(IconKind::Creature, "CRT_RAVIX"));
    EXPECT_NE(a, painter.paintEntry(IconKind::Creature, "CRT_MOKTESH_RAVIX"));
    EXPECT_NE(a, painter.paintEntry(IconKind::Spell, "CRT_RAVIX"));
    EXPECT_NE(a, painter.paintEmpty());
    // Same initials, different text: still told apart by colour.
    EXPECT_NE(painter.paintEntry(IconKind::Perk, "PRK_UGOSS_THRIFT"),
              painter.paintEntry(IconKind::Perk, "PRK_UNOSS_TEMPER"));
}

TEST(CatalogIcons, WritesOneJpegPerEntry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeCatalogs(dir.path());
    QString error;
    ASSERT_TRUE(writeCatalogIcons(dir.path(), error)) << qPrintable(error);

    const QDir img(dir.path() + "/img");
    EXPECT_EQ(QDir(img.filePath("creatures")).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(QDir(img.filePath("artifacts")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(QDir(img.filePath("spells")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(QDir(img.filePath("perks")).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(QDir(img.filePath("skills")).entryList(QDir::Files).size(), 2);

    QImageReader reader(img.filePath("artifacts/ART_ISKVOR_SABATONS.jpg"));
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(32, 32));

    // The first creature and skill are the empty entries and share the empty tile.
    const QImage noCreature(img.filePath("creatures/CRT_NONE.jpg"));
    const QImage noSkill(img.filePath("skills/SKL_NONE.jpg"));
    const QImage creature(img.filePath("creatures/CRT_RAVIX.jpg"));
    EXPECT_EQ(noCreature, noSkill);
    EXPECT_NE(noCreature, creature);
}

TEST(CatalogIcons, FailsOnMissingCatalog)
{
    QTemporaryDir dir;
    writeCatalogs(dir.path());
    QFile::remove(dir.path() + "/perks.txt");
    QString error;
    EXPECT_FALSE(writeCatalogIcons(dir.path(), error));
    EXPECT_TRUE(error.contains("perks.txt")) << qPrintable(error);
}

TEST(CatalogIcons, RefusesEntriesThatAreNotFileNames)
{
    QTemporaryDir dir;
    writeCatalogs(dir.path());
    writeFile(dir.path() + "/spells.txt", "SPL_A\r\nSPL/B\r\n");
    QString error;
    EXPECT_FALSE(writeCatalogIcons(dir.path(), error));
    EXPECT_TRUE(error.contains("line 2")) << qPrintable(error);
}

TEST(WindowArt, WritesPicturesAndResourceList)
{
    QTemporaryDir dir;
    const QString out = dir.path() + "/art";
    QString error;
    ASSERT_TRUE(writeWindowArt(out, error)) << qPrintable(error);

    QFile qrc(out + "/art.qrc");
    ASSERT_TRUE(qrc.open(QIODevice::ReadOnly));
    const QByteArray listing = qrc.readAll();
    EXPECT_TRUE(listing.contains("prefix=\"/art\""));

    std::set<QString> names;
    for (const ArtPicture& picture : paintWindowArt()) {
        names.insert(picture.fileName);
        EXPECT_TRUE(listing.contains("<file>" + picture.fileName.toUtf8() + "</file>"));
        const QImage image(out + "/" + picture.fileName);
        ASSERT_FALSE(image.isNull()) << qPrintable(picture.fileName);
        int expected = picture.fileName.startsWith("glyph-") ? 16 : 32;
        if (picture.fileName.startsWith("app-icon-"))
            expected = picture.fileName.mid(9).chopped(4).toInt();
        EXPECT_EQ(image.size(), QSize(expected, expected)) << qPrintable(picture.fileName);
        // Drawn on a clear background, and actually drawn on.
        EXPECT_EQ(qAlpha(image.pixel(0, expected - 1)) + qAlpha(image.pixel(expected - 1, 0)) < 510, true);
        int opaque = 0;
        for (int y = 0; y < expected; ++y)
            for (int x = 0; x < expected; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 200;
        EXPECT_GT(opaque, expected * expected / 8) << qPrintable(picture.fileName);
    }
    EXPECT_EQ(names.size(), 13u);
    for (const char* name : {"glyph-add.png", "glyph-delete.png", "glyph-close.png", "glyph-create-mod.png",
                             "glyph-save.png", "ballista.png", "first-aid-tent.png", "ammo-cart.png",
                             "app-icon-16.png", "app-icon-32.png", "app-icon-48.png", "app-icon-128.png",
                             "app-icon-256.png"})
        EXPECT_EQ(names.count(name), 1u) << name;
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
