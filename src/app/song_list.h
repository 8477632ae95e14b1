// The song list: a drop-down list whose closed box shows the whole entry
// ("100 LONG" too) in its narrow place, and which takes the mouse wheel only
// when it has the keyboard focus, so a wheel turned over the window does not
// change the song by accident.
#pragma once

#include <QComboBox>

class TSongList : public QComboBox {
    Q_OBJECT

  public:
    explicit TSongList(QWidget* parent = nullptr);

    // The font the closed box shows its current entry in: the list's own,
    // made smaller only as far as the entry needs to fit.
    QFont FittingFont() const;
    // Room for the text in the closed box.
    QRect TextRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
