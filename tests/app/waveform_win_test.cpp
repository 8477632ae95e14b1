// The V-Take buttons' tooltips: the take's waveform and length, drawn from an
// envelope that is computed once per unchanged take file.
#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <cmath>

#include "app/main_win.h"
#include "app/take_tooltip.h"
#include "app_test_support.h"
#include "codec/take_codec.h"
#include "support/test_support.h"

namespace {

constexpr int kHiFiSamples = 509;

// A HiFi take of a slowly swelling tone.
void WriteSwell(const std::string& path, int blocks) {
    std::vector<std::int16_t> samples(std::size_t(blocks) * kHiFiSamples);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double swell = double(i) / samples.size();
        samples[i] = std::int16_t(28000 * swell * std::sin(i * 0.05));
    }
    const trx5::TakeHeader header = trx5::MakeTakeHeader(false);
    trx5test::Bytes bytes(header.begin(), header.end());
    bytes.resize(512 + std::size_t(blocks) * 512);
    trx5::EncodeTakeBlocks(bytes.data() + 512, samples.data(), blocks, false);
    trx5test::WriteFile(path, bytes);
}

QLabel* ShownTooltip() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->inherits("QLabel") && w->windowFlags() & Qt::ToolTip) {
            return static_cast<QLabel*>(w);
        }
    }
    return nullptr;
}

}  // namespace

class WaveformTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;

  private slots:
    void tooltipShowsTheWaveformAndLength() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        WriteSwell(folder + "00-02.aud", 63);  // 1-3, 0:00:01:002
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        win.DirTreeChange(card.path());
        QToolButton* take = win.TakeBtns[2];

        const QString tip = win.TakeTips->TooltipFor(2);
        QVERIFY(tip.startsWith("<img src=\"data:image/png;base64,"));
        QVERIFY(tip.endsWith("1-3&nbsp;&nbsp;0:00:01:002"));
        QVERIFY(win.TakeTips->TooltipFor(3).isEmpty());  // no take there

        QHelpEvent hover(QEvent::ToolTip, QPoint(10, 8), take->mapToGlobal(QPoint(10, 8)));
        QApplication::sendEvent(take, &hover);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), tip);
        // Computed once; hovering again is answered from the cache.
        QApplication::sendEvent(take, &hover);
        QCOMPARE(win.TakeTips->Cache().computations(), std::uint64_t(1));
        QLabel* shown = ShownTooltip();
        QVERIFY(shown != nullptr);
        QDir().mkpath(TRX5_SCREENSHOT_DIR);
        QVERIFY(shown->grab().save(TRX5_SCREENSHOT_DIR "/waveform-tooltip.png"));
    }

    void envelopeIsKeptWhileTheTakeIsUnchanged() {
        QTemporaryDir card;
        const std::string folder = card.path().toStdString() + "/";
        trx5test::MakeMachineFile(folder);
        trx5test::MakeSongFile(folder, 0, false);
        WriteSwell(folder + "00-00.aud", 20);
        TMainWin win(dialogs_);
        win.DirTreeChange(card.path());
        const QString first = win.TakeTips->TooltipFor(0);
        QCOMPARE(win.TakeTips->TooltipFor(0), first);
        QCOMPARE(win.TakeTips->Cache().computations(), std::uint64_t(1));
        // A take replaced (as an import does) is drawn anew.
        trx5test::MakeTake(folder, 0, 0, 0, false, 40, 7);
        const QString second = win.TakeTips->TooltipFor(0);
        QCOMPARE(win.TakeTips->Cache().computations(), std::uint64_t(2));
        QVERIFY(second != first);
    }

    // The picture: full scale reaches the edges, silence is the centre line.
    void pictureFollowsTheEnvelope() {
        trx5::PeakEnvelope envelope;
        envelope.columns = {{0, 0}, {-32768, 32767}, {-100, 100}};
        const QImage picture = TTakeTooltips::Picture(envelope, 3, 49);
        const QColor wave(232, 128, 40);
        QCOMPARE(picture.pixelColor(1, 0), wave);
        QCOMPARE(picture.pixelColor(1, 48), wave);
        QVERIFY(picture.pixelColor(0, 10) != wave);
        QCOMPARE(picture.pixelColor(0, 24), wave);
        QVERIFY(picture.pixelColor(2, 10) != wave);
    }
};

QTEST_MAIN(WaveformTest)
#include "waveform_win_test.moc"
