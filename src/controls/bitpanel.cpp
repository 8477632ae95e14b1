#include "controls/bitpanel.h"

#include <QMetaMethod>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "controls/artwork.h"

TBitPanel::TBitPanel(QWidget* parent) : QWidget(parent), color_(palette().color(QPalette::Window)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TBitPanel::SetBitmap(const QPixmap& picture, const QPixmap& picture2x) {
    bitmap_ = picture;
    bitmap2x_ = AsArt2x(picture2x);
    update();
}

const QPixmap& TBitPanel::BitmapFor(qreal ratio) const { return ArtFor(ratio, bitmap_, bitmap2x_); }

void TBitPanel::SetLayout(TbpLayout layout) {
    layout_ = layout;
    update();
}

void TBitPanel::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TBitPanel::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TBitPanel::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void TBitPanel::SetBevelOuter(TPanelBevel bevel) {
    bevelOuter_ = bevel;
    update();
}

void TBitPanel::SetBevelInner(TPanelBevel bevel) {
    bevelInner_ = bevel;
    update();
}

void TBitPanel::SetBevelWidth(int width) {
    bevelWidth_ = std::max(width, 1);
    update();
}

void TBitPanel::SetBorderWidth(int width) {
    borderWidth_ = std::max(width, 0);
    update();
}

QList<QPoint> TBitPanel::PicturePositions(TbpLayout layout, QSize client, QSize picture) {
    if (picture.isEmpty()) return {};
    switch (layout) {
        case blCenter:
            return {QPoint(client.width() / 2 - picture.width() / 2,
                           client.height() / 2 - picture.height() / 2)};
        case blMulti: {
            QList<QPoint> positions;
            for (int y = 0; y < client.height(); y += picture.height()) {
                for (int x = 0; x < client.width(); x += picture.width()) positions.append({x, y});
            }
            return positions;
        }
        case blSingle:
            break;
    }
    return {QPoint(0, 0)};
}

void TBitPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool custom = isSignalConnected(QMetaMethod::fromSignal(&TBitPanel::OnPaint));
    if (custom) {
        painter.save();
        emit OnPaint(this, &painter);
        painter.restore();
    } else {
        painter.fillRect(rect(), color_);
    }

    // Positions are logical, so a 2x drawing lands on the screen's device
    // pixels one to one. One of another ratio than the screen is smoothed.
    const qreal ratio = devicePixelRatioF();
    const QPixmap& picture = BitmapFor(ratio);
    if (!picture.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, picture.devicePixelRatio() != ratio);
        const QSize logical = picture.deviceIndependentSize().toSize();
        for (const QPoint& at : PicturePositions(layout_, size(), logical)) {
            painter.drawPixmap(at, picture);
        }
    }
    DrawBevels(painter);

    // A plain panel (no picture, no handler) shows its caption.
    if (picture.isNull() && !custom && !caption_.isEmpty()) {
        const int inset = (bevelOuter_ != bvNone ? bevelWidth_ : 0) + borderWidth_ +
                          (bevelInner_ != bvNone ? bevelWidth_ : 0);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.setFont(font());
        painter.drawText(rect().adjusted(inset, inset, -inset, -inset),
                         alignment_ | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    }
}

void TBitPanel::DrawBevels(QPainter& painter) {
    QRect frame = rect();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);

    // One 3-D frame of bevelWidth_ rings: raised is light at top-left and
    // dark at bottom-right, lowered the other way round.
    auto bevel = [&](TPanelBevel kind) {
        if (kind == bvNone) return;
        const QColor topLeft = kind == bvRaised ? light : dark;
        const QColor bottomRight = kind == bvRaised ? dark : light;
        for (int i = 0; i < bevelWidth_ && frame.width() > 0 && frame.height() > 0; ++i) {
            painter.fillRect(frame.left(), frame.top(), frame.width(), 1, topLeft);
            painter.fillRect(frame.left(), frame.top(), 1, frame.height(), topLeft);
            painter.fillRect(frame.left(), frame.bottom(), frame.width(), 1, bottomRight);
            painter.fillRect(frame.right(), frame.top(), 1, frame.height(), bottomRight);
            frame.adjust(1, 1, -1, -1);
        }
    };

    bevel(bevelOuter_);
    for (int i = 0; i < borderWidth_ && frame.width() > 0 && frame.height() > 0; ++i) {
        painter.setPen(color_);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        frame.adjust(1, 1, -1, -1);
    }
    bevel(bevelInner_);
}
