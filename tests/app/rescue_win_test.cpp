// A damaged card rescued from the window, as a user does it: a folder
// chosen in the tree, "Rescue a card...", the source chosen in the rescue
// dialog, the progress, the report and the rescued folder shown. And the
// opening of a device the user may not read, through udisks2.
#include "app/rescue_win.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <functional>

#include "app/card_source.h"
#include "app/main_win.h"
#include "app/rescue_card.h"
#include "app_test_support.h"
#include "controls/dirtreeview.h"
#include "rescue/rescue_image.h"
#include "support/test_support.h"

namespace {

using trx5test::Bytes;

QString LastLine(const TMainWin& win) {
    return win.InfoText->toPlainText().split('\n').constLast();
}

QString Today() { return QDate::currentDate().toString(Qt::ISODate); }

// Runs `act` on the dialog of class T from the event loop it runs in, once
// it is the modal window in front; gives up after five seconds. The timer
// that waits for it, which the caller deletes when the dialog is done
// with, or `context` does.
template <typename T>
QPointer<QTimer> WhenShown(QObject& context, std::function<void(T&)> act) {
    auto* timer = new QTimer(&context);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        auto* shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (shown == nullptr && clock.elapsed() < 5000) return;
        timer->stop();
        timer->deleteLater();
        if (shown != nullptr) act(*shown);
    });
    timer->start(10);
    return timer;
}

// The report window the rescue left open, or none.
TRescueReportWin* Report(const TMainWin& win) {
    for (TRescueReportWin* report : win.findChildren<TRescueReportWin*>()) {
        if (report->isVisible()) return report;
    }
    return nullptr;
}

trx5::CardDevice Device(const std::string& path, std::uint64_t bytes, int partition = 0,
                        const std::string& disk = {}) {
    trx5::CardDevice d;
    d.path = path;
    d.bytes = bytes;
    d.vendor = "Generic";
    d.model = "Card Reader";
    d.partition = partition;
    d.diskPath = disk;
    return d;
}

}  // namespace

class RescueWinTest : public QObject {
    Q_OBJECT

    FakeDialogs dialogs_;
    std::unique_ptr<QTemporaryDir> work_;
    QString image_;   // a card image with two takes
    QString parent_;  // the folder chosen in the tree
    Bytes hifi_;      // the takes in the image
    Bytes long_;

    // The window shown, with the parent folder chosen in the tree, and no
    // card in any reader unless a case says otherwise.
    bool Show(TMainWin& win) {
        win.RescueCard().SetDeviceLister([] { return std::vector<trx5::CardDevice>{}; });
        win.show();
        if (!QTest::qWaitForWindowExposed(&win)) return false;
        return win.DirTree->SetDirectory(parent_);
    }

    QString Destination(const QString& suffix = {}) const {
        return parent_ + "/Rescued card " + Today() + suffix;
    }

    // Clicks Rescue a card..., has `choose` pick the source in the dialog
    // and presses its Rescue button; the rescue has run when it returns.
    void Rescue(TMainWin& win, const std::function<void(TRescueWin&)>& choose) {
        bool shown = false;
        const QPointer<QTimer> wait = WhenShown<TRescueWin>(win, [&](TRescueWin& dialog) {
            shown = true;
            choose(dialog);
            // A check that failed leaves nothing to rescue.
            if (QTest::currentTestFailed()) return dialog.reject();
            QTest::mouseClick(dialog.RescueBtn, Qt::LeftButton);
        });
        QTest::mouseClick(win.RescueBtn, Qt::LeftButton);
        delete wait;
        QVERIFY(shown);
    }

  private slots:
    void initTestCase() {
        // No system bus, wherever the tests run: udisks2 cannot be reached.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/trx5-test-system-bus");
    }

