#include "ArtPainter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>

namespace voriraz {

namespace {

constexpr double Pi = 3.14159265358979323846;

const QColor Outline(40, 32, 24);
const QColor WoodLight(196, 140, 80);
const QColor WoodDark(120, 78, 38);
const QColor Steel(170, 178, 190);

QImage blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void smooth(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
}

QLinearGradient vertical(double top, double bottom, const QColor& a, const QColor& b)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

// ---------------------------------------------------------------- glyphs

QImage glyphAdd()
{
    QImage image = blank(16);
    QPainter p(&image);
    smooth(p);
    QPainterPath h;
    h.addRoundedRect(QRectF(1.5, 6, 13, 4), 1, 1);
    QPainterPath v;
    v.addRoundedRect(QRectF(6, 1.5, 4, 13), 1, 1);
    p.setBrush(vertical(1, 15, QColor(112, 204, 96), QColor(38, 128, 44)));
    p.setPen(QPen(QColor(24, 84, 30), 1));
    p.drawPath(h.united(v));
    return image;
}

QImage glyphDelete()
{
    // A waste bin.
    QImage image = blank(16);
    QPainter p(&image);
    smooth(p);
    const QColor edge(58, 62, 70);
    p.setPen(QPen(edge, 1));
    p.setBrush(QColor(150, 156, 166));
    p.drawRoundedRect(QRectF(5.5, 0.5, 5, 2.5), 1, 1);
    p.setBrush(vertical(2, 5, QColor(214, 218, 226), QColor(150, 156, 166)));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 2.5), 1, 1);
    const QPolygonF body({{3, 5.5}, {13, 5.5}, {12, 15.5}, {4, 15.5}});
    p.setBrush(vertical(5, 16, QColor(206, 210, 218), QColor(130, 136, 148)));
    p.drawPolygon(body);
    p.setPen(QPen(QColor(90, 96, 106), 1));
    for (const double x : {6.0, 8.0, 10.0})
        p.drawLine(QPointF(x, 7.5), QPointF(x, 13.5));
    return image;
}

QImage glyphClose()
{
    // An open door with an arrow leaving through it.
    QImage image = blank(16);
    QPainter p(&image);
    smooth(p);
    p.setPen(QPen(QColor(70, 46, 24), 1));
    p.setBrush(QColor(52, 40, 30));
    p.drawRect(QRectF(1.5, 1.5, 8, 13));
    const QPolygonF leaf({{1.5, 1.5}, {5.5, 3}, {5.5, 15.5}, {1.5, 14.5}});
    p.setBrush(vertical(1, 15, WoodLight, WoodDark));
    p.drawPolygon(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(236, 200, 96));
    p.drawEllipse(QPointF(4.4, 8.8), 0.8, 0.8);
    QPainterPath arrow;
    arrow.moveTo(7, 6.5);
    arrow.lineTo(10.5, 6.5);
    arrow.lineTo(10.5, 3.5);
    arrow.lineTo(15.2, 8);
    arrow.lineTo(10.5, 12.5);
    arrow.lineTo(10.5, 9.5);
    arrow.lineTo(7, 9.5);
    arrow.closeSubpath();
    p.setBrush(vertical(3, 13, QColor(250, 120, 84), QColor(196, 48, 36)));
    p.setPen(QPen(QColor(110, 24, 18), 1));
    p.drawPath(arrow);
    return image;
}

