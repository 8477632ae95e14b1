// Drag and drop on the V-Take grid: an audio file dropped from the file
// manager on a V-Take button is offered for import into that V-Take, and a
// V-Take button that holds a take can be dragged out to the file manager as
// a file. The window decides what happens; this class only reads the
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

class TTakeDragDrop : public QObject {
    Q_OBJECT

  public:
    using Buttons = std::array<QToolButton*, trx5::kTracks * trx5::kVTakes>;
    // Made for a drag from slot `slot`: the data to drag (a file URL), or
    // none when the slot offers nothing.
    using DragData = std::function<QMimeData*(int slot)>;
    // Runs the drag; the toolkit's QDrag by default.
    using DragRunner = std::function<void(QToolButton* source, QMimeData* data)>;

    TTakeDragDrop(const Buttons& buttons, DragData dragData, QObject* parent = nullptr);

    void SetDragRunner(DragRunner runner) { runDrag_ = std::move(runner); }

    // The one local file a drop carries, or empty.
    static QString DroppedFile(const QMimeData* data);

  signals:
    // A local file was dropped on the button of `slot`.
    void FileDropped(int slot, const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int SlotOf(QObject* button) const;

    Buttons buttons_;
    DragData dragData_;
    DragRunner runDrag_;
    QPoint pressAt_;
    int pressedSlot_ = -1;
};
