// Draws the main window's pictures: the front panel, the V-Take grid, the
// knob faces and the button glyphs, and the application icon. Run at build
// time with the folder to write the PNG files into and, optionally, a second
// folder for the icon (icon.svg and icon-<size>.png); the output depends on
// nothing but this file and the DejaVu fonts, so every build draws the same
// pictures.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

// Front-panel colours: dark anodised metal with a warm accent.
const QColor kMetalTop(58, 61, 66);
const QColor kMetalBottom(38, 40, 44);
const QColor kEdgeLight(96, 100, 107);
const QColor kEdgeDark(14, 15, 17);
const QColor kWell(22, 23, 26);
const QColor kSection(47, 50, 55);
const QColor kLegend(184, 188, 194);
const QColor kAccent(232, 128, 40);
const QColor kLcdTop(206, 216, 190);
const QColor kLcdBottom(178, 190, 160);

QFont Font(int pixels, bool bold, const char* family = "DejaVu Sans") {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A small deterministic generator, so the brushed grain is the same on
// every build.
class Grain {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ull << 53);
    }

  private:
    unsigned long long state_ = 0x5452582D35ull;
};

// Horizontal streaks of slightly lighter and darker metal.
void BrushMetal(QPainter& p, const QRect& area, QColor top, QColor bottom) {
    QLinearGradient base(area.topLeft(), area.bottomLeft());
    base.setColorAt(0, top);
    base.setColorAt(1, bottom);
    p.fillRect(area, base);
    Grain grain;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        int x = area.left();
        while (x <= area.right()) {
            const int length = 8 + static_cast<int>(grain.Next() * 90);
            const int shade = static_cast<int>((grain.Next() - 0.5) * 14);
            const QColor streak =
                shade >= 0 ? QColor(255, 255, 255, shade) : QColor(0, 0, 0, -shade);
            p.fillRect(x, y, std::min(length, area.right() - x + 1), 1, streak);
            x += length;
        }
    }
}

// A frame that looks pressed into the panel (lowered) or standing out.
void Bevel(QPainter& p, const QRectF& r, double radius, bool lowered) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    const QColor light(255, 255, 255, 46);
    const QColor dark(0, 0, 0, 150);
    p.setPen(QPen(lowered ? dark : light, 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -1.5, -1.5), radius, radius);
    p.setPen(QPen(lowered ? light : dark, 1));
    p.drawRoundedRect(r.adjusted(1.5, 1.5, -0.5, -0.5), radius, radius);
    p.restore();
}

void Section(QPainter& p, const QRectF& r, QColor fill) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    fill.setAlpha(170);
    p.setBrush(fill);
    p.drawRoundedRect(r, 5, 5);
    p.restore();
    Bevel(p, r, 5, true);
}

void Screw(QPainter& p, QPointF centre) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient head(centre - QPointF(1.2, 1.2), 4.5);
    head.setColorAt(0, QColor(150, 154, 160));
    head.setColorAt(1, QColor(62, 65, 70));
    p.setPen(QPen(QColor(12, 12, 14), 0.8));
    p.setBrush(head);
    p.drawEllipse(centre, 3.6, 3.6);
    p.setPen(QPen(QColor(24, 25, 28), 1.1));
    p.drawLine(centre + QPointF(-2.2, 1.2), centre + QPointF(2.2, -1.2));
    p.restore();
}

// Small capitals with a dark drop shadow so they read on the metal.
void Legend(QPainter& p, const QRect& box, Qt::Alignment align, const QString& text,
            const QFont& font, QColor color = kLegend) {
    p.save();
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(box.translated(0, 1), align, text);
    p.setPen(color);
    p.drawText(box, align, text);
    p.restore();
}

