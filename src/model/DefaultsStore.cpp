#include "DefaultsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr QFile::Permissions ownerOnlyFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions ownerOnlyFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Keys become file names; anything that could step out of the folder is refused.
bool isPlainKey(const QString& key) {
    return !key.isEmpty() && !key.startsWith(u'.') && !key.contains(u'/') && !key.contains(u'\\') &&
           !key.contains(QChar(0));
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

DefaultsStore::~DefaultsStore() = default;

QString DefaultsStore::freeSideKey(const QString& key) const {
    const QString base = key + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
    QString candidate = base;
    for (int n = 2; contains(candidate); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

// --- FileDefaultsStore

FileDefaultsStore::FileDefaultsStore(const QString& folder)
    : m_folder(QDir::cleanPath(QDir(folder).absolutePath())) {}

QString FileDefaultsStore::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString FileDefaultsStore::filePath(const QString& key) const {
    return m_folder + u'/' + key + QStringLiteral(".json");
}

std::optional<QByteArray> FileDefaultsStore::value(const QString& key) const {
    if (!isPlainKey(key) || !contains(key))
        return std::nullopt;
    QFile file(filePath(key));
    if (!file.open(QIODevice::ReadOnly)) {
        setErrorString(
            QStringLiteral("Could not read %1: %2").arg(native(file.fileName()), file.errorString()));
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setErrorString(
            QStringLiteral("Could not read %1: %2").arg(native(file.fileName()), file.errorString()));
        return std::nullopt;
    }
    return data;
}

bool FileDefaultsStore::contains(const QString& key) const {
    return isPlainKey(key) && QFileInfo::exists(filePath(key));
}

bool FileDefaultsStore::setValue(const QString& key, const QByteArray& data) {
    return writeFile(key, data);
}

std::optional<QString> FileDefaultsStore::keepAside(const QString& key, const QByteArray& data) {
    if (!isPlainKey(key)) {
        setErrorString(QStringLiteral("\"%1\" cannot be used as a file name").arg(key));
        return std::nullopt;
    }
    if (!ensureFolder())
        return std::nullopt;
    const QString sideKey = freeSideKey(key);
    if (!writeFile(sideKey, data))
        return std::nullopt;
    return sideKey;
}

bool FileDefaultsStore::ensureFolder() {
    if (QFileInfo(m_folder).isDir())
        return true;
    // Only the folders made here get 0700; folders the user already has keep their mode.
    QStringList missing;
    for (QString path = m_folder; !QFileInfo::exists(path);) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    for (const QString& path : std::as_const(missing)) {
        if (!QDir().mkdir(path, ownerOnlyFolder) && !QFileInfo(path).isDir()) {
            setErrorString(QStringLiteral("Could not create the folder %1").arg(native(path)));
            return false;
        }
    }
    if (!QFileInfo(m_folder).isDir()) {
        setErrorString(QStringLiteral("%1 is not a folder").arg(native(m_folder)));
        return false;
    }
    return true;
}

bool FileDefaultsStore::writeFile(const QString& key, const QByteArray& data) {
    if (!isPlainKey(key)) {
        setErrorString(QStringLiteral("\"%1\" cannot be used as a file name").arg(key));
        return false;
    }
    if (!ensureFolder())
        return false;

    // QSaveFile writes a temporary file beside the target and renames it over the target only once every
    // byte is on disk: a crash or a full disk leaves the previous file whole.
    QSaveFile file(filePath(key));
    const auto fail = [&] {
        setErrorString(
            QStringLiteral("Could not save %1: %2").arg(native(file.fileName()), file.errorString()));
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    // A new file would get the umask's mode and an existing one would pass its mode on; this one holds
    // passwords, so it is the owner's alone either way.
    if (!file.setPermissions(ownerOnlyFile))
        return fail();
    // QSaveFile::commit() in Qt 6.4 renames even when its final flush failed (a full disk), which would
    // put an empty file in place of the user's connections: flush first and give up on any failure.
    if (file.write(data) != data.size() || !file.flush())
        return fail();
    if (!file.commit()) {
        setErrorString(
            QStringLiteral("Could not save %1: %2").arg(native(file.fileName()), file.errorString()));
        return false;
    }
    return true;
}
