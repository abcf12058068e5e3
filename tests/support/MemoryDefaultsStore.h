#pragma once

#include "model/DefaultsStore.h"

#include <QHash>

// Keeps everything in memory; for tests, which can also make every write fail.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    MemoryDefaultsStore() = default;
    explicit MemoryDefaultsStore(const QHash<QString, QByteArray>& initialValues);

    std::optional<QByteArray> value(const QString& key) const override;
    bool contains(const QString& key) const override;
    bool setValue(const QString& key, const QByteArray& data) override;
    std::optional<QString> keepAside(const QString& key, const QByteArray& data) override;

    // While set, setValue and keepAside fail and change nothing.
    void setFailWrites(bool fail) { m_failWrites = fail; }
    QStringList keys() const;
    // Every key written successfully (setValue and keepAside), in order.
    QStringList writtenKeys() const { return m_writtenKeys; }

private:
    QHash<QString, QByteArray> m_values;
    QStringList m_writtenKeys;
    bool m_failWrites = false;
};
