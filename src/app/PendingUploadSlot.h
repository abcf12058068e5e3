#pragma once

#include <QList>
#include <QUrl>

#include <optional>

// Files handed to the upload service that no main window has taken yet. The service may store from any
// thread; a window takes them each time it comes on screen, so files handed in before any window was
// showing still reach one. Only the last stored list is kept.

// Replaces whatever is waiting with urls.
void storePendingServiceURLs(QList<QUrl> urls);

// Returns what is waiting (none when nothing is) and leaves the slot empty.
std::optional<QList<QUrl>> takePendingServiceURLs();
