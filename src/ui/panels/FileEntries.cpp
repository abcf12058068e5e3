#include "FileEntries.h"

#include "FileListDelegate.h"
#include "Icons.h"
#include "session/ByteCount.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <limits>

namespace {

// Local wall-clock time as one number, for ordering: no time zone lookup per entry, which for 100,000
// entries took most of a sort.
qint64 wallClockKey(const RemoteFile& file, const QDate& today) {
    const QDate day = file.modified->date();
    const qint64 julianDay =
        file.modifiedWithoutYear
            ? QDate(likelyYear(day.month(), day.day(), today), day.month(), day.day()).toJulianDay()
            : day.toJulianDay();
    return julianDay * 24 * 3600 * 1000 + file.modified->time().msecsSinceStartOfDay();
}

// Folder yellow and document blue, dark enough to read on a white row and light enough on a dark one.
const QColor folderYellow(0xe5, 0xa5, 0x0a);
const QColor documentBlue(0x35, 0x84, 0xe4);

// The document glyph with a small arrow in its corner, as file managers mark a link.
QIcon linkIcon(const QIcon& base) {
    QIcon result;
    for (const int extent : {16, 20, 24, 32, 48}) {
        QPixmap pixmap = base.pixmap(QSize(extent, extent), 1.0);
        if (pixmap.isNull())
            continue;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const double side = extent * 0.55;
        const QRectF badge(0, extent - side, side, side);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(badge);
        QPainterPath arrow;
        arrow.moveTo(badge.left() + side * 0.3, badge.bottom() - side * 0.25);
        arrow.quadTo(badge.left() + side * 0.3, badge.top() + side * 0.35, badge.left() + side * 0.7,
                     badge.top() + side * 0.35);
        painter.setPen(
            QPen(QColor(0x24, 0x24, 0x24), std::max(1.0, side * 0.14), Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(arrow);
        const QPointF tip(badge.left() + side * 0.75, badge.top() + side * 0.35);
        painter.drawLine(tip, tip + QPointF(-side * 0.2, -side * 0.17));
        painter.drawLine(tip, tip + QPointF(-side * 0.2, side * 0.17));
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

FileEntries::FileEntries()
    : m_folderIcon(tintedIcon(symbolIcon(u"folder.fill"), folderYellow))
    , m_fileIcon(tintedIcon(symbolIcon(u"doc.fill"), documentBlue))
    , m_linkIcon(linkIcon(m_fileIcon)) {}

void FileEntries::setFiles(const QList<RemoteFile>& files) {
    m_files = files;
    reorder();
}

void FileEntries::setSort(const FileSort& sort) {
    m_sort = sort;
    reorder();
}

void FileEntries::reorder() {
    m_order.clear();
    m_order.reserve(size_t(m_files.size()));
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).isDirectory)
            m_order.push_back(int(i));
    }
    m_folderCount = int(m_order.size());
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (!m_files.at(i).isDirectory)
            m_order.push_back(int(i));
    }
    const auto folders = m_order.begin() + m_folderCount;
    const bool descending = m_sort.order == Qt::DescendingOrder;
    if (m_sort.column == FileSort::Column::name) {
        if (descending) {
            std::reverse(m_order.begin(), folders);
            std::reverse(folders, m_order.end());
        }
        return;
    }
    // The key of every entry once, not twice per comparison: a local date's time zone lookup is slow.
    std::vector<qint64> keys(size_t(m_files.size()), std::numeric_limits<qint64>::min());
    const QDate today = QDate::currentDate();
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        const RemoteFile& file = m_files.at(i);
        if (m_sort.column == FileSort::Column::size && file.size && !file.isDirectory)
            keys[size_t(i)] = *file.size;
        else if (m_sort.column == FileSort::Column::modified && file.modified)
            keys[size_t(i)] = wallClockKey(file, today);
    }
    const auto byKey = [&](int a, int b) {
        return descending ? keys[size_t(a)] > keys[size_t(b)] : keys[size_t(a)] < keys[size_t(b)];
    };
    std::stable_sort(m_order.begin(), folders, byKey);
    std::stable_sort(folders, m_order.end(), byKey);
}

QString FileEntries::displayName(const RemoteFile& file) const {
    return servertext::forDisplay(file.name, m_encoding);
}

QString FileEntries::sizeText(const RemoteFile& file) const {
    return !file.isDirectory && file.size ? formatByteCount(*file.size) : QString();
}

QString FileEntries::dateText(const RemoteFile& file) const {
    if (!file.modified)
        return {};
    const QLocale locale;
    // The year the listing did not give is not shown either: it is only a likely one.
    if (file.modifiedWithoutYear)
        return locale.toString(file.modified->date(), QStringLiteral("d MMM")) + u' ' +
               locale.toString(file.modified->time(), QLocale::ShortFormat);
    return locale.toString(*file.modified, QLocale::ShortFormat);
}

QString FileEntries::detailLine(const RemoteFile& file) const {
    if (file.isLink)
        return QStringLiteral("\u2192 ") + servertext::forDisplay(file.linkTarget, m_encoding);
    const QString size = sizeText(file);
    const QString date = dateText(file);
    return size.isEmpty() || date.isEmpty() ? size + date : size + QStringLiteral(" \u00b7 ") + date;
}

QVariant FileEntries::entryData(const RemoteFile& file, int role) const {
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
        return displayName(file);
    case Qt::ToolTipRole: {
        // The row may elide the name; a link says where it leads, an entry Kalvor will not touch why.
        QString tip = displayName(file);
        if (file.isLink)
            tip += QStringLiteral(" \u2192 ") + servertext::forDisplay(file.linkTarget, m_encoding);
        if (file.isAmbiguous)
            tip += u'\n' + ambiguousText();
        return tip;
    }
    case Qt::DecorationRole:
        return file.isDirectory ? m_folderIcon : file.isLink ? m_linkIcon : m_fileIcon;
    case remoteFileRole:
        return QVariant::fromValue(file);
    default:
        return {};
    }
}

QString FileEntries::ambiguousText() {
    return QStringLiteral(
        "The server's listing does not tell this entry's exact name, so Kalvor will not act "
        "on it.");
}
