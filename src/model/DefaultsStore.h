#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The per-user key -> bytes store that keeps the saved connections and favorites. Every value is replaced
// whole or not at all, so a reader never sees half of a write. Used from the GUI thread only.
class DefaultsStore {
public:
    virtual ~DefaultsStore();

    // The bytes stored under the key; none when nothing is stored or what is stored cannot be read
    // (contains() tells the two apart).
    virtual std::optional<QByteArray> value(const QString& key) const = 0;

    // True when something is stored under the key, readable or not.
    virtual bool contains(const QString& key) const = 0;

    // Replaces the value under the key. On failure the old value stays whole, errorString() says why and
    // false is returned.
    virtual bool setValue(const QString& key, const QByteArray& data) = 0;

    // Keeps a copy of data under a new side key "<key>.corrupt-<yyyyMMddTHHmmss>[-n]" that no other value
    // holds, so it can never replace anything. Returns the side key, or none on failure (see errorString()).
    virtual std::optional<QString> keepAside(const QString& key, const QByteArray& data) = 0;

    // Why the last failed operation failed, in words a user can act on.
    QString errorString() const { return m_errorString; }

protected:
    // The first side key for key that contains() does not know yet.
    QString freeSideKey(const QString& key) const;
    void setErrorString(const QString& text) const { m_errorString = text; }

private:
    mutable QString m_errorString; // reads report too
};

// Each key's value is one file "<key>.json" in a folder, so the user can read and back up exactly the JSON
// that is stored. Files are written atomically and readable by the owner only: they hold passwords.
// A value whose file is a symbolic link is read through the link but never written: saving it fails with
// an error that says so, and neither the link nor its target changes.
class FileDefaultsStore final : public DefaultsStore {
public:
    // The folder is created (mode 0700) on the first write, not before.
    explicit FileDefaultsStore(const QString& folder);

    // The user's configuration folder for this application; follows XDG_CONFIG_HOME.
    static QString defaultFolder();

    QString folder() const { return m_folder; }
    // Where the value of key lives (whether or not it exists).
    QString filePath(const QString& key) const;

    std::optional<QByteArray> value(const QString& key) const override;
    bool contains(const QString& key) const override;
    bool setValue(const QString& key, const QByteArray& data) override;
    std::optional<QString> keepAside(const QString& key, const QByteArray& data) override;

private:
    bool ensureFolder();
    enum class Existing { replace, keep };
    bool writeFile(const QString& key, const QByteArray& data, Existing existing);

    QString m_folder;
};
