#include <QImage>
#include <QTest>
#include <cstdlib>

namespace {

// ":/art/x.png" -> ":/art/x@2x.png"
QString Path2x(const QString& path) { return path.chopped(4) + QStringLiteral("@2x.png"); }

}  // namespace

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
        QTest::newRow("rescue") << ":/art/rescue.png" << QSize(16, 16);
    }
    void picturesHaveTheirSizes() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
    }

    // Every picture has a drawing at twice the pixels.
    void doublesHaveTwiceTheSize_data() { picturesHaveTheirSizes_data(); }
    void doublesHaveTwiceTheSize() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QImage image(Path2x(path));
        QVERIFY2(!image.isNull(), qPrintable(Path2x(path)));
        QCOMPARE(image.size(), 2 * size);
    }

    // The 2x drawing is the same picture, drawn anew: not the 1x one with
    // each pixel doubled, but close to it when its 2 x 2 blocks are averaged.
    void doublesAreTheSamePictureDrawnAnew_data() { picturesHaveTheirSizes_data(); }
    void doublesAreTheSamePictureDrawnAnew() {
        QFETCH(QString, path);
        const QImage one = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage two =
            QImage(Path2x(path)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(two.size(), 2 * one.size());
        QVERIFY(two != one.scaled(two.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));

        // Mean difference per channel, 0 to 255. The unsmoothed knob faces
        // differ most (about 17), at their rims; a picture moved by a pixel
        // or drawn into a corner of the 2x one differs by far more.
        long long total = 0;
        for (int y = 0; y < one.height(); ++y) {
            for (int x = 0; x < one.width(); ++x) {
                const QRgb a = one.pixel(x, y);
                const QRgb quad[4] = {two.pixel(2 * x, 2 * y), two.pixel(2 * x + 1, 2 * y),
                                      two.pixel(2 * x, 2 * y + 1), two.pixel(2 * x + 1, 2 * y + 1)};
                for (int shift : {0, 8, 16, 24}) {
                    int sum = 0;
                    for (QRgb q : quad) sum += (q >> shift) & 0xff;
                    total += std::abs(4 * static_cast<int>((a >> shift) & 0xff) - sum);
                }
            }
        }
        const double mean = total / (4.0 * 4.0 * one.width() * one.height());
        QVERIFY2(mean < 24, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
    }

    void knobFacesHaveTheirColours_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QRgb>("disc");
        QTest::addColumn<QRgb>("rim");
        QTest::addColumn<QRgb>("ring");  // 0: none
        for (int scale : {1, 2}) {
            const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
            const QByteArray at = scale == 1 ? "" : ", 2x";
            QTest::newRow("normal" + at) << ":/art/knob_norm" + suffix << scale
                                         << qRgb(160, 160, 164) << qRgb(0, 0, 0) << QRgb(0);
            QTest::newRow("focused" + at)
                << ":/art/knob_focused" + suffix << scale << qRgb(160, 160, 164) << qRgb(0, 0, 0)
                << qRgb(192, 192, 192);
            QTest::newRow("disabled" + at) << ":/art/knob_disabled" + suffix << scale
                                           << qRgb(192, 220, 192) << qRgb(128, 128, 128) << QRgb(0);
        }
    }
    void knobFacesHaveTheirColours() {
        QFETCH(QString, path);
        QFETCH(int, scale);
        QFETCH(QRgb, disc);
        QFETCH(QRgb, rim);
        QFETCH(QRgb, ring);
        const QImage face = QImage(path).convertToFormat(QImage::Format_RGB32);
        const int last = 20 * scale - 1;
        QCOMPARE(face.size(), QSize(last + 1, last + 1));
        const QRgb white = qRgb(255, 255, 255);
        // White corners, the bottom-left one being the transparent colour,
        // and no white inside the disc (8 logical pixels around the centre),
        // which would show the panel through.
        for (QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)}) {
            QCOMPARE(face.pixel(corner), white);
        }
        for (int y = 0; y <= last; ++y) {
            for (int x = 0; x <= last; ++x) {
                const int dx = 2 * x + 1 - 20 * scale;
                const int dy = 2 * y + 1 - 20 * scale;
                if (dx * dx + dy * dy < 16 * 16 * scale * scale) {
                    QVERIFY(face.pixel(x, y) != white);
                }
            }
        }
        QCOMPARE(face.pixel(10 * scale, 0), rim);
        QCOMPARE(face.pixel(0, 10 * scale), rim);
        QCOMPARE(face.pixel(10 * scale, 10 * scale), disc);
        if (ring != 0) QCOMPARE(face.pixel(10 * scale, 3 * scale), ring);
        // The rim runs round the whole square: right and bottom as well.
        QCOMPARE(face.pixel(last, 10 * scale), rim);
        QCOMPARE(face.pixel(10 * scale, last), rim);
    }
};

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
