#pragma once

#include "OperationError.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <type_traits>

// Remote operations block on curl, so they run on a pool of their own that grows instead of queueing: a
// stuck listing must never hold up the next operation. Results come back to the GUI thread and are dropped
// when the object that asked for them is gone.

QThreadPool& remoteTaskPool();

// Call once on the GUI thread before the first task; runs `function` there on a later turn of the loop.
void initGuiDispatcher();
void postToGui(std::function<void()> function);

// A failure's user-facing text, whatever was thrown.
QString describeFailure(std::exception_ptr failure);

template <typename Work, typename Done, typename Failed>
void runRemote(QObject* context, Work work, Done done, Failed failed) {
    QPointer<QObject> guard(context);
    remoteTaskPool().start(
        [guard, work = std::move(work), done = std::move(done), failed = std::move(failed)]() {
            using Result = std::invoke_result_t<Work>;
            try {
                if constexpr (std::is_void_v<Result>) {
                    work();
                    postToGui([guard, done] {
                        if (guard)
                            done();
                    });
                } else {
                    Result result = work();
                    postToGui([guard, done, result = std::move(result)] {
                        if (guard)
                            done(result);
                    });
                }
            } catch (...) {
                const QString text = describeFailure(std::current_exception());
                postToGui([guard, failed, text] {
                    if (guard)
                        failed(text);
                });
            }
        });
}