QImage glyphCreateMod()
{
    // A cardboard package, seen from above at an angle.
    QImage image = blank(16);
    QPainter p(&image);
    smooth(p);
    const QPolygonF top({{8, 1}, {15, 4.5}, {8, 8}, {1, 4.5}});
    const QPolygonF left({{1, 4.5}, {8, 8}, {8, 15.5}, {1, 12}});
    const QPolygonF right({{8, 8}, {15, 4.5}, {15, 12}, {8, 15.5}});
    p.setPen(QPen(QColor(96, 66, 28), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(240, 206, 144));
    p.drawPolygon(top);
    p.setBrush(QColor(206, 160, 96));
    p.drawPolygon(left);
    p.setBrush(QColor(170, 122, 64));
    p.drawPolygon(right);
    // Tape across the lid and down the front.
    p.setPen(QPen(QColor(250, 240, 214), 1.6));
    p.drawLine(QPointF(4.5, 2.75), QPointF(11.5, 6.25));
    p.setPen(QPen(QColor(226, 208, 170), 1.2));
    p.drawLine(QPointF(4.5, 6.3), QPointF(4.5, 9.6));
    return image;
}

QImage glyphSave()
{
    // A floppy disk.
    QImage image = blank(16);
    QPainter p(&image);
    smooth(p);
    QPainterPath body;
    body.moveTo(1.5, 2.5);
    body.quadTo(1.5, 1.5, 2.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 13.5);
    body.quadTo(14.5, 14.5, 13.5, 14.5);
    body.lineTo(2.5, 14.5);
    body.quadTo(1.5, 14.5, 1.5, 13.5);
    body.closeSubpath();
    p.setPen(QPen(QColor(20, 44, 92), 1));
    p.setBrush(vertical(1, 15, QColor(76, 128, 208), QColor(34, 76, 150)));
    p.drawPath(body);
    // Metal shutter with its window.
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(1, 6, QColor(236, 238, 242), QColor(176, 182, 192)));
    p.drawRect(QRectF(4, 2, 7.5, 4.5));
    p.setBrush(QColor(40, 52, 72));
    p.drawRect(QRectF(8.7, 2.8, 1.6, 3));
    // Paper label.
    p.setBrush(QColor(250, 250, 246));
    p.drawRect(QRectF(3.5, 8.5, 9, 5.5));
    p.setPen(QPen(QColor(150, 160, 176), 0.8));
    p.drawLine(QPointF(4.8, 10.3), QPointF(11.2, 10.3));
    p.drawLine(QPointF(4.8, 12.2), QPointF(11.2, 12.2));
    return image;
}

// ---------------------------------------------------------------- war machines

void drawWheel(QPainter& p, QPointF centre, double r)
{
    p.setPen(QPen(Outline, 1.2));
    p.setBrush(QColor(92, 60, 30));
    p.drawEllipse(centre, r, r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(WoodLight, 1));
    p.drawEllipse(centre, r - 1.6, r - 1.6);
    for (int i = 0; i < 3; ++i) {
        const double a = i * Pi / 3 + Pi / 6;
        const QPointF d((r - 1.6) * std::cos(a), (r - 1.6) * std::sin(a));
        p.drawLine(centre - d, centre + d);
    }
    p.setPen(QPen(Outline, 0.8));
    p.setBrush(Steel);
    p.drawEllipse(centre, 1.3, 1.3);
}