// A heading with a hairline running on to the right edge of its box.
void Heading(QPainter& p, const QRect& box, const QString& text) {
    QFont font = Font(9, true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
    Legend(p, box, Qt::AlignLeft | Qt::AlignVCenter, text, font);
    const int textWidth = QFontMetrics(font).horizontalAdvance(text);
    const int y = box.center().y() + 1;
    p.fillRect(box.left() + textWidth + 5, y, box.right() - box.left() - textWidth - 5, 1,
               QColor(255, 255, 255, 40));
    p.fillRect(box.left() + textWidth + 5, y + 1, box.right() - box.left() - textWidth - 5, 1,
               QColor(0, 0, 0, 120));
}

// An image of `size` logical pixels at `scale` device pixels each: a painter
// on it draws in logical pixels, so one drawing gives the 1x and the 2x
// picture, the latter with twice the detail.
QImage Canvas(QSize size, int scale, QImage::Format format) {
    QImage image(size * scale, format);
    image.setDevicePixelRatio(scale);
    return image;
}

void LcdWindow(QPainter& p, const QRect& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kEdgeDark, 1));
    QLinearGradient glass(r.topLeft(), r.bottomLeft());
    glass.setColorAt(0, kLcdTop);
    glass.setColorAt(1, kLcdBottom);
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.drawLine(QPointF(r.left() + 2.5, r.top() + 1.5), QPointF(r.right() - 2.5, r.top() + 1.5));
    p.restore();
}

QImage Panel1(int scale) {
    QImage image = Canvas(QSize(465, 443), scale, QImage::Format_RGB32);
    QPainter p(&image);
    BrushMetal(p, QRect(0, 0, 465, 443), kMetalTop, kMetalBottom);

    // Outer edge of the panel.
    p.fillRect(0, 0, 465, 1, kEdgeLight);
    p.fillRect(0, 0, 1, 443, kEdgeLight);
    p.fillRect(0, 442, 465, 1, kEdgeDark);
    p.fillRect(464, 0, 1, 443, kEdgeDark);
    for (QPointF at : {QPointF(9, 9), QPointF(455, 433), QPointF(9, 433), QPointF(455, 9)}) {
        Screw(p, at);
    }

    // Maker's mark, top left.
    {
        p.setRenderHint(QPainter::TextAntialiasing);
        QFont mark = Font(20, true);
        mark.setItalic(true);
        mark.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
        Legend(p, QRect(22, 4, 120, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TRX-5"),
               mark, QColor(236, 238, 240));
        const int markWidth = QFontMetrics(mark).horizontalAdvance(QStringLiteral("TRX-5"));
        p.fillRect(24 + markWidth + 6, 11, 3, 14, kAccent);
        QFont sub = Font(8, true);
        sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
        Legend(p, QRect(24 + markWidth + 14, 8, 160, 10), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("DIGITAL 4-TRACK"), sub);
        Legend(p, QRect(24 + markWidth + 14, 18, 160, 10), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("CARD MANAGER"), sub, QColor(150, 154, 160));
    }

    // The well the V-Take grid sits in.
    {
        const QRectF well(41, 33, 255, 197);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kWell);
        p.drawRoundedRect(well, 4, 4);
        p.restore();
        Bevel(p, well, 4, true);
    }

    // Knob rows: pan above level, one knob per track.
    {
        QFont legend = Font(9, true);
        legend.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
        Legend(p, QRect(8, 235, 50, 16), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("PAN"),
               legend);
        Legend(p, QRect(8, 255, 50, 16), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("LEVEL"),
               legend);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        for (int t = 0; t < 4; ++t) {
            for (int top : {233, 253}) {
                // A soft shadow under each knob, offset down and right.
                const QPointF centre(62 + 60 * t + 10.5, top + 11.0);
                QRadialGradient shadow(centre, 12);
                shadow.setColorAt(0.75, QColor(0, 0, 0, 120));
                shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
                p.setPen(Qt::NoPen);
                p.setBrush(shadow);
                p.drawEllipse(centre, 12, 12);
            }
            if (t > 0) {
                const int x = 58 + 60 * t;
                p.fillRect(x, 236, 1, 36, QColor(0, 0, 0, 90));
                p.fillRect(x + 1, 236, 1, 36, QColor(255, 255, 255, 22));
            }
        }
        p.restore();
    }

    // Right-hand column: import, export, take lengths and audition.
    Section(p, QRectF(299, 30, 161, 250), kSection);
    Heading(p, QRect(307, 45, 146, 12), QStringLiteral("IMPORT"));
    LcdWindow(p, QRect(304, 59, 153, 27));
    Heading(p, QRect(307, 123, 146, 12), QStringLiteral("EXPORT"));
    Heading(p, QRect(307, 181, 146, 12), QStringLiteral("TAKE LENGTH"));

    // Lower area: messages, progress, back-up and restore.
    Section(p, QRectF(22, 290, 421, 127), kSection);

    // Foot strip with the model line.
    {
        p.fillRect(22, 422, 421, 1, QColor(0, 0, 0, 110));
        p.fillRect(22, 423, 421, 1, QColor(255, 255, 255, 24));
        QFont foot = Font(8, true);
        foot.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
        Legend(p, QRect(24, 426, 240, 12), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("TRX-5  DIGITAL MULTITRACK RECORDER"), foot, QColor(140, 144, 150));
        p.fillRect(420, 428, 20, 3, kAccent);
        Legend(p, QRect(250, 426, 164, 12), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("MEMORY CARD"), foot, QColor(140, 144, 150));
    }
    return image;
}

