#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <optional>

// Reads curl's verbose trace (standard error with `verbose`): "> CMD arg" for what it sent, "< 550 text" for
// what the server answered. Only the commands asked about are ever looked at, so the login's PASS line is
// never read out of it.
namespace curltrace {

struct CommandReply {
    QByteArray command; // as sent, without the line end
    QByteArray reply;   // the final line of the server's answer ("550 No such file."), empty when none came
};

// The last command sent whose verb is one of `verbs` (upper case, "DELE"), with the reply to it.
std::optional<CommandReply> lastCommand(const QByteArray& trace, const QByteArrayList& verbs);

// How many commands with one of `verbs` were answered with a 2xx or 3xx reply, in order.
qsizetype acceptedCount(const QByteArray& trace, const QByteArrayList& verbs);

} // namespace curltrace

// One line per finished transfer on standard output, after the transfer's own output: a random marker, then
// what curl knows of it. The marker is new for every run, so no listing can fake one.
struct TransferRecord {
    int exitCode = -1;
    int responseCode = 0;
    qint64 sizeDownload = 0;
    qint64 sizeUpload = 0;
    QByteArray url;  // as curl ended up using it
    QByteArray body; // what the transfer wrote to standard output before its record
};

// The `write-out` value that makes these records.
QByteArray transferRecordFormat(const QByteArray& nonce);
// A fresh marker for one run.
QByteArray newRecordNonce();
// The records in `output`, in the order they were written; a body whose size disagrees with what curl says
// it downloaded (less the CRs of line ends it dropped) ends the list: the output cannot be split reliably.
// Transfers that write to files (`bodiesOnOutput` false) have nothing before their records to check.
QList<TransferRecord> parseTransferRecords(const QByteArray& output, const QByteArray& nonce,
                                           bool bodiesOnOutput = true);
