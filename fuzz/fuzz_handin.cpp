// What another program hands in (command-line items, a file manager's URLs) names local files. Whatever it
// is, the reader must not crash, and what it returns must be existing regular files, in the order given,
// each named as the sender named it (a link is not swapped for its target).
//
// The items run against a small folder of real files made at start-up: input is the items separated by
// NUL bytes, and "@" inside an item stands for that folder's absolute path (so "file://@/a.txt" and "@/sub"
// reach it too). The folder is also the sender's working folder.

#include "HandInArguments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

[[noreturn]] void fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "fuzz_handin: %s [%s]\n", what, detail.toUtf8().constData());
    std::abort();
}

std::unique_ptr<QTemporaryDir> sandbox;

void writeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
        fail("cannot write", path);
}

void makeSandbox() {
    sandbox =
        std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kalvor-fuzz-handin-XXXXXX"));
    if (!sandbox->isValid())
        fail("no temporary folder");
    const QDir root(sandbox->path());
    writeFile(root.filePath(QStringLiteral("a.txt")));
    writeFile(root.filePath(QStringLiteral("b c.txt")));
    writeFile(root.filePath(QStringLiteral("ünï [1].txt")));
    root.mkdir(QStringLiteral("sub"));
    writeFile(root.filePath(QStringLiteral("sub/d#%?.txt")));
    QFile::link(root.filePath(QStringLiteral("a.txt")), root.filePath(QStringLiteral("link")));
    QFile::link(root.filePath(QStringLiteral("missing")), root.filePath(QStringLiteral("dangling")));
    QFile::link(root.filePath(QStringLiteral("sub")), root.filePath(QStringLiteral("dirlink")));
}

bool looksLikeUrl(const QString& item) {
    static const QRegularExpression form(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return item.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive) || form.match(item).hasMatch();
}

void checkFile(const QUrl& url) {
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        fail("not a plain local file URL", url.toString());
    const QString path = url.toLocalFile();
    if (!QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path)
        fail("path is not absolute and clean", path);
    if (!QFileInfo(path).isFile())
        fail("not an existing regular file", path);
    if (QUrl::fromLocalFile(path) != url)
        fail("URL does not round-trip through its path", url.toString());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeSandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString root = sandbox->path();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList items = text.split(QChar(0));
    for (QString& item : items)
        item.replace(u'@', root);

    const QList<QUrl> files = readHandInFiles(items, root);
    if (files.size() > items.size())
        fail("more files than items");
    for (const QUrl& file : files)
        checkFile(file);

    // Each item stands on its own: the whole list gives the files of the items one by one, in order.
    QList<QUrl> oneByOne;
    for (const QString& item : items) {
        const QList<QUrl> single = readHandInFiles({item}, root);
        if (single.size() > 1)
            fail("one item gave several files", item);
        oneByOne += single;

        // A plain path is resolved against the sender's folder and kept as named: no link is followed.
        if (!item.isEmpty() && !looksLikeUrl(item)) {
            const QString want = QDir::cleanPath(QDir::isAbsolutePath(item) ? item : root + u'/' + item);
            const bool exists = QFileInfo(want).isFile();
            if (exists != (single.size() == 1) || (exists && single[0].toLocalFile() != want))
                fail("path item read wrongly", item);
        }
        // Files on other machines and other kinds of URL are never taken for local files.
        if (!single.isEmpty() && looksLikeUrl(item)) {
            if (!item.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive))
                fail("URL of another scheme accepted", item);
            const QString host = QUrl(item).host();
            if (!host.isEmpty() && host.compare(QLatin1StringView("localhost"), Qt::CaseInsensitive) != 0)
                fail("file on another host accepted", item);
        }
    }
    if (oneByOne != files)
        fail("items are not read one by one, in order");
    return 0;
}
