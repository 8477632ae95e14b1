#include "controls/cgauge.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <climits>

namespace {

const QColor kFore(0, 0, 255);
const QColor kBack(255, 255, 255);

QRgb Inverted(QColor c) { return qRgb(255 - c.red(), 255 - c.green(), 255 - c.blue()); }

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

class CGaugeTest : public QObject {
    Q_OBJECT

  private slots:
    void defaults() {
        TCGauge gauge;
        QCOMPARE(gauge.size(), QSize(100, 100));
        QCOMPARE(gauge.Kind(), TCGauge::gkHorizontalBar);
        QVERIFY(gauge.ShowText());
        QCOMPARE(gauge.BorderStyle(), TCGauge::bsSingle);
        QCOMPARE(gauge.ForeColor(), QColor(Qt::black));
        QCOMPARE(gauge.BackColor(), QColor(Qt::white));
        QCOMPARE(gauge.MinValue(), 0);
        QCOMPARE(gauge.MaxValue(), 100);
        QCOMPARE(gauge.Progress(), 0);
    }

    void progressAndPercent_data() {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("percent");
        QTest::newRow("above the range") << 0 << 100 << 250 << 100 << 100;
        QTest::newRow("below the range") << 0 << 100 << -3 << 0 << 0;
        QTest::newRow("rounded down") << 0 << 200 << 33 << 33 << 16;
        QTest::newRow("almost all") << 0 << 200 << 199 << 199 << 99;
        QTest::newRow("negative range") << -100 << 100 << 0 << 0 << 50;
        QTest::newRow("widest range") << INT_MIN + 1 << INT_MAX << 0 << 0 << 50;
        QTest::newRow("widest range, top") << INT_MIN + 1 << INT_MAX << INT_MAX << INT_MAX << 100;
    }
    void progressAndPercent() {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, set);
        QFETCH(int, stored);
        QFETCH(int, percent);
        TCGauge gauge;
        QVERIFY(gauge.SetMaxValue(max));
        QVERIFY(gauge.SetMinValue(min));
        gauge.SetProgress(set);
        QCOMPARE(gauge.Progress(), stored);
        QCOMPARE(gauge.PercentDone(), percent);
    }

    void addProgressStaysInRange() {
        TCGauge gauge;
        QVERIFY(gauge.SetMaxValue(INT_MAX));
        gauge.SetProgress(INT_MAX - 1);
        gauge.AddProgress(INT_MAX);
        QCOMPARE(gauge.Progress(), INT_MAX);
        QVERIFY(gauge.SetMinValue(INT_MIN + 1));
        gauge.AddProgress(INT_MIN);
        gauge.AddProgress(INT_MIN);
        QCOMPARE(gauge.Progress(), INT_MIN + 1);
        gauge.AddProgress(10);
        QCOMPARE(gauge.Progress(), INT_MIN + 11);
    }

