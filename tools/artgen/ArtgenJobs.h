#pragma once

#include <QString>

namespace voriraz {

// Paints one tile per catalog entry of every icon kind into
// <dataDir>/img/<kind>/<entry>.jpg. The first entry of creatures.txt and of
// skills.txt is the "empty" entry and gets the empty tile. On failure returns
// false and says why in error.
bool writeCatalogIcons(const QString& dataDir, QString& error);

// Writes the window's PNG pictures and art.qrc into outDir.
bool writeWindowArt(const QString& outDir, QString& error);

} // namespace voriraz
