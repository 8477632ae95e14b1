// The geometry of a file dialog that hosts a form of the program (the
// sub-form) along one side of its own controls: how small the dialog may get,
// where the controls and the sub-form go for a client size, and where the
// dialog opens. Plain functions of sizes, so every rule holds without a
// window.
//
// Rectangles are in client coordinates of the dialog. Sizes of the dialog
// window include its frame; the frame is the window size less the client
// size.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>
#include <optional>

namespace CustDlgs {
Q_NAMESPACE

// Side of the dialog where the sub-form goes. fpClient lays it over the whole
// client area, behind the controls, which keep the MinEdgeSpace margins.
enum TSubFormPos { fpLeft, fpTop, fpRight, fpBottom, fpClient };
Q_ENUM_NS(TSubFormPos)

// Sides on which the sub-form's margin does not take up the room that a
// fixed dialog gains beyond its minimum size; the controls take it instead.
enum TSubFormAnchorKind { faLeft = 0x1, faTop = 0x2, faRight = 0x4, faBottom = 0x8 };
Q_DECLARE_FLAGS(TSubFormAnchors, TSubFormAnchorKind)
Q_FLAG_NS(TSubFormAnchors)

// Four margins in pixels: LeftSpace, TopSpace, RightSpace, BottomSpace
// (index 0 to 3). Values are limited to 0 .. kMaxSpace, so that sums of
// margins and sizes stay far from overflow.
class TDialogEdgeSpace {
  public:
    static constexpr int kMaxSpace = (1 << 24) - 1;  // Qt's largest widget size

    TDialogEdgeSpace() = default;
    TDialogEdgeSpace(int left, int top, int right, int bottom);
    TDialogEdgeSpace(const TDialogEdgeSpace& other) = default;
    TDialogEdgeSpace& operator=(const TDialogEdgeSpace& other) = default;
    virtual ~TDialogEdgeSpace() = default;

    int LeftSpace() const { return spaces_[0]; }
    int TopSpace() const { return spaces_[1]; }
    int RightSpace() const { return spaces_[2]; }
    int BottomSpace() const { return spaces_[3]; }
    // Index outside 0..3: nothing happens.
    void SetEdgeSpace(int index, int value);
    void SetAllEdgeSpace(int left, int top, int right, int bottom);
    void Assign(const TDialogEdgeSpace& other);

    bool operator==(const TDialogEdgeSpace& other) const { return spaces_ == other.spaces_; }

  protected:
    // Called after a setter changed at least one margin.
    virtual void Changed() {}

  private:
    std::array<int, 4> spaces_{};
};

// Where the dialog's standard controls and the sub-form go, and the margins
// this gave the sub-form (the dialog's current edge space).
struct TSubFormLayout {
    QRect controls;
    QRect subForm;  // empty without a sub-form
    TDialogEdgeSpace nowEdgeSpace;
};

// The smallest window size of a dialog that first came up at initialWindow
// with initialClient inside, holding a sub-form of client size subFormClient
// (none: the plain dialog's size) at `pos`. The dialog also opens at this
// size: the plain dialog grown by the sub-form.
QSize GetMinDialogSize(QSize initialWindow, QSize initialClient, std::optional<QSize> subFormClient,
                       TSubFormPos pos, const TDialogEdgeSpace& minEdgeSpace);

// The layout for client size `client` of a dialog the toolkit resizes: the
// sub-form takes its own width or height on its side, and the controls the
// rest. When the client cannot hold both the margins and the controls at
// initialClient, the margins share what is left beside the controls in
// proportion (none when the client is smaller than initialClient).
TSubFormLayout GetControlsandSubFormRect(QSize client, QSize initialClient,
                                         std::optional<QSize> subFormClient, TSubFormPos pos,
                                         const TDialogEdgeSpace& minEdgeSpace);

// The same for a dialog of fixed controls that the component resizes itself:
// room beyond minWindow goes to the sub-form's margins on sides without an
// anchor (shared in proportion when both sides of an axis qualify), else to
// the controls.
TSubFormLayout GetFixedControlsandSubFormRect(QSize client, QSize initialClient, QSize frame,
                                              QSize minWindow, std::optional<QSize> subFormClient,
                                              TSubFormPos pos, const TDialogEdgeSpace& minEdgeSpace,
                                              TSubFormAnchors anchors);

// Where a window of size `window` opens: at the remembered position, or, for
// each coordinate remembered as -1, centred horizontally and one third of the
// free height from the top of `screen`.
QPoint GetDialogPosition(QPoint remembered, QSize window, QRect screen);

}  // namespace CustDlgs

Q_DECLARE_OPERATORS_FOR_FLAGS(CustDlgs::TSubFormAnchors)
