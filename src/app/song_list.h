// The song list: a drop-down list whose closed box shows the whole entry
// ("100 LONG" too) in its narrow place, and which takes the mouse wheel only
// when it has the keyboard focus, so a wheel turned over the window does not
// change the song by accident.
#pragma once

#include <QComboBox>
#include <vector>

#include "card/card_info.h"

class TSongList : public QComboBox {
    Q_OBJECT

  public:
    explicit TSongList(QWidget* parent = nullptr);

    // Lists `songs`, each entry with its file number and mode; the entry of
    // song file `keep` stays current when it is listed, else the first is.
    // No change is signalled.
    void ShowSongs(const std::vector<trx5::SongEntry>& songs, int keep = -1);
    // The file number and the mode of an entry; -1 and HiFi for none.
    int FileNumberAt(int entry) const;
    bool LongModeAt(int entry) const;

    // The font the closed box shows its current entry in: the list's own,
    // made smaller only as far as the entry needs to fit.
    QFont FittingFont() const;
    // Room for the text in the closed box.
    QRect TextRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
