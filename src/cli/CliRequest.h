#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One kalvorctl invocation, as typed:
//   kalvorctl (-c NAME | --url ftp[s|es]://USER@HOST[:PORT]) [--trust | --replace-trust] COMMAND ARGS...
struct CliRequest {
    enum class Command { help, ls, mkdir, put, rm, get };
    // What `put` does with a file that already exists on the server.
    enum class Existing { refuse, overwrite, skip };

    Command command = Command::help;
    QString connectionName; // -c NAME
    QString url;            // --url URL
    QStringList operands;   // paths, in the order given
    bool recursive = false; // rm -r
    Existing existing = Existing::refuse;
    // What to do with a server certificate that is not trusted: refuse it (and say so), trust it when none
    // is trusted for that server yet, or also put it in place of a trusted one whose key it does not match.
    enum class Trust { refuse, firstUse, replace };
    Trust trust = Trust::refuse;
};

struct CliParse {
    std::optional<CliRequest> request; // set when the arguments make sense
    QString error;                     // otherwise, what is wrong with them
};

// `arguments` without the program's name.
CliParse parseCliArguments(const QStringList& arguments);
QString cliUsage();
