// The window's rescue of a damaged card: the source chosen in the rescue
// dialog (a card in a card reader, or an image file) is read into a new
// folder inside the folder chosen in the tree, under a progress dialog
// with Cancel; then the report is shown and the rescued folder selected.
#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include "app/card_source.h"
#include "app/rescue_win.h"

class DialogProvider;
class TDirTreeView;
class TInfoText;
class TOperationRunner;
class QWidget;

class TRescueCard : public QObject {
    Q_OBJECT

  public:
    TRescueCard(QWidget& window, DialogProvider& dialogs, TDirTreeView& tree,
                TOperationRunner& runner, TInfoText& info);

    // Asks for the source, then rescues it.
    void Rescue();

    // Where the dialog finds the cards in the card readers; the system's
    // (ListCardDevices) unless told otherwise.
    void SetDeviceLister(TRescueWin::DeviceLister lister);

    // The folder a rescue on `day` makes inside `parent`: "Rescued card
    // 2026-05-01", or the first of " (2)", " (3)" ... after it that is not
    // there yet.
    static QString NewRescueFolder(const QString& parent, const QDate& day);

  signals:
    // Raised once per step of the rescue, before pending events run.
    void ProgressStep(quint64 done, quint64 total);

  private:
    // Reads `source` into the new folder `destination` and tells how it went.
    void Run(const QString& source, const QString& destination);

    QWidget& window_;
    DialogProvider& dialogs_;
    TDirTreeView& tree_;
    TOperationRunner& runner_;
    TInfoText& info_;
    TRescueWin::DeviceLister lister_;
};
