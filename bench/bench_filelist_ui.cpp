// How the file list copes with a huge folder, in the plain list and in the details mode: the time from a
// 100,000-entry listing being handed to the view to the first frame that shows it, the cost of a frame while
// scrolling through it (with every entry selected as well), of selecting all and of sorting, and the memory
// the window needs to hold it. Prints figures; never fails on them.
//
//   QT_QPA_PLATFORM=offscreen bench_filelist_ui [--entries N] [--grab picture.png]

#include "ui/panels/FileListModel.h"
#include "ui/panels/FileListView.h"
#include "ui/panels/FileTableModel.h"
#include "ui/panels/Icons.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QScrollBar>
#include <QTreeView>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Kilobytes of one field of /proc/self/status ("VmRSS", "VmHWM").
qint64 statusKilobytes(const char* field) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

double megabytes(qint64 kilobytes) {
    return double(kilobytes) / 1024.0;
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// A listing shaped like a real one: one entry in ten a folder, names of mixed length, most files sized.
QList<RemoteFile> makeListing(int count, const QString& tag) {
    QList<RemoteFile> files;
    files.reserve(count);
    const QDateTime modified(QDate(2024, 1, 1), QTime(12, 0));
    for (int i = 0; i < count; ++i) {
        RemoteFile file;
        file.id = QUuid::createUuid();
        file.isDirectory = i % 10 == 0;
        file.name = (file.isDirectory ? u"folder-"_s : u"report_"_s) + tag + u'_' + QString::number(i) +
                    QString(i % 7 * 3, u'x') + (file.isDirectory ? QString() : u".csv"_s);
        file.path = u"/pub/archive/"_s + file.name;
        if (!file.isDirectory && i % 13 != 0)
            file.size = qint64(i) * 1337;
        file.modified = modified;
        files.append(file);
    }
    return files;
}

void pumpUntilPainted(PaintCounter& counter) {
    const int before = counter.paints;
    while (counter.paints == before)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

struct FrameStats {
    double mean = 0;
    double max = 0;
};

FrameStats scroll(QAbstractItemView& list, int steps, int stride) {
    QScrollBar* bar = list.verticalScrollBar();
    std::vector<double> frames;
    frames.reserve(size_t(steps));
    QElapsedTimer timer;
    for (int i = 0; i < steps; ++i) {
        timer.start();
        bar->setValue(std::min(bar->maximum(), bar->value() + stride));
        list.viewport()->repaint();
        frames.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return {std::accumulate(frames.begin(), frames.end(), 0.0) / double(frames.size()),
            *std::max_element(frames.begin(), frames.end())};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    setUpIconTheme();
    int entries = 100'000;
    QString grabPath;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == u"--entries")
            entries = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == u"--grab")
            grabPath = arguments.at(i + 1);
    }

    FileListView view;
    view.setCurrentPath(u"/pub/archive"_s, true);
    view.resize(900, 700);
    PaintCounter counter;
    view.listView()->viewport()->installEventFilter(&counter);
    view.detailsView()->viewport()->installEventFilter(&counter);
    view.show();
    pumpUntilPainted(counter);
    const qint64 emptyRss = statusKilobytes("VmRSS");

    const QList<RemoteFile> first = makeListing(entries, u"a"_s);
    const qint64 listingRss = statusKilobytes("VmRSS");
    QList<RemoteFile> second; // made after the first apply, so the memory figure holds one listing

    std::printf("file list with %d entries (%s platform)\n", entries,
                qPrintable(QGuiApplication::platformName()));
    QElapsedTimer timer;
    qint64 heldRss = 0;
    for (const FileListView::Mode mode : {FileListView::Mode::list, FileListView::Mode::details}) {
        view.setMode(mode);
        const bool details = mode == FileListView::Mode::details;
        std::printf("%s mode\n", details ? "details" : "list");
        std::printf("  apply -> first frame drawn (setFiles alone):\n");
        for (int run = 0; run < 6; ++run) {
            // Alternating listings, so every apply is a real change.
            const QList<RemoteFile>& listing = run % 2 == 0 ? first : second;
            timer.start();
            view.setFiles(listing);
            const double applied = double(timer.nsecsElapsed()) / 1e6;
            pumpUntilPainted(counter);
            const double drawn = double(timer.nsecsElapsed()) / 1e6;
            std::printf("    run %d: %7.2f ms  (%.2f ms)\n", run + 1, drawn, applied);
            if (run == 0 && !details) {
                heldRss = statusKilobytes("VmRSS");
                second = makeListing(entries, u"b"_s);
            }
        }
        QAbstractItemView& list = *view.currentView();
        const int rowHeight = list.visualRect(list.model()->index(0, 0)).height();
        const int jump = std::max(1, list.verticalScrollBar()->maximum() / 300);
        std::printf("  scrolling, one repaint per step:\n");
        for (const bool selected : {false, true}) {
            if (selected) {
                timer.start();
                list.selectAll();
                std::printf("  select all (Ctrl+A): %.2f ms, %lld entries selected\n",
                            double(timer.nsecsElapsed()) / 1e6, qlonglong(view.selectedEntries().size()));
            }
            const char* tag = selected ? ", all selected" : "";
            list.verticalScrollBar()->setValue(0);
            const FrameStats wheel = scroll(list, 300, 3 * rowHeight);
            list.verticalScrollBar()->setValue(0);
            const FrameStats jumps = scroll(list, 300, jump);
            std::printf("    300 wheel steps of 3 rows%s:  mean %.3f ms, max %.3f ms\n", tag, wheel.mean,
                        wheel.max);
            std::printf("    300 jumps across the list%s:  mean %.3f ms, max %.3f ms\n", tag, jumps.mean,
                        jumps.max);
        }
        if (details) {
            for (const int column :
                 {FileTableModel::SizeColumn, FileTableModel::ModifiedColumn, FileTableModel::NameColumn}) {
                timer.start();
                view.detailsView()->header()->setSortIndicator(column, Qt::DescendingOrder);
                pumpUntilPainted(counter);
                std::printf("  sort by column %d, all selected -> drawn: %.2f ms\n", column,
                            double(timer.nsecsElapsed()) / 1e6);
            }
            view.detailsView()->header()->setSortIndicator(FileTableModel::NameColumn, Qt::AscendingOrder);
        }
    }
    if (view.model()->rowCount() != entries + 3)
        std::printf("  unexpected row count %d\n", view.model()->rowCount());

    std::printf("memory (VmRSS above the empty window):\n");
    std::printf("  the listing itself (100%% shared with the view): %.1f MB\n",
                megabytes(listingRss - emptyRss));
    std::printf("  window holding the listing, first apply:        %.1f MB\n", megabytes(heldRss - emptyRss));
    std::printf("  now, both listings alive, both modes shown:     %.1f MB (VmHWM %.1f MB total)\n",
                megabytes(statusKilobytes("VmRSS") - emptyRss), megabytes(statusKilobytes("VmHWM")));

    if (!grabPath.isEmpty()) {
        view.setMode(FileListView::Mode::list);
        view.setFiles(first.mid(0, 3) + first.mid(1, 4));
        pumpUntilPainted(counter);
        view.grab().save(grabPath);
        view.setLoading(true);
        const QString loadingPath = grabPath.section(u'.', 0, -2) + u"-loading.png"_s;
        view.grab().save(loadingPath);
        std::printf("pictures: %s %s\n", qPrintable(grabPath), qPrintable(loadingPath));
    }
    return 0;
}
