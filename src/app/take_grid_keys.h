// The V-Take grid by keyboard: the grid is one stop of the Tab chain (Tab
// enters at the button that last had the focus and goes on past the grid);
// the arrow keys move within it, Up and Down along a track's V-Takes, Left
// and Right across the tracks; Space, Enter and Return press the button, as
// a click does.
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

    explicit TTakeGridKeys(const Buttons& buttons, QObject* parent = nullptr);

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
