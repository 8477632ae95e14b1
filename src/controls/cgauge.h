// TCGauge: shows a value between MinValue and MaxValue as a bar, pie or
// needle, with the percentage written over it in inverted colours so it
// stays readable over both the filled and the empty part.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>

class TCGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(TCGaugeKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(QColor ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE SetProgress)
    Q_PROPERTY(int PercentDone READ PercentDone)

  public:
    enum TCGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
    Q_ENUM(TCGaugeKind)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    // 100 x 100, horizontal bar, black on white, 0 of 0..100, text shown,
    // single border.
    explicit TCGauge(QWidget* parent = nullptr);

    TCGaugeKind Kind() const { return kind_; }
    void SetKind(TCGaugeKind kind);
    bool ShowText() const { return showText_; }
    void SetShowText(bool show);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    QColor ForeColor() const { return foreColor_; }
    void SetForeColor(const QColor& color);
    QColor BackColor() const { return backColor_; }
    void SetBackColor(const QColor& color);

    int MinValue() const { return minValue_; }
    // Refuses a value outside INT_MIN + 1 .. MaxValue - 1: returns false and
    // changes nothing. Otherwise stores it, raises Progress to it if needed
    // and returns true.
    bool SetMinValue(int value);
    int MaxValue() const { return maxValue_; }
    // Refuses a value outside MinValue + 1 .. INT_MAX likewise; lowers
    // Progress to it if needed.
    bool SetMaxValue(int value);

    int Progress() const { return progress_; }
    // Limited to MinValue..MaxValue; repaints only when PercentDone changes.
    void SetProgress(int value);
    // Progress + delta, limited likewise (without overflow); always repaints.
    void AddProgress(int delta);

    // (Progress - MinValue) * 100 / (MaxValue - MinValue), rounded down.
    int PercentDone() const;

    // The gauge as it paints itself, at its current size.
    QImage Render() const;

  signals:
    // A MinValue or MaxValue outside its allowed range was refused.
    void RangeError(int value, int lowest, int highest);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void DrawKind(QPainter& painter, const QRect& area) const;
    void DrawText(QPainter& painter, const QRect& area) const;

    TCGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::white;
    int minValue_ = 0;
    int maxValue_ = 100;
    int progress_ = 0;
};
