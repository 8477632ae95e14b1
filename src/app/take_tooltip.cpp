#include "app/take_tooltip.h"

#include <QBuffer>
#include <QHelpEvent>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>

#include "card/take_file.h"

TTakeTooltips::TTakeTooltips(const Buttons& buttons, TakeOf takeOf, QObject* parent)
    : QObject(parent), buttons_(buttons), takeOf_(std::move(takeOf)) {
    for (QToolButton* button : buttons_) button->installEventFilter(this);
}

QImage TTakeTooltips::Picture(const trx5::PeakEnvelope& envelope, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(22, 23, 26));
    QPainter painter(&image);
    const double middle = (height - 1) / 2.0;
    painter.setPen(QColor(70, 74, 80));
    painter.drawLine(QPointF(0, middle), QPointF(width - 1, middle));
    painter.setPen(QColor(232, 128, 40));
    const std::size_t columns = envelope.columns.size();
    for (int x = 0; x < width && columns > 0; ++x) {
        const trx5::EnvelopeColumn& c = envelope.columns[std::size_t(x) * columns / width];
        // Full scale reaches the picture's edges; a quiet column is a dot.
        const double top = middle - c.max * middle / 32768.0;
        const double bottom = middle - c.min * middle / 32768.0;
        painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
    return image;
}

QString TTakeTooltips::TooltipFor(int slot) {
    const Take take = takeOf_(slot);
    if (take.path.empty()) return {};
    const auto envelope = cache_.Get(take.path, take.longMode, kWidth);
    if (!envelope) return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Picture(**envelope, kWidth, kHeight).save(&buffer, "PNG");
    const trx5::TakeSlot place = trx5::SlotAt(slot);
    return QStringLiteral("<img src=\"data:image/png;base64,%1\"><br>%2-%3&nbsp;&nbsp;%4")
        .arg(QString::fromLatin1(png.toBase64()))
        .arg(place.track + 1)
        .arg(place.vtake + 1)
        .arg(QString::fromStdString(trx5::FormatTakeLength((*envelope)->lengthMs)));
}

bool TTakeTooltips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip) return false;
    for (std::size_t slot = 0; slot < buttons_.size(); ++slot) {
        if (buttons_[slot] != watched) continue;
        const QString text = TooltipFor(static_cast<int>(slot));
        auto* help = static_cast<QHelpEvent*>(event);
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, buttons_[slot]);
        }
        return true;
    }
    return false;
}
