#include "app/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace artwork {

namespace {

const QColor kInk(0x2b, 0x3a, 0x55);
const QColor kPaper(0xfb, 0xfa, 0xf4);
const QColor kAccent(0x2f, 0x80, 0x5a);

// Everything is drawn on a 32 x 32 grid and scaled.
QPixmap Canvas(int size, QPainter& painter, const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    painter.begin(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    painter.end();
    return pixmap;
}

void DrawPage(QPainter& p, const QRectF& r, bool folded = true)
{
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - (folded ? 6 : 0), r.top());
    page.lineTo(r.right(), r.top() + (folded ? 6 : 0));
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawPath(page);
}

void DrawLines(QPainter& p, const QRectF& r, int count)
{
    p.setPen(QPen(kInk.lighter(160), 1.2));
    for (int i = 0; i < count; ++i) {
        const qreal y = r.top() + 5 + i * 4;
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3 - (i % 2) * 4, y));
    }
}

void DrawWindow(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kInk, 1.3));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.fillRect(QRectF(r.left(), r.top(), r.width(), 3), kInk);
}

void DrawPrinter(QPainter& p, bool enabled)
{
    const QColor body = enabled ? kAccent : QColor(0x90, 0x90, 0x90);
    p.setPen(QPen(kInk, 1.3));
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 3, 14, 12)); // paper
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3, 12, 26, 12), 3, 3);
    p.setBrush(kPaper);
    p.drawRect(QRectF(9, 20, 14, 9));
    if (!enabled) {
        p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(27, 27));
    }
}

} // namespace

QPixmap Logo(int size)
{
    QPainter painter;
    return Canvas(size, painter, [](QPainter& p) {
        // Receipt with a serrated lower edge rising from a printer body.
        QPainterPath receipt;
        receipt.moveTo(9, 2);
        receipt.lineTo(23, 2);
        receipt.lineTo(23, 17);
        receipt.lineTo(9, 17);
        receipt.closeSubpath();
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kPaper);
        p.drawPath(receipt);
        p.setPen(QPen(kInk.lighter(150), 1.1));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(11, 5.5 + i * 3), QPointF(21 - i * 2, 5.5 + i * 3));
        QLinearGradient shade(0, 13, 0, 30);
        shade.setColorAt(0, kAccent.lighter(125));
        shade.setColorAt(1, kAccent.darker(130));
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(shade);
        p.drawRoundedRect(QRectF(3, 14, 26, 15), 3, 3);
        p.setBrush(kInk);
        p.drawRect(QRectF(8, 16.5, 16, 1.5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf2, 0xc1, 0x4e));
        p.drawEllipse(QPointF(24.5, 24.5), 1.8, 1.8);
    });
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(Logo(size));
    return icon;
}

QPixmap BackgroundTile()
{
    // A quiet diagonal weave so the empty frame does not look like a blank page.
    QPixmap tile(48, 48);
    tile.fill(QColor(0x5d, 0x6d, 0x7e));
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x66, 0x77, 0x88), 2));
    for (int i = -48; i <= 48; i += 12)
        p.drawLine(i, 0, i + 48, 48);
    p.setPen(QPen(QColor(0x56, 0x65, 0x75), 1));
    for (int i = 0; i <= 96; i += 12)
        p.drawLine(i, 0, i - 48, 48);
    return tile;
}

QIcon ToolIcon(Glyph glyph)
{
    QPainter painter;
    const auto draw = [glyph](QPainter& p) {
        switch (glyph) {
        case Glyph::New:
            DrawPage(p, QRectF(7, 3, 18, 26));
            p.setPen(QPen(kAccent, 2.5));
            p.drawLine(QPointF(16, 12), QPointF(16, 22));
            p.drawLine(QPointF(11, 17), QPointF(21, 17));
            break;
        case Glyph::Open:
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(0xe8, 0xc0, 0x5a));
            p.drawRect(QRectF(3, 8, 26, 19));
            p.setBrush(QColor(0xf5, 0xd7, 0x84));
            p.drawPolygon(
                QPolygonF({QPointF(3, 27), QPointF(8, 14), QPointF(31, 14), QPointF(29, 27)}));
            break;
        case Glyph::SaveAs:
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(0x4a, 0x6f, 0xa5));
            p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
            p.setBrush(kPaper);
            p.drawRect(QRectF(9, 4, 14, 9));
            p.drawRect(QRectF(8, 18, 16, 10));
            break;
        case Glyph::Cut:
            p.setPen(QPen(kInk, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(10, 24), 4, 4);
            p.drawEllipse(QPointF(22, 24), 4, 4);
            p.drawLine(QPointF(12, 21), QPointF(22, 4));
            p.drawLine(QPointF(20, 21), QPointF(10, 4));
            break;
        case Glyph::Copy:
            DrawPage(p, QRectF(4, 3, 16, 20), false);
            DrawPage(p, QRectF(12, 9, 16, 20), false);
            DrawLines(p, QRectF(12, 9, 16, 20), 3);
            break;
        case Glyph::Paste:
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(0xb5, 0x8a, 0x5a));
            p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
            p.setBrush(kInk);
            p.drawRect(QRectF(10, 3, 8, 4));
            DrawPage(p, QRectF(13, 11, 15, 18), false);
            break;
        case Glyph::Cascade:
            DrawWindow(p, QRectF(3, 3, 17, 13));
            DrawWindow(p, QRectF(8, 9, 17, 13));
            DrawWindow(p, QRectF(13, 15, 16, 13));
            break;
        case Glyph::TileHorizontal:
            DrawWindow(p, QRectF(4, 4, 24, 11));
            DrawWindow(p, QRectF(4, 17, 24, 11));
            break;
        case Glyph::TileVertical:
            DrawWindow(p, QRectF(4, 4, 11, 24));
            DrawWindow(p, QRectF(17, 4, 11, 24));
            break;
        case Glyph::EditFixAnswer:
        case Glyph::TestFixAnswer:
        case Glyph::EditReturnCode: {
            DrawPage(p, QRectF(5, 3, 18, 26));
            p.setPen(Qt::NoPen);
            const QColor bits[] = {QColor(0xc0, 0x30, 0x30), kAccent, QColor(0x30, 0x60, 0xc0)};
            for (int i = 0; i < 3; ++i) {
                p.setBrush(bits[i]);
                p.drawRect(QRectF(8, 8 + i * 5, 3, 3));
            }
            DrawLines(p, QRectF(9, 4, 13, 20), 3);
            p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap));
            if (glyph == Glyph::EditFixAnswer) {
                p.drawLine(QPointF(19, 28), QPointF(29, 18));
            } else if (glyph == Glyph::TestFixAnswer) {
                p.setPen(QPen(kAccent, 2.5, Qt::SolidLine, Qt::RoundCap));
                p.drawPolyline(QPolygonF({QPointF(17, 24), QPointF(21, 28), QPointF(29, 18)}));
            } else {
                p.setPen(kInk);
                QFont font = p.font();
                font.setPixelSize(11);
                font.setBold(true);
                p.setFont(font);
                p.drawText(QRectF(15, 19, 17, 12), Qt::AlignCenter, QStringLiteral("RC"));
            }
            break;
        }
        case Glyph::FiscalEnabled:
            DrawPrinter(p, true);
            break;
        case Glyph::FiscalDisabled:
            DrawPrinter(p, false);
            break;
        }
    };
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(Canvas(size, painter, draw));
    return icon;
}

} // namespace artwork
