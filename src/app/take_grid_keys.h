// The V-Take grid by keyboard: the grid is one stop of the Tab chain (Tab
// enters at the button that last had the focus and goes on past the grid);
// the arrow keys move within it, Up and Down along a track's V-Takes, Left
// and Right across the tracks; Space, Enter and Return press the button, as
// a click does. Ctrl+C, Ctrl+V and Delete copy, paste and delete the take of
// the button with the focus, Ctrl+Z and Ctrl+Shift+Z undo and redo: the
// window is told, by a signal.
#pragma once

#include <QObject>
#include <array>

#include "card/take_file.h"

class QToolButton;
class QWidget;

class TTakeGridKeys : public QObject {
    Q_OBJECT

  public:
    using Buttons = std::array<QToolButton*, trx5::kTracks * trx5::kVTakes>;

    enum class Command { Copy, Paste, Delete, Undo, Redo };
    Q_ENUM(Command)

    explicit TTakeGridKeys(const Buttons& buttons, QObject* parent = nullptr);

  signals:
    // A command key pressed on the button of `slot`.
    void CommandKey(int slot, TTakeGridKeys::Command command);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int SlotOf(QObject* button) const;
    // The first widget that Tab (forward) or Shift+Tab reaches outside the
    // grid; none when there is none.
    QWidget* StopOutside(bool forward) const;

    Buttons buttons_;
    int current_ = 0;  // the button that had the focus last
};
