#include "NameOrder.h"

#include "ParallelWork.h"

#include <QLocale>

#include <algorithm>
#include <numeric>

namespace listing {

namespace {

using Iterator = std::vector<qsizetype>::iterator;

// Walks two ranges sorted by key (the folders and the files of one key span) as if merged, and hands
// each run of equal keys on.
void findTies(Iterator a, Iterator aEnd, Iterator b, Iterator bEnd, const SortKeys& keys,
              const std::function<void(const std::vector<qsizetype>&)>& onTie) {
    const auto compare = [&keys](qsizetype x, qsizetype y) { return keys[x]->compare(*keys[y]); };
    std::vector<qsizetype> run;
    while (a != aEnd || b != bEnd) {
        const qsizetype first = (b == bEnd || (a != aEnd && compare(*a, *b) <= 0)) ? *a++ : *b++;
        run.assign(1, first);
        while (a != aEnd && compare(*a, first) == 0)
            run.push_back(*a++);
        while (b != bEnd && compare(*b, first) == 0)
            run.push_back(*b++);
        if (run.size() > 1)
            onTie(run);
    }
}

} // namespace

// In the C locale Qt's collator compares raw code points and ignores the case setting, so such systems
// (LANG=C.UTF-8 on build machines) get the English collation instead.
QCollator nameCollator() {
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    return collator;
}

void releaseKeys(SortKeys& keys) {
    forEachRange(qsizetype(keys.size()), [&keys](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            keys[i].reset();
    });
    keys = SortKeys();
}

// A plain merge sort of a million sort keys keeps waiting for memory: the keys lie scattered over a
// hundred megabytes. This sample sort is about a third faster: a few thousand pivot keys, which stay in
// cache, put each entry in a bucket, and the buckets are small enough to sort in cache. Equal keys always
// share a bucket and the buckets are filled in listing order, so the result is stable. A folder and a file
// with equal keys land in buckets of the same number, one in each group, which one worker sorts together.
void sortOrder(std::vector<qsizetype>& order, const std::vector<char>& isFolder, const SortKeys& keys,
               const std::function<void(const std::vector<qsizetype>&)>& onTie) {
    const auto byKey = [&keys](qsizetype a, qsizetype b) { return keys[a]->compare(*keys[b]) < 0; };
    const auto folder = [&isFolder](qsizetype i) { return isFolder[i] != 0; };
    const qsizetype count = qsizetype(order.size());
    const qsizetype pivotCount = std::min<qsizetype>(4096, count / 256);
    if (pivotCount < 2) {
        const auto files = std::stable_partition(order.begin(), order.end(), folder);
        std::stable_sort(order.begin(), files, byKey);
        std::stable_sort(files, order.end(), byKey);
        findTies(order.begin(), files, files, order.end(), keys, onTie);
        return;
    }
    std::vector<qsizetype> pivots(pivotCount);
    for (qsizetype k = 0; k < pivotCount; ++k)
        pivots[k] = order[count * k / pivotCount];
    std::sort(pivots.begin(), pivots.end(), byKey);

    // Buckets 0 to pivotCount hold folders, the rest files.
    const qsizetype bucketCount = pivotCount + 1;
    std::vector<quint32> bucketOf(count);
    forEachRange(count, [&](qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j) {
            const qsizetype i = order[j];
            const auto above = std::upper_bound(pivots.begin(), pivots.end(), i, byKey);
            bucketOf[j] = quint32((folder(i) ? 0 : bucketCount) + (above - pivots.begin()));
        }
    });
    std::vector<qsizetype> bucketStart(2 * bucketCount + 1, 0);
    for (const quint32 bucket : bucketOf)
        ++bucketStart[bucket + 1];
    std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
    {
        std::vector<qsizetype> next(bucketStart.begin(), bucketStart.end() - 1);
        std::vector<qsizetype> bucketed(count);
        for (qsizetype j = 0; j < count; ++j)
            bucketed[next[bucketOf[j]]++] = order[j];
        order.swap(bucketed);
    }
    bucketOf = std::vector<quint32>();

    // Each worker takes the bucket numbers whose folders and files start in its share of the entries.
    const auto entriesBefore = [&](qsizetype b) {
        return bucketStart[b] + bucketStart[bucketCount + b] - bucketStart[bucketCount];
    };
    const int workers = workerCount(count, kMinItemsPerWorker);
    runTasks(workers, [&](int k) {
        const qsizetype shareBegin = count * k / workers;
        const qsizetype shareEnd = count * (k + 1) / workers;
        for (qsizetype b = 0; b < bucketCount; ++b) {
            const qsizetype before = entriesBefore(b);
            if (before < shareBegin || before >= shareEnd)
                continue;
            const Iterator folders = order.begin() + bucketStart[b];
            const Iterator foldersEnd = order.begin() + bucketStart[b + 1];
            const Iterator files = order.begin() + bucketStart[bucketCount + b];
            const Iterator filesEnd = order.begin() + bucketStart[bucketCount + b + 1];
            std::stable_sort(folders, foldersEnd, byKey);
            std::stable_sort(files, filesEnd, byKey);
            findTies(folders, foldersEnd, files, filesEnd, keys, onTie);
        }
    });
}

} // namespace listing
