// TFileOperation: the buffers and codes it would hand to a shell, and the
// copy it carries out with its progress dialog, cancel and error window.
#include "controls/fileoperation.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <algorithm>

namespace {

QByteArray Noise(qsizetype size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every file of a folder, hidden ones (the copy's temporary files) too.
QStringList Files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

constexpr TFileOperation::TOperationFlags kWindowFlags =
    TFileOperation::fofFilesOnly | TFileOperation::fofNoConfirmation |
    TFileOperation::fofNoConfirmMkDir | TFileOperation::fofSimpleProgress;

}  // namespace

class FileOperationTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    QString card_;  // a card folder with files that are no card files beside
    QWidget window_;
    TFileOperation op_;
    QStringList errors_;

    // A copy of the card's files into `destination`, as the window asks for.
    void PrepareCopy(const QString& destination) {
        op_.FileFrom() = QStringList{card_ + "*.tx5", card_ + "*.aud"};
        op_.FileTo() = QStringList{destination};
    }

  private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        card_ = temp_.path() + "/card/";
        QVERIFY(QDir().mkpath(card_ + "sub.aud"));
        Write(card_ + "SongNo.tx5", Noise(512, 1));
        Write(card_ + "UtyPrm00.tx5", Noise(512, 2));
        Write(card_ + "00-00.aud", Noise(3000, 3));
        Write(card_ + "00-01.aud", Noise(5 << 20, 4));
        Write(card_ + "notes.txt", "not a card file");
    }

    void init() {
        op_.FileFrom().clear();
        op_.FileTo().clear();
        op_.SetOperation(TFileOperation::foCopy);
        op_.SetOperationFlag(kWindowFlags);
        op_.SetProgressTitle(QStringLiteral("Copying the card"));
        op_.SetParentWidget(&window_);
        errors_.clear();
        op_.SetErrorDisplay([this](const QString& text) { errors_ << text; });
        op_.disconnect();
    }

    void startsEmpty() {
        const TFileOperation fresh;
        QCOMPARE(fresh.Operation(), TFileOperation::foCopy);
        QCOMPARE(fresh.OptionBits(), 0u);
        QVERIFY(fresh.ProgressTitle().isEmpty());
        QVERIFY(!fresh.Aborted());
        QCOMPARE(fresh.SourceBuffer(), QByteArray(1, '\0'));
        QCOMPARE(fresh.DestinationBuffer(), QByteArray(1, '\0'));
    }

    void listsEndWithTwoZeroBytes() {
        op_.FileFrom() << "/media/u/CARD/*.tx5"
                       << "/media/u/CARD/*.aud";
        op_.FileTo() << "/home/u/Backup/";
        const char source[] = "/media/u/CARD/*.tx5\0/media/u/CARD/*.aud\0";
        QCOMPARE(op_.SourceBuffer(), QByteArray(source, sizeof source));
        const char destination[] = "/home/u/Backup/\0";
        QCOMPARE(op_.DestinationBuffer(), QByteArray(destination, sizeof destination));
        QCOMPARE(TFileOperation::DoubleZeroList({}), QByteArray(1, '\0'));
    }

    void optionBits_data() {
        QTest::addColumn<TFileOperation::TOperationFlags>("flags");
        QTest::addColumn<uint>("bits");
        QTest::newRow("none") << TFileOperation::TOperationFlags() << 0u;
        QTest::newRow("all nine") << (TFileOperation::fofAllowUndo |
                                      TFileOperation::fofConfirmMouse |
                                      TFileOperation::fofFilesOnly |
                                      TFileOperation::fofMultiDestFiles |
                                      TFileOperation::fofNoConfirmation |
                                      TFileOperation::fofNoConfirmMkDir |
                                      TFileOperation::fofRenameOnCollision |
                                      TFileOperation::fofSilent | TFileOperation::fofSimpleProgress)
                                  << 0x3DFu;
        QTest::newRow("the window's") << kWindowFlags << 0x390u;
    }

    void optionBits() {
        QFETCH(TFileOperation::TOperationFlags, flags);
        QFETCH(uint, bits);
        op_.SetOperationFlag(flags);
        QCOMPARE(op_.OptionBits(), bits);
    }

    void functionCodes() {
        QCOMPARE(TFileOperation::FunctionCode(TFileOperation::foMove), 1);
        QCOMPARE(TFileOperation::FunctionCode(TFileOperation::foCopy), 2);
        QCOMPARE(TFileOperation::FunctionCode(TFileOperation::foDelete), 3);
        QCOMPARE(TFileOperation::FunctionCode(TFileOperation::foRename), 4);
    }

