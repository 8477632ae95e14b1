// The faces the program's forms use: a proportional sans-serif for the
// forms themselves and a fixed-pitch one for the read-outs on the panel.
#pragma once

#include <QFont>
#include <QString>

inline QFont FormFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

inline QFont PanelFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(11);
    return font;
}

inline QFont WithStyle(QFont font, bool bold, bool italic) {
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
