#include "TestFtpServer.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFileInfo>
#include <QUuid>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int startDeadlineMs = 30000;
constexpr int stopDeadlineMs = 15000;

QString relative(const QString& remotePath) {
    return QString(remotePath).remove(QRegularExpression(u"^/+"_s));
}

} // namespace

TestFtpServer::TestFtpServer(Kind kind, const Options& options)
    : m_kind(kind) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (kind == Kind::vsftpd) {
        static const char* const modes[] = {"implicit", "explicit", "plain"};
        m_tls = options.vsftpdTls;
        QStringList arguments{QString::fromLatin1(modes[int(options.vsftpdTls)])};
        if (options.selfSigned)
            arguments << u"--self-signed"_s;
        start(u"vsftpd_server.py"_s, arguments);
        return;
    }
    m_rootPath = m_scratch.filePath(u"root"_s);
    m_logPath = m_scratch.filePath(u"commands.log"_s);
    QDir().mkpath(m_rootPath);
    const auto number = [](auto n) { return QString::number(n); };
    // The script takes an empty text or a zero as "no such fault".
    QStringList arguments;
    arguments << u"--root"_s << m_rootPath << u"--log"_s << m_logPath << u"--slow-seconds"_s
              << number(options.slowSeconds) << u"--hang-pattern"_s << options.hangPattern << u"--die-on"_s
              << options.dieOn << u"--die-after-bytes"_s << number(options.dieAfterBytes)
              << u"--stall-listing"_s << options.stallListing << u"--throttle-receive"_s
              << number(options.throttleReceive) << u"--throttle-send"_s << number(options.throttleSend)
              << u"--refuse-rename"_s << options.refuseRename << u"--endless"_s << options.endless;
    int index = 0;
    for (auto it = options.rawListings.cbegin(); it != options.rawListings.cend(); ++it) {
        QFile out(m_scratch.filePath(u"listing-%1"_s.arg(index++)));
        if (!out.open(QIODevice::WriteOnly) || out.write(it.value()) != it.value().size()) {
            m_error = u"cannot write "_s + out.fileName();
            return;
        }
        arguments << u"--raw-listing"_s << it.key() + u'=' + out.fileName();
    }
    start(u"ftp_server.py"_s, arguments);
}

// The script says "KEY value" lines until "PORT n" (ready) or "SKIP why"; "ERROR why" explains a failure.
void TestFtpServer::start(const QString& script, const QStringList& arguments) {
    m_process.start(u"/usr/bin/python3"_s,
                    QStringList{QStringLiteral(KALVOR_TEST_SUPPORT_DIR "/") + script} + arguments,
                    QIODevice::ReadOnly);
    const QDeadlineTimer deadline(startDeadlineMs);
    m_process.waitForStarted(startDeadlineMs);
    while (m_skipReason.isEmpty()) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            const QString key = line.section(u' ', 0, 0);
            const QString value = line.section(u' ', 1);
            static const QStringList keys = u"SKIP ERROR ROOT USER PASSWORD LOG"_s.split(u' ');
            QString* const fields[] = {&m_skipReason, &m_error,    &m_rootPath,
                                       &m_user,       &m_password, &m_logPath};
            if (key == u"PORT")
                m_port = value.toUShort();
            else if (keys.contains(key))
                *fields[keys.indexOf(key)] = value;
            else if (key == u"AUTHORITY") // every test server's; set before any curl of this process runs
                qputenv("CURL_CA_BUNDLE", QFile::encodeName(value));
        }
        if (m_port != 0 || m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            break;
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    }
    if (m_port == 0 && m_error.isEmpty() && m_skipReason.isEmpty())
        m_error = script + u" did not say it was ready: "_s + m_process.errorString();
}

void TestFtpServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(stopDeadlineMs)) {
        m_process.kill();
        m_process.waitForFinished(stopDeadlineMs);
    }
}

bool TestFtpServer::replaceCertificate() {
    if (m_kind != Kind::vsftpd || ::kill(pid_t(m_process.processId()), SIGUSR1) != 0)
        return false;
    const QDeadlineTimer deadline(startDeadlineMs);
    while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            if (m_process.readLine().trimmed() == "REPLACED")
                return true;
        }
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    }
    return false;
}

