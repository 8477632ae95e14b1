#include "controls/dlgs_layout.h"

#include <algorithm>
#include <cstdint>

namespace CustDlgs {

namespace {

int Limited(int space) { return std::clamp(space, 0, TDialogEdgeSpace::kMaxSpace); }

// Margins (left, top, right, bottom) as plain numbers while they are worked on.
struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Two margins of one axis that leave the controls less than `initial` share
// the room beside the controls in proportion. A client smaller than
// `initial` leaves them no room at all, rather than negative margins.
void ShareMargins(int client, int initial, int& low, int& high) {
    const int sum = low + high;
    if (client - sum >= initial || sum == 0) return;
    const int room = std::max(0, client - initial);
    low = static_cast<int>(std::int64_t{room} * low / sum);
    high = room - low;
}

// Room beyond the minimum goes to the margins of sides without an anchor.
void GiveExtraRoom(int extra, int& low, int& high, bool lowAnchored, bool highAnchored) {
    if (extra <= 0) return;
    if (low >= 1 && high >= 1 && !lowAnchored && !highAnchored) {
        const int toLow = static_cast<int>(std::int64_t{extra} * low / (low + high));
        low += toLow;
        high += extra - toLow;
    } else if (low >= 1 && !lowAnchored) {
        low += extra;
    } else if (high > 0 && !highAnchored) {
        high += extra;
    }
}

Margins SubFormMargins(QSize client, QSize initialClient, std::optional<QSize> subFormClient,
                       TSubFormPos pos, const TDialogEdgeSpace& minEdgeSpace) {
    Margins m;
    if (subFormClient) {
        switch (pos) {
            case fpClient:
                m = {minEdgeSpace.LeftSpace(), minEdgeSpace.TopSpace(), minEdgeSpace.RightSpace(),
                     minEdgeSpace.BottomSpace()};
                break;
            case fpLeft:
                m.left = subFormClient->width();
                break;
            case fpRight:
                m.right = subFormClient->width();
                break;
            case fpTop:
                m.top = subFormClient->height();
                break;
            case fpBottom:
                m.bottom = subFormClient->height();
                break;
        }
    }
    ShareMargins(client.width(), initialClient.width(), m.left, m.right);
    ShareMargins(client.height(), initialClient.height(), m.top, m.bottom);
    return m;
}

TSubFormLayout LayoutFromMargins(QSize client, const Margins& m, bool hasSubForm, TSubFormPos pos) {
    const int cw = client.width();
    const int ch = client.height();
    TSubFormLayout layout;
    layout.controls = QRect(m.left, m.top, cw - m.right - m.left, ch - m.bottom - m.top);
    if (hasSubForm) {
        switch (pos) {
            case fpLeft:
                layout.subForm = QRect(0, 0, m.left, ch);
                break;
            case fpRight:
                layout.subForm = QRect(cw - m.right, 0, m.right, ch);
                break;
            case fpTop:
                layout.subForm = QRect(0, 0, cw, m.top);
                break;
            case fpBottom:
                layout.subForm = QRect(0, ch - m.bottom, cw, m.bottom);
                break;
            case fpClient:
                layout.subForm = QRect(0, 0, cw, ch);
                break;
        }
    }
    layout.nowEdgeSpace = TDialogEdgeSpace(m.left, m.top, m.right, m.bottom);
    return layout;
}

}  // namespace

TDialogEdgeSpace::TDialogEdgeSpace(int left, int top, int right, int bottom)
    : spaces_{Limited(left), Limited(top), Limited(right), Limited(bottom)} {}

void TDialogEdgeSpace::SetEdgeSpace(int index, int value) {
    if (index < 0 || index >= static_cast<int>(spaces_.size())) return;
    const int limited = Limited(value);
    if (spaces_[index] == limited) return;
    spaces_[index] = limited;
    Changed();
}

void TDialogEdgeSpace::SetAllEdgeSpace(int left, int top, int right, int bottom) {
    const std::array<int, 4> spaces{Limited(left), Limited(top), Limited(right), Limited(bottom)};
    if (spaces == spaces_) return;
    spaces_ = spaces;
    Changed();
}

void TDialogEdgeSpace::Assign(const TDialogEdgeSpace& other) {
    SetAllEdgeSpace(other.LeftSpace(), other.TopSpace(), other.RightSpace(), other.BottomSpace());
}

QSize GetMinDialogSize(QSize initialWindow, QSize initialClient, std::optional<QSize> subFormClient,
                       TSubFormPos pos, const TDialogEdgeSpace& minEdgeSpace) {
    if (!subFormClient) return initialWindow;
    const int w0 = initialWindow.width();
    const int h0 = initialWindow.height();
    const int frameWidth = w0 - initialClient.width();
    const int frameHeight = h0 - initialClient.height();
    const int sw = subFormClient->width();
    const int sh = subFormClient->height();
    switch (pos) {
        case fpLeft:
        case fpRight:
            return {w0 + sw, std::max(h0, sh + frameHeight)};
        case fpTop:
        case fpBottom:
            return {std::max(w0, sw + frameWidth), h0 + sh};
        case fpClient:
            break;
    }
    // The sub-form shows in the margins: strips above or below the controls
    // need its width, strips beside them its height.
    int width = w0 + minEdgeSpace.LeftSpace() + minEdgeSpace.RightSpace();
    int height = h0 + minEdgeSpace.TopSpace() + minEdgeSpace.BottomSpace();
    if (minEdgeSpace.TopSpace() != 0 || minEdgeSpace.BottomSpace() != 0) {
        width = std::max(width, sw + frameWidth);
    }
    if (minEdgeSpace.LeftSpace() != 0 || minEdgeSpace.RightSpace() != 0) {
        height = std::max(height, sh + frameHeight);
    }
    return {width, height};
}

TSubFormLayout GetControlsandSubFormRect(QSize client, QSize initialClient,
                                         std::optional<QSize> subFormClient, TSubFormPos pos,
                                         const TDialogEdgeSpace& minEdgeSpace) {
    const Margins m = SubFormMargins(client, initialClient, subFormClient, pos, minEdgeSpace);
    return LayoutFromMargins(client, m, subFormClient.has_value(), pos);
}

TSubFormLayout GetFixedControlsandSubFormRect(QSize client, QSize initialClient, QSize frame,
                                              QSize minWindow, std::optional<QSize> subFormClient,
                                              TSubFormPos pos, const TDialogEdgeSpace& minEdgeSpace,
                                              TSubFormAnchors anchors) {
    Margins m = SubFormMargins(client, initialClient, subFormClient, pos, minEdgeSpace);
    GiveExtraRoom(client.width() + frame.width() - minWindow.width(), m.left, m.right,
                  anchors.testFlag(faLeft), anchors.testFlag(faRight));
    GiveExtraRoom(client.height() + frame.height() - minWindow.height(), m.top, m.bottom,
                  anchors.testFlag(faTop), anchors.testFlag(faBottom));
    return LayoutFromMargins(client, m, subFormClient.has_value(), pos);
}

QPoint GetDialogPosition(QPoint remembered, QSize window, QRect screen) {
    QPoint pos = remembered;
    if (pos.x() == -1) pos.setX(screen.left() + (screen.width() - window.width()) / 2);
    if (pos.y() == -1) pos.setY(screen.top() + (screen.height() - window.height()) / 3);
    return pos;
}

}  // namespace CustDlgs
