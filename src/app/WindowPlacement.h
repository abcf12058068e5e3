#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Where a new window opens, so that it is never larger than its screen nor partly off it, whatever the
// scale factor. available: the screen's available geometry; frame: what the window manager adds around the
// window (known from a window already shown; none for the first). The result is the window's own geometry
// (inside the frame): the wanted size shrunk to fit, centred for the first window, or at cascadeFrom when
// the whole window fits there and otherwise back at the area's top-left corner.
QRect placeWindow(const QSize& wanted, const QRect& available, const QMargins& frame,
                  std::optional<QPoint> cascadeFrom);
