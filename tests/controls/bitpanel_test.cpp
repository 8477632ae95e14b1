#include "controls/bitpanel.h"

#include <QPainter>
#include <QTest>

namespace {

const QColor kFill(2, 106, 254);
const QColor kPicture(40, 160, 60);
const QColor kMark(250, 220, 0);

// A picture of one colour whose pixel `mark` is marked, so each place it is
// drawn at can be found.
QPixmap Picture(QSize size, QPoint mark = QPoint(0, 0)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kPicture);
    image.setPixelColor(mark, kMark);
    return QPixmap::fromImage(image);
}

QImage Render(TBitPanel& panel) { return panel.grab().toImage(); }

// The device pixel ratio the test runs at: 2 where QT_SCALE_FACTOR says so.
qreal ExpectedRatio() {
    return qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
               ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
               : 1.0;
}

// A 2x drawing of `size` logical pixels: a checkerboard of single device
// pixels, detail that no 1x picture has.
QImage FineDrawing(QSize size) {
    QImage image(2 * size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixelColor(x, y, (x + y) % 2 != 0 ? kMark : kPicture);
        }
    }
    return image;
}

}  // namespace

class BitPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void picturePositions_data() {
        QTest::addColumn<TBitPanel::TbpLayout>("layout");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QList<QPoint>>("positions");
        QTest::newRow("single") << TBitPanel::blSingle << QSize(75, 75) << QSize(100, 50)
                                << QList<QPoint>{{0, 0}};
        QTest::newRow("centre, larger than the panel")
            << TBitPanel::blCenter << QSize(75, 75) << QSize(100, 50) << QList<QPoint>{{-13, 12}};
        QTest::newRow("centre, smaller")
            << TBitPanel::blCenter << QSize(25, 12) << QSize(10, 10) << QList<QPoint>{{7, 1}};
        QTest::newRow("tiled") << TBitPanel::blMulti << QSize(25, 12) << QSize(10, 10)
                               << QList<QPoint>{{0, 0},  {10, 0},  {20, 0},
                                                {0, 10}, {10, 10}, {20, 10}};
        QTest::newRow("tiled, exact fit") << TBitPanel::blMulti << QSize(20, 10) << QSize(10, 10)
                                          << QList<QPoint>{{0, 0}, {10, 0}};
        QTest::newRow("no picture")
            << TBitPanel::blMulti << QSize(20, 10) << QSize(0, 0) << QList<QPoint>{};
    }
    void picturePositions() {
        QFETCH(TBitPanel::TbpLayout, layout);
        QFETCH(QSize, client);
        QFETCH(QSize, picture);
        QFETCH(QList<QPoint>, positions);
        QCOMPARE(TBitPanel::PicturePositions(layout, client, picture), positions);
    }

    void layoutsPaintWherePlaced_data() {
        QTest::addColumn<TBitPanel::TbpLayout>("layout");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QPoint>("mark");           // marked pixel of the picture
        QTest::addColumn<QList<QPoint>>("marks");   // where it must show
        QTest::addColumn<QList<QPoint>>("fillAt");  // pixels left in the panel colour
        QTest::newRow("single") << TBitPanel::blSingle << QSize(30, 20) << QSize(10, 10)
                                << QPoint(0, 0) << QList<QPoint>{{0, 0}}
                                << QList<QPoint>{{10, 0}, {0, 10}, {29, 19}};
        QTest::newRow("tiled") << TBitPanel::blMulti << QSize(25, 12) << QSize(10, 10)
                               << QPoint(0, 0) << QList<QPoint>{{0, 0},  {10, 0},  {20, 0},
                                                                {0, 10}, {10, 10}, {20, 10}}
                               << QList<QPoint>{};
        QTest::newRow("centre") << TBitPanel::blCenter << QSize(75, 75) << QSize(100, 50)
                                << QPoint(13, 0) << QList<QPoint>{{0, 12}}
                                << QList<QPoint>{{0, 11}, {74, 62}};
    }
    void layoutsPaintWherePlaced() {
        QFETCH(TBitPanel::TbpLayout, layout);
        QFETCH(QSize, client);
        QFETCH(QSize, picture);
        QFETCH(QPoint, mark);
        QFETCH(QList<QPoint>, marks);
        QFETCH(QList<QPoint>, fillAt);
        TBitPanel panel;
        panel.resize(client);
        panel.SetBevelOuter(TBitPanel::bvNone);
        panel.SetColor(kFill);
        panel.SetLayout(layout);
        panel.SetBitmap(Picture(picture, mark));
        const QImage image = Render(panel);
        for (const QPoint& at : marks) QCOMPARE(image.pixelColor(at), kMark);
        for (const QPoint& at : fillAt) QCOMPARE(image.pixelColor(at), kFill);
    }

    void plainPanelShowsBevelAndCaption() {
        TBitPanel panel;
        panel.resize(80, 30);
        panel.SetColor(kFill);
        panel.SetCaption(QStringLiteral("WWWW"));
        const QImage plain = Render(panel);
        QCOMPARE(plain.pixel(0, 0), panel.palette().color(QPalette::Light).rgb());
        QCOMPARE(plain.pixel(79, 29), panel.palette().color(QPalette::Dark).rgb());
        QCOMPARE(plain.pixelColor(1, 1), kFill);
        auto captionPixels = [](const QImage& image, QColor background) {
            int count = 0;
            for (int y = 8; y < 22; ++y) {
                for (int x = 20; x < 60; ++x) count += image.pixelColor(x, y) != background;
            }
            return count;
        };
        QVERIFY(captionPixels(plain, kFill) > 10);

        // With a picture the caption is never drawn; the bevel still is.
        panel.SetBitmap(Picture(QSize(80, 30), QPoint(79, 29)));
        const QImage pictured = Render(panel);
        QCOMPARE(captionPixels(pictured, kPicture), 0);
        QCOMPARE(pictured.pixel(0, 0), panel.palette().color(QPalette::Light).rgb());

        panel.SetBevelOuter(TBitPanel::bvLowered);
        panel.SetBevelWidth(2);
        const QImage lowered = Render(panel);
        QCOMPARE(lowered.pixel(1, 1), panel.palette().color(QPalette::Dark).rgb());
        QCOMPARE(lowered.pixel(78, 28), panel.palette().color(QPalette::Light).rgb());
        QCOMPARE(lowered.pixelColor(2, 2), kPicture);
    }

    void onPaintReplacesTheFill() {
        TBitPanel panel;
        panel.resize(30, 20);
        panel.SetBevelOuter(TBitPanel::bvNone);
        panel.SetColor(kFill);
        panel.SetCaption(QStringLiteral("WWWW"));
        int calls = 0;
        connect(&panel, &TBitPanel::OnPaint, this, [&](TBitPanel* sender, QPainter* canvas) {
            QCOMPARE(sender, &panel);
            ++calls;
            canvas->fillRect(sender->rect(), Qt::black);
        });
        // No picture: the handler's drawing and no caption.
        QImage image = Render(panel);
        QCOMPARE(calls, 1);
        for (int x = 0; x < 30; ++x) QCOMPARE(image.pixelColor(x, 10), QColor(Qt::black));

        panel.SetBitmap(Picture(QSize(10, 10)));
        image = Render(panel);
        QCOMPARE(calls, 2);
        QCOMPARE(image.pixelColor(0, 0), kMark);
        QCOMPARE(image.pixelColor(15, 15), QColor(Qt::black));
    }

    void mainPanelShowsAStripBelowItsPicture() {
        TBitPanel panel;
        panel.resize(465, 446);
        panel.SetBevelOuter(TBitPanel::bvNone);
        panel.SetColor(kFill);
        panel.SetBitmap(Picture(QSize(465, 443), QPoint(464, 442)));
        const QImage image = Render(panel);
        QCOMPARE(image.pixelColor(464, 442), kMark);
        for (int y = 443; y < 446; ++y) QCOMPARE(image.pixelColor(200, y), kFill);
    }

    void picksTheDrawingForTheRatio_data() {
        QTest::addColumn<bool>("with1x");
        QTest::addColumn<bool>("with2x");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("picks2x");
        QTest::newRow("both, ratio 1") << true << true << 1.0 << false;
        QTest::newRow("both, ratio 2") << true << true << 2.0 << true;
        QTest::newRow("both, ratio 1.5") << true << true << 1.5 << true;
        QTest::newRow("1x only, ratio 2") << true << false << 2.0 << false;
        QTest::newRow("2x only, ratio 1") << false << true << 1.0 << true;
    }
    void picksTheDrawingForTheRatio() {
        QFETCH(bool, with1x);
        QFETCH(bool, with2x);
        QFETCH(qreal, ratio);
        QFETCH(bool, picks2x);
        TBitPanel panel;
        const QPixmap one = with1x ? Picture(QSize(10, 10)) : QPixmap();
        const QPixmap two = with2x ? QPixmap::fromImage(FineDrawing(QSize(10, 10))) : QPixmap();
        panel.SetBitmap(one, two);
        // The 2x drawing is taken as such, though given with ratio 1.
        if (with2x) QCOMPARE(panel.Bitmap2x().devicePixelRatio(), 2.0);
        const QPixmap& picked = panel.BitmapFor(ratio);
        QCOMPARE(picked.cacheKey(), (picks2x ? panel.Bitmap2x() : panel.Bitmap()).cacheKey());
    }

    // The drawing for the panel's screen lands on its device pixels one to
    // one, tiled in logical pixels: at ratio 1 the picture, at ratio 2 its
    // 2x drawing with the finer detail. Also run at QT_SCALE_FACTOR=2.
    void drawsTheDrawingForItsScreen() {
        const qreal ratio = ExpectedRatio();
        TBitPanel panel;
        panel.resize(30, 20);
        panel.SetBevelOuter(TBitPanel::bvNone);
        panel.SetColor(kFill);
        panel.SetLayout(TBitPanel::blMulti);
        const QImage fine = FineDrawing(QSize(10, 10));
        panel.SetBitmap(Picture(QSize(10, 10)), QPixmap::fromImage(fine));
        QCOMPARE(panel.devicePixelRatioF(), ratio);

        const QImage image = Render(panel);
        QCOMPARE(image.size(), QSize(30, 20) * ratio);
        const QImage drawing = ratio > 1 ? fine : Picture(QSize(10, 10)).toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QPoint in(x % drawing.width(), y % drawing.height());
                if (image.pixel(x, y) != drawing.pixel(in)) {
                    QFAIL(qPrintable(QStringLiteral("device pixel %1, %2").arg(x).arg(y)));
                }
            }
        }
    }

    void keepsItsOwnCopyOfThePicture() {
        TBitPanel panel;
        QPixmap picture = Picture(QSize(4, 4));
        panel.SetBitmap(picture);
        picture.fill(Qt::red);
        QCOMPARE(panel.Bitmap().toImage().pixelColor(1, 1), kPicture);
    }
};

QTEST_MAIN(BitPanelTest)
#include "bitpanel_test.moc"
