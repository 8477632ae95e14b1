#include "controls/volume.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <optional>

namespace {

const QColor kBehind(200, 30, 30);
const QColor kKey(255, 0, 255);
const QColor kNorm(160, 160, 164);
const QColor kFocused(100, 100, 200);
const QColor kDisabled(192, 220, 192);

// A 20 x 20 face: a disc of `disc` on corners of the key colour, which the
// knob must treat as transparent because its bottom-left pixel has it.
QPixmap Face(QColor disc) {
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(kKey);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRect(0, 0, 20, 20));
    p.end();
    return QPixmap::fromImage(image);
}

// The device pixel ratio the test runs at: 2 where QT_SCALE_FACTOR says so.
qreal ExpectedRatio() {
    return qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
               ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
               : 1.0;
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void Press(QWidget* w) { SendMouse(w, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton); }
void Move(QWidget* w, QPoint to) { SendMouse(w, QEvent::MouseMove, to, Qt::LeftButton); }
void Release(QWidget* w) { SendMouse(w, QEvent::MouseButtonRelease, {10, 10}, Qt::NoButton); }

// Sends a wheel turn of `delta` eighths of a degree (120 = one notch, away
// from the hand); answers whether the knob took it.
bool Wheel(QWidget* w, int delta, bool inverted = false) {
    QWheelEvent event(QPointF(10, 10), w->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, inverted);
    QApplication::sendEvent(w, &event);
    return event.isAccepted();
}

bool Key(QWidget* w, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
    return event.isAccepted();
}

// What each OnChanged told, with the tooltip and the number of paints the
// knob had made by then and afterwards.
struct Changes {
    QList<int> values;
    QStringList tips;
    int paints = 0;
    QList<int> paintsAtChange;

    explicit Changes(TVolume* knob) {
        QObject::connect(knob, &TVolume::OnChanged, knob, [this](TVolume* vol, int value) {
            values << value;
            tips << vol->toolTip();
            paintsAtChange << paints;
        });
        QObject::connect(knob, &TVolume::OnPaint, knob,
                         [this](TVolume*, int, QPainter*) { ++paints; });
    }
};

}  // namespace

class VolumeTest : public QObject {
    Q_OBJECT

    // A shown, active window holding one 20 x 20 knob (focus needs an
    // active window) and a second widget to take the focus away.
    struct Window {
        QWidget top;
        TVolume* knob;
        QWidget* other;
        Window() {
            top.resize(100, 60);
            knob = new TVolume(&top);
            knob->setGeometry(10, 10, 20, 20);
            other = new QWidget(&top);
            other->setFocusPolicy(Qt::StrongFocus);
            other->setGeometry(50, 10, 20, 20);
            top.show();
            top.activateWindow();
        }
    };

  private slots:
    void startsAsConstructed() {
        TVolume knob;
        QCOMPARE(knob.Position(), 0);
        QCOMPARE(knob.Max(), 127);
        QCOMPARE(knob.size(), QSize(64, 64));
        QVERIFY(knob.focusPolicy() & Qt::TabFocus);
        QVERIFY(knob.BGnorm().isNull() && knob.BGfoced().isNull() && knob.BGdis().isNull());
        QVERIFY(!knob.Dragging());
    }

    void indicatorTip_data() {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("position");
        QTest::addColumn<QPoint>("tip");
        QTest::newRow("half points up") << 100 << 50 << QPoint(10, 2);
        QTest::newRow("zero lower left") << 100 << 0 << QPoint(5, 15);
        QTest::newRow("max lower right") << 100 << 100 << QPoint(15, 15);
        QTest::newRow("quarter") << 100 << 25 << QPoint(3, 7);
        QTest::newRow("three quarters") << 100 << 75 << QPoint(17, 7);
        QTest::newRow("volume start") << 127 << 100 << QPoint(17, 9);
    }
    void indicatorTip() {
        QFETCH(int, max);
        QFETCH(int, position);
        QFETCH(QPoint, tip);
        QCOMPARE(TVolume::IndicatorTip(QSize(20, 20), position, max), tip);
    }