QImage BtnsPanel(int scale) {
    constexpr int kColumns = 4;
    constexpr int kRows = 8;
    constexpr int kLeft = 2;
    constexpr int kTop = 34;
    constexpr int kCellWidth = 60;
    constexpr int kCellHeight = 19;

    QImage image = Canvas(QSize(249, 192), scale, QImage::Format_RGB32);
    QPainter p(&image);
    image.fill(QColor(18, 24, 34));

    // Header: a darker strip holding the select buttons and track names.
    QLinearGradient header(0, 0, 0, kTop);
    header.setColorAt(0, QColor(46, 56, 74));
    header.setColorAt(1, QColor(26, 33, 46));
    p.fillRect(0, 0, 249, kTop, header);
    p.fillRect(0, kTop - 1, 249, 1, QColor(8, 10, 14));

    QFont name = Font(8, true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    for (int t = 0; t < kColumns; ++t) {
        const int x = kLeft + kCellWidth * t;
        // Socket behind the 23 x 10 select button at (21 + 60t, 10).
        p.fillRect(x + 18, 8, 29, 14, QColor(10, 13, 19));
        p.fillRect(x + 18, 21, 29, 1, QColor(255, 255, 255, 30));
        Legend(p, QRect(x, 22, kCellWidth, 11), Qt::AlignCenter,
               QStringLiteral("TRACK %1").arg(t + 1), name, QColor(240, 242, 246));
        if (t > 0) p.fillRect(x - 1, 2, 1, kTop - 4, QColor(255, 255, 255, 20));
    }

    // The grid: pale display cells, so the takes' black captions read well.
    QFont number = Font(8, true);
    for (int t = 0; t < kColumns; ++t) {
        for (int v = 0; v < kRows; ++v) {
            const QRect cell(kLeft + kCellWidth * t, kTop + kCellHeight * v, kCellWidth,
                             kCellHeight);
            QLinearGradient glass(cell.topLeft(), cell.bottomLeft());
            glass.setColorAt(0, QColor(222, 230, 240));
            glass.setColorAt(1, QColor(198, 210, 224));
            p.fillRect(cell, glass);
            p.fillRect(cell.left(), cell.bottom(), cell.width(), 1, QColor(132, 146, 166));
            p.fillRect(cell.right(), cell.top(), 1, cell.height(), QColor(132, 146, 166));
            p.fillRect(cell.left(), cell.top(), cell.width() - 1, 1, QColor(240, 244, 250));
            // The V-Take number, faint, where an empty slot's button is flat.
            p.setFont(number);
            p.setPen(QColor(146, 160, 182));
            p.drawText(cell.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::number(v + 1));
        }
    }
    // Cut edge beyond the grid.
    p.fillRect(kLeft + kCellWidth * kColumns, kTop, 249 - kLeft - kCellWidth * kColumns,
               kCellHeight * kRows, QColor(12, 16, 24));
    return image;
}

// A 20 x 20 knob face on white corners; drawn without smoothing so that no
// half-white pixels ring the disc when the white is made transparent.
QImage Knob(int scale, QColor disc, QColor rim, bool focusRing) {
    QImage image = Canvas(QSize(20, 20), scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Unsmoothed, a one-pixel pen lies right of and below its line; the
    // wider pen of a larger scale straddles it, so that drawing is moved
    // half a pixel to cover the same disc.
    p.translate(0.5 * (scale - 1), 0.5 * (scale - 1));
    p.setPen(rim);
    p.setBrush(disc);
    p.drawEllipse(QRect(0, 0, 19, 19));
    // A lighter arc at the top left gives the face some depth.
    p.setPen(disc.lighter(118));
    p.drawArc(QRect(2, 2, 15, 15), 100 * 16, 80 * 16);
    p.setPen(disc.darker(118));
    p.drawArc(QRect(2, 2, 15, 15), 280 * 16, 80 * 16);
    if (focusRing) {
        p.setPen(QColor(192, 192, 192));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRect(3, 3, 13, 13));
    }
    p.end();
    return image;
}

QImage Glyph(int scale, int width, int height) {
    QImage image = Canvas(QSize(width, height), scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void PlayGlyph(QPainter& p, const QRectF& r) {
    QPainterPath triangle;
    triangle.moveTo(r.left() + 4, r.top() + 2.5);
    triangle.lineTo(r.right() - 2.5, r.center().y());
    triangle.lineTo(r.left() + 4, r.bottom() - 2.5);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(20, 70, 30), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(110, 210, 110));
    fill.setColorAt(1, QColor(40, 150, 60));
    p.setBrush(fill);
    p.drawPath(triangle);
}

void StopGlyph(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(90, 20, 20), 1.2));
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(236, 96, 84));
    fill.setColorAt(1, QColor(180, 40, 36));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(3.5, 3.5, -3.5, -3.5), 1.5, 1.5);
}

