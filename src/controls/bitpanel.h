// TBitPanel: a panel whose face is a picture instead of a plain colour. The
// picture is drawn unscaled: once at the top-left corner, tiled, or centred.
// Without a picture it paints as a plain panel: colour, bevels and caption.
// Given a second drawing of the picture at twice the pixels, the panel paints
// that one on screens whose device pixel ratio is above 1.
#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

class QPainter;

class TBitPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap Bitmap READ Bitmap WRITE SetBitmap)
    Q_PROPERTY(TbpLayout Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(Qt::Alignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(TPanelBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(TPanelBevel BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)

  public:
    enum TbpLayout { blSingle, blMulti, blCenter };
    Q_ENUM(TbpLayout)
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)

    explicit TBitPanel(QWidget* parent = nullptr);

    // The panel keeps its own copies of the picture and of its optional 2x
    // drawing (which is given device pixel ratio 2). Pictures measure in
    // logical pixels: their size divided by their device pixel ratio.
    const QPixmap& Bitmap() const { return bitmap_; }
    const QPixmap& Bitmap2x() const { return bitmap2x_; }
    void SetBitmap(const QPixmap& picture, const QPixmap& picture2x = QPixmap());
    // The drawing painted on a device of the given pixel ratio.
    const QPixmap& BitmapFor(qreal ratio) const;

    TbpLayout Layout() const { return layout_; }
    void SetLayout(TbpLayout layout);

    // Plain panel settings. Defaults: the window colour, no caption,
    // centred, outer bevel raised, no inner bevel, bevel width 1, border 0.
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel bevel);
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel bevel);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);

    // Where a picture of (logical) size `picture` is drawn on a client area of size
    // `client` in the given layout, in drawing order.
    static QList<QPoint> PicturePositions(TbpLayout layout, QSize client, QSize picture);

  signals:
    // Replaces the colour fill under the picture (or, without a picture, the
    // whole plain-panel face except the bevels). Raised only when connected;
    // connect directly, the painter is valid only during the call.
    void OnPaint(TBitPanel* sender, QPainter* canvas);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void DrawBevels(QPainter& painter);

    QPixmap bitmap_;
    QPixmap bitmap2x_;
    TbpLayout layout_ = blSingle;
    QColor color_;
    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    TPanelBevel bevelOuter_ = bvRaised;
    TPanelBevel bevelInner_ = bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};
