#include "WindowPlacement.h"

#include <algorithm>

QRect placeWindow(const QSize& wanted, const QRect& available, const QMargins& frame,
                  std::optional<QPoint> cascadeFrom) {
    // The frame must fit as well: the area left for the window itself.
    const QRect inner = available.marginsRemoved(frame);
    const QSize size(std::min(wanted.width(), inner.width()), std::min(wanted.height(), inner.height()));
    QRect placed(QPoint(), size);
    if (!cascadeFrom) {
        placed.moveCenter(inner.center());
        return placed;
    }
    placed.moveTopLeft(*cascadeFrom);
    if (!inner.contains(placed))
        placed.moveTopLeft(inner.topLeft());
    return placed;
}
