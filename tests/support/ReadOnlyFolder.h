#pragma once

#include <QFile>

// A folder in which nothing can be created or replaced, for as long as the object lives. Mode bits do not
// stop root, so the immutable attribute is set as well; active() is false where neither works, and the test
// should then skip.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool active() const { return !canCreateIn(m_path); }
    static bool canCreateIn(const QString& folder);

private:
    void setImmutable(bool on) const;

    QString m_path;
};
