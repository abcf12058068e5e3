#include "DefaultsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

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
        const QFileInfo link(file.fileName());
        const QString why = link.isSymLink()
                                ? QStringLiteral("it is a symbolic link to %1, which cannot be read")
                                      .arg(native(link.symLinkTarget()))
                                : file.errorString();
        setErrorString(QStringLiteral("Could not read %1: %2").arg(native(file.fileName()), why));
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
    if (!isPlainKey(key))
        return false;
    // A dangling link holds a name too: treating it as free would let a write create its target.
    const QFileInfo file(filePath(key));
    return file.exists() || file.isSymLink();
}

bool FileDefaultsStore::setValue(const QString& key, const QByteArray& data) {
    return writeFile(key, data, Existing::replace);
}

std::optional<QString> FileDefaultsStore::keepAside(const QString& key, const QByteArray& data) {
    if (!isPlainKey(key)) {
        setErrorString(QStringLiteral("\"%1\" cannot be used as a file name").arg(key));
        return std::nullopt;
    }
    if (!ensureFolder())
        return std::nullopt;
    const QString sideKey = freeSideKey(key);
    if (!writeFile(sideKey, data, Existing::keep))
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

bool FileDefaultsStore::writeFile(const QString& key, const QByteArray& data, Existing existing) {
    if (!isPlainKey(key)) {
        setErrorString(QStringLiteral("\"%1\" cannot be used as a file name").arg(key));
        return false;
    }
    if (!ensureFolder())
        return false;

    const QString path = filePath(key);
    // A link here is someone's deliberate setup (a synced folder, a dotfiles repository) or a trap. Writing
    // through it would put passwords wherever it points; replacing it would silently cut the user's setup
    // off. Refusing shows the problem and loses nothing: the lists stay in memory.
    if (const QFileInfo current(path); current.isSymLink()) {
        setErrorString(
            QStringLiteral("Could not save %1: it is a symbolic link (to %2), and Kalvor does not "
                           "write through links. Replace the link with a plain file to save again.")
                .arg(native(path), native(current.symLinkTarget())));
        return false;
    }

    // The bytes go to a new file of the owner's alone (QTemporaryFile makes it 0600 with O_EXCL), and one
    // rename puts it in place once every byte is on disk: a crash or a full disk leaves the previous file
    // whole, and a rename replaces the name itself, so even a link that appears meanwhile is not followed.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    const auto fail = [&](const QString& reason) {
        setErrorString(QStringLiteral("Could not save %1: %2").arg(native(path), reason));
        return false;
    };
    if (!file.open() || !file.setPermissions(ownerOnlyFile))
        return fail(file.errorString());
    if (file.write(data) != data.size() || !file.flush())
        return fail(file.errorString());
    if (::fsync(file.handle()) != 0)
        return fail(qt_error_string(errno));
    if (existing == Existing::keep) {
        // Never replaces: fails when the name was taken in the meantime.
        if (!file.rename(path))
            return fail(file.errorString());
    } else {
        if (std::rename(QFile::encodeName(file.fileName()).constData(),
                        QFile::encodeName(path).constData()) != 0)
            return fail(qt_error_string(errno));
    }
    file.setAutoRemove(false);
    return true;
}
