#include "SessionHarness.h"

#include <QFile>
#include <QMetaObject>

void ScriptedPrompter::chooseLocalFiles(std::function<void(const QList<QUrl>&)> answer) {
    const QList<QUrl> chosen = files.isEmpty() ? QList<QUrl>() : files.takeFirst();
    QMetaObject::invokeMethod(
        this, [answer, chosen] { answer(chosen); }, Qt::QueuedConnection);
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

QString SessionHarness::fakeCurl(const QString& name, const QByteArray& body) const {
    const QString path = local.filePath(name);
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    script.write("#!/bin/sh\necho \"$*\" >> '" + QFile::encodeName(path) + ".runs'\n" + body + '\n');
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    return path;
}

int SessionHarness::fakeCurlRuns(const QString& path) const {
    QFile runs(path + QStringLiteral(".runs"));
    return runs.open(QIODevice::ReadOnly) ? int(runs.readAll().count('\n')) : 0;
}
