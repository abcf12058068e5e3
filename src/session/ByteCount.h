#pragma once

#include <QLocale>
#include <QString>

// Decimal units ("1.5 kB"), one formatter for every byte count Kalvor shows.
inline QString formatByteCount(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeSIFormat);
}
