#pragma once

#include <QIcon>
#include <QStringView>

// Icons are named by the symbol names the design uses ("folder.fill", "server.rack", ...). Each maps to a
// freedesktop icon of the current theme, and to a style icon or a drawn one where no theme has it, so a
// machine without an icon theme still shows something sensible.

// Call once after the QApplication exists: makes the stock theme reachable on every platform plugin.
void setUpIconTheme();

QIcon symbolIcon(QStringView symbolName);
