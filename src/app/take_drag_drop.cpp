#include "app/take_drag_drop.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolButton>
#include <QUrl>

TTakeDragDrop::TTakeDragDrop(const Buttons& buttons, DragData dragData, QObject* parent)
    : QObject(parent), buttons_(buttons), dragData_(std::move(dragData)) {
    runDrag_ = [](QToolButton* source, QMimeData* data) {
        auto* drag = new QDrag(source);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    };
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
            if (DroppedFile(drag->mimeData()).isEmpty()) {
                drag->ignore();
            } else {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
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