    void init() {
        dialogs_ = FakeDialogs();
        work_ = std::make_unique<QTemporaryDir>();
        QVERIFY(work_->isValid());
        parent_ = work_->path() + "/Rescues";
        QVERIFY(QDir().mkpath(parent_));
        hifi_ = trx5test::EncodedTake(false, 30, 1);
        long_ = trx5test::EncodedTake(true, 12, 2);
        Bytes image = trx5test::RandomBytes(512 * 5, 1);
        trx5test::Append(image, hifi_);
        trx5test::Append(image, trx5test::RandomBytes(512 * 2, 2));
        trx5test::Append(image, long_);
        trx5test::Append(image, Bytes(512 * 4, 0));
        image_ = work_->path() + "/card.img";
        trx5test::WriteFile(image_.toStdString(), image);
    }

    // The image chosen by Browse, typed in, or listed as a card: the takes
    // land in a new folder of today's name, byte for byte, the report shows
    // what the rescue wrote, the line says how many, and the window shows
    // the rescued folder.
    void rescueIntoANewFolder_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("browse") << "browse";
        QTest::newRow("typed") << "typed";
        QTest::newRow("card") << "card";
    }

    void rescueIntoANewFolder() {
        QFETCH(QString, how);
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        if (how == "card") {
            const std::string image = image_.toStdString();
            win.RescueCard().SetDeviceLister([image] {
                return std::vector<trx5::CardDevice>{Device("/dev/sdx", 1 << 30),
                                                     Device(image, 8192, 1, "/dev/sdx")};
            });
        }
        dialogs_.imageFile = image_;
        QString into;
        Rescue(win, [&](TRescueWin& dialog) {
            into = dialog.IntoLabel->text();
            if (how == "browse") {
                QTest::mouseClick(dialog.BrowseBtn, Qt::LeftButton);
            } else if (how == "typed") {
                QTest::keyClicks(dialog.ImageEdit, image_);
            } else {
                QCOMPARE(dialog.DeviceList->currentRow(), 0);
                const QRect row = dialog.DeviceList->visualItemRect(dialog.DeviceList->item(1));
                QTest::mouseClick(dialog.DeviceList->viewport(), Qt::LeftButton, {}, row.center());
            }
            QVERIFY(dialog.RescueBtn->isEnabled());
        });
        QCOMPARE(into, "Into: " + Destination());
        QCOMPARE(dialogs_.imageCaptions,
                 how == "browse" ? QStringList{"Image file of a card"} : QStringList{});
        QVERIFY2(dialogs_.messages.isEmpty(), qPrintable(dialogs_.messages.join('\n')));

        const std::string folder = Destination().toStdString() + "/";
        QVERIFY(trx5::CheckMachineFile(folder));
        QCOMPARE(trx5test::ReadFile(folder + "unplaced/rescued-0001-HiFi.aud"), hifi_);
        QCOMPARE(trx5test::ReadFile(folder + "unplaced/rescued-0002-LONG.aud"), long_);
        QVERIFY(trx5test::FileExists(folder + "unplaced/rescued-0002-LONG.wav"));

        TRescueReportWin* report = Report(win);
        QVERIFY(report != nullptr);
        QCOMPARE(report->windowTitle(), QString("Rescue report"));
        const Bytes written = trx5test::ReadFile(folder + "rescue-report.txt");
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(written.data()),
                                               static_cast<int>(written.size()));
        QVERIFY(text.contains("unplaced/rescued-0002-LONG.aud"));
        QCOMPARE(report->ReportText->toPlainText(), text);
        QVERIFY(report->ReportText->isReadOnly());
        QVERIFY(report->ReportText->font().fixedPitch());
        QCOMPARE(report->KeptLabel->text(),
                 "The report is kept in " + Destination() + "/rescue-report.txt.");

        QCOMPARE(LastLine(win), "2 takes rescued into Rescued card " + Today() + ".");
        QCOMPARE(win.DirTree->GetDirectory(), Destination() + "/");
        QCOMPARE(win.CardDir, folder);
        QVERIFY(win.RescueBtn->isEnabled() && win.DirTree->isEnabled());
        QTest::mouseClick(report->CloseBtn, Qt::LeftButton);
        QTRY_VERIFY(Report(win) == nullptr);
    }

    // Where today's folder is there already, the next free name is offered
    // and used, and what was there stays.
    void aFolderThatIsThereGetsTheNextName() {
        QVERIFY(QDir().mkpath(Destination()));
        trx5test::WriteFile(Destination().toStdString() + "/keep.txt", std::string("kept"));
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        QString into;
        Rescue(win, [&](TRescueWin& dialog) {
            into = dialog.IntoLabel->text();
            QTest::keyClicks(dialog.ImageEdit, image_);
        });
        QCOMPARE(into, "Into: " + Destination(" (2)"));
        QCOMPARE(QDir(Destination()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"keep.txt"});
        QVERIFY(trx5::CheckMachineFile(Destination(" (2)").toStdString() + "/"));
        QCOMPARE(LastLine(win), "2 takes rescued into Rescued card " + Today() + " (2).");

        // The next one goes on counting; Cancel in the dialog makes nothing.
        win.DirTree->SetDirectory(parent_);
        const QPointer<QTimer> wait = WhenShown<TRescueWin>(win, [&](TRescueWin& dialog) {
            into = dialog.IntoLabel->text();
            QTest::mouseClick(dialog.CancelBtn, Qt::LeftButton);
        });
        QTest::mouseClick(win.RescueBtn, Qt::LeftButton);
        delete wait;
        QCOMPARE(into, "Into: " + Destination(" (3)"));
        QVERIFY(!QFileInfo::exists(Destination(" (3)")));
        QVERIFY(dialogs_.messages.isEmpty());
        if (TRescueReportWin* report = Report(win)) report->close();
    }

    // Cancel in the progress dialog stops the rescue; what was written
    // stays, and the line says so.
    void cancelStopsTheRescue() {
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        int steps = 0;
        bool busy = false;
        connect(&win, &TMainWin::ProgressStep, this, [&] {
            if (++steps > 1) return;
            busy = !win.RescueBtn->isEnabled() && !win.DirTree->isEnabled();
            auto* progress = win.findChild<QProgressDialog*>();
            QVERIFY(progress != nullptr && progress->isVisible());
            QCOMPARE(progress->labelText(), QString("Rescuing the card..."));
            for (QPushButton* button : progress->findChildren<QPushButton*>()) {
                if (button->text() == "Cancel") QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        Rescue(win, [&](TRescueWin& dialog) { QTest::keyClicks(dialog.ImageEdit, image_); });
        if (TRescueReportWin* report = Report(win)) report->close();
        QVERIFY(steps > 0);
        QVERIFY(busy);
        QCOMPARE(LastLine(win),
                 "Rescue cancelled; what was found so far is in Rescued card " + Today() + ".");
        QCOMPARE(win.DirTree->GetDirectory(), Destination() + "/");
        QVERIFY(win.RescueBtn->isEnabled());
        QVERIFY(dialogs_.messages.isEmpty());
    }

    // A source that cannot be read: the message says why, the line too,
    // and no folder is made or chosen.
    void aSourceThatCannotBeRead_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "/nonexistent/card.img"
                                 << "Cannot open the card image or device\n"
                                    "/nonexistent/card.img: No such file or directory";
        QTest::newRow("a folder") << "FOLDER"
                                  << "Cannot open the card image or device\n"
                                     "FOLDER: neither a file nor a block device";
    }

    void aSourceThatCannotBeRead() {
        QFETCH(QString, source);
        QFETCH(QString, message);
        source.replace("FOLDER", work_->path());
        message.replace("FOLDER", work_->path());
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        Rescue(win, [&](TRescueWin& dialog) { QTest::keyClicks(dialog.ImageEdit, source); });
        QCOMPARE(dialogs_.messages, QStringList{message});
        QCOMPARE(LastLine(win), "Rescue failed: " + message.section('\n', 1));
        QVERIFY(!QFileInfo::exists(Destination()));
        QCOMPARE(win.DirTree->GetDirectory(), parent_ + "/");
        QVERIFY(Report(win) == nullptr);
        QVERIFY(win.RescueBtn->isEnabled());
    }

    // A card is never rescued onto itself: a folder on the device read is
    // refused before anything is read or written.
    void aFolderOnTheCardReadIsRefused() {
        // The device the temporary folder lies on stands for the card.
        struct stat place {};
        QVERIFY(::stat(QFile::encodeName(parent_).constData(), &place) == 0);
        QString device;
        for (const QFileInfo& node : QDir("/dev").entryInfoList(QDir::System)) {
            struct stat st {};
            if (::stat(QFile::encodeName(node.filePath()).constData(), &st) == 0 &&
                S_ISBLK(st.st_mode) && st.st_rdev == place.st_dev) {
                device = node.filePath();
            }
        }
        if (device.isEmpty()) QSKIP("the temporary folder lies on no block device here");
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        win.RescueCard().SetDeviceLister([device] {
            return std::vector<trx5::CardDevice>{Device(device.toStdString(), 1 << 30)};
        });
        // Should the disk be read after all, the rescue stops at its first
        // step.
        connect(&win, &TMainWin::ProgressStep, this, [&win] {
            if (auto* progress = win.findChild<QProgressDialog*>()) progress->cancel();
        });
        Rescue(win, [&](TRescueWin& dialog) { QCOMPARE(dialog.SourcePath(), device); });
        QCOMPARE(dialogs_.messages,
                 QStringList{"The folder chosen lies on " + device +
                             ", the card to be rescued: writing there would overwrite what the "
                             "rescue looks for. Choose a folder on another disk in the folder "
                             "tree."});
        QVERIFY(!QFileInfo::exists(Destination()));
        QVERIFY(Report(win) == nullptr);
        QCOMPARE(win.DirTree->GetDirectory(), parent_ + "/");
    }

    // Without a folder chosen in the tree, the user is told to choose one.
    void aFolderMustBeChosen() {
        TMainWin win(dialogs_);
        win.RescueCard().SetDeviceLister([] { return std::vector<trx5::CardDevice>{}; });
        QVERIFY(win.RescueBtn->isEnabled());
        bool shown = false;
        const QPointer<QTimer> wait = WhenShown<TRescueWin>(win, [&](TRescueWin& dialog) {
            shown = true;
            dialog.reject();
        });
        win.RescueBtn->click();
        QTest::qWait(50);
        delete wait;
        QVERIFY(!shown);
        QCOMPARE(dialogs_.messages,
                 QStringList{"Choose the folder to keep the rescue in, in the folder tree."});
    }

    // The cards listed with their size and reader, the whole device chosen
    // first; Look again lists them anew; with none the list says so and
    // Rescue waits for an image file. And a picture of the dialog.
    void dialogListsTheCards() {
        std::vector<trx5::CardDevice> cards = {Device("/dev/sdb", 1'000'000'000),
                                               Device("/dev/sdb1", 999'000'000, 1, "/dev/sdb")};
        QWidget parent;
        TRescueWin dialog(parent, dialogs_, "/home/ann/Rescued card 2026-05-01",
                          [&cards] { return cards; });
        QCOMPARE(dialog.windowTitle(), QString("Rescue a card"));
        QCOMPARE(dialog.DeviceList->count(), 2);
        QCOMPARE(dialog.DeviceList->item(0)->text(),
                 QString("/dev/sdb \u2014 1.0 GB \u2014 Generic Card Reader"));
        QCOMPARE(dialog.DeviceList->item(1)->text(),
                 QString("/dev/sdb1 \u2014 999 MB \u2014 partition 1 of /dev/sdb"));
        QVERIFY(dialog.DeviceRadio->isChecked());
        QCOMPARE(dialog.SourcePath(), QString("/dev/sdb"));
        QVERIFY(dialog.RescueBtn->isEnabled() && dialog.RescueBtn->isDefault());
        QCOMPARE(dialog.IntoLabel->text(), QString("Into: /home/ann/Rescued card 2026-05-01"));

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(dialog.grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/rescue-dialog.png")));

        cards.clear();
        QTest::mouseClick(dialog.LookAgainBtn, Qt::LeftButton);
        QCOMPARE(dialog.DeviceList->count(), 1);
        QCOMPARE(dialog.DeviceList->item(0)->text(),
                 QString("No card reader with a card was found."));
        QCOMPARE(dialog.DeviceList->item(0)->flags(), Qt::NoItemFlags);
        QVERIFY(dialog.SourcePath().isEmpty() && !dialog.RescueBtn->isEnabled());
        QTest::keyClicks(dialog.ImageEdit, "card.img");
        QVERIFY(dialog.ImageRadio->isChecked());
        QCOMPARE(dialog.SourcePath(), QString("card.img"));
        QVERIFY(dialog.RescueBtn->isEnabled());
    }

    // The report window, with a report of the rescue's own: a picture.
    void screenshotOfTheReport() {
        TMainWin win(dialogs_);
        QVERIFY(Show(win));
        Rescue(win, [&](TRescueWin& dialog) { QTest::keyClicks(dialog.ImageEdit, image_); });
        TRescueReportWin* report = Report(win);
        QVERIFY(report != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(report));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        QVERIFY(report->grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/rescue-report.png")));
        QVERIFY(win.grab().save(QStringLiteral(TRX5_SCREENSHOT_DIR "/rescued-card.png")));
        report->close();
    }

    // A device the user may not read: through the disk service, or, where
    // that cannot be reached or refuses, a failure that says what to do.
    void refusedDeviceGoesThroughTheDiskService() {
        const auto refused = [](const QString&) {
            return DiskServiceAnswer{-1, true, "Not authorized to perform operation."};
        };
        auto out = OpenRefusedDevice("/dev/sdx", EACCES, refused);
        QVERIFY(!out);
        QCOMPARE(out.code(), trx5::ErrorCode::CannotOpen);
        QCOMPARE(QString::fromStdString(out.message()),
                 QString("/dev/sdx cannot be read: Not authorized to perform operation. Run the "
                         "program as a user who may read the device."));
        QCOMPARE(out.reason(), std::string("Permission denied"));
        QCOMPARE(out.path(), std::string("/dev/sdx"));

        // The descriptor the service gives is read, and closed with the
        // source.
        int given = -1;
        const QByteArray image = QFile::encodeName(image_);
        out = OpenRefusedDevice("/dev/sdx", EACCES, [&](const QString& device) {
            given = ::open(image.constData(), O_RDONLY | O_CLOEXEC);
            return DiskServiceAnswer{device == "/dev/sdx" ? given : -1, true, {}};
        });
        QVERIFY2(out.ok(), out.Describe().c_str());
        QCOMPARE((*out)->size(), std::uint64_t(QFileInfo(image_).size()));
        out = trx5::Status::Fail(trx5::ErrorCode::Failed, "gone");
        QCOMPARE(::fcntl(given, F_GETFD), -1);

        // An image file is opened as it is; the service is for devices only.
        bool asked = false;
        const auto ask = [&](const QString&) {
            asked = true;
            return DiskServiceAnswer{};
        };
        QVERIFY(OpenCardSource(image_, ask).ok());
        QCOMPARE(OpenCardSource(work_->path() + "/none.img", ask).reason(),
                 std::string("No such file or directory"));
        QVERIFY(!asked);
    }

    // With no system bus, udisks2 cannot be asked: the failure says so, and
    // what the user can do.
    void withoutUdisksTheUserIsToldWhatToDo() {
        const DiskServiceAnswer answer = OpenThroughUdisks("/dev/sdx");
        QCOMPARE(answer.fd, -1);
        QVERIFY(!answer.reached);
        QVERIFY(!answer.error.isEmpty());

        const auto out = OpenRefusedDevice("/dev/sdx", EACCES);
        QVERIFY(!out);
        QCOMPARE(out.code(), trx5::ErrorCode::CannotOpen);
        QCOMPARE(QString::fromStdString(out.message()),
                 QString("/dev/sdx cannot be read: Permission denied. Run the program as a user "
                         "who may read the device, or start udisks2."));
        QCOMPARE(QString::fromStdString(out.reason()), answer.error);
    }
};

QTEST_MAIN(RescueWinTest)
#include "rescue_win_test.moc"
