// Drag and drop on the V-Take grid: an audio file dropped from the file
// manager on a V-Take button is offered for import into that V-Take, and a
// V-Take button that holds a take can be dragged out to the file manager as
// a file, or onto another V-Take of the song to move the take there (copy
// with Ctrl). The window decides what happens; this class only reads the
// gestures on the buttons.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>

#include "card/take_file.h"

class QMimeData;
class QToolButton;
namespace trx5 {
class SongSelection;
}

class TTakeDragDrop : public QObject {
    Q_OBJECT

  public:
    using Buttons = std::array<QToolButton*, trx5::kTracks * trx5::kVTakes>;
    // Made for a drag from slot `slot`: the data to drag (a file URL), or
    // none when the slot offers nothing.
    using DragData = std::function<QMimeData*(int slot)>;
    // Runs the drag; the toolkit's QDrag by default.
    using DragRunner = std::function<void(QToolButton* source, QMimeData* data)>;

    // The format that names the slot a take is dragged from, beside the file:
    // "<card folder>\n<song file number>\n<slot>".
    static constexpr char kSlotFormat[] = "application/x-trx5-take-slot";

    // `selection` names the card and song the grid shows.
    TTakeDragDrop(const Buttons& buttons, DragData dragData, const trx5::SongSelection& selection,
                  QObject* parent = nullptr);

    void SetDragRunner(DragRunner runner) { runDrag_ = std::move(runner); }

    // The one local file a drop carries, or empty.
    static QString DroppedFile(const QMimeData* data);

  signals:
    // A local file was dropped on the button of `slot`.
    void FileDropped(int slot, const QString& path);
    // The take of slot `from` was dropped on the button of `to`, another
    // V-Take of the song shown; `copy` when Ctrl was held.
    void TakeDropped(int from, int to, bool copy);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int SlotOf(QObject* button) const;
    // The slot of the song shown that `data` drags a take from; -1 when it
    // drags none (or one of another card or song, or a slot now empty).
    int DraggedSlot(const QMimeData* data) const;

    Buttons buttons_;
    DragData dragData_;
    const trx5::SongSelection& selection_;
    DragRunner runDrag_;
    QPoint pressAt_;
    int pressedSlot_ = -1;
};
