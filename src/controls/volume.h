// TVolume: a small round knob. It holds an integer from 0 to Max, pictured as
// a white indicator line over a knob face that sweeps 270 degrees clockwise
// from lower left (0) through straight up (Max / 2) to lower right (Max). The
// face is drawn over the parent's background so that its white corners (the
// colour of its bottom-left pixel) let the panel show. Each face may come with
// a second drawing at twice the pixels, painted on screens whose device pixel
// ratio is above 1; the knob composes background and face in device pixels,
// so such a face keeps its detail.
//
// The user turns it by dragging with the mouse and, while it has the focus,
// with the keys (Up/Right +1, Down/Left -1, Page Up/Page Down 10, Home 0,
// End Max) and the mouse wheel (one notch one step, away from the hand up).
// The wheel over a knob without the focus is left to the parent, as sliders
// in forms do, so that it never turns a knob by accident. The tooltip shows
// the value.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

class QPainter;

class TVolume : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(QPixmap BGnorm READ BGnorm WRITE SetBGnorm)
    Q_PROPERTY(QPixmap BGfoced READ BGfoced WRITE SetBGfoced)
    Q_PROPERTY(QPixmap BGdis READ BGdis WRITE SetBGdis)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)

  public:
    explicit TVolume(QWidget* parent = nullptr);

    int Position() const { return position_; }
    // Values above Max are stored as Max. Repaints at once; never raises
    // OnChanged, which is for the user's changes only.
    void SetPosition(int value);

    int Max() const { return max_; }
    // Values below 1 are ignored: the sweep needs a positive range. Lowers
    // Position to the new Max when it lies above it.
    void SetMax(int value);

    // Faces: the knob keeps its own copy of each picture and of its
    // optional 2x drawing (which is given device pixel ratio 2).
    const QPixmap& BGnorm() const { return norm_.normal.picture; }
    void SetBGnorm(const QPixmap& face, const QPixmap& face2x = QPixmap());
    const QPixmap& BGfoced() const { return focused_.normal.picture; }
    void SetBGfoced(const QPixmap& face, const QPixmap& face2x = QPixmap());
    const QPixmap& BGdis() const { return disabled_.normal.picture; }
    void SetBGdis(const QPixmap& face, const QPixmap& face2x = QPixmap());

    // Fills the background when OnGetParentBG has no receiver.
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

    bool Dragging() const { return dragging_; }

    // Text of a value for the tooltip; the plain number when not set.
    using ValueText = std::function<QString(int)>;
    void SetValueText(ValueText text);

    // The indicator's tip in client pixels for a knob of the given size.
    static QPoint IndicatorTip(QSize size, int position, int max);

    // The value a drag to client point `pointer` gives a knob of the given
    // size that now stands at `position`; nullopt when the move changes
    // nothing (pointer at the centre, or in the gap below the knob beyond
    // the end the knob already rests at).
    static std::optional<int> DragValue(QSize size, QPoint pointer, int position, int max);

  signals:
    // Events. Each is raised only when connected; connect directly (the
    // painter and the back buffer are valid only during the call).
    // Replaces the indicator drawing; raised after the face is drawn.
    void OnPaint(TVolume* vol, int value, QPainter* canvas);
    // The user moved the knob; Position already holds `value`. A drag
    // raises it on every move; a key or the wheel only when the value
    // changes.
    void OnChanged(TVolume* vol, int value);
    // Replaces the white indicator line; (x, y) is its tip.
    void OnPaintIndicator(TVolume* vol, int x, int y, QPainter* canvas);
    // Fill the top-left width() x height() pixels of `bg` with what lies
    // behind the knob on its parent. `bg` has the knob's device pixel ratio:
    // a painter on it draws in logical pixels, and a picture of that ratio
    // keeps its detail.
    void OnGetParentBG(TVolume* vol, QPixmap& bg);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // A drawing of a face as given and its copy with the bottom-left
    // pixel's colour made transparent.
    struct Drawing {
        QPixmap picture;
        QPixmap transparent;
    };
    struct Face {
        Drawing normal;
        Drawing doubled;  // at twice the pixels
    };
    static void Assign(Drawing& drawing, const QPixmap& picture);
    static void Assign(Face& face, const QPixmap& picture, const QPixmap& picture2x);

    bool IsConnected(const QMetaMethod& signal) const;
    void RepaintNow();
    void UpdateToolTip();
    // Sets a value the user chose, clamped to 0..Max, and tells of it.
    void TurnTo(int value);
    // The face for the state, drawn for the given device pixel ratio.
    const QPixmap& CurrentFace(qreal ratio) const;

    int position_ = 0;
    int max_ = 127;
    Face norm_;
    Face focused_;
    Face disabled_;
    QColor color_;
    bool dragging_ = false;
    QPixmap backBuffer_;
    ValueText valueText_;
    // Wheel turning not yet a whole notch (high-resolution wheels and pads).
    int wheelRest_ = 0;
};
