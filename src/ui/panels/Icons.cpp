#include "Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QtMath>

namespace {

struct SymbolIcon {
    QStringView symbol;
    QStringView themeName;
    QStyle::StandardPixmap fallback; // SP_CustomBase: drawn instead
};

constexpr QStyle::StandardPixmap drawn = QStyle::SP_CustomBase;

const SymbolIcon symbolTable[] = {
    {u"folder.fill", u"folder", QStyle::SP_DirIcon},
    {u"doc.fill", u"text-x-generic", QStyle::SP_FileIcon},
    {u"server.rack", u"network-server", QStyle::SP_DriveNetIcon},
    {u"star.fill", u"starred", drawn},
    {u"plus.circle.fill", u"list-add", QStyle::SP_FileDialogNewFolder},
    {u"arrow.up.circle.fill", u"go-up", QStyle::SP_ArrowUp},
    {u"chevron.right", u"go-next", QStyle::SP_ArrowRight},
    {u"exclamationmark.triangle.fill", u"dialog-warning", QStyle::SP_MessageBoxWarning},
    {u"square.and.arrow.up", u"document-send", QStyle::SP_ArrowUp},
    {u"square.and.arrow.down", u"document-save", QStyle::SP_ArrowDown},
    {u"folder.badge.plus", u"folder-new", QStyle::SP_FileDialogNewFolder},
    {u"checkmark.circle.fill", u"emblem-default", QStyle::SP_DialogApplyButton},
    {u"xmark.circle.fill", u"process-stop", QStyle::SP_BrowserStop},
};

QIcon drawnStar() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 15.0 : 6.5;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(16 + radius * std::cos(angle), 16.5 + radius * std::sin(angle));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
    }
    star.closeSubpath();
    painter.fillPath(star, QColor(0xf5, 0xb7, 0x00));
    return QIcon(pixmap);
}

} // namespace

void setUpIconTheme() {
    QStringList paths = QIcon::themeSearchPaths();
    if (!paths.contains(QStringLiteral("/usr/share/icons")))
        QIcon::setThemeSearchPaths(paths << QStringLiteral("/usr/share/icons"));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

QIcon symbolIcon(QStringView symbolName) {
    for (const SymbolIcon& entry : symbolTable) {
        if (entry.symbol != symbolName)
            continue;
        const QIcon themed = QIcon::fromTheme(entry.themeName.toString());
        if (!themed.isNull())
            return themed;
        if (entry.fallback == drawn)
            return drawnStar();
        return QApplication::style()->standardIcon(entry.fallback);
    }
    return {};
}
