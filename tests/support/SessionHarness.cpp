#include "SessionHarness.h"

using namespace Qt::StringLiterals;

void ScriptedPrompter::ask(const Question& question, std::function<void(int choice)> answer) {
    asked.append(question);
    m_open = std::move(answer);
    if (!answers.isEmpty())
        later([this, label = answers.takeFirst()] { this->answer(label); });
}

void ScriptedPrompter::answer(const QString& label) {
    const QList<Question::Choice>& choices = asked.last().choices;
    const auto chosen =
        std::find_if(choices.cbegin(), choices.cend(), [&](auto& c) { return c.label == label; });
    if (chosen == choices.cend())
        qFatal("no choice \"%s\" in \"%s\"", qPrintable(label), qPrintable(asked.last().title));
    if (const auto open = std::exchange(m_open, nullptr))
        open(int(chosen - choices.cbegin()));
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
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    return path;
}

} // namespace

QString SessionHarness::fakeCurl(const QString& name, const QByteArray& body) const {
    return writeFakeCurl(local.filePath(name), body);
}

int SessionHarness::fakeCurlRuns(const QString& path) {
    QFile runs(path + u".runs"_s);
    return runs.open(QIODevice::ReadOnly) ? int(runs.readAll().count('\n')) : 0;
}

TransferWatch::TransferWatch(TransferJob& job) {
    QObject::connect(&job, &TransferJob::announced, &job, [this](const QString& w) { words << w; });
    QObject::connect(&job, &TransferJob::progressChanged, &job, [this, &job] {
        if (job.progressLine())
            lines << *job.progressLine();
        totals << job.progressTotal();
        if (job.isTransferring())
            values << job.progressValue();
    });
}

HoldingCurl::HoldingCurl(const QByteArray& entryLine) {
    const QByteArray pid = QFile::encodeName(m_dir.filePath(u"pid"_s));
    const QByteArray go = QFile::encodeName(m_dir.filePath(u"go"_s));
    const QByteArray listing = entryLine.isEmpty() ? QByteArray() : entryLine + "\r\n";
    // Reads its config as curl does and answers with the records it asks for. No exec: the run must stay
    // this script's process, so that its command line names the stand-in.
    m_path = writeFakeCurl(m_dir.filePath(u"holding-curl"_s), R"sh(config=$(cat)
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

// The run writes its id and a line end in one go; until the line end is there, it has not started.
QString HoldingCurl::uploadProcess() const {
    QFile pid(m_dir.filePath(u"pid"_s));
    const QByteArray id = pid.open(QIODevice::ReadOnly) ? pid.readAll() : QByteArray();
    return id.endsWith('\n') ? u"/proc/"_s + QString::fromLatin1(id.trimmed()) : QString();
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
    const auto found =
        std::find_if(files.cbegin(), files.cend(), [&](auto& file) { return file.name == name; });
    return found == files.cend() ? nullptr : &*found;
}
