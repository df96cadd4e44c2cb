#include "IconPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace voriraz {

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Palette {
    QColor base;
    QColor accent;
    quint32 bits = 0;
};

Palette paletteFor(const QString& entry)
{
    const quint32 h = entryHash(entry);
    const int hue = static_cast<int>(h % 360);
    const int sat = 130 + static_cast<int>((h >> 9) % 90);
    const int val = 120 + static_cast<int>((h >> 16) % 60);
    const int accentHue = (hue + 25 + static_cast<int>((h >> 20) % 70)) % 360;
    Palette p;
    p.base = QColor::fromHsv(hue, sat, val);
    // Yellows and greens look bright at the same value: darken them until
    // the white label stands out.
    const auto luma = [](const QColor& c) { return 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF(); };
    while (luma(p.base) > 0.5)
        p.base = p.base.darker(110);
    p.accent = QColor::fromHsv(accentHue, std::min(255, sat + 20), std::min(255, val + 50));
    p.bits = h;
    return p;
}

// Gradient across the tile in one of four directions picked by the hash.
QLinearGradient tileGradient(quint32 bits, const QColor& from, const QColor& to)
{
    static const QPointF starts[] = {{0, 0}, {32, 0}, {16, 0}, {0, 16}};
    static const QPointF ends[] = {{32, 32}, {0, 32}, {16, 32}, {32, 16}};
    const int d = static_cast<int>((bits >> 24) & 3);
    QLinearGradient g(starts[d], ends[d]);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

void drawLabel(QPainter& p, const QString& family, const QRectF& box, const QString& text, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 170));
    p.drawText(box.translated(1, 1), Qt::AlignCenter, text);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

void drawFrame(QPainter& p, const QColor& outer, const QColor& inner)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outer, 1));
    p.drawRect(QRectF(0.5, 0.5, 31, 31));
    p.setPen(QPen(inner, 1));
    p.drawRect(QRectF(1.5, 1.5, 29, 29));
}

void paintCreature(QPainter& p, const Palette& c)
{
    p.fillRect(QRectF(0, 0, 32, 32), tileGradient(c.bits, c.base.lighter(135), c.base.darker(150)));
    // Crest behind the label.
    QPainterPath crest;
    crest.moveTo(6, 5);
    crest.lineTo(26, 5);
    crest.lineTo(26, 15);
    crest.cubicTo(26, 22, 20, 26, 16, 28);
    crest.cubicTo(12, 26, 6, 22, 6, 15);
    crest.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 45));
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.drawPath(crest);
    drawFrame(p, c.base.darker(260), QColor(255, 255, 255, 60));
}

void paintArtifact(QPainter& p, const Palette& c)
{
    p.fillRect(QRectF(0, 0, 32, 32), QColor::fromHsv(c.base.hue(), 70, 42));
    const QPolygonF gem({{16, 2}, {30, 16}, {16, 30}, {2, 16}});
    QLinearGradient g(8, 4, 24, 28);
    g.setColorAt(0, c.accent.lighter(125));
    g.setColorAt(0.55, c.base);
    g.setColorAt(1, c.base.darker(170));
    p.setBrush(g);
    p.setPen(QPen(QColor(232, 196, 104), 1.2));
    p.drawPolygon(gem);
    // Facet lines.
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawLine(QPointF(9, 9), QPointF(16, 16));
    p.drawLine(QPointF(23, 9), QPointF(16, 16));
    drawFrame(p, QColor(120, 92, 36), QColor(214, 176, 92, 150));
}

void drawSparkle(QPainter& p, QPointF at, double r)
{
    QPainterPath s;
    s.moveTo(at.x(), at.y() - r);
    s.quadTo(at, QPointF(at.x() + r, at.y()));
    s.quadTo(at, QPointF(at.x(), at.y() + r));
    s.quadTo(at, QPointF(at.x() - r, at.y()));
    s.quadTo(at, QPointF(at.x(), at.y() - r));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 240, 220));
    p.drawPath(s);
}

void paintSpell(QPainter& p, const Palette& c)
{
    QLinearGradient sky(0, 0, 0, 32);
    sky.setColorAt(0, QColor::fromHsv(c.base.hue(), 200, 70));
    sky.setColorAt(1, QColor::fromHsv((c.base.hue() + 40) % 360, 210, 28));
    p.fillRect(QRectF(0, 0, 32, 32), sky);
    QRadialGradient orb(QPointF(12, 11), 15, QPointF(11, 10));
    orb.setColorAt(0, c.accent.lighter(160));
    orb.setColorAt(0.45, c.base.lighter(110));
    orb.setColorAt(1, c.base.darker(180));
    p.setPen(Qt::NoPen);
    p.setBrush(orb);
    p.drawEllipse(QPointF(16, 16), 11.5, 11.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(c.accent.red(), c.accent.green(), c.accent.blue(), 170), 1));
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    static const QPointF corners[] = {{4.5, 4.5}, {27.5, 4.5}, {27.5, 27.5}, {4.5, 27.5}};
    const int first = static_cast<int>((c.bits >> 5) & 3);
    drawSparkle(p, corners[first], 3.5);
    drawSparkle(p, corners[(first + 2) % 4], 2.5);
}

