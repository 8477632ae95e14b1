#include "controls/volume.h"

#include <QBitmap>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "controls/artwork.h"

namespace {

// The sweep: 3/2 pi of travel starting at -pi/4 (lower left), and the angles
// that split the pointer's direction into the sweep and the gap below.
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kSweepStart = 3.9269908169872414;   // 5/4 pi
constexpr double kLowerLeft = -2.356194490192345;    // -3/4 pi
constexpr double kLowerRight = -0.7853981633974483;  // -1/4 pi
constexpr double kStraightDown = -1.5707963267948966;
constexpr double kSweepToUnit = 0.2122065907891938;  // 2 / (3 pi)
constexpr double kIndicatorLength = 0.8;             // of the half-size
constexpr int kBackBufferSide = 64;
constexpr int kPageStep = 10;
constexpr int kWheelNotch = 120;  // QWheelEvent's angle delta of one notch

}  // namespace

TVolume::TVolume(QWidget* parent) : QWidget(parent), color_(palette().color(QPalette::Base)) {
    resize(64, 64);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    backBuffer_ = QPixmap(kBackBufferSide, kBackBufferSide);
    UpdateToolTip();
}

void TVolume::SetPosition(int value) {
    position_ = value > max_ ? max_ : value;
    UpdateToolTip();
    RepaintNow();
}

void TVolume::SetMax(int value) {
    if (value < 1) return;
    max_ = value;
    if (position_ > max_) {
        position_ = max_;
        UpdateToolTip();
        RepaintNow();
    }
}

void TVolume::SetValueText(ValueText text) {
    valueText_ = std::move(text);
    UpdateToolTip();
}

void TVolume::UpdateToolTip() {
    setToolTip(valueText_ ? valueText_(position_) : QString::number(position_));
    // A tooltip on show follows the turning wheel or keys.
    if (QToolTip::isVisible() && underMouse()) QToolTip::showText(QCursor::pos(), toolTip(), this);
}

void TVolume::TurnTo(int value) {
    value = std::clamp(value, 0, max_);
    if (value == position_) return;
    position_ = value;
    UpdateToolTip();
    emit OnChanged(this, position_);
    RepaintNow();
}

void TVolume::Assign(Drawing& drawing, const QPixmap& picture) {
    drawing.picture = picture;
    drawing.transparent = picture;
    if (picture.isNull()) return;
    const QImage image = picture.toImage();
    const QRgb key = image.pixel(0, image.height() - 1);
    drawing.transparent.setMask(
        QBitmap::fromImage(image.createMaskFromColor(key, Qt::MaskInColor)));
}

void TVolume::Assign(Face& face, const QPixmap& picture, const QPixmap& picture2x) {
    Assign(face.normal, picture);
    Assign(face.doubled, AsArt2x(picture2x));
}

void TVolume::SetBGnorm(const QPixmap& face, const QPixmap& face2x) {
    Assign(norm_, face, face2x);
    update();
}

void TVolume::SetBGfoced(const QPixmap& face, const QPixmap& face2x) {
    Assign(focused_, face, face2x);
    update();
}

void TVolume::SetBGdis(const QPixmap& face, const QPixmap& face2x) {
    Assign(disabled_, face, face2x);
    update();
}

void TVolume::SetColor(const QColor& color) {
    color_ = color;
    update();
}

QPoint TVolume::IndicatorTip(QSize size, int position, int max) {
    const int cx = size.width() / 2;
    const int cy = size.height() / 2;
    const double a = static_cast<double>(position) / max * kQuarterPi * 6 - kQuarterPi;
    const int dx = static_cast<int>(std::trunc(-std::cos(a) * cx * kIndicatorLength));
    const int dy = static_cast<int>(std::trunc(std::sin(a) * cy * kIndicatorLength));
    return {cx + dx, cy - dy};
}

std::optional<int> TVolume::DragValue(QSize size, QPoint pointer, int position, int max) {
    const int dx = pointer.x() - size.width() / 2;
    const int dy = size.height() / 2 - pointer.y();
    if (dx == 0 && dy == 0) return std::nullopt;

    const double t = std::atan2(static_cast<double>(dy), static_cast<double>(dx));
    double u = 0;
    if (t >= 0) {
        u = kSweepStart - t;
    } else if (t <= kLowerLeft) {
        u = -t + kLowerLeft;
    } else if (t >= kLowerRight) {
        u = kSweepStart - t;
    } else if (t <= kStraightDown) {
        // Gap below the knob, nearer the 0 end: a knob resting at Max stays.
        if (position == max) return std::nullopt;
        return 0;
    } else {
        if (position == 0) return std::nullopt;
        return max;
    }
    return static_cast<int>(std::trunc(u * kSweepToUnit * max + 0.5));
}

