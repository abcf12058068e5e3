// Parses and sorts synthetic unix listings of 10,000, 100,000 and 1,000,000 lines and prints the time and
// the process's peak memory. `bench_listing N` measures one size; with no argument the program runs itself
// once per size, so that each peak belongs to one size alone.

#include "ftp/ListingParser.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>

namespace {

const char* const kWords[] = {"report", "backup",    "IMG",      "photo", "Invoice", "data",
                              "final",  "draft",     "notes",    "build", "release", "video",
                              "Résumé", "Übersicht", "年度報告", "café",  "logs",    "archive",
                              "Q3",     "copy",      "été",      "plan",  "scan",    "v2"};
const char* const kExtensions[] = {".txt", ".pdf", ".jpg", ".tar.gz", ".csv", ".log", ".zip", ".mp4", ""};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kOwners[] = {"alice", "bob", "ftp", "www-data", "backup"};

// Servers write CRLF; names mix ASCII and other scripts, with the odd double space. About 40% of the dates
// are recent ("MMM dd HH:mm", any minute of the last six months, the span for which ls shows a time), the
// rest older ("MMM dd yyyy").
QByteArray makeListing(int lines) {
    std::mt19937 random(20240123u + unsigned(lines));
    const auto pick = [&random](int count) { return int(random() % unsigned(count)); };
    QByteArray out;
    out.reserve(qsizetype(lines) * 100);
    out += "total " + QByteArray::number(lines * 8) + "\r\n";
    char line[512];
    for (int i = 0; i < lines; ++i) {
        QByteArray name = kWords[pick(std::size(kWords))];
        name += pick(4) == 0 ? "  " : (pick(2) ? " " : "_");
        name += kWords[pick(std::size(kWords))];
        name += '_' + QByteArray::number(i);
        const int kind = pick(100);
        const bool folder = kind < 15;
        const bool link = kind >= 97;
        if (!folder)
            name += kExtensions[pick(std::size(kExtensions))];
        if (link)
            name += " -> ../shared/" + name;
        char date[32];
        if (pick(10) < 4)
            std::snprintf(date, sizeof date, "%s %02d %02d:%02d", kMonths[6 + pick(6)], 1 + pick(28),
                          pick(24), pick(60));
        else
            std::snprintf(date, sizeof date, "%s %02d  %d", kMonths[pick(12)], 1 + pick(28), 2010 + pick(15));
        const long long size = folder ? 4096 : (long long)(random() % 5000000000ull);
        const int written = std::snprintf(line, sizeof line, "%s %4d %-8s %-8s %12lld %s %s\r\n",
                                          folder ? "drwxr-xr-x" : (link ? "lrwxrwxrwx" : "-rw-r--r--"),
                                          1 + pick(30), kOwners[pick(std::size(kOwners))],
                                          kOwners[pick(std::size(kOwners))], size, date, name.constData());
        out.append(line, written);
    }
    return out;
}

long peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

int measure(int lines) {
    const QByteArray output = makeListing(lines);
    const long inputPeak = peakKiB();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const QList<RemoteFile> entries = parseListing(output, QStringLiteral("/bench/"));
    const qint64 elapsed = timer.elapsed();
    const long long cpu = (std::clock() - cpuStart) * 1000LL / CLOCKS_PER_SEC;
    qsizetype dated = 0;
    for (const RemoteFile& entry : entries)
        dated += entry.modified.has_value();
    std::printf("%9d lines  %8lld entries (%lld dated)  %6lld ms (%lld ms CPU)  peak %4ld MB (%ld MB before "
                "parsing, of which the listing %lld MB)\n",
                lines, (long long)entries.size(), (long long)dated, (long long)elapsed, cpu, peakKiB() / 1024,
                inputPeak / 1024, (long long)output.size() / (1024 * 1024));
    return entries.size() == lines ? 0 : 1;
}

// How much faster two threads get a fixed amount of arithmetic done than one: about 2 when both cores
// are really there, about 1 when the machine is busy or its second core is only nominal.
double parallelSpeedup() {
    static std::atomic<quint64> sink;
    const auto spin = [] {
        quint64 x = 1;
        for (int i = 0; i < 200000000; ++i)
            x = x * 6364136223846793005u + 1442695040888963407u;
        sink += x;
    };
    QElapsedTimer timer;
    timer.start();
    spin();
    const qint64 one = timer.restart();
    std::thread other(spin);
    spin();
    other.join();
    return 2.0 * double(one) / double(std::max<qint64>(1, timer.elapsed()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1)
        return measure(std::atoi(argv[1]));
    std::printf("two threads run %.1f times as fast as one here\n", parallelSpeedup());
    int status = 0;
    for (const int lines : {10000, 100000, 1000000}) {
        std::fflush(stdout);
        status |= QProcess::execute(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                                    {QString::number(lines)});
    }
    return status;
}