void paintPerk(QPainter& p, const Palette& c)
{
    p.fillRect(QRectF(0, 0, 32, 32), tileGradient(c.bits, c.base.darker(170), c.base.darker(260)));
    QPolygonF hex;
    for (int i = 0; i < 6; ++i) {
        const double a = Pi / 6 + i * Pi / 3;
        hex << QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a));
    }
    QLinearGradient g(16, 2, 16, 30);
    g.setColorAt(0, c.base.lighter(140));
    g.setColorAt(1, c.base.darker(120));
    p.setBrush(g);
    p.setPen(QPen(QColor(226, 230, 238), 1.5));
    p.drawPolygon(hex);
}

void paintSkill(QPainter& p, const Palette& c)
{
    p.fillRect(QRectF(0, 0, 32, 32), QColor(58, 44, 30));
    const QRectF tablet(2.5, 2.5, 27, 27);
    p.setBrush(tileGradient(c.bits, c.base.lighter(125), c.base.darker(140)));
    p.setPen(QPen(QColor(240, 228, 196), 1));
    p.drawRoundedRect(tablet, 4, 4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(240, 228, 196, 110), 1));
    p.drawRoundedRect(tablet.adjusted(2, 2, -2, -2), 2.5, 2.5);
    // Binding studs at the top corners.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 228, 196));
    p.drawEllipse(QPointF(7.5, 7.5), 1.2, 1.2);
    p.drawEllipse(QPointF(24.5, 7.5), 1.2, 1.2);
}

} // namespace

quint32 entryHash(const QString& entry)
{
    quint32 h = 2166136261u;
    for (const char byte : entry.toUtf8()) {
        h ^= static_cast<unsigned char>(byte);
        h *= 16777619u;
    }
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

QString abbreviateEntry(const QString& entry)
{
    // Words are separated by punctuation, spaces and lower-to-upper steps.
    QStringList words;
    QString word;
    QChar previous;
    for (const QChar ch : entry) {
        if (!ch.isLetterOrNumber()) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            if (!word.isEmpty() && ch.isUpper() && previous.isLower()) {
                words.append(word);
                word.clear();
            }
            word.append(ch);
        }
        previous = ch;
    }
    if (!word.isEmpty())
        words.append(word);

    const auto isKindPrefix = [](const QString& w) {
        return w.size() <= 4 && w == w.toUpper() && !w.front().isDigit();
    };
    if (words.size() >= 2 && isKindPrefix(words.front()))
        words.removeFirst();
    if (words.isEmpty())
        return {};
    if (words.size() == 1) {
        const QString& w = words.front();
        return w.left(1).toUpper() + w.mid(1, 1).toLower();
    }
    return (words[0].left(1) + words[1].left(1)).toUpper();
}

IconPainter::IconPainter()
    : mFontFamily(QStringLiteral("DejaVu Sans"))
{
}

QImage IconPainter::paintEntry(IconKind kind, const QString& entry) const
{
    QImage image(TileSize, TileSize, QImage::Format_RGB32);
    image.fill(Qt::black);
    const Palette palette = paletteFor(entry);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QRectF labelBox(0, 0, 32, 32);
    int labelSize = 13;
    switch (kind) {
    case IconKind::Creature:
        paintCreature(p, palette);
        labelBox = QRectF(0, 1, 32, 28);
        break;
    case IconKind::Artifact:
        paintArtifact(p, palette);
        labelSize = 11;
        break;
    case IconKind::Spell:
        paintSpell(p, palette);
        labelSize = 12;
        break;
    case IconKind::Perk:
        paintPerk(p, palette);
        labelSize = 12;
        break;
    case IconKind::Skill:
        paintSkill(p, palette);
        labelBox = QRectF(0, 2, 32, 30);
        labelSize = 12;
        break;
    }
    drawLabel(p, mFontFamily, labelBox, abbreviateEntry(entry), labelSize);
    return image;
}

QImage IconPainter::paintEmpty() const
{
    QImage image(TileSize, TileSize, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(62, 65, 71));
    g.setColorAt(1, QColor(36, 38, 42));
    p.fillRect(QRectF(0, 0, 32, 32), g);
    QPen dashed(QColor(138, 143, 152), 1);
    dashed.setDashPattern({2, 2});
    p.setBrush(Qt::NoBrush);
    p.setPen(dashed);
    p.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 3, 3);
    p.setPen(QPen(QColor(160, 166, 176), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(QPointF(16, 16), 7, 7);
    p.drawLine(QPointF(11, 21), QPointF(21, 11));
    return image;
}

} // namespace voriraz
