#include "app/info_text.h"

#include <QEvent>
#include <QTextBlock>

TInfoText::TInfoText(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Lines start at the viewport's top edge; the margins below centre them.
    document()->setDocumentMargin(0);
    FitViewport();
}

void TInfoText::AddLine(const QString& line) {
    appendPlainText(line);
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}

int TInfoText::VisibleLines() const {
    return qMax(1, viewport()->height() / fontMetrics().lineSpacing());
}

QString TInfoText::TopLine() const { return firstVisibleBlock().text(); }

qreal TInfoText::TopLineOffset() const {
    return blockBoundingGeometry(firstVisibleBlock()).translated(contentOffset()).top();
}

void TInfoText::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    FitViewport();
}

void TInfoText::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitViewport();
}

void TInfoText::FitViewport() {
    const int line = fontMetrics().lineSpacing();
    const QRect inside = contentsRect();
    const int lines = qMax(1, inside.height() / line);
    const int spare = qMax(0, inside.height() - lines * line);
    setViewportMargins(0, spare / 2, 0, spare - spare / 2);
}
