#pragma once

#include "model/DefaultsStore.h"

#include <QHash>

// Keeps everything in memory; for tests, which can also make every write fail.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    explicit MemoryDefaultsStore(const QHash<QString, QByteArray>& initialValues = {})
        : m_values(initialValues) {}

    std::optional<QByteArray> value(const QString& key) const override {
        return m_values.contains(key) ? std::optional(m_values.value(key)) : std::nullopt;
    }
    bool contains(const QString& key) const override { return m_values.contains(key); }
    bool setValue(const QString& key, const QByteArray& data) override {
        if (m_failWrites) {
            setErrorString(QStringLiteral("Could not save %1: writes are switched off").arg(key));
            return false;
        }
        m_values.insert(key, data);
        m_writtenKeys.append(key);
        return true;
    }
    std::optional<QString> keepAside(const QString& key, const QByteArray& data) override {
        const QString sideKey = freeSideKey(key);
        return setValue(sideKey, data) ? std::optional(sideKey) : std::nullopt;
    }

    // While set, setValue and keepAside fail and change nothing.
    void setFailWrites(bool fail) { m_failWrites = fail; }
    QStringList keys() const {
        QStringList keys = m_values.keys();
        keys.sort();
        return keys;
    }
    // Every key written successfully (setValue and keepAside), in order.
    QStringList writtenKeys() const { return m_writtenKeys; }

private:
    QHash<QString, QByteArray> m_values;
    QStringList m_writtenKeys;
    bool m_failWrites = false;
};