QImage AuditionGlyph(int scale, bool play, bool stop) {
    QImage image = Glyph(scale, play && stop ? 32 : 16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (play) PlayGlyph(p, QRectF(0, 0, 16, 16));
    if (stop) StopGlyph(p, QRectF(play ? 16 : 0, 0, 16, 16));
    return image;
}

// A memory card in `area`: its outline with a cut corner and three contacts.
void DrawCard(QPainter& p, const QRectF& area) {
    QPainterPath card;
    card.moveTo(area.left(), area.top());
    card.lineTo(area.right() - 2.5, area.top());
    card.lineTo(area.right(), area.top() + 2.5);
    card.lineTo(area.right(), area.bottom());
    card.lineTo(area.left(), area.bottom());
    card.closeSubpath();
    p.setPen(QPen(QColor(30, 40, 60), 1));
    p.setBrush(QColor(70, 110, 180));
    p.drawPath(card);
    p.setPen(QPen(QColor(230, 200, 90), 1));
    for (int i = 0; i < 3; ++i) {
        const double x = area.left() + 2 + 2 * i;
        p.drawLine(QPointF(x, area.top() + 1.5), QPointF(x, area.top() + 3.5));
    }
}

// A memory card and a folder with an arrow between them: towards the
// folder for a back-up, towards the card for a restore.
QImage CardGlyph(int scale, bool toFolder) {
    QImage image = Glyph(scale, 16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF cardArea = toFolder ? QRectF(0.5, 0.5, 8, 11) : QRectF(7.5, 4.5, 8, 11);
    DrawCard(p, cardArea);

    const QRectF folderArea = toFolder ? QRectF(6.5, 7.5, 9, 8) : QRectF(0.5, 0.5, 9, 8);
    p.setPen(QPen(QColor(110, 80, 20), 1));
    p.setBrush(QColor(240, 200, 90));
    QPainterPath folder;
    folder.moveTo(folderArea.left(), folderArea.top() + 1.5);
    folder.lineTo(folderArea.left() + 3, folderArea.top() + 1.5);
    folder.lineTo(folderArea.left() + 4, folderArea.top());
    folder.lineTo(folderArea.right(), folderArea.top());
    folder.lineTo(folderArea.right(), folderArea.bottom());
    folder.lineTo(folderArea.left(), folderArea.bottom());
    folder.closeSubpath();
    p.drawPath(folder);

    // The arrow, across the free corner.
    const QColor arrow = toFolder ? QColor(30, 150, 60) : QColor(220, 110, 20);
    p.setPen(QPen(arrow, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF from = toFolder ? QPointF(10, 1.5) : QPointF(1.5, 10.5);
    const QPointF to = toFolder ? QPointF(14, 5.5) : QPointF(5.5, 14.5);
    p.drawLine(from, to);
    QPainterPath head;
    head.moveTo(to + QPointF(-3.2, 0));
    head.lineTo(to);
    head.lineTo(to + QPointF(0, -3.2));
    p.drawPath(head);
    return image;
}

// A memory card under a magnifying glass: its takes looked for sector by
// sector, for a rescue.
QImage RescueGlyph(int scale) {
    QImage image = Glyph(scale, 16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF cardArea(1.5, 0.5, 9, 12);
    DrawCard(p, cardArea);

    // The glass over the card's lower right corner, its handle pointing out.
    const QPointF centre(9.5, 9.5);
    p.setPen(QPen(QColor(60, 40, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(2.6, 2.6), QPointF(15, 15));
    p.setPen(QPen(QColor(40, 44, 52), 1.4));
    p.setBrush(QColor(220, 236, 250, 210));
    p.drawEllipse(centre, 3.6, 3.6);
    return image;
}

bool Save(const QImage& image, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "trx5artgen: cannot write %s\n", qPrintable(path));
    return false;
}

// The application icon: a memory card in the front panel's metal with four
// gold contacts, a well holding a 4 x 4 take grid with one lit take per
// track, an accent bar and a knob. It is a list of shapes on a 256 x 256
// canvas, painted into the PNGs and written out as the SVG, so that every
// size shows the same picture.
struct IconShape {
    QPainterPath path;
    QColor top = Qt::transparent;     // fill: a vertical gradient from top
    QColor bottom = Qt::transparent;  // to bottom of the shape's bounds
    QColor stroke = Qt::transparent;
    double strokeWidth = 0;
};

constexpr int kIconCanvas = 256;
constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

QPainterPath RoundedRect(double x, double y, double w, double h, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
    return path;
}

std::vector<IconShape> IconShapes() {
    std::vector<IconShape> shapes;

    // The card, its top right corner cut off.
    QPainterPath card;
    card.moveTo(54, 14);
    card.lineTo(170, 14);
    card.lineTo(218, 62);
    card.lineTo(218, 226);
    card.quadTo(218, 242, 202, 242);
    card.lineTo(54, 242);
    card.quadTo(38, 242, 38, 226);
    card.lineTo(38, 30);
    card.quadTo(38, 14, 54, 14);
    card.closeSubpath();
    shapes.push_back({card, QColor(84, 88, 95), kMetalBottom, kEdgeDark, 6});
    QPainterPath shine;
    shine.moveTo(56, 22);
    shine.lineTo(166, 22);
    shapes.push_back({shine, Qt::transparent, Qt::transparent, QColor(255, 255, 255, 60), 3});

    // Gold contacts, one per track.
    for (int i = 0; i < 4; ++i) {
        shapes.push_back({RoundedRect(60 + 28 * i, 28, 18, 30, 3), QColor(244, 214, 112),
                          QColor(196, 148, 48), QColor(110, 80, 20), 2});
    }

    // The well and its grid of takes: pale cells, one orange take per track.
    shapes.push_back({RoundedRect(54, 72, 148, 116, 10), kWell, kWell, kEdgeDark, 2});
    constexpr int kLit[4] = {0, 2, 1, 3};
    for (int t = 0; t < 4; ++t) {
        for (int v = 0; v < 4; ++v) {
            const QPainterPath cell = RoundedRect(63 + 34 * t, 81 + 26 * v, 28, 20, 3);
            if (kLit[t] == v) {
                shapes.push_back({cell, QColor(255, 176, 88), kAccent});
            } else {
                shapes.push_back({cell, QColor(222, 230, 240), QColor(190, 202, 218)});
            }
        }
    }

    // Accent bar and legend line, lower left.
    shapes.push_back({RoundedRect(56, 204, 64, 10, 3), kAccent, kAccent});
    shapes.push_back({RoundedRect(56, 221, 92, 6, 3), kLegend, kLegend});

    // A knob, lower right, with its pointer.
    QPainterPath knob;
    knob.addEllipse(QPointF(182, 215), 17, 17);
    shapes.push_back({knob, QColor(206, 206, 210), QColor(128, 128, 134), Qt::black, 3});
    QPainterPath pointer;
    pointer.moveTo(182, 215);
    pointer.lineTo(171, 204);
    shapes.push_back({pointer, Qt::transparent, Qt::transparent, QColor(40, 40, 44), 4});
    return shapes;
}

QImage IconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / kIconCanvas, double(size) / kIconCanvas);
    for (const IconShape& shape : IconShapes()) {
        if (shape.top.alpha() > 0) {
            const QRectF bounds = shape.path.boundingRect();
            QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
            fill.setColorAt(0, shape.top);
            fill.setColorAt(1, shape.bottom);
            p.setBrush(fill);
        } else {
            p.setBrush(Qt::NoBrush);
        }
        if (shape.strokeWidth > 0) {
            p.setPen(
                QPen(shape.stroke, shape.strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        } else {
            p.setPen(Qt::NoPen);
        }
        p.drawPath(shape.path);
    }
    p.end();
    return image;
}

QString SvgNumber(double value) {
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString SvgColor(const QColor& color) { return color.name(QColor::HexRgb); }

QString SvgPathData(const QPainterPath& path) {
    QString data;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                data += QLatin1Char('M');
                break;
            case QPainterPath::LineToElement:
                data += QLatin1Char('L');
                break;
            case QPainterPath::CurveToElement:
                data += QLatin1Char('C');
                break;
            case QPainterPath::CurveToDataElement:
                data += QLatin1Char(' ');
                break;
        }
        data += SvgNumber(e.x) + QLatin1Char(' ') + SvgNumber(e.y);
    }
    return data;
}

QString IconSvg() {
    QString svg;
    QTextStream out(&svg);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kIconCanvas << "\" height=\""
        << kIconCanvas << "\" viewBox=\"0 0 " << kIconCanvas << ' ' << kIconCanvas << "\">\n";
    const std::vector<IconShape> shapes = IconShapes();
    out << "<defs>\n";
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const IconShape& shape = shapes[i];
        if (shape.top.alpha() == 0 || shape.top == shape.bottom) continue;
        const QRectF bounds = shape.path.boundingRect();
        out << "<linearGradient id=\"g" << i << "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\""
            << SvgNumber(bounds.top()) << "\" x2=\"0\" y2=\"" << SvgNumber(bounds.bottom())
            << "\">";
        for (const auto& [offset, color] : {std::pair{0, shape.top}, std::pair{1, shape.bottom}}) {
            out << "<stop offset=\"" << offset << "\" stop-color=\"" << SvgColor(color) << '"';
            if (color.alpha() < 255) out << " stop-opacity=\"" << SvgNumber(color.alphaF()) << '"';
            out << "/>";
        }
        out << "</linearGradient>\n";
    }
    out << "</defs>\n";
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const IconShape& shape = shapes[i];
        out << "<path d=\"" << SvgPathData(shape.path) << "\" fill=\"";
        if (shape.top.alpha() > 0 && shape.top == shape.bottom) {
            out << SvgColor(shape.top) << '"';
            if (shape.top.alpha() < 255)
                out << " fill-opacity=\"" << SvgNumber(shape.top.alphaF()) << '"';
        } else if (shape.top.alpha() > 0) {
            out << "url(#g" << i << ")\"";
        } else {
            out << "none\"";
        }
        if (shape.strokeWidth > 0) {
            out << " stroke=\"" << SvgColor(shape.stroke) << "\" stroke-width=\""
                << SvgNumber(shape.strokeWidth)
                << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"";
            if (shape.stroke.alpha() < 255) {
                out << " stroke-opacity=\"" << SvgNumber(shape.stroke.alphaF()) << '"';
            }
        }
        out << "/>\n";
    }
    out << "</svg>\n";
    return svg;
}

bool SaveText(const QString& text, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(text.toUtf8()) == text.toUtf8().size() && file.flush()) {
        return true;
    }
    std::fprintf(stderr, "trx5artgen: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: trx5artgen OUTPUT-FOLDER [ICON-FOLDER]\n");
        return 2;
    }
    const auto makeFolder = [](const char* name) -> std::optional<QDir> {
        const QDir folder(QString::fromLocal8Bit(name));
        if (folder.exists() || QDir().mkpath(folder.path())) return folder;
        std::fprintf(stderr, "trx5artgen: cannot make %s\n", name);
        return std::nullopt;
    };
    const std::optional<QDir> folder = makeFolder(argv[1]);
    if (!folder) return 1;

    // Each picture as NAME.png and, drawn at twice the pixels, NAME@2x.png.
    const std::pair<const char*, std::function<QImage(int)>> pictures[] = {
        {"panel1", Panel1},
        {"btnspanel", BtnsPanel},
        {"knob_norm", [](int s) { return Knob(s, QColor(160, 160, 164), Qt::black, false); }},
        {"knob_focused", [](int s) { return Knob(s, QColor(160, 160, 164), Qt::black, true); }},
        {"knob_disabled",
         [](int s) { return Knob(s, QColor(192, 220, 192), QColor(128, 128, 128), false); }},
        {"audition", [](int s) { return AuditionGlyph(s, true, true); }},
        {"audition_play", [](int s) { return AuditionGlyph(s, true, false); }},
        {"audition_stop", [](int s) { return AuditionGlyph(s, false, true); }},
        {"backup", [](int s) { return CardGlyph(s, true); }},
        {"restore", [](int s) { return CardGlyph(s, false); }},
        {"rescue", RescueGlyph},
    };
    bool ok = true;
    for (const auto& [name, draw] : pictures) {
        for (const auto& [scale, suffix] : {std::pair{1, ".png"}, std::pair{2, "@2x.png"}}) {
            const QByteArray file = QByteArray(name) + suffix;
            ok = Save(draw(scale), *folder, file.constData()) && ok;
        }
    }

    if (argc == 3) {
        const std::optional<QDir> icons = makeFolder(argv[2]);
        if (!icons) return 1;
        ok = SaveText(IconSvg(), *icons, "icon.svg") && ok;
        for (int size : kIconSizes) {
            const QByteArray name = "icon-" + QByteArray::number(size) + ".png";
            ok = Save(IconImage(size), *icons, name.constData()) && ok;
        }
    }
    return ok ? 0 : 1;
}
