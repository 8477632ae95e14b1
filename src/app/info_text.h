// The one-line information box: read-only lines of progress and results.
// Its viewport is exactly a whole number of text lines high, so scrolling
// (which goes by lines) never shows part of a line, and each new line is
// scrolled into view.
#pragma once

#include <QPlainTextEdit>

class TInfoText : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit TInfoText(QWidget* parent = nullptr);

    // Appends a line and shows it.
    void AddLine(const QString& line);
    // Lines the box shows at once.
    int VisibleLines() const;
    // The line shown at the top, and how far its top lies below the
    // viewport's (0 when it is shown whole).
    QString TopLine() const;
    qreal TopLineOffset() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void FitViewport();
};