    void rangeLimits_data() {
        QTest::addColumn<bool>("setMin");  // else MaxValue
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("progress");  // from 40
        QTest::newRow("min inside") << true << 60 << true << 60 << 100 << 60;
        QTest::newRow("min below progress") << true << -20 << true << -20 << 100 << 40;
        QTest::newRow("min at max") << true << 100 << false << 0 << 100 << 40;
        QTest::newRow("min above max") << true << 500 << false << 0 << 100 << 40;
        QTest::newRow("min lowest int") << true << INT_MIN << false << 0 << 100 << 40;
        QTest::newRow("max inside") << false << 30 << true << 0 << 30 << 30;
        QTest::newRow("max just above min") << false << 1 << true << 0 << 1 << 1;
        QTest::newRow("max at min") << false << 0 << false << 0 << 100 << 40;
        QTest::newRow("max below min") << false << -5 << false << 0 << 100 << 40;
        QTest::newRow("max unchanged") << false << 100 << true << 0 << 100 << 40;
    }
    void rangeLimits() {
        QFETCH(bool, setMin);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, progress);
        TCGauge gauge;
        gauge.SetProgress(40);
        QSignalSpy errors(&gauge, &TCGauge::RangeError);
        QCOMPARE(setMin ? gauge.SetMinValue(value) : gauge.SetMaxValue(value), accepted);
        QCOMPARE(gauge.MinValue(), min);
        QCOMPARE(gauge.MaxValue(), max);
        QCOMPARE(gauge.Progress(), progress);
        QCOMPARE(errors.count(), accepted ? 0 : 1);
        if (!accepted) {
            QCOMPARE(errors[0][0].toInt(), value);
            QCOMPARE(errors[0][1].toInt(), setMin ? INT_MIN + 1 : 1);
            QCOMPARE(errors[0][2].toInt(), setMin ? 99 : INT_MAX);
        }
    }

    void kindsDrawTheirShapes_data() {
        QTest::addColumn<TCGauge::TCGaugeKind>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QList<QPoint>>("fore");
        QTest::addColumn<QList<QPoint>>("back");
        // Inside a one-pixel border: a 98 x 18 area, 49 columns at 50 %.
        QTest::newRow("bar, half")
            << TCGauge::gkHorizontalBar << QSize(100, 20) << 50 << QList<QPoint>{{1, 1}, {49, 18}}
            << QList<QPoint>{{50, 1}, {98, 18}};
        QTest::newRow("bar, empty") << TCGauge::gkHorizontalBar << QSize(100, 20) << 0
                                    << QList<QPoint>{} << QList<QPoint>{{1, 1}, {98, 18}};
        QTest::newRow("bar, full") << TCGauge::gkHorizontalBar << QSize(100, 20) << 100
                                   << QList<QPoint>{{1, 1}, {98, 18}} << QList<QPoint>{};
        // From the bottom; at most the height less one pixel.
        QTest::newRow("vertical, half")
            << TCGauge::gkVerticalBar << QSize(20, 100) << 50 << QList<QPoint>{{1, 98}, {18, 50}}
            << QList<QPoint>{{1, 49}, {18, 1}};
        QTest::newRow("vertical, full")
            << TCGauge::gkVerticalBar << QSize(20, 100) << 100 << QList<QPoint>{{1, 98}, {18, 2}}
            << QList<QPoint>{{1, 1}, {18, 1}};
        QTest::newRow("text") << TCGauge::gkText << QSize(40, 40) << 70 << QList<QPoint>{}
                              << QList<QPoint>{{1, 1}, {38, 38}};
        // Clockwise from the top: a quarter fills the upper right.
        QTest::newRow("pie, quarter")
            << TCGauge::gkPie << QSize(100, 100) << 25 << QList<QPoint>{{70, 30}}
            << QList<QPoint>{{30, 70}, {30, 30}, {70, 70}};
        QTest::newRow("pie, three quarters")
            << TCGauge::gkPie << QSize(100, 100) << 75
            << QList<QPoint>{{70, 30}, {70, 70}, {30, 70}} << QList<QPoint>{{30, 30}};
        // Standing on the bottom edge, pointing straight up at 50 %.
        QTest::newRow("needle, half")
            << TCGauge::gkNeedle << QSize(100, 60) << 50 << QList<QPoint>{{50, 30}}
            << QList<QPoint>{{30, 40}, {70, 40}};
        QTest::newRow("needle, none") << TCGauge::gkNeedle << QSize(100, 60) << 0 << QList<QPoint>{}
                                      << QList<QPoint>{{50, 30}, {30, 40}};
    }
    void kindsDrawTheirShapes() {
        QFETCH(TCGauge::TCGaugeKind, kind);
        QFETCH(QSize, size);
        QFETCH(int, progress);
        QFETCH(QList<QPoint>, fore);
        QFETCH(QList<QPoint>, back);
        TCGauge gauge;
        gauge.resize(size);
        gauge.SetKind(kind);
        gauge.SetShowText(false);
        gauge.SetForeColor(kFore);
        gauge.SetBackColor(kBack);
        gauge.SetProgress(progress);
        const QImage image = gauge.Render();
        QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));  // the border
        for (const QPoint& at : fore) QCOMPARE(image.pixel(at), kFore.rgb());
        for (const QPoint& at : back) QCOMPARE(image.pixel(at), kBack.rgb());
    }

    void noBorderUsesTheWholeArea() {
        TCGauge gauge;
        gauge.resize(100, 10);
        gauge.SetBorderStyle(TCGauge::bsNone);
        gauge.SetShowText(false);
        gauge.SetForeColor(kFore);
        gauge.SetProgress(50);
        const QImage image = gauge.Render();
        QCOMPARE(image.pixel(0, 0), kFore.rgb());
        QCOMPARE(image.pixel(49, 9), kFore.rgb());
        QCOMPARE(image.pixel(50, 0), kBack.rgb());
    }

    void textIsInvertedOverBothParts() {
        TCGauge gauge;
        gauge.resize(200, 40);
        QFont big = gauge.font();
        big.setPixelSize(30);
        big.setBold(true);
        gauge.setFont(big);
        gauge.SetForeColor(kFore);
        gauge.SetProgress(50);
        const QImage image = gauge.Render();
        // "50%" straddles the bar's end at x = 99: its pixels are the
        // inverse of what lies beneath on either side, and nothing else.
        const QSet<QRgb> allowed{kFore.rgb(), kBack.rgb(), Inverted(kFore), Inverted(kBack),
                                 qRgb(0, 0, 0)};
        int overBar = 0;
        int overEmpty = 0;
        for (int y = 1; y < 39; ++y) {
            for (int x = 1; x < 199; ++x) {
                const QRgb pixel = image.pixel(x, y);
                QVERIFY(allowed.contains(pixel));
                overBar += x < 99 && pixel == Inverted(kFore);
                overEmpty += x >= 99 && pixel == Inverted(kBack);
            }
        }
        QVERIFY(overBar > 20);
        QVERIFY(overEmpty > 20);

        gauge.SetShowText(false);
        const QImage plain = gauge.Render();
        for (int x = 1; x < 199; ++x) QVERIFY(plain.pixel(x, 20) != Inverted(kFore));
    }

    void repaintsOnlyWhenThePercentageChanges() {
        TCGauge gauge;
        gauge.resize(100, 16);
        QVERIFY(gauge.SetMaxValue(200));
        PaintCounter counter;
        gauge.installEventFilter(&counter);
        gauge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gauge));
        QCoreApplication::processEvents();

        const struct {
            int progress;
            bool repaints;
        } steps[] = {{0, false}, {1, false}, {2, true}, {2, false}, {3, false}, {250, true}};
        for (const auto& step : steps) {
            counter.paints = 0;
            gauge.SetProgress(step.progress);
            QCoreApplication::processEvents();
            QCOMPARE(counter.paints > 0, step.repaints);
        }
        counter.paints = 0;
        gauge.AddProgress(0);
        QCoreApplication::processEvents();
        QVERIFY(counter.paints > 0);
    }
};

QTEST_MAIN(CGaugeTest)
#include "cgauge_test.moc"
