#include "MemoryDefaultsStore.h"

MemoryDefaultsStore::MemoryDefaultsStore(const QHash<QString, QByteArray>& initialValues)
    : m_values(initialValues) {}

std::optional<QByteArray> MemoryDefaultsStore::value(const QString& key) const {
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

bool MemoryDefaultsStore::contains(const QString& key) const {
    return m_values.contains(key);
}

bool MemoryDefaultsStore::setValue(const QString& key, const QByteArray& data) {
    if (m_failWrites) {
        setErrorString(QStringLiteral("Could not save %1: writes are switched off").arg(key));
        return false;
    }
    m_values.insert(key, data);
    m_writtenKeys.append(key);
    return true;
}

std::optional<QString> MemoryDefaultsStore::keepAside(const QString& key, const QByteArray& data) {
    const QString sideKey = freeSideKey(key);
    if (!setValue(sideKey, data))
        return std::nullopt;
    return sideKey;
}

QStringList MemoryDefaultsStore::keys() const {
    QStringList keys = m_values.keys();
    keys.sort();
    return keys;
}
