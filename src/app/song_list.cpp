#include "app/song_list.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QWheelEvent>

namespace {

constexpr int kSmallestPixels = 8;
constexpr int kTextInset = 3;
constexpr int kFileNumberRole = Qt::UserRole;
constexpr int kLongModeRole = Qt::UserRole + 1;

}  // namespace

TSongList::TSongList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
}

void TSongList::ShowSongs(const std::vector<trx5::SongEntry>& songs, int keep) {
    const QSignalBlocker block(this);
    clear();
    int current = 0;
    for (const trx5::SongEntry& song : songs) {
        if (song.fileNumber == keep) current = count();
        addItem(QString::fromStdString(song.ListText()));
        setItemData(count() - 1, song.fileNumber, kFileNumberRole);
        setItemData(count() - 1, song.longMode, kLongModeRole);
    }
    setCurrentIndex(songs.empty() ? -1 : current);
}

int TSongList::FileNumberAt(int entry) const {
    return entry < 0 || entry >= count() ? -1 : itemData(entry, kFileNumberRole).toInt();
}

bool TSongList::LongModeAt(int entry) const {
    return entry >= 0 && entry < count() && itemData(entry, kLongModeRole).toBool();
}

QRect TSongList::TextRect() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect arrow =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    // From just inside the frame to where the arrow begins.
    return QRect(kTextInset, 0, arrow.left() - kTextInset, height());
}

QFont TSongList::FittingFont() const {
    QFont fitting = font();
    const int room = TextRect().width();
    const QString text = currentText();
    int pixels = fitting.pixelSize() > 0 ? fitting.pixelSize() : QFontInfo(fitting).pixelSize();
    while (pixels > kSmallestPixels && QFontMetrics(fitting).horizontalAdvance(text) > room) {
        fitting.setPixelSize(--pixels);
    }
    return fitting;
}

void TSongList::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The frame and the arrow as the style draws them; the text by hand,
    // never cut, in a font that fits.
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.setFont(FittingFont());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter, currentText());
}

void TSongList::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