    void dragValue_data() {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("before");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<int>("after");  // -1: nothing happens
        QTest::newRow("top") << 100 << 0 << QPoint(10, 0) << 50;
        QTest::newRow("right") << 100 << 0 << QPoint(20, 10) << 83;
        QTest::newRow("left") << 100 << 0 << QPoint(0, 10) << 17;
        QTest::newRow("top left") << 100 << 0 << QPoint(0, 0) << 33;
        QTest::newRow("top right") << 100 << 0 << QPoint(20, 0) << 67;
        QTest::newRow("lower left end") << 100 << 50 << QPoint(0, 20) << 0;
        QTest::newRow("lower right end") << 100 << 50 << QPoint(20, 20) << 100;
        QTest::newRow("max 127 top") << 127 << 0 << QPoint(10, 0) << 64;
        QTest::newRow("far beyond the knob") << 100 << 0 << QPoint(10, -500) << 50;
        QTest::newRow("centre") << 100 << 40 << QPoint(10, 10) << -1;
        QTest::newRow("gap left half") << 100 << 50 << QPoint(10, 20) << 0;
        QTest::newRow("gap left half at max") << 100 << 100 << QPoint(10, 20) << -1;
        QTest::newRow("gap right half") << 100 << 50 << QPoint(11, 20) << 100;
        QTest::newRow("gap right half at zero") << 100 << 0 << QPoint(11, 20) << -1;
    }
    void dragValue() {
        QFETCH(int, max);
        QFETCH(int, before);
        QFETCH(QPoint, pointer);
        QFETCH(int, after);
        const std::optional<int> value = TVolume::DragValue(QSize(20, 20), pointer, before, max);
        QCOMPARE(value.value_or(-1), after);
    }

    void settersClampWithoutEvents() {
        TVolume knob;
        QSignalSpy changed(&knob, &TVolume::OnChanged);
        knob.SetPosition(150);
        QCOMPARE(knob.Position(), 127);
        knob.SetMax(100);
        QCOMPARE(knob.Position(), 100);
        knob.SetMax(60);
        QCOMPARE(knob.Position(), 60);
        knob.SetMax(0);  // no range to sweep: ignored
        QCOMPARE(knob.Max(), 60);
        knob.SetPosition(-5);  // stored as given
        QCOMPARE(knob.Position(), -5);
        QCOMPARE(changed.count(), 0);
    }

    void everyDragMoveRaisesOnChanged() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        w.knob->SetMax(100);
        w.knob->SetPosition(50);
        QSignalSpy changed(w.knob, &TVolume::OnChanged);

        Move(w.knob, {20, 10});  // not dragging yet
        QCOMPARE(changed.count(), 0);
        Press(w.knob);
        QVERIFY(w.knob->Dragging());
        QCOMPARE(w.knob->Position(), 50);  // a press alone changes nothing

        const struct {
            QPoint to;
            int value;
        } moves[] = {{{20, 10}, 83}, {{20, 10}, 83}, {{10, 10}, 83}, {{0, 20}, 0},
                     {{11, 20}, 0},  {{10, 20}, 0},  {{10, 0}, 50},  {{20, 20}, 100}};
        for (const auto& m : moves) Move(w.knob, m.to);
        // The centre and the gap beyond the 0 end raise nothing; the repeated
        // move to the same place raises the event again.
        const QList<int> expected{83, 83, 0, 0, 50, 100};
        QCOMPARE(changed.count(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(changed[i][0].value<TVolume*>(), w.knob);
            QCOMPARE(changed[i][1].toInt(), expected[i]);
        }
        QCOMPARE(w.knob->Position(), 100);

        Release(w.knob);
        QVERIFY(!w.knob->Dragging());
        Move(w.knob, {0, 10});
        QCOMPARE(changed.count(), expected.size());
        QCOMPARE(w.knob->Position(), 100);
    }

    void focusedKnobTurnsByKeys() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        w.knob->SetMax(100);
        w.knob->SetPosition(50);
        w.knob->setFocus();
        Changes changes(w.knob);

        const struct {
            int key;
            int value;
            bool raised;
        } presses[] = {
            {Qt::Key_Up, 51, true},       {Qt::Key_Right, 52, true},  {Qt::Key_Down, 51, true},
            {Qt::Key_Left, 50, true},     {Qt::Key_PageUp, 60, true}, {Qt::Key_PageDown, 50, true},
            {Qt::Key_End, 100, true},     {Qt::Key_Up, 100, false},   {Qt::Key_PageUp, 100, false},
            {Qt::Key_PageDown, 90, true}, {Qt::Key_Home, 0, true},    {Qt::Key_Left, 0, false},
            {Qt::Key_PageDown, 0, false}, {Qt::Key_PageUp, 10, true},
        };
        QList<int> raised;
        for (const auto& press : presses) {
            QVERIFY(Key(w.knob, press.key));
            QCOMPARE(w.knob->Position(), press.value);
            if (press.raised) raised << press.value;
            QCOMPARE(changes.values, raised);
            // Each change is told with the tooltip already up to date, then
            // painted at once.
            QCOMPARE(changes.tips.last(), QString::number(raised.last()));
            QCOMPARE(changes.paints, changes.paintsAtChange.last() + 1);
        }
        QCOMPARE(w.knob->toolTip(), QStringLiteral("10"));

