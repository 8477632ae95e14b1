#include "controls/artwork.h"

QPixmap Art2x(const QString& path) {
    // "@2x" goes before the extension of the file name, if it has one.
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > path.lastIndexOf(QLatin1Char('/')) ? dot : path.size();
    return AsArt2x(QPixmap(path.left(at) + QStringLiteral("@2x") + path.mid(at)));
}

QIcon ArtIcon(const QString& path) {
    QIcon icon;
    for (const QPixmap& drawing : {QPixmap(path), Art2x(path)}) {
        if (!drawing.isNull()) icon.addPixmap(drawing);
    }
    return icon;
}

const QPixmap& ArtFor(qreal ratio, const QPixmap& picture, const QPixmap& picture2x) {
    if (picture2x.isNull()) return picture;
    if (ratio > 1 || picture.isNull()) return picture2x;
    return picture;
}

QPixmap AsArt2x(QPixmap picture) {
    if (!picture.isNull()) picture.setDevicePixelRatio(2);
    return picture;
}
