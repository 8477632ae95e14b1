// The window on a screen of device pixel ratio 2 (the program runs with
// QT_SCALE_FACTOR=2): the layout stays in logical pixels while the panel, the
// knobs and the button glyphs show their 2x drawings, and a picture of it.
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <vector>

#include "app/get_win.h"
#include "app/main_win.h"
#include "app/song_list.h"
#include "app_test_support.h"
#include "controls/bitpanel.h"
#include "controls/dirtreeview.h"
#include "controls/volume.h"
#include "convert/demo_card.h"

namespace {

// A device-pixel grab of `widget` as an image, after checking its ratio.
QImage Grab(QWidget& widget) {
    const QPixmap grab = widget.grab();
    if (grab.devicePixelRatio() != 2) return {};
    return grab.toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Art(const char* name) {
    return QImage(QStringLiteral(":/art/") + QLatin1String(name))
        .convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class HiDpiWinTest : public QObject {
    Q_OBJECT

  private:
    FakeDialogs dialogs_;

  private slots:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    // The controls' places are checked at this ratio by running the main
    // window tests' layout case (app_main_win_tests_2x).
    void shownWindowKeepsItsLogicalSize() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QCOMPARE(win.devicePixelRatioF(), 2.0);
        QCOMPARE(win.size(), QSize(632, 446));
        QCOMPARE(Grab(win).size(), QSize(1264, 892));
    }

    // Wherever no control covers it, the panel shows its 2x drawing pixel
    // for pixel, with detail that the 1x one with its pixels doubled lacks.
    void panelShowsItsDrawingAtTwiceThePixels() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        const QImage grab = Grab(*win.Panel1);
        QCOMPARE(grab.size(), QSize(930, 892));
        const QImage fine = Art("panel1@2x.png");
        const QImage doubled = Art("panel1.png").scaled(fine.size());

        QRegion bare(QRect(0, 0, 465, 443));
        for (QWidget* child : win.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible()) bare -= child->geometry();
        }
        int pixels = 0;
        int finer = 0;
        for (const QRect& area : bare) {
            for (int y = 2 * area.top(); y <= 2 * area.bottom() + 1; ++y) {
                for (int x = 2 * area.left(); x <= 2 * area.right() + 1; ++x) {
                    if (grab.pixel(x, y) != fine.pixel(x, y)) {
                        QFAIL(qPrintable(QStringLiteral("device pixel %1, %2").arg(x).arg(y)));
                    }
                    ++pixels;
                    finer += grab.pixel(x, y) != doubled.pixel(x, y);
                }
            }
        }
        // About 390000 bare device pixels, 7 in 100 of them finer.
        QVERIFY2(pixels > 300000, qPrintable(QString::number(pixels)));
        QVERIFY2(finer > pixels / 25, qPrintable(QString::number(finer)));
    }

    // Each knob's corners show the 2x panel under it, device pixel for
    // device pixel, and its lower half (clear of the indicator) the 2x face.
    void knobsSitOnThePanelAtTwiceThePixels() {
        TMainWin win(dialogs_);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        const QImage grab = Grab(*win.Panel1);
        const QImage panel = Art("panel1@2x.png");
        const QImage face = Art("knob_norm@2x.png");
        const QRgb key = face.pixel(0, face.height() - 1);
        std::vector<TVolume*> knobs(win.PanKnobs.begin(), win.PanKnobs.end());
        knobs.insert(knobs.end(), win.VolKnobs.begin(), win.VolKnobs.end());
        for (TVolume* knob : knobs) {
            QVERIFY(!knob->hasFocus() && knob->isEnabled());
            const QPoint origin = 2 * knob->pos();
            int behind = 0;
            for (int y = 0; y < 40; ++y) {
                for (int x = 0; x < 40; ++x) {
                    const QRgb shown = grab.pixel(origin + QPoint(x, y));
                    if (face.pixel(x, y) == key) {
                        QCOMPARE(shown, panel.pixel(origin + QPoint(x, y)));
                        ++behind;
                    } else if (y >= 24) {
                        QCOMPARE(shown, face.pixel(x, y));
                    }
                }
            }
            QVERIFY(behind > 100);
        }
    }

    void buttonGlyphsHaveTheir2xDrawings() {
        TMainWin win(dialogs_);
        TGetWin form;
        struct Glyph {
            const QIcon icon;
            QIcon::State state;
            QImage drawing;
        };
        const QImage both = Art("audition@2x.png");
        const Glyph glyphs[] = {
            {win.BackBtn->icon(), QIcon::Off, Art("backup@2x.png")},
            {win.RestoreBtn->icon(), QIcon::Off, Art("restore@2x.png")},
            {win.RescueBtn->icon(), QIcon::Off, Art("rescue@2x.png")},
            {win.AudBtn->icon(), QIcon::Off, both.copy(0, 0, 32, 32)},
            {win.AudBtn->icon(), QIcon::On, both.copy(32, 0, 32, 32)},
            {form.AudBtn->icon(), QIcon::Off, Art("audition_play@2x.png")},
        };
        for (const Glyph& g : glyphs) {
            const QPixmap shown = g.icon.pixmap(QSize(16, 16), 2.0, QIcon::Normal, g.state);
            QCOMPARE(shown.devicePixelRatio(), 2.0);
            QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB32), g.drawing);
        }
        QCOMPARE(form.AudBtn->iconSize(), QSize(16, 16));
    }

    // The window with the demo card, a stereo selection, two import
    // destinations, turned knobs and an export just made, at twice the
    // pixels: the scene of main-window.png of the commands tests.
    void screenshotAtTwiceThePixels() {
        QTemporaryDir dir;
        const QString card = dir.path() + "/TRX5 card";
        QVERIFY(trx5::MakeDemoCard(card.toStdString()).ok());

        TMainWin win(dialogs_);
        win.Pan1->SetPosition(30);
        win.Pan2->SetPosition(72);
        win.Vol3->SetPosition(88);
        win.DirTree->SetDirectory(card);
        win.SongNum->setCurrentIndex(win.SongNum->findText("01 HiFi"));
        QVERIFY(win.SongNum->currentIndex() >= 0);
        for (int slot : {0, 8, 16, 24 + 2}) win.TakeBtns[slot]->click();
        win.Sel1Btn->click();
        win.Sel4Btn->click();
        dialogs_.save = SaveChoice{dir.path() + "/mix.wav", false};
        win.Take2WavBtn->click();
        QVERIFY(QFileInfo(dir.path() + "/mix.wav").size() > 0);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        QTest::qWait(50);

        const QPixmap grab = win.grab();
        QCOMPARE(grab.devicePixelRatio(), 2.0);
        QCOMPARE(grab.size(), QSize(1264, 892));
        QVERIFY(QDir().mkpath(QStringLiteral(TRX5_SCREENSHOT_DIR)));
        const QString file = QStringLiteral(TRX5_SCREENSHOT_DIR "/main-window@2x.png");
        QVERIFY(grab.save(file));
        QVERIFY(QFileInfo(file).size() > 0);
    }
};

QTEST_MAIN(HiDpiWinTest)
#include "hidpi_win_test.moc"
