#pragma once

#include <QByteArray>
#include <QStringList>

namespace voriraz {

// Splits the raw bytes of a catalog file into its entries.
//
// A line ends at CR LF, at a lone LF or at a lone CR (so LF CR ends two
// lines). The first NUL byte ends the text. A final line break does not
// start another, empty entry. Entries are decoded as UTF-8 and kept exactly
// as written, surrounding spaces included.
QStringList splitCatalogText(const QByteArray& bytes);

} // namespace voriraz
