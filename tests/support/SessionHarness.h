#pragma once

#include "MemoryDefaultsStore.h"
#include "model/FavoritesManager.h"
#include "session/AppNotifications.h"
#include "session/BrowserState.h"
#include "session/HandInSlot.h"
#include "session/Prompter.h"
#include "session/RemoteTaskPool.h"
#include "session/SessionContext.h"
#include "session/TransferJob.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

// The user, from a script: the labels of the choices to take, in order; no files or folder are ever chosen.
// Answers come on a later turn of the event loop, as a dialog's would. A question with no scripted answer
// stays open until answer() is called.
class ScriptedPrompter : public Prompter {
    Q_OBJECT

public:
    QStringList answers;
    QList<Question> asked;

    void chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) override {
        later([answer] { answer({}); });
    }
    void chooseLocalFolder(std::function<void(const QString&)> answer) override {
        later([answer] { answer({}); });
    }
    void ask(const Question& question, std::function<void(int choice)> answer) override;
    // Answers the open question with the choice of that label.
    void answer(const QString& label);
    bool isAsking() const { return bool(m_open); }

private:
    template <typename F> void later(F work) { QMetaObject::invokeMethod(this, work, Qt::QueuedConnection); }

    std::function<void(int)> m_open;
};

// Everything a window's flows share (the store in memory unless given), plus a scratch folder for local
// files.
struct SessionHarness {
    explicit SessionHarness(std::unique_ptr<DefaultsStore> storage = std::make_unique<MemoryDefaultsStore>())
        : backend(std::move(storage)) {}

    std::unique_ptr<DefaultsStore> backend;
    FavoritesManager store{*backend};
    AppNotifications notifications;
    HandInSlot handIns;
    RemoteTaskPool pool;
    SessionContext context{store, pool, notifications, handIns};
    ScriptedPrompter prompter;
    QTemporaryDir local;

    QUrl localFile(const QString& name, const QByteArray& content = QByteArray()) const;
    // A stand-in for curl: a shell script running body, its path; every run appends its arguments to
    // "<path>.runs".
    QString fakeCurl(const QString& name, const QByteArray& body) const;
    static int fakeCurlRuns(const QString& path);
};

// One run of an upload or download job, as the window sees it: the lines under the bar, the bar's total,
// its value while the transfer runs, the words at the end, and how it ended (through done()).
struct TransferWatch {
    explicit TransferWatch(TransferJob& job);
    TransferJob::Done done() {
        return [this](const TransferResult& r) { result = r; };
    }
    bool finish(int timeoutMs = 60000) const {
        return QTest::qWaitFor([this] { return result.has_value(); }, timeoutMs);
    }

    std::optional<TransferResult> result;
    QStringList lines;
    QStringList words;
    QList<double> totals;
    QList<double> values;
};

// Until nothing of the window loads, uploads, deletes, renames or creates any more.
bool waitIdle(BrowserState& state, int timeoutMs = 60000);
QStringList entryNames(const QList<RemoteFile>& files);
const RemoteFile* findEntry(const QList<RemoteFile>& files, const QString& name);

// A stand-in for curl in a folder of its own: it lists an empty folder (or one holding entryLine) at once and
// holds every upload until release(). Every run is logged.
class HoldingCurl {
public:
    explicit HoldingCurl(const QByteArray& entryLine = {});

    const QString& path() const { return m_path; }
    // "/proc/<id>" of the last upload run, once it has started: it exists while that run lives.
    QString uploadProcess() const;
    void release() const { QFile(m_dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly); }
    int runs() const { return SessionHarness::fakeCurlRuns(m_path); }

private:
    QTemporaryDir m_dir;
    QString m_path;
};