bool TVolume::IsConnected(const QMetaMethod& signal) const { return isSignalConnected(signal); }

void TVolume::RepaintNow() {
    if (isVisible()) repaint();
}

const QPixmap& TVolume::CurrentFace(qreal ratio) const {
    const Face& face = !isEnabled() ? disabled_ : hasFocus() ? focused_ : norm_;
    return ArtFor(ratio, face.normal.transparent, face.doubled.transparent);
}

void TVolume::paintEvent(QPaintEvent*) {
    // The buffer has the screen's device pixel ratio, so background and face
    // are composed in device pixels. Knobs larger than the buffer get a
    // buffer of their size.
    const qreal ratio = devicePixelRatioF();
    const QSize logical = backBuffer_.deviceIndependentSize().toSize();
    if (backBuffer_.devicePixelRatio() != ratio || logical.width() < width() ||
        logical.height() < height()) {
        const QSize side = logical.expandedTo(size());
        backBuffer_ = QPixmap(QSize(static_cast<int>(std::ceil(side.width() * ratio)),
                                    static_cast<int>(std::ceil(side.height() * ratio))));
        backBuffer_.setDevicePixelRatio(ratio);
    }

    if (IsConnected(QMetaMethod::fromSignal(&TVolume::OnGetParentBG))) {
        emit OnGetParentBG(this, backBuffer_);
    } else {
        QPainter fill(&backBuffer_);
        fill.fillRect(rect(), color_);
    }
    {
        // A face of another ratio than the screen is smoothed.
        const QPixmap& face = CurrentFace(ratio);
        QPainter buffer(&backBuffer_);
        buffer.setRenderHint(QPainter::SmoothPixmapTransform, face.devicePixelRatio() != ratio);
        buffer.drawPixmap(0, 0, face);
    }

    QPainter canvas(this);
    canvas.drawPixmap(QRectF(rect()), backBuffer_, QRectF(0, 0, width() * ratio, height() * ratio));

    if (IsConnected(QMetaMethod::fromSignal(&TVolume::OnPaint))) {
        emit OnPaint(this, position_, &canvas);
        return;
    }

    // The line is drawn over the committed range; a negative value set by a
    // caller is shown at the 0 end.
    const QPoint tip = IndicatorTip(size(), std::max(position_, 0), max_);
    if (IsConnected(QMetaMethod::fromSignal(&TVolume::OnPaintIndicator))) {
        emit OnPaintIndicator(this, tip.x(), tip.y(), &canvas);
        return;
    }
    canvas.setPen(QPen(QColor(255, 255, 255), 1));
    canvas.drawLine(QPoint(width() / 2, height() / 2), tip);
}

void TVolume::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!isEnabled()) return;
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    if (!hasFocus()) return;
    dragging_ = true;
}

void TVolume::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!dragging_) return;
    // The pixel under the pointer, also where positions have fractions.
    const QPoint pointer(static_cast<int>(std::floor(event->position().x())),
                         static_cast<int>(std::floor(event->position().y())));
    const std::optional<int> value = DragValue(size(), pointer, position_, max_);
    if (!value) return;
    position_ = *value;
    UpdateToolTip();
    emit OnChanged(this, position_);
    RepaintNow();
}

void TVolume::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    dragging_ = false;
}

void TVolume::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            TurnTo(position_ + 1);
            break;
        case Qt::Key_Down:
        case Qt::Key_Left:
            TurnTo(position_ - 1);
            break;
        case Qt::Key_PageUp:
            TurnTo(position_ + kPageStep);
            break;
        case Qt::Key_PageDown:
            TurnTo(position_ - kPageStep);
            break;
        case Qt::Key_Home:
            TurnTo(0);
            break;
        case Qt::Key_End:
            TurnTo(max_);
            break;
        default:
            // Esc, Enter and the rest go on to the window.
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TVolume::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (!hasFocus() || delta == 0) {
        event->ignore();
        return;
    }
    event->accept();
    // The wheel's own direction counts, also where the system inverts it.
    wheelRest_ += event->inverted() ? -delta : delta;
    const int notches = wheelRest_ / kWheelNotch;
    wheelRest_ -= notches * kWheelNotch;
    if (notches != 0) TurnTo(position_ + notches);
}

void TVolume::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) dragging_ = false;
        update();
    }
    QWidget::changeEvent(event);
}

void TVolume::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TVolume::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}
