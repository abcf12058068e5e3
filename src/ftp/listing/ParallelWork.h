#pragma once

#include <QThread>
#include <QtGlobal>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

// A listing of a million lines is parsed, sorted and turned into entries on every core. The work is cut
// into one contiguous share per worker, so workers never coordinate; threads live only for one call.
namespace listing {

// Below this much work a second thread costs more than it saves.
constexpr qsizetype kMinItemsPerWorker = 20000;
constexpr qsizetype kMinBytesPerWorker = 1 << 20;

inline int workerCount(qsizetype work, qsizetype minPerWorker) {
    return int(std::clamp<qsizetype>(work / minPerWorker, 1, std::max(1, QThread::idealThreadCount())));
}

// Runs task(0) to task(count - 1) at the same time, the first on the calling thread. Tasks for which no
// thread can be started run on the calling thread afterwards.
template <typename Task> void runTasks(int count, Task&& task) {
    std::vector<std::thread> threads;
    int started = 1;
    for (; started < count; ++started) {
        try {
            threads.emplace_back([&task, started] { task(started); });
        } catch (const std::system_error&) {
            break;
        }
    }
    task(0);
    for (int k = started; k < count; ++k)
        task(k);
    for (std::thread& thread : threads)
        thread.join();
}

// Runs work(begin, end) over [0, count) cut into one contiguous range per worker.
template <typename Work> void forEachRange(qsizetype count, Work&& work) {
    const int workers = workerCount(count, kMinItemsPerWorker);
    runTasks(workers, [&](int k) { work(count * k / workers, count * (k + 1) / workers); });
}

} // namespace listing
