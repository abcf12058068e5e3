#include "RemotePath.h"

#include <QStringList>

namespace remotepath {

QString withTrailingSlash(const QString& path) {
    return path.endsWith(u'/') ? path : path + u'/';
}

QString parentFolder(const QString& path) {
    QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return QStringLiteral("/");
    pieces.removeLast();
    return u'/' + pieces.join(u'/') + u'/';
}

bool sameFolder(const QString& a, const QString& b) {
    return a.split(u'/', Qt::SkipEmptyParts) == b.split(u'/', Qt::SkipEmptyParts);
}

} // namespace remotepath