Connection TestFtpServer::connection() const {
    Connection connection;
    connection.id = QUuid::createUuid();
    connection.name = m_kind == Kind::vsftpd ? u"vsftpd"_s : u"pyftpdlib"_s;
    connection.host = u"127.0.0.1"_s;
    connection.port = m_port;
    connection.username = m_user;
    connection.password = m_password;
    connection.useTLS = m_tls != Tls::none;
    connection.tlsMode =
        m_tls == Tls::explicitTLS ? Connection::TlsMode::explicitTLS : Connection::TlsMode::implicit;
    return connection;
}

// Both servers' logs in one form: the password masked and every LIST naming the folder it listed. vsftpd
// writes `... FTP command: Client "127.0.0.1", "CWD a"`. Sessions follow each other in the tests, so a USER
// line starts a new one at the root.
QStringList TestFtpServer::commandLog() const {
    static const QRegularExpression vsftpd(uR"re(FTP command: Client "[^"]*", "(.*)"$)re"_s);
    QFile file(m_logPath);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    QStringList out;
    QString cwd = u"/"_s;
    for (QString command : text.split(QRegularExpression(u"\r?\n"_s), Qt::SkipEmptyParts)) {
        if (m_kind == Kind::vsftpd) {
            const QRegularExpressionMatch match = vsftpd.match(command);
            if (!match.hasMatch())
                continue;
            command = match.captured(1);
        }
        const QString verb = command.section(u' ', 0, 0).toUpper();
        const QString argument = command.mid(verb.size() + 1);
        if (verb == u"USER")
            cwd = u"/"_s;
        else if (verb == u"CWD")
            cwd = QDir::cleanPath(argument.startsWith(u'/') ? argument : cwd + u'/' + argument);
        if (verb == u"PASS")
            command = u"PASS ******"_s;
        else if (verb == u"LIST" && argument.isEmpty())
            command = u"LIST "_s + cwd + (cwd.endsWith(u'/') ? u""_s : u"/"_s);
        out.append(command);
    }
    return out;
}

QString TestFtpServer::localPath(const QString& remotePath) const {
    const QString path = relative(remotePath);
    return path.isEmpty() ? m_rootPath : m_rootPath + u'/' + path;
}

// vsftpd serves as the test account, so what the test puts on disk must belong to it; pyftpdlib runs as the
// test itself. A "__denied__" component keeps the path root's, so vsftpd refuses changes inside it.
void TestFtpServer::handOver(const QString& remotePath) const {
    const passwd* account = m_kind == Kind::vsftpd ? ::getpwnam(m_user.toLocal8Bit().constData()) : nullptr;
    QString path = m_rootPath;
    for (const QString& part : relative(remotePath).split(u'/', Qt::SkipEmptyParts)) {
        if (account == nullptr || part.contains(u"__denied__"))
            return;
        path += u'/' + part;
        if (::lchown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) != 0)
            qWarning("cannot hand %s over to the test account", qPrintable(path));
    }
}

void TestFtpServer::writeFile(const QString& remotePath, const QByteArray& content) const {
    QFile file(localPath(remotePath));
    QDir().mkpath(QFileInfo(file).path());
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning("cannot write %s", qPrintable(file.fileName()));
    file.close();
    handOver(remotePath);
}

void TestFtpServer::seed(const QStringList& items) const {
    for (const QString& item : items) {
        const QString link = item.section(u" -> "_s, 0, 0);
        const QString local = localPath(link);
        QDir().mkpath(QFileInfo(local).path());
        if (item.endsWith(u'/'))
            makeFolder(item);
        else if (link == item)
            writeFile(item, item.toUtf8());
        else if (::symlink(QFile::encodeName(item.section(u" -> "_s, 1)).constData(),
                           QFile::encodeName(local).constData()) != 0)
            qWarning("cannot link %s", qPrintable(local));
        handOver(link);
    }
}

bool TestFtpServer::exists(const QString& remotePath) const {
    return QFileInfo(localPath(remotePath)).exists() || QFileInfo(localPath(remotePath)).isSymLink();
}

bool TestFtpServer::isFolder(const QString& remotePath) const {
    return QFileInfo(localPath(remotePath)).isDir() && !QFileInfo(localPath(remotePath)).isSymLink();
}

QStringList TestFtpServer::temporaryFiles() const {
    QStringList found;
    QDirIterator it(m_rootPath, {u".kalvor-*"_s}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}
