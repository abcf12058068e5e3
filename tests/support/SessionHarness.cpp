#include "SessionHarness.h"

#include <QFile>
#include <QMetaObject>
#include <QTest>

void ScriptedPrompter::chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) {
    const QList<QUrl> chosen = files.isEmpty() ? QList<QUrl>() : files.takeFirst();
    QMetaObject::invokeMethod(
        this, [answer, chosen] { answer(chosen); }, Qt::QueuedConnection);
}

void ScriptedPrompter::chooseLocalFolder(std::function<void(const QString&)> answer) {
    QMetaObject::invokeMethod(
        this, [answer, chosen = folders.isEmpty() ? QString() : folders.takeFirst()] { answer(chosen); },
        Qt::QueuedConnection);
}

void ScriptedPrompter::ask(const Question& question, std::function<void(int choice)> answer) {
    asked.append(question);
    m_open = std::move(answer);
    if (!answers.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, label = answers.takeFirst()] { this->answer(label); }, Qt::QueuedConnection);
}

void ScriptedPrompter::answer(const QString& label) {
    const Question& question = asked.last();
    int choice = -1;
    for (qsizetype i = 0; i < question.choices.size(); ++i) {
        if (question.choices.at(i).label == label)
            choice = int(i);
    }
    if (choice < 0)
        qFatal("no choice \"%s\" in \"%s\"", qPrintable(label), qPrintable(question.title));
    const auto open = std::exchange(m_open, nullptr);
    if (open)
        open(choice);
}

QUrl SessionHarness::localFile(const QString& name, const QByteArray& content) const {
    QFile file(local.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return QUrl::fromLocalFile(file.fileName());
}

namespace {

QString writeFakeCurl(const QString& path, const QByteArray& body) {
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    script.write("#!/bin/sh\necho \"$*\" >> '" + QFile::encodeName(path) + ".runs'\n" + body + '\n');
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    return path;
}

int runsOf(const QString& path) {
    QFile runs(path + QStringLiteral(".runs"));
    return runs.open(QIODevice::ReadOnly) ? int(runs.readAll().count('\n')) : 0;
}

} // namespace

QString SessionHarness::fakeCurl(const QString& name, const QByteArray& body) const {
    return writeFakeCurl(local.filePath(name), body);
}

int SessionHarness::fakeCurlRuns(const QString& path) const {
    return runsOf(path);
}

HoldingCurl::HoldingCurl(const QByteArray& entryLine) {
    const QByteArray pid = QFile::encodeName(m_dir.filePath(QStringLiteral("pid")));
    const QByteArray go = QFile::encodeName(m_dir.filePath(QStringLiteral("go")));
    const QByteArray listing = entryLine.isEmpty() ? QByteArray() : entryLine + "\r\n";
    // Reads its config as curl does and answers with the records it asks for. No exec: the run must stay
    // this script's process, so that its command line names the stand-in.
    m_path = writeFakeCurl(m_dir.filePath(QStringLiteral("holding-curl")), R"sh(config=$(cat)
nonce=$(printf '%s\n' "$config" | sed -n 's/^write-out = "\\\\n\([^ ]*\) .*/\1/p' | head -n 1)
case "$config" in
*upload-file*)
  echo $$ > ')sh" + pid + R"sh('
  while [ ! -e ')sh" + go + R"sh(' ]; do sleep 0.05; done
  printf '%s\n' "$config" | sed -n 's/^url = "\(.*\)"$/\1/p' |
    while read -r url; do printf '\n%s 0 226 0 1 %s\n' "$nonce" "$url"; done ;;
*)
  if printf '%s\n' "$config" | grep -qx head; then exit 0; fi
  body=')sh" + listing + R"sh('
  printf '%s' "$body"
  printf '\n%s 0 226 %s 0 u\n' "$nonce" "${#body}" ;;
esac)sh");
}

bool HoldingCurl::waitForUpload() const {
    return QTest::qWaitFor([this] { return QFile::exists(m_dir.filePath(QStringLiteral("pid"))); });
}

QString HoldingCurl::uploadProcess() const {
    QFile pid(m_dir.filePath(QStringLiteral("pid")));
    return pid.open(QIODevice::ReadOnly)
               ? QStringLiteral("/proc/") + QString::fromLatin1(pid.readAll().trimmed())
               : QString();
}

void HoldingCurl::release() const {
    QFile(m_dir.filePath(QStringLiteral("go"))).open(QIODevice::WriteOnly);
}

int HoldingCurl::runs() const {
    return runsOf(m_path);
}

bool waitIdle(BrowserState& state, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            return !state.browser().isLoading() && !state.upload().isBusy() && !state.download().isBusy() &&
                   !state.deletes().isDeleting() && !state.newFolder().isCreating() &&
                   !state.renames().isRenaming();
        },
        timeoutMs);
}

QStringList entryNames(const QList<RemoteFile>& files) {
    QStringList result;
    for (const RemoteFile& file : files)
        result << file.name;
    return result;
}

const RemoteFile* findEntry(const QList<RemoteFile>& files, const QString& name) {
    for (const RemoteFile& file : files) {
        if (file.name == name)
            return &file;
    }
    return nullptr;
}
