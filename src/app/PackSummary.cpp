#include "app/PackSummary.h"

#include <QLocale>

#include <algorithm>

namespace voriraz {

namespace {

constexpr std::size_t listedSkips = 20;

QString sizeText(std::uint64_t bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    const double kilobytes = static_cast<double>(bytes) / 1024.0;
    if (kilobytes < 1024)
        return QLocale::c().toString(kilobytes, 'f', 1) + QStringLiteral(" KB");
    return QLocale::c().toString(kilobytes / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

QString count(std::size_t n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString keptOrNothing(bool previous, const QString &archiveName)
{
    return previous ? QStringLiteral("the previous %1 was kept.").arg(archiveName)
                    : QStringLiteral("no archive was written.");
}

} // namespace

QString packedText(const ModArchiveReport &report, const QString &archiveName)
{
    return QStringLiteral("Packed %1 into %2 (%3).")
        .arg(count(report.entries, "entry", "entries"), archiveName, sizeText(report.archiveBytes));
}

QString skippedText(const ModArchiveReport &report, const QString &archiveName)
{
    QStringList parts;
    if (report.failedFiles > 0)
        parts << count(report.failedFiles, "file that could not be packed", "files that could not be packed");
    if (report.linksOutside > 0)
        parts << count(report.linksOutside, "link leading outside the mod folder", "links leading outside the mod folder");
    if (report.linksNowhere > 0)
        parts << count(report.linksNowhere, "link leading nowhere", "links leading nowhere");
    if (report.notFiles > 0)
        parts << count(report.notFiles, "pipe, socket or device", "pipes, sockets or devices");
    QString text = packedText(report, archiveName);
    if (!parts.isEmpty()) {
        text += QStringLiteral("\n\nLeft out: ") + parts.join(QStringLiteral(", ")) + QStringLiteral(".\n");
        const std::size_t shown = std::min(report.skipped.size(), listedSkips);
        for (std::size_t i = 0; i < shown; ++i)
            text += QStringLiteral("\n%1: %2").arg(QString::fromStdString(report.skipped[i].name),
                                                   QString::fromStdString(report.skipped[i].reason));
        if (report.leftOut() > shown)
            text += QStringLiteral("\n... and %1 more.").arg(report.leftOut() - shown);
    }
    if (!report.warnings.empty()) {
        text += QStringLiteral("\n\nTake note:\n");
        const std::size_t shown = std::min(report.warnings.size(), listedSkips);
        for (std::size_t i = 0; i < shown; ++i)
            text += QStringLiteral("\n") + QString::fromStdString(report.warnings[i]);
        if (report.warnings.size() > shown)
            text += QStringLiteral("\n... and %1 more.").arg(report.warnings.size() - shown);
    }
    return text;
}

QString stoppedText(bool cancelled, bool previous, const QString &archiveName)
{
    return (cancelled ? QStringLiteral("Packing cancelled; ") : QStringLiteral("Packing aborted; "))
           + keptOrNothing(previous, archiveName);
}

QString failedText(bool previous, const QString &archiveName)
{
    return QStringLiteral("Packing failed; ") + keptOrNothing(previous, archiveName);
}

} // namespace voriraz
