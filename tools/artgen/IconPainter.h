#pragma once

#include <QImage>
#include <QString>

namespace voriraz {

enum class IconKind { Creature, Artifact, Spell, Perk, Skill };

// Stable 32-bit hash of an entry's text (FNV-1a over UTF-8, then mixed so
// that neighbouring identifiers land far apart on the colour wheel).
quint32 entryHash(const QString& entry);

// The label drawn on a tile. A short all-capitals kind prefix such as "CRT"
// is dropped; several remaining words give their initials
// ("CRT_MOKTESH_RAVIX" -> "MR"), a single word its first two letters
// ("CRT_RAVIX" -> "Ra").
QString abbreviateEntry(const QString& entry);

// Paints the 32 x 32 catalog tiles. Each kind has its own shape; the colour
// comes from the entry's hash.
class IconPainter {
public:
    static constexpr int TileSize = 32;

    IconPainter();

    QImage paintEntry(IconKind kind, const QString& entry) const;

    // The tile of an "empty" entry (no creature, no skill): grey, dashed,
    // crossed out, with no label.
    QImage paintEmpty() const;

private:
    QString mFontFamily;
};

} // namespace voriraz
