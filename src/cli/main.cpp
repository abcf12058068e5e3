// kalvorctl: Kalvor's operations from the command line, on the same core and saved connections.

#include "CliCommands.h"
#include "CliConnection.h"
#include "CliRequest.h"
#include "model/DefaultsStore.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

OperationControlPtr interruptible = std::make_shared<OperationControl>();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalvor")); // the same settings folder as Kalvor
    QTextStream out(stdout);
    QTextStream err(stderr);

    const CliParse parse = parseCliArguments(app.arguments().mid(1));
    if (!parse.request || parse.request->command == CliRequest::Command::help) {
        (parse.request ? out : err) << (parse.request ? QString() : parse.error + u'\n') << cliUsage();
        return parse.request ? 0 : 2;
    }
    const CliConnection found = parse.request->url.isEmpty() ? savedConnection(parse.request->connectionName)
                                                             : connectionFromUrl(parse.request->url);
    if (!found.connection) {
        err << found.error << u'\n';
        return 2;
    }
    // Ctrl+C cancels cleanly: the run ends and no temporary file is left on the server.
    std::signal(SIGINT, [](int) { interruptible->cancel(); });
    // The certificates trusted in Kalvor, read afresh before every run, as the window does.
    FileDefaultsStore settings(FileDefaultsStore::defaultFolder());
    TrustStore trust(settings);
    FTPClientOptions options;
    options.trustedCertificate = [&trust](const QString& host, int port) { return trust.lookup(host, port); };
    return runCliCommand(*parse.request, FTPClient(*found.connection, options), trust, interruptible, out,
                         err, ::isatty(STDERR_FILENO));
}
