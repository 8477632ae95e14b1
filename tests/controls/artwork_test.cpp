#include <QImage>
#include <QTest>

class ArtworkTest : public QObject {
    Q_OBJECT

  private slots:
    void picturesHaveTheirSizes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("front panel") << ":/art/panel1.png" << QSize(465, 443);
        QTest::newRow("grid") << ":/art/btnspanel.png" << QSize(249, 192);
        QTest::newRow("knob") << ":/art/knob_norm.png" << QSize(20, 20);
        QTest::newRow("focused knob") << ":/art/knob_focused.png" << QSize(20, 20);
        QTest::newRow("disabled knob") << ":/art/knob_disabled.png" << QSize(20, 20);
        QTest::newRow("audition, both images") << ":/art/audition.png" << QSize(32, 16);
        QTest::newRow("audition, play") << ":/art/audition_play.png" << QSize(16, 16);
        QTest::newRow("audition, stop") << ":/art/audition_stop.png" << QSize(16, 16);
        QTest::newRow("back up") << ":/art/backup.png" << QSize(16, 16);
        QTest::newRow("restore") << ":/art/restore.png" << QSize(16, 16);
    }
    void picturesHaveTheirSizes() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
    }

    void knobFacesHaveTheirColours_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QRgb>("disc");
        QTest::addColumn<QRgb>("rim");
        QTest::addColumn<QRgb>("ring");  // 0: none
        QTest::newRow("normal") << ":/art/knob_norm.png" << qRgb(160, 160, 164) << qRgb(0, 0, 0)
                                << QRgb(0);
        QTest::newRow("focused") << ":/art/knob_focused.png" << qRgb(160, 160, 164) << qRgb(0, 0, 0)
                                 << qRgb(192, 192, 192);
        QTest::newRow("disabled") << ":/art/knob_disabled.png" << qRgb(192, 220, 192)
                                  << qRgb(128, 128, 128) << QRgb(0);
    }
    void knobFacesHaveTheirColours() {
        QFETCH(QString, path);
        QFETCH(QRgb, disc);
        QFETCH(QRgb, rim);
        QFETCH(QRgb, ring);
        const QImage face = QImage(path).convertToFormat(QImage::Format_RGB32);
        const QRgb white = qRgb(255, 255, 255);
        // White corners, the bottom-left one being the transparent colour,
        // and no white inside the disc, which would show the panel through.
        for (QPoint corner : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 19), QPoint(19, 19)}) {
            QCOMPARE(face.pixel(corner), white);
        }
        for (int y = 1; y < 19; ++y) {
            for (int x = 1; x < 19; ++x) {
                const int dx = 2 * x - 19;
                const int dy = 2 * y - 19;
                if (dx * dx + dy * dy < 16 * 16) QVERIFY(face.pixel(x, y) != white);
            }
        }
        QCOMPARE(face.pixel(10, 0), rim);
        QCOMPARE(face.pixel(0, 10), rim);
        QCOMPARE(face.pixel(10, 10), disc);
        if (ring != 0) QCOMPARE(face.pixel(10, 3), ring);
    }
};

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
