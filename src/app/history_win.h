// The history of the card shown: the takes (and song files) that moving
// takes around replaced or deleted, newest first, with when each was kept,
// what happened to it and its length; a kept take put back into a free
// V-Take of the song shown; and how much the history may keep.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class TTakeOrganizer;

class THistoryWin : public QDialog {
    Q_OBJECT

  public:
    enum Column { SongColumn, SlotColumn, KeptColumn, WhatColumn, LengthColumn };

    THistoryWin(QWidget& parent, TTakeOrganizer& organizer);

    // Reads the history anew, the kept file chosen staying chosen; false,
    // with the failure told, when it cannot be read.
    bool Reload();

    QTreeWidget* List;
    QLabel* Summary;
    QLabel* FreeSlotsLabel;
    QComboBox* FreeSlots;  // the free V-Takes of the song shown, by slot
    QPushButton* PutBackBtn;
    QLabel* NoSlotLabel;  // why nothing can be put back
    QSpinBox* Limit;
    QComboBox* LimitUnit;  // MB, GB
    QPushButton* CloseBtn;

  private:
    struct Row {
        std::string id;
        bool take = false;  // a take, which can be put back
        bool longMode = false;
    };

    // The free V-Takes offered for the kept file chosen, or why none is.
    void UpdatePutBack();
    void PutBackClick();
    // The limit as the spin box and unit show it, into the settings.
    void SaveLimit();
    // The unit changed: the same limit in the new unit.
    void UnitChanged();
    std::uint64_t UnitBytes() const;

    TTakeOrganizer& organizer_;
    std::vector<Row> rows_;  // as the list shows them
    std::uint64_t limit_ = 0;
};
