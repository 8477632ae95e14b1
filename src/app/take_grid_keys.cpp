#include "app/take_grid_keys.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>
#include <optional>

namespace {

std::optional<TTakeGridKeys::Command> CommandOf(const QKeyEvent& key) {
    using Command = TTakeGridKeys::Command;
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = modifiers == Qt::ControlModifier;
    switch (key.key()) {
        case Qt::Key_C:
            if (ctrl) return Command::Copy;
            break;
        case Qt::Key_V:
            if (ctrl) return Command::Paste;
            break;
        case Qt::Key_Delete:
            if (modifiers == Qt::NoModifier) return Command::Delete;
            break;
        case Qt::Key_Z:
            if (ctrl) return Command::Undo;
            if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) return Command::Redo;
            break;
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace

TTakeGridKeys::TTakeGridKeys(const Buttons& buttons, QObject* parent)
    : QObject(parent), buttons_(buttons) {
    for (QToolButton* button : buttons_) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->installEventFilter(this);
    }
}

int TTakeGridKeys::SlotOf(QObject* button) const {
    const auto it = std::find(buttons_.begin(), buttons_.end(), button);
    return it == buttons_.end() ? -1 : static_cast<int>(it - buttons_.begin());
}

QWidget* TTakeGridKeys::StopOutside(bool forward) const {
    QWidget* from = forward ? buttons_.back() : buttons_.front();
    QWidget* w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == from) return nullptr;
        if (SlotOf(w) >= 0) continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(from->window())) {
            return w;
        }
    }
}

bool TTakeGridKeys::eventFilter(QObject* watched, QEvent* event) {
    const int slot = SlotOf(watched);
    if (slot < 0) return false;
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool byTab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
        // Tab enters the grid where the user left it.
        if (byTab && slot != current_ && buttons_[current_]->isEnabled()) {
            buttons_[current_]->setFocus(reason);
            return false;
        }
        current_ = slot;
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (const auto command = CommandOf(*key)) {
        // A key held down does it once.
        if (!key->isAutoRepeat()) emit CommandKey(slot, *command);
        return true;
    }
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const int track = slot / trx5::kVTakes;
    const int vtake = slot % trx5::kVTakes;
    int target = -1;
    switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            const bool forward =
                key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
            if (QWidget* next = StopOutside(forward)) {
                next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            }
            return true;
        }
        case Qt::Key_Up:
            target = vtake > 0 ? slot - 1 : slot;
            break;
        case Qt::Key_Down:
            target = vtake < trx5::kVTakes - 1 ? slot + 1 : slot;
            break;
        case Qt::Key_Left:
            target = track > 0 ? slot - trx5::kVTakes : slot;
            break;
        case Qt::Key_Right:
            target = track < trx5::kTracks - 1 ? slot + trx5::kVTakes : slot;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            buttons_[slot]->click();
            return true;
        default:
            return false;
    }
    buttons_[target]->setFocus(Qt::OtherFocusReason);
    return true;
}