        // Other keys go on to the window (Esc closes it).
        QVERIFY(!Key(w.knob, Qt::Key_Escape));
        QCOMPARE(w.knob->Position(), 10);
    }

    void wheelTurnsOnlyAFocusedKnob() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        w.knob->SetMax(127);
        w.knob->SetPosition(100);
        w.other->setFocus();
        Changes changes(w.knob);

        QVERIFY(!Wheel(w.knob, 120));  // left to the parent
        QCOMPARE(w.knob->Position(), 100);

        w.knob->setFocus();
        const struct {
            int delta;
            bool inverted;
            int value;
        } turns[] = {
            {120, false, 101},  {-120, false, 100},  // one notch up, one down
            {360, false, 103},                       // three notches at once
            {60, false, 103},   {60, false, 104},    // half notches add up
            {120, true, 103},                        // inverted by the system: it went down
            {1200, false, 113}, {2400, false, 127}, {120, false, 127},  // clamped at Max
        };
        for (const auto& turn : turns) {
            QVERIFY(Wheel(w.knob, turn.delta, turn.inverted));
            QCOMPARE(w.knob->Position(), turn.value);
        }
        QCOMPARE(changes.values, (QList<int>{101, 100, 103, 104, 103, 113, 127}));
        QCOMPARE(changes.paints, changes.paintsAtChange.last() + 1);
        QCOMPARE(w.knob->toolTip(), QStringLiteral("127"));
    }

    void tooltipShowsTheValue() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        QCOMPARE(w.knob->toolTip(), QStringLiteral("0"));
        w.knob->SetMax(100);
        w.knob->SetPosition(75);
        QCOMPARE(w.knob->toolTip(), QStringLiteral("75"));
        w.knob->SetMax(60);
        QCOMPARE(w.knob->toolTip(), QStringLiteral("60"));

        w.knob->SetValueText([](int value) { return QStringLiteral("L%1").arg(value); });
        QCOMPARE(w.knob->toolTip(), QStringLiteral("L60"));
        Changes changes(w.knob);
        Press(w.knob);
        Move(w.knob, {0, 20});
        QCOMPARE(changes.tips, QStringList{"L0"});
        QCOMPARE(w.knob->toolTip(), QStringLiteral("L0"));
    }

    void pressTakesFocusUnlessDisabled() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        w.other->setFocus();
        QVERIFY(w.other->hasFocus());

        w.knob->setEnabled(false);
        Press(w.knob);
        QVERIFY(!w.knob->Dragging());
        QVERIFY(w.other->hasFocus());

        w.knob->setEnabled(true);
        Press(w.knob);
        QVERIFY(w.knob->hasFocus());
        QVERIFY(w.knob->Dragging());
    }

    void paintsBackgroundFaceAndIndicator() {
        TVolume knob;
        knob.resize(20, 20);
        knob.SetMax(100);
        knob.SetPosition(50);
        knob.SetBGnorm(Face(kNorm));
        connect(&knob, &TVolume::OnGetParentBG, this, [](TVolume* vol, QPixmap& bg) {
            QPainter p(&bg);
            p.fillRect(QRect(QPoint(0, 0), vol->size()), kBehind);
        });
        const QImage image = knob.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), kBehind);  // key-coloured corner
        QCOMPARE(image.pixelColor(19, 19), kBehind);
        QCOMPARE(image.pixelColor(15, 10), kNorm);
        // The white line from the centre straight up to (10, 2).
        for (int y = 2; y <= 10; ++y) QCOMPARE(image.pixelColor(10, y), QColor(Qt::white));
        QCOMPARE(image.pixelColor(10, 1), kNorm);
    }

    void colorFillsWithoutParentBackground() {
        TVolume knob;
        knob.resize(20, 20);
        knob.SetColor(Qt::gray);
        knob.SetBGnorm(Face(kNorm));
        const QImage image = knob.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::gray));
        QCOMPARE(image.pixelColor(15, 10), kNorm);
    }

    void faceFollowsEnabledAndFocus() {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.top));
        w.knob->SetBGnorm(Face(kNorm));
        w.knob->SetBGfoced(Face(kFocused));
        w.knob->SetBGdis(Face(kDisabled));
        w.other->setFocus();
        QCOMPARE(w.knob->grab().toImage().pixelColor(15, 10), kNorm);
        w.knob->setFocus();
        QCOMPARE(w.knob->grab().toImage().pixelColor(15, 10), kFocused);
        w.knob->setEnabled(false);
        QCOMPARE(w.knob->grab().toImage().pixelColor(15, 10), kDisabled);
    }

    void paintHandlersReplaceTheLine() {
        TVolume knob;
        knob.resize(20, 20);
        knob.SetMax(100);
        knob.SetPosition(75);
        knob.SetColor(Qt::black);
        QList<QPoint> tips;
        connect(&knob, &TVolume::OnPaintIndicator, this,
                [&](TVolume*, int x, int y, QPainter* canvas) {
                    QVERIFY(canvas != nullptr);
                    tips << QPoint(x, y);
                });
        QImage image = knob.grab().toImage();
        QCOMPARE(tips, QList<QPoint>{QPoint(17, 7)});
        QCOMPARE(image.pixelColor(17, 7), QColor(Qt::black));

        // OnPaint takes over the whole indicator, OnPaintIndicator included.
        QList<int> values;
        connect(&knob, &TVolume::OnPaint, this, [&](TVolume* vol, int value, QPainter* canvas) {
            QCOMPARE(vol, &knob);
            values << value;
            canvas->fillRect(0, 0, 1, 1, Qt::green);
        });
        image = knob.grab().toImage();
        QCOMPARE(values, QList<int>{75});
        QCOMPARE(tips.size(), 1);
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::green));
        QCOMPARE(image.pixelColor(17, 7), QColor(Qt::black));
    }

    // Background and face are composed in device pixels: a background of
    // single-pixel detail and, at ratio 2, the 2x face (stripes one device
    // pixel wide) come through one to one. Also run at QT_SCALE_FACTOR=2.
    void composesInDevicePixels() {
        const qreal ratio = ExpectedRatio();
        TVolume knob;
        knob.resize(20, 20);
        knob.SetMax(100);
        knob.SetPosition(50);
        QImage fine = Face(kNorm).scaled(40, 40).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; x += 2) {
                if (fine.pixelColor(x, y) == kNorm) fine.setPixelColor(x, y, kFocused);
            }
        }
        knob.SetBGnorm(Face(kNorm), QPixmap::fromImage(fine));
        QList<qreal> ratios;
        connect(&knob, &TVolume::OnGetParentBG, this, [&](TVolume* vol, QPixmap& bg) {
            ratios << bg.devicePixelRatio();
            QImage behind(vol->size() * bg.devicePixelRatio(), QImage::Format_RGB32);
            for (int y = 0; y < behind.height(); ++y) {
                for (int x = 0; x < behind.width(); ++x) {
                    behind.setPixelColor(x, y, (x + y) % 2 != 0 ? QColor(Qt::black) : kBehind);
                }
            }
            behind.setDevicePixelRatio(bg.devicePixelRatio());
            QPainter(&bg).drawImage(0, 0, behind);
        });
        QCOMPARE(knob.devicePixelRatioF(), ratio);

        const QImage image = knob.grab().toImage();
        QCOMPARE(ratios, QList<qreal>{ratio});
        QCOMPARE(image.size(), QSize(20, 20) * ratio);
        for (QPoint at : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
            QCOMPARE(image.pixelColor(at),
                     (at.x() + at.y()) % 2 != 0 ? QColor(Qt::black) : kBehind);
        }
        // Right of the indicator on the middle row.
        const int row = static_cast<int>(10 * ratio);
        for (int x = static_cast<int>(14 * ratio); x < 16 * ratio; ++x) {
            const QColor face = ratio > 1 && x % 2 == 0 ? kFocused : kNorm;
            QCOMPARE(image.pixelColor(x, row), face);
        }
    }

    void largerKnobsPaintTheirWholeArea() {
        TVolume knob;
        knob.resize(80, 70);
        knob.SetColor(Qt::blue);
        const QImage image = knob.grab().toImage();
        QCOMPARE(image.pixelColor(79, 69), QColor(Qt::blue));
    }
};

QTEST_MAIN(VolumeTest)
#include "volume_test.moc"
