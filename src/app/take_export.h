// The window's exports: the mix of the selected takes into one file, every
// take of the song into a folder, one take into a folder, and a take dragged
// out as a file. Each builds its request from the selection, asks before it
// replaces files, and runs under the window's operation runner.
#pragma once

#include <QString>
#include <cstddef>
#include <memory>

#include "convert/song_selection.h"

class DialogProvider;
class QMimeData;
class QTemporaryDir;
class QWidget;
class TOperationRunner;

class TTakeExport {
  public:
    TTakeExport(QWidget& window, DialogProvider& dialogs, TOperationRunner& runner,
                const trx5::SongSelection& selection);
    ~TTakeExport();

    // The mix through `knobs` into the file the user names.
    void Mix(const trx5::KnobPositions& knobs);
    // Every take of the song shown, each as its own file, into a folder.
    void SongTakes();
    // One take as its own file, into a folder.
    void OneTake(int slot);
    // The take of a slot as a file to drag out, or none.
    QMimeData* DragData(int slot);

  private:
    void Run(const trx5::ExportRequest& request);
    // Asks whether `files` files already in `folder` may be replaced.
    bool ConfirmReplace(std::size_t files, const QString& folder);

    QWidget& window_;
    DialogProvider& dialogs_;
    TOperationRunner& runner_;
    const trx5::SongSelection& selection_;
    std::unique_ptr<QTemporaryDir> dragFolder_;  // takes dragged out as files
};
