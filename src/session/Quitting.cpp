#include "Quitting.h"

#include "Prompter.h"
#include "RemoteTaskPool.h"

#include <QPointer>

void quitWhenConfirmed(RemoteTaskPool& pool, Prompter& prompter, std::function<void()> quit) {
    if (pool.changesRunning() == 0) {
        quit();
        return;
    }
    prompter.ask(questions::quitWhileBusy(),
                 [guard = QPointer<RemoteTaskPool>(&pool), quit = std::move(quit)](int choice) {
                     if (!guard || choice != questions::quitAnyway)
                         return;
                     guard->cancelAll();
                     quit();
                 });
}
