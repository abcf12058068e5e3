#include "TransferProgressTracker.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

constexpr qint64 reportIntervalMs = 90; // "about ten a second", whatever the tick's jitter
constexpr qint64 speedWindowMs = 3000;

QByteArray linkTarget(const QByteArray& link) {
    char buffer[4096];
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    return length > 0 ? QByteArray(buffer, length) : QByteArray();
}

qint64 positionOf(const QString& fdinfo) {
    QFile file(fdinfo);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = file.read(4096);
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("pos:"))
            return line.mid(4).trimmed().toLongLong();
    }
    return -1;
}

} // namespace

QHash<QString, qint64> openFilePositions(qint64 pid, const QStringList& paths) {
    QHash<QString, qint64> positions;
    if (pid <= 0 || paths.isEmpty())
        return positions;
    QHash<QByteArray, QString> wanted;
    for (const QString& path : paths)
        wanted.insert(QFile::encodeName(path), path);
    const QString base = QStringLiteral("/proc/%1/").arg(pid);
    const QStringList fds = QDir(base + QStringLiteral("fd")).entryList(QDir::Files | QDir::System);
    for (const QString& fd : fds) {
        const auto it = wanted.constFind(linkTarget(QFile::encodeName(base + QStringLiteral("fd/") + fd)));
        if (it == wanted.constEnd())
            continue;
        const qint64 position = positionOf(base + QStringLiteral("fdinfo/") + fd);
        if (position >= 0)
            positions.insert(it.value(), position);
    }
    return positions;
}

TransferProgressTracker::TransferProgressTracker(QStringList names, QList<qint64> sizes,
                                                 TransferProgressSink sink)
    : m_names(std::move(names))
    , m_sizes(std::move(sizes))
    , m_sink(std::move(sink))
    , m_done(m_sizes.size(), false) {
    for (const qint64 size : m_sizes)
        m_total += size;
    m_clock.start();
}

void TransferProgressTracker::setInFlight(int index, qint64 bytes) {
    if (index >= 0 && index < m_sizes.size() && !m_done[index])
        m_inFlight.insert(index, std::min(bytes, m_sizes[index]));
}

void TransferProgressTracker::complete(int index) {
    if (index >= 0 && index < m_sizes.size()) {
        m_done[index] = true;
        m_inFlight.remove(index);
    }
}

bool TransferProgressTracker::publish(bool force) {
    qint64 done = 0;
    int current = -1;
    for (qsizetype i = 0; i < m_sizes.size(); ++i) {
        if (m_done[i])
            done += m_sizes[i];
        else if (current < 0)
            current = int(i);
    }
    for (auto it = m_inFlight.cbegin(); it != m_inFlight.cend(); ++it)
        done += it.value();
    const bool moved = done != m_lastDone;
    m_lastDone = done;

    const qint64 now = m_clock.elapsed();
    m_samples.emplace_back(now, done);
    while (m_samples.size() > 2 && m_samples.front().first < now - speedWindowMs)
        m_samples.pop_front();
    if (!m_sink || (!force && m_lastReport >= 0 && now - m_lastReport < reportIntervalMs))
        return moved;
    m_lastReport = now;

    TransferProgress progress;
    progress.itemCount = int(m_sizes.size());
    progress.itemIndex = m_directIndex >= 0 ? m_directIndex : current < 0 ? progress.itemCount - 1 : current;
    progress.itemName = m_names.value(progress.itemIndex);
    progress.itemSize = m_sizes.value(progress.itemIndex);
    progress.itemBytes =
        m_done.value(progress.itemIndex) ? progress.itemSize : m_inFlight.value(progress.itemIndex, 0);
    progress.directUpload = m_directIndex >= 0;
    progress.doneBytes = done;
    progress.totalBytes = m_total;
    const auto& [firstMs, firstDone] = m_samples.front();
    if (now - firstMs >= reportIntervalMs) {
        progress.bytesPerSecond = double(done - firstDone) * 1000.0 / double(now - firstMs);
        if (progress.bytesPerSecond > 0)
            progress.secondsLeft = qint64((m_total - done) / progress.bytesPerSecond + 0.5);
    }
    m_sink(progress);
    return moved;
}

void TransferProgressTracker::publishDirectUpload(int index) {
    m_directIndex = index;
    publish(true);
    m_directIndex = -1;
}
