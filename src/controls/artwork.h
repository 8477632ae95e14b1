// The window's pictures come in two drawings: NAME.png, and NAME@2x.png, the
// same picture drawn at twice the pixels for screens whose device pixel ratio
// is 2. Widgets keep both and paint the one that fits their screen.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The @2x drawing of the picture at `path` (":/art/knob_norm.png" gives
// ":/art/knob_norm@2x.png") with its device pixel ratio set to 2, so that it
// measures in logical pixels; null where there is none.
QPixmap Art2x(const QString& path);

// Both drawings as one icon, which draws the one that fits its screen.
QIcon ArtIcon(const QString& path);

// The drawing to paint on a device of pixel ratio `ratio`: above 1 the 2x
// drawing where there is one, else the 1x drawing where there is one.
const QPixmap& ArtFor(qreal ratio, const QPixmap& picture, const QPixmap& picture2x);

// `picture` marked as drawn at twice the pixels (device pixel ratio 2).
QPixmap AsArt2x(QPixmap picture);
