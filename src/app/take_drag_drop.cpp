#include "app/take_drag_drop.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolButton>
#include <QUrl>

#include "app/dialog_provider.h"
#include "convert/song_selection.h"

namespace {

// A take dropped on another V-Take moves it, with Ctrl copies it; the drag
// shows which where it can.
Qt::DropAction DropAction(const QDropEvent& drop) {
    const bool copy =
        (drop.modifiers() & Qt::ControlModifier) || !(drop.possibleActions() & Qt::MoveAction);
    return copy ? Qt::CopyAction : Qt::MoveAction;
}

}  // namespace

TTakeDragDrop::TTakeDragDrop(const Buttons& buttons, DragData dragData,
                             const trx5::SongSelection& selection, QObject* parent)
    : QObject(parent), buttons_(buttons), dragData_(std::move(dragData)), selection_(selection) {
    runDrag_ = [](QToolButton* source, QMimeData* data) { RunDrag(source, data); };
    for (QToolButton* button : buttons_) {
        button->setAcceptDrops(true);
        button->installEventFilter(this);
    }
}

QString TTakeDragDrop::DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

int TTakeDragDrop::DraggedSlot(const QMimeData* data) const {
    if (data == nullptr || !data->hasFormat(QLatin1String(kSlotFormat))) return -1;
    const QStringList parts = QString::fromUtf8(data->data(QLatin1String(kSlotFormat))).split('\n');
    if (parts.size() != 3 || parts[0] != QString::fromStdString(selection_.CardDir)) return -1;
    bool songOk = false;
    bool slotOk = false;
    const int fileNumber = parts[1].toInt(&songOk);
    const int slot = parts[2].toInt(&slotOk);
    if (!songOk || !slotOk || fileNumber != selection_.FileNumber || slot < 0 ||
        slot >= static_cast<int>(buttons_.size()) || selection_.TakeFiles[slot].empty()) {
        return -1;
    }
    return slot;
}

int TTakeDragDrop::SlotOf(QObject* button) const {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i] == button) return static_cast<int>(i);
    }
    return -1;
}

bool TTakeDragDrop::eventFilter(QObject* watched, QEvent* event) {
    const int slot = SlotOf(watched);
    if (slot < 0) return false;
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (const int from = DraggedSlot(drag->mimeData()); from >= 0) {
                // A take dropped where it is would do nothing.
                if (from == slot) {
                    drag->ignore();
                } else {
                    drag->setDropAction(DropAction(*drag));
                    drag->accept();
                }
            } else if (DroppedFile(drag->mimeData()).isEmpty()) {
                drag->ignore();
            } else {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (const int from = DraggedSlot(drop->mimeData()); from >= 0) {
                if (from == slot) return false;
                drop->setDropAction(DropAction(*drop));
                drop->accept();
                emit TakeDropped(from, slot, drop->modifiers() & Qt::ControlModifier);
                return true;
            }
            const QString path = DroppedFile(drop->mimeData());
            if (path.isEmpty()) return false;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            emit FileDropped(slot, path);
            return true;
        }
        case QEvent::MouseButtonPress: {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton) {
                pressAt_ = press->position().toPoint();
                pressedSlot_ = slot;
            }
            return false;
        }
        case QEvent::MouseMove: {
            auto* move = static_cast<QMouseEvent*>(event);
            if (pressedSlot_ != slot || !(move->buttons() & Qt::LeftButton) ||
                (move->position().toPoint() - pressAt_).manhattanLength() <
                    QApplication::startDragDistance()) {
                return false;
            }
            pressedSlot_ = -1;
            QMimeData* data = dragData_(slot);
            if (data == nullptr) return false;
            data->setData(QLatin1String(kSlotFormat),
                          QStringLiteral("%1\n%2\n%3")
                              .arg(QString::fromStdString(selection_.CardDir))
                              .arg(selection_.FileNumber)
                              .arg(slot)
                              .toUtf8());
            // A drag is not a click: the button's selection stays as it was.
            buttons_[slot]->setDown(false);
            runDrag_(buttons_[slot], data);
            return true;
        }
        case QEvent::MouseButtonRelease:
            pressedSlot_ = -1;
            return false;
        default:
            return false;
    }
}
