#include "ArtgenJobs.h"

#include "ArtPainter.h"
#include "CatalogText.h"
#include "IconPainter.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace voriraz {

namespace {

struct IconSet {
    const char* name;
    IconKind kind;
    bool firstIsEmpty;
};

constexpr IconSet IconSets[] = {
    {"creatures", IconKind::Creature, true},
    {"artifacts", IconKind::Artifact, false},
    {"spells", IconKind::Spell, false},
    {"perks", IconKind::Perk, false},
    {"skills", IconKind::Skill, true},
};

constexpr int JpegQuality = 90;

bool usableAsFileName(const QString& entry)
{
    return entry != QLatin1String(".") && entry != QLatin1String("..") && !entry.contains(QLatin1Char('/'))
        && !entry.contains(QLatin1Char('\\'));
}

bool makeDirectory(const QString& path, QString& error)
{
    if (QDir().mkpath(path))
        return true;
    error = QStringLiteral("cannot create folder %1").arg(path);
    return false;
}

} // namespace

bool writeCatalogIcons(const QString& dataDir, QString& error)
{
    const IconPainter painter;
    const QImage emptyTile = painter.paintEmpty();
    for (const IconSet& set : IconSets) {
        const QString kind = QString::fromLatin1(set.name);
        const QString catalogPath = QDir(dataDir).filePath(kind + QStringLiteral(".txt"));
        QFile catalog(catalogPath);
        if (!catalog.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read %1: %2").arg(catalogPath, catalog.errorString());
            return false;
        }
        const QStringList entries = splitCatalogText(catalog.readAll());
        const QString folder = QDir(dataDir).filePath(QStringLiteral("img/") + kind);
        if (!makeDirectory(folder, error))
            return false;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QString& entry = entries[i];
            if (!usableAsFileName(entry)) {
                error = QStringLiteral("%1, line %2: \"%3\" cannot name an icon file")
                            .arg(catalogPath)
                            .arg(i + 1)
                            .arg(entry);
                return false;
            }
            const bool empty = entry.isEmpty() || (set.firstIsEmpty && i == 0);
            const QImage tile = empty ? emptyTile : painter.paintEntry(set.kind, entry);
            const QString target = folder + QLatin1Char('/') + entry + QStringLiteral(".jpg");
            if (!tile.save(target, "JPG", JpegQuality)) {
                error = QStringLiteral("cannot write %1").arg(target);
                return false;
            }
        }
    }
    return true;
}

bool writeWindowArt(const QString& outDir, QString& error)
{
    if (!makeDirectory(outDir, error))
        return false;
    const std::vector<ArtPicture> pictures = paintWindowArt();
    for (const ArtPicture& picture : pictures) {
        const QString target = QDir(outDir).filePath(picture.fileName);
        if (!picture.image.save(target, "PNG")) {
            error = QStringLiteral("cannot write %1").arg(target);
            return false;
        }
    }
    QSaveFile qrc(QDir(outDir).filePath(QStringLiteral("art.qrc")));
    if (!qrc.open(QIODevice::WriteOnly) || qrc.write(artResourceCollection(pictures)) < 0 || !qrc.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(qrc.fileName(), qrc.errorString());
        return false;
    }
    return true;
}

} // namespace voriraz
