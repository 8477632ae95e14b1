// Drag and drop on the V-Take grid: files dropped from the file manager are
// imported into the V-Take they land on, and takes are dragged out as files.
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "app/main_win.h"
#include "app/take_drag_drop.h"
#include "app_test_support.h"
#include "audiofile/audio_file_info.h"
#include "codec/take_codec.h"
#include "support/reference_codec.h"
#include "support/test_support.h"

namespace {

constexpr int kHiFiSamples = 509;

QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << (path.contains("://") ? QUrl(path) : QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

// Drags `data` over the button and drops it there, as the file manager
// does; returns whether the button took the drag. The data goes with it.
bool DropOn(QToolButton* button, QMimeData* data) {
    const std::unique_ptr<QMimeData> owned(data);
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &drop);
    // What the drop starts runs from the event loop, after the drop.
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

// The decoded samples of a take file's whole blocks.
std::vector<std::int16_t> DecodedTake(const std::string& path) {
    return trx5ref::DecodeTakeBytes(trx5test::ReadFile(path), false);
}

}  // namespace

class DragDropTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;
    QTemporaryDir card_;
    QTemporaryDir work_;
    std::string folder_;

  private slots:
    void init() {
        dialogs_ = FakeDialogs();
        QVERIFY(card_.isValid() && work_.isValid());
        folder_ = card_.path().toStdString() + "/";
        for (const QString& name : QDir(card_.path()).entryList(QDir::Files)) {
            QFile::remove(card_.path() + "/" + name);
        }
        trx5test::MakeMachineFile(folder_);
        trx5test::MakeSongFile(folder_, 0, false);
        trx5test::MakeTake(folder_, 0, 0, 0, false, 4, 1);  // 1-1
    }

    void dropImportsIntoThatVTake() {
        const std::string source = work_.path().toStdString() + "/drop.wav";
        WriteWav(source, 1, 32000, 3 * kHiFiSamples, [](int f, int) { return std::int16_t(f); });
        TMainWin win(dialogs_);
        win.DirTreeChange(card_.path());
        QToolButton* target = win.TakeBtns[8 * 1 + 2];  // 2-3, empty
        QVERIFY(DropOn(target, Files({QString::fromStdString(source)})));
        QVERIFY(dialogs_.confirmations.isEmpty());
        QVERIFY(dialogs_.messages.isEmpty());
        QCOMPARE(win.TakeFiles[10], folder_ + "00-12.aud");
        QCOMPARE(target->text(), QString("2-3"));
        QVERIFY(win.InfoText->toPlainText().endsWith("Take(s) have been generated."));
        std::vector<std::int16_t> expected(3 * kHiFiSamples);
        for (int f = 0; f < 3 * kHiFiSamples; ++f) expected[f] = std::int16_t(f);
        QCOMPARE(trx5test::ReadFile(win.TakeFiles[10]), trx5ref::EncodeTake(expected, false));
    }

    void dropOnATakeAsksFirst_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("cancel") << false;
        QTest::newRow("replace") << true;
    }

    void dropOnATakeAsksFirst() {
        QFETCH(bool, answer);
        const std::string source = work_.path().toStdString() + "/drop.wav";
        WriteWav(source, 1, 32000, 2 * kHiFiSamples, [](int, int) { return std::int16_t(99); });
        const trx5test::Bytes before = trx5test::ReadFile(folder_ + "00-00.aud");
        TMainWin win(dialogs_);
        win.DirTreeChange(card_.path());
        dialogs_.confirmAnswer = answer;
        QVERIFY(DropOn(win.TakeBtns[0], Files({QString::fromStdString(source)})));
        QCOMPARE(dialogs_.confirmations,
                 QStringList{QCoreApplication::applicationName() + ": Replace take 1-1?"});
        const trx5test::Bytes after = trx5test::ReadFile(folder_ + "00-00.aud");
        QCOMPARE(after == before, !answer);
        QCOMPARE(after.size(), std::size_t(answer ? 512 + 2 * 512 : before.size()));
    }

    void dropOfWhatIsNotAudio() {
        const QString notes = work_.path() + "/notes.txt";
        trx5test::WriteFile(notes.toStdString(), std::string("just text"));
        TMainWin win(dialogs_);
        win.DirTreeChange(card_.path());
        QVERIFY(DropOn(win.TakeBtns[1], Files({notes})));
        QCOMPARE(dialogs_.messages, QStringList{"The file is not a WAV/AIFF.\n" + notes});
        QVERIFY(win.TakeFiles[1].empty());
        QVERIFY(!QFile::exists(card_.path() + "/00-01.aud"));
        // Two files at once, or one that is not local, are not taken.
        QVERIFY(!DropOn(win.TakeBtns[1], Files({notes, notes})));
        QVERIFY(!DropOn(win.TakeBtns[1], Files({"https://example.org/take.wav"})));
        QCOMPARE(dialogs_.messages.size(), 1);
    }

    // A take dragged out arrives as a mono WAV named as the stems are, with
    // the take's samples; the drag does not change the selection.
    void dragOutGivesTheTakeAsAFile() {
        TMainWin win(dialogs_);
        win.DirTreeChange(card_.path());
        QToolButton* take = win.TakeBtns[0];
        QVERIFY(!take->isChecked());
        const QPoint start(10, 8);
        QTest::mousePress(take, Qt::LeftButton, Qt::NoModifier, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(30, 0)),
                         take->mapToGlobal(QPointF(start + QPoint(30, 0))), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(take, &move);
        QTest::mouseRelease(take, Qt::LeftButton, Qt::NoModifier, start + QPoint(30, 0));
        QVERIFY(!take->isChecked());
        QCOMPARE(dialogs_.dragged.size(), std::size_t(1));
        QCOMPARE(dialogs_.dragSources, QList<QWidget*>{take});
        const QString file = TTakeDragDrop::DroppedFile(dialogs_.dragged[0].get());
        QCOMPARE(QFileInfo(file).fileName(), QString("Song01_Track1_VTake1.wav"));

        std::FILE* f = std::fopen(file.toLocal8Bit().constData(), "rb");
        QVERIFY(f != nullptr);
        trx5::AudioFileInfo info;
        QCOMPARE(trx5::OpenAudioFileInfo(info, f), std::int32_t(trx5::AudioKindWav));
        QCOMPARE(info.channels, 1);
        std::vector<std::int16_t> samples(info.frames);
        QVERIFY(trx5::SeekFrame(info, f, 0).ok());
        trx5::ReadFrames(info, f, info.frames, samples.data());
        std::fclose(f);
        QCOMPARE(samples, DecodedTake(win.TakeFiles[0]));

        // An empty V-Take has nothing to drag.
        QTest::mousePress(win.TakeBtns[1], Qt::LeftButton, Qt::NoModifier, start);
        QApplication::sendEvent(win.TakeBtns[1], &move);
        QTest::mouseRelease(win.TakeBtns[1], Qt::LeftButton, Qt::NoModifier, start);
        QCOMPARE(dialogs_.dragged.size(), std::size_t(1));
    }
};

QTEST_MAIN(DragDropTest)
#include "dragdrop_win_test.moc"