    void copyMakesTheFolderAndCopiesTheCardFiles() {
        const QString out = temp_.path() + "/new/deeper/";
        PrepareCopy(out);
        quint64 lastDone = 0, lastTotal = 0;
        QString label;
        connect(&op_, &TFileOperation::ProgressStep, this, [&](quint64 done, quint64 total) {
            lastDone = done;
            lastTotal = total;
            if (auto* dialog = window_.findChild<QProgressDialog*>()) label = dialog->labelText();
        });

        QVERIFY(op_.Execute());
        QVERIFY(!op_.Aborted());
        QVERIFY(errors_.isEmpty());
        const QStringList copied{"00-00.aud", "00-01.aud", "SongNo.tx5", "UtyPrm00.tx5"};
        QCOMPARE(Files(out), copied);
        QVERIFY(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        for (const QString& name : copied) QCOMPARE(Read(out + name), Read(card_ + name));
        QCOMPARE(lastTotal, quint64(512 + 512 + 3000 + (5 << 20)));
        QVERIFY(lastDone > 0 && lastDone <= lastTotal);
        QCOMPARE(label, op_.ProgressTitle());
    }

    // Cancel pressed part way through the large take: its song, of which
    // take 1-1 was written already, is left as it was and so is the machine
    // file, the notes say so, and Aborted holds until the next Execute.
    void cancelStopsAndLaterRunsResetAborted() {
        const QString out = temp_.path() + "/cancel/";
        QVERIFY(QDir().mkpath(out));
        Write(out + "00-01.aud", "an older take");
        PrepareCopy(out);
        const auto cancelInLargeTake =
            connect(&op_, &TFileOperation::ProgressStep, this, [this](quint64 done, quint64) {
                auto* dialog = window_.findChild<QProgressDialog*>();
                if (done > 3000 && dialog != nullptr) dialog->cancel();
            });

        QVERIFY(!op_.Execute());
        QVERIFY(op_.Aborted());
        QVERIFY(errors_.isEmpty());
        QCOMPARE(Files(out), QStringList({"00-01.aud"}));
        QCOMPARE(Read(out + "00-01.aud"), QByteArray("an older take"));
        QCOMPARE(op_.Notes(), QStringList{"song 01 and the machine file left as they were"});
        QVERIFY(window_.findChild<QProgressDialog*>() == nullptr);

        disconnect(cancelInLargeTake);
        QVERIFY(op_.Execute());
        QVERIFY(!op_.Aborted());
        QVERIFY(op_.Notes().isEmpty());
        QCOMPARE(Read(out + "00-01.aud"), Read(card_ + "00-01.aud"));

        connect(&op_, &TFileOperation::ProgressStep, this,
                [this](quint64, quint64) { window_.findChild<QProgressDialog*>()->cancel(); });
        QVERIFY(!op_.Execute());
        QVERIFY(op_.Aborted());
        op_.FileTo() = QStringList{card_ + "notes.txt/"};
        QVERIFY(!op_.Execute());
        QVERIFY(!op_.Aborted());
    }

    // A copy that fails once its progress dialog is up: the dialog closes
    // before the one error message shows, so nothing hides the message.
    void failureShowsAfterTheProgressHasClosed() {
        const QString out = temp_.path() + "/late/";
        QVERIFY(QDir().mkpath(out));
        PrepareCopy(out);
        window_.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window_));
        bool shown = false;
        connect(&op_, &TFileOperation::ProgressStep, this, [&](quint64 done, quint64) {
            auto* dialog = window_.findChild<QProgressDialog*>();
            if (shown || done == 0 || dialog == nullptr) return;
            // Long enough for the dialog to come up, then the folder goes.
            for (int i = 0; i < 300 && !dialog->isVisible(); ++i) {
                QTest::qWait(10);
                dialog->setValue(dialog->value() + 1);
            }
            shown = dialog->isVisible();
            QVERIFY(QDir(out).removeRecursively());
            Write(temp_.path() + "/late", "a file now");
        });
        bool progressInFront = true;
        op_.SetErrorDisplay([&](const QString& text) {
            errors_ << text;
            const auto dialogs = window_.findChildren<QProgressDialog*>();
            progressInFront = std::any_of(dialogs.begin(), dialogs.end(),
                                          [](QProgressDialog* d) { return d->isVisible(); });
        });
        QVERIFY(!op_.Execute());
        QVERIFY(shown);
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_.front().startsWith("Cannot copy "));
        QVERIFY(!progressInFront);
        window_.hide();
        QFile::remove(temp_.path() + "/late");
    }

    void failuresShowTheFileAndTheReason_data() {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("error");
        const QString t = temp_.path();
        Write(t + "/file", "x");
        QVERIFY(QDir().mkpath(t + "/plain"));
        Write(t + "/plain/notes.txt", "x");
        const QStringList card{card_ + "*.tx5", card_ + "*.aud"};
        QTest::newRow("no card files")
            << QStringList{t + "/plain/*.tx5", t + "/plain/*.aud"} << QStringList{t + "/o1/"}
            << int(TFileOperation::foCopy) << "Cannot copy " + t + "/plain: No files to copy";
        QTest::newRow("missing source") << QStringList{t + "/gone/*.tx5"} << QStringList{t + "/o2/"}
                                        << int(TFileOperation::foCopy)
                                        << "Cannot copy " + t + "/gone: No such file or directory";
        QTest::newRow("destination below a file")
            << card << QStringList{t + "/file/sub/"} << int(TFileOperation::foCopy)
            << "Cannot copy " + t + "/file/sub/: Not a directory";
        QTest::newRow("no destination") << card << QStringList{} << int(TFileOperation::foCopy)
                                        << QString("This file operation is not available.");
        QTest::newRow("a move") << card << QStringList{t + "/o3/"} << int(TFileOperation::foMove)
                                << QString("This file operation is not available.");
    }

    void failuresShowTheFileAndTheReason() {
        QFETCH(QStringList, from);
        QFETCH(QStringList, to);
        QFETCH(int, operation);
        QFETCH(QString, error);
        const QStringList before = QDir(temp_.path()).entryList(QDir::AllEntries | QDir::Hidden);
        op_.FileFrom() = from;
        op_.FileTo() = to;
        op_.SetOperation(TFileOperation::TFileOp(operation));
        QVERIFY(!op_.Execute());
        QVERIFY(!op_.Aborted());
        QCOMPARE(errors_, QStringList{error});
        QCOMPARE(QDir(temp_.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
        QCOMPARE(Read(card_ + "notes.txt"), QByteArray("not a card file"));
    }
};

QTEST_MAIN(FileOperationTest)
#include "fileoperation_test.moc"
