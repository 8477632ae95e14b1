#include "controls/cgauge.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int Clamp(std::int64_t value, int low, int high) {
    return static_cast<int>(std::clamp<std::int64_t>(value, low, high));
}

}  // namespace

TCGauge::TCGauge(QWidget* parent) : QWidget(parent) {
    resize(100, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCGauge::SetKind(TCGaugeKind kind) {
    if (kind == kind_) return;
    kind_ = kind;
    update();
}

void TCGauge::SetShowText(bool show) {
    if (show == showText_) return;
    showText_ = show;
    update();
}

void TCGauge::SetBorderStyle(TBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    update();
}

void TCGauge::SetForeColor(const QColor& color) {
    if (color == foreColor_) return;
    foreColor_ = color;
    update();
}

void TCGauge::SetBackColor(const QColor& color) {
    if (color == backColor_) return;
    backColor_ = color;
    update();
}

bool TCGauge::SetMinValue(int value) {
    if (value == minValue_) return true;
    if (value == INT_MIN || value >= maxValue_) {
        emit RangeError(value, INT_MIN + 1, maxValue_ - 1);
        return false;
    }
    minValue_ = value;
    if (progress_ < minValue_) progress_ = minValue_;
    update();
    return true;
}

bool TCGauge::SetMaxValue(int value) {
    if (value == maxValue_) return true;
    if (value <= minValue_) {
        emit RangeError(value, minValue_ + 1, INT_MAX);
        return false;
    }
    maxValue_ = value;
    if (progress_ > maxValue_) progress_ = maxValue_;
    update();
    return true;
}

void TCGauge::SetProgress(int value) {
    const int limited = std::clamp(value, minValue_, maxValue_);
    if (limited == progress_) return;
    const int before = PercentDone();
    progress_ = limited;
    if (PercentDone() != before) update();
}

void TCGauge::AddProgress(int delta) {
    progress_ = Clamp(std::int64_t(progress_) + delta, minValue_, maxValue_);
    update();
}

int TCGauge::PercentDone() const {
    if (maxValue_ == minValue_) return 0;
    // In 64 bits: the span of two 32-bit values does not fit 32 bits.
    const double done = double(std::int64_t(progress_) - minValue_) * 100.0 /
                        double(std::int64_t(maxValue_) - minValue_);
    return static_cast<int>(std::floor(done));
}

QImage TCGauge::Render() const {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    QRect area = image.rect();
    if (borderStyle_ == bsSingle) {
        painter.setPen(Qt::black);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    if (area.isEmpty()) return image;
    painter.setClipRect(area);
    DrawKind(painter, area);
    if (showText_) DrawText(painter, area);
    return image;
}

void TCGauge::DrawKind(QPainter& painter, const QRect& area) const {
    const int percent = PercentDone();
    switch (kind_) {
        case gkText:
            painter.fillRect(area, backColor_);
            break;
        case gkHorizontalBar: {
            painter.fillRect(area, backColor_);
            const int w = std::min(percent * area.width() / 100, area.width());
            if (w > 0) painter.fillRect(area.left(), area.top(), w, area.height(), foreColor_);
            break;
        }
        case gkVerticalBar: {
            painter.fillRect(area, backColor_);
            const int h = std::min(percent * area.height() / 100, area.height() - 1);
            if (h > 0) {
                painter.fillRect(area.left(), area.bottom() + 1 - h, area.width(), h, foreColor_);
            }
            break;
        }
        case gkPie: {
            painter.fillRect(area, backColor_);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF disc = QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
            painter.setPen(foreColor_);
            painter.setBrush(backColor_);
            painter.drawEllipse(disc);
            if (percent > 0) {
                // Clockwise from twelve o'clock; Qt counts sixteenths of a
                // degree, counter-clockwise from three o'clock.
                painter.setBrush(foreColor_);
                painter.drawPie(disc, 90 * 16, -percent * 360 * 16 / 100);
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
            break;
        }
        case gkNeedle: {
            painter.fillRect(area, palette().color(QPalette::Window));
            painter.setRenderHint(QPainter::Antialiasing);
            const QPointF centre(area.left() + area.width() / 2.0, area.bottom() + 1);
            const double rx = area.width() / 2.0 - 0.5;
            const double ry = area.height() - 0.5;
            const QRectF disc(centre.x() - rx, centre.y() - ry, 2 * rx, 2 * ry);
            painter.setPen(foreColor_);
            painter.setBrush(backColor_);
            painter.drawChord(disc, 0, 180 * 16);
            if (percent > 0) {
                // From pointing left (0 %) over straight up to pointing right.
                const double angle = M_PI * (1.0 - percent / 100.0);
                painter.setPen(QPen(foreColor_, 2));
                painter.drawLine(centre, QPointF(centre.x() + rx * std::cos(angle),
                                                 centre.y() - ry * std::sin(angle)));
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
            break;
        }
    }
}

void TCGauge::DrawText(QPainter& painter, const QRect& area) const {
    // White combined by XOR inverts what lies beneath, so the text reads over
    // the filled and the empty part alike; smoothing would leave stray
    // colours at the glyphs' edges, so it is drawn without.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(textFont);
    painter.setPen(Qt::white);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine,
                     QString::number(PercentDone()) + QLatin1Char('%'));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Render());
}
