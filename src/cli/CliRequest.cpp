#include "CliRequest.h"

#include <algorithm>

namespace {

struct CommandShape {
    const char* name;
    CliRequest::Command command;
    int minOperands;
    int maxOperands; // -1: no limit
};

constexpr CommandShape shapes[] = {
    {"ls", CliRequest::Command::ls, 1, 1},    {"mkdir", CliRequest::Command::mkdir, 1, 1},
    {"put", CliRequest::Command::put, 2, -1}, {"rm", CliRequest::Command::rm, 1, 1},
    {"get", CliRequest::Command::get, 2, 2},
};

CliParse refuse(const QString& error) {
    return {std::nullopt, error};
}

} // namespace

QString cliUsage() {
    return QStringLiteral(
        "Usage: kalvorctl (-c NAME | --url URL) [--trust | --replace-trust] COMMAND ARGUMENTS\n"
        "\n"
        "Commands:\n"
        "  ls PATH                                   list a folder (folders end with \"/\")\n"
        "  mkdir PATH                                create a folder\n"
        "  put [--overwrite|--skip-existing] FILE... DIR\n"
        "                                            upload files; without an option, refuse when one "
        "exists\n"
        "  rm PATH                                   delete a file\n"
        "  rm -r PATH                                delete a folder and everything in it\n"
        "  get PATH LOCAL                            download a file (LOCAL may be a folder)\n"
        "\n"
        "Certificates:\n"
        "  --trust           trust the server's certificate when none is trusted for it yet\n"
        "  --replace-trust   also replace a trusted certificate whose key the server no longer has\n"
        "                    (only when you know the server's certificate was renewed)\n"
        "\n"
        "Connections:\n"
        "  -c NAME     a connection saved in Kalvor\n"
        "  --url URL   ftp://USER@HOST:PORT, ftps:// (TLS from the start) or ftpes:// (plain port, then "
        "TLS);\n"
        "              the password comes from KALVOR_PASSWORD or is asked for on the terminal\n"
        "\n"
        "Exit status: 0 success, 1 the server, a file or the server's certificate refused (the message "
        "says which), 2 bad usage.\n");
}

CliParse parseCliArguments(const QStringList& arguments) {
    CliRequest request;
    qsizetype at = 0;
    for (; at < arguments.size(); ++at) {
        const QString& argument = arguments[at];
        if (argument == u"-h" || argument == u"--help")
            return {request, {}};
        if (argument == u"-c" || argument == u"--url") {
            if (at + 1 >= arguments.size())
                return refuse(argument + QStringLiteral(" needs a value."));
            (argument == u"-c" ? request.connectionName : request.url) = arguments[++at];
        } else if (argument == u"--trust" || argument == u"--replace-trust") {
            const auto trust =
                argument == u"--trust" ? CliRequest::Trust::firstUse : CliRequest::Trust::replace;
            request.trust = std::max(request.trust, trust);
        } else {
            break;
        }
    }
    if (at >= arguments.size())
        return refuse(QStringLiteral("No command given."));
    if (request.connectionName.isEmpty() == request.url.isEmpty())
        return refuse(QStringLiteral("Give either -c NAME or --url URL."));

    const QString name = arguments[at++];
    const CommandShape* shape = nullptr;
    for (const CommandShape& candidate : shapes) {
        if (name == QLatin1String(candidate.name))
            shape = &candidate;
    }
    if (!shape)
        return refuse(QStringLiteral("Unknown command \u201c%1\u201d.").arg(name));
    request.command = shape->command;

    bool optionsEnded = false;
    for (; at < arguments.size(); ++at) {
        const QString& argument = arguments[at];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            request.operands << argument;
        } else if (argument == u"--") {
            optionsEnded = true;
        } else if (shape->command == CliRequest::Command::rm && argument == u"-r") {
            request.recursive = true;
        } else if (shape->command == CliRequest::Command::put &&
                   (argument == u"--overwrite" || argument == u"--skip-existing") &&
                   request.existing == CliRequest::Existing::refuse) {
            request.existing =
                argument == u"--overwrite" ? CliRequest::Existing::overwrite : CliRequest::Existing::skip;
        } else {
            return refuse(
                QStringLiteral("Unknown or repeated option \u201c%1\u201d for %2.").arg(argument, name));
        }
    }
    const int count = int(request.operands.size());
    if (count < shape->minOperands || (shape->maxOperands >= 0 && count > shape->maxOperands))
        return refuse(QStringLiteral("Wrong number of arguments for %1.").arg(name));
    return {request, {}};
}