QImage ballista()
{
    // A large crossbow on a two-wheeled carriage, seen from the side and
    // slightly above, its bow facing up and to the right.
    QImage image = blank(32);
    QPainter p(&image);
    smooth(p);
    const QPointF rear(4.5, 19.5);
    const QPointF front(24.5, 10);
    const QPointF along = (front - rear) / std::hypot(front.x() - rear.x(), front.y() - rear.y());
    const QPointF across(-along.y(), along.x());

    // Carriage: a post on an axle beam between two wheels.
    p.setPen(QPen(WoodDark, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 15), QPointF(16, 24));
    p.setPen(QPen(Outline, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(7, 25), QPointF(25, 25));
    drawWheel(p, QPointF(9, 25.5), 4.8);
    drawWheel(p, QPointF(23, 25.5), 4.8);

    // Bow across the front end, its string drawn back to the nock.
    const QPointF centre = front - along * 2.5;
    const QPointF tipA = centre + across * 8.5 - along * 4;
    const QPointF tipB = centre - across * 8.5 - along * 4;
    const QPointF nock = rear + along * 5.5;
    p.setPen(QPen(QColor(244, 236, 214), 1));
    p.drawLine(tipA, nock);
    p.drawLine(tipB, nock);

    // Stock.
    QPainterPath stock;
    stock.moveTo(rear + across * 1.6);
    stock.lineTo(front + across * 1.6);
    stock.lineTo(front - across * 1.6);
    stock.lineTo(rear - across * 1.6);
    stock.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(vertical(8, 23, WoodLight, WoodDark));
    p.drawPath(stock);

    QPainterPath bow;
    bow.moveTo(tipA);
    bow.quadTo(centre + along * 5, tipB);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Outline, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(bow);
    p.setPen(QPen(QColor(176, 116, 58), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(bow);

    // The bolt lying in the stock, steel head past the bow.
    const QPointF tail = nock + along * 0.5;
    const QPointF tip = front + along * 5.5;
    p.setPen(QPen(QColor(236, 226, 200), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tail, tip - along * 2.5);
    const QPolygonF head({tip, tip - along * 3.5 + across * 1.8, tip - along * 3.5 - across * 1.8});
    p.setPen(QPen(QColor(50, 56, 66), 0.8));
    p.setBrush(Steel);
    p.drawPolygon(head);
    p.setPen(QPen(QColor(206, 60, 46), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(tail + along * 1.0, tail + along * 1.0 - along * 1.2 + across * 1.8);
    p.drawLine(tail + along * 1.0, tail + along * 1.0 - along * 1.2 - across * 1.8);
    return image;
}

QImage firstAidTent()
{
    // A field hospital tent: pitched roof over straight walls, an open door
    // and a healer's mark on the roof.
    QImage image = blank(32);
    QPainter p(&image);
    smooth(p);
    // Pole and pennant.
    p.setPen(QPen(WoodDark, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 5), QPointF(16, 1));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(52, 168, 84));
    p.drawPolygon(QPolygonF({{16.6, 1}, {22.5, 2.6}, {16.6, 4.2}}));

    const QColor seam(120, 100, 64);
    QLinearGradient cloth(3, 0, 29, 0);
    cloth.setColorAt(0, QColor(252, 248, 234));
    cloth.setColorAt(1, QColor(216, 202, 166));
    // Walls.
    p.setPen(QPen(seam, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(cloth);
    p.drawRect(QRectF(4.5, 15, 23, 13));
    p.setPen(QPen(QColor(190, 172, 130), 0.8));
    p.drawLine(QPointF(10.5, 16), QPointF(10.5, 27.5));
    p.drawLine(QPointF(21.5, 16), QPointF(21.5, 27.5));
    // Roof with a scalloped valance.
    QPainterPath roof;
    roof.moveTo(16, 4.5);
    roof.lineTo(30, 16);
    for (int i = 0; i < 7; ++i) {
        const double x = 30 - i * 4;
        roof.quadTo(QPointF(x - 2, 19.5), QPointF(x - 4, 16));
    }
    roof.closeSubpath();
    QLinearGradient top(0, 4, 0, 18);
    top.setColorAt(0, QColor(250, 244, 226));
    top.setColorAt(1, QColor(224, 210, 172));
    p.setPen(QPen(seam, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(top);
    p.drawPath(roof);
    // Door.
    p.setPen(QPen(QColor(96, 74, 40), 0.8));
    p.setBrush(QColor(92, 70, 42));
    p.drawPolygon(QPolygonF({{12.5, 28}, {16, 19.5}, {19.5, 28}}));
    // Green cross on the roof.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 140, 64));
    p.drawRect(QRectF(14.8, 8.2, 2.4, 7));
    p.drawRect(QRectF(12.5, 10.5, 7, 2.4));
    // Ground.
    p.setPen(QPen(QColor(96, 120, 60), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1, 28.5), QPointF(31, 28.5));
    return image;
}

QImage ammoCart()
{
    QImage image = blank(32);
    QPainter p(&image);
    smooth(p);
    // Shaft.
    p.setPen(QPen(WoodDark, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(25, 18), QPointF(31, 22.5));
    // Shot piled on the cart.
    const auto ball = [&p](QPointF c) {
        QRadialGradient g(c + QPointF(-0.9, -0.9), 3.2);
        g.setColorAt(0, QColor(150, 156, 166));
        g.setColorAt(1, QColor(34, 38, 44));
        p.setPen(QPen(QColor(20, 22, 26), 0.7));
        p.setBrush(g);
        p.drawEllipse(c, 2.8, 2.8);
    };
    ball(QPointF(9.5, 10));
    ball(QPointF(15.5, 10));
    ball(QPointF(21.5, 10));
    ball(QPointF(12.5, 5.6));
    ball(QPointF(18.5, 5.6));
    // Box with planks and iron bands.
    p.setPen(QPen(Outline, 1));
    p.setBrush(vertical(12, 22, WoodLight, WoodDark));
    p.drawRect(QRectF(4.5, 12.5, 21, 9));
    p.setPen(QPen(QColor(110, 72, 36), 0.8));
    p.drawLine(QPointF(5, 15.5), QPointF(25, 15.5));
    p.drawLine(QPointF(5, 18.5), QPointF(25, 18.5));
    p.setPen(QPen(QColor(70, 74, 82), 1.4));
    p.drawLine(QPointF(9, 13), QPointF(9, 21));
    p.drawLine(QPointF(21, 13), QPointF(21, 21));
    drawWheel(p, QPointF(9.5, 24.5), 5);
    drawWheel(p, QPointF(21.5, 24.5), 5);
    return image;
}

// ---------------------------------------------------------------- application icon

QImage appIcon(int size)
{
    QImage image = blank(size);
    QPainter p(&image);
    smooth(p);
    p.scale(size / 32.0, size / 32.0);
    // Round emblem.
    QRadialGradient disc(QPointF(12, 10), 24);
    disc.setColorAt(0, QColor(82, 96, 196));
    disc.setColorAt(1, QColor(30, 26, 84));
    p.setBrush(disc);
    p.setPen(QPen(QColor(222, 184, 86), size < 24 ? 2.2 : 1.6));
    p.drawEllipse(QPointF(16, 16), 14.6, 14.6);
    // The V: two blades meeting at the bottom.
    QPainterPath v;
    v.moveTo(5.5, 7);
    v.lineTo(12.2, 7);
    v.lineTo(16, 18.5);
    v.lineTo(19.8, 7);
    v.lineTo(26.5, 7);
    v.lineTo(17.8, 27);
    v.lineTo(14.2, 27);
    v.closeSubpath();
    QLinearGradient gold(0, 7, 0, 27);
    gold.setColorAt(0, QColor(255, 236, 150));
    gold.setColorAt(1, QColor(214, 150, 40));
    p.setBrush(gold);
    p.setPen(QPen(QColor(96, 60, 10), size < 24 ? 1.6 : 1.1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(v);
    return image;
}

} // namespace

std::vector<ArtPicture> paintWindowArt()
{
    return {
        {QStringLiteral("glyph-add.png"), glyphAdd()},
        {QStringLiteral("glyph-delete.png"), glyphDelete()},
        {QStringLiteral("glyph-close.png"), glyphClose()},
        {QStringLiteral("glyph-create-mod.png"), glyphCreateMod()},
        {QStringLiteral("glyph-save.png"), glyphSave()},
        {QStringLiteral("ballista.png"), ballista()},
        {QStringLiteral("first-aid-tent.png"), firstAidTent()},
        {QStringLiteral("ammo-cart.png"), ammoCart()},
        {QStringLiteral("app-icon-16.png"), appIcon(16)},
        {QStringLiteral("app-icon-32.png"), appIcon(32)},
        // The sizes an installed copy puts into the desktop's icon theme.
        {QStringLiteral("app-icon-48.png"), appIcon(48)},
        {QStringLiteral("app-icon-128.png"), appIcon(128)},
        {QStringLiteral("app-icon-256.png"), appIcon(256)},
    };
}

QByteArray artResourceCollection(const std::vector<ArtPicture>& pictures)
{
    QByteArray qrc = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/art\">\n";
    for (const ArtPicture& picture : pictures)
        qrc += "    <file>" + picture.fileName.toUtf8() + "</file>\n";
    qrc += "</qresource>\n</RCC>\n";
    return qrc;
}

} // namespace voriraz
