// The dialogs of a rescue: where the card is read from (a card in a card
// reader, or an image file of one) with the folder it goes into shown
// before it starts; and the report of a rescue done.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "rescue/card_devices.h"

class DialogProvider;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TRescueWin : public QDialog {
    Q_OBJECT

  public:
    using DeviceLister = std::function<std::vector<trx5::CardDevice>()>;

    // `destination`: the folder the rescue will make; `listDevices` gives
    // the cards in the card readers, now and on Look again.
    TRescueWin(QWidget& parent, DialogProvider& dialogs, const QString& destination,
               DeviceLister listDevices);

    // The device or image file chosen; empty when none is.
    QString SourcePath() const;

    QLabel* Intro;
    QRadioButton* DeviceRadio;
    QListWidget* DeviceList;  // each card's path in Qt::UserRole
    QPushButton* LookAgainBtn;
    QRadioButton* ImageRadio;
    QLineEdit* ImageEdit;
    QPushButton* BrowseBtn;
    QLabel* IntoLabel;
    QPushButton* RescueBtn;
    QPushButton* CancelBtn;

  private:
    void ListDevices();
    void Browse();
    // Rescue is offered once a source is chosen.
    void UpdateRescueButton();

    DialogProvider& dialogs_;
    DeviceLister listDevices_;
};

// The report of a rescue, beside the window that shows the rescued folder;
// it goes when closed.
class TRescueReportWin : public QDialog {
    Q_OBJECT

  public:
    TRescueReportWin(QWidget& parent, const QString& report, const QString& reportPath);

    QLabel* KeptLabel;
    QPlainTextEdit* ReportText;
    QPushButton* CloseBtn;
};
