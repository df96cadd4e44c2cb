#include "CatalogText.h"

namespace voriraz {

QStringList splitCatalogText(const QByteArray& bytes)
{
    qsizetype end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();

    QStringList entries;
    qsizetype lineStart = 0;
    qsizetype i = 0;
    while (i < end) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            entries.append(QString::fromUtf8(bytes.constData() + lineStart, i - lineStart));
            ++i;
            if (c == '\r' && i < end && bytes[i] == '\n')
                ++i;
            lineStart = i;
        } else {
            ++i;
        }
    }
    if (lineStart < end)
        entries.append(QString::fromUtf8(bytes.constData() + lineStart, end - lineStart));
    return entries;
}

} // namespace voriraz
