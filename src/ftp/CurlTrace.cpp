#include "CurlTrace.h"

#include <QRandomGenerator>

#include <cctype>

namespace {

QByteArray lineAt(const QByteArray& text, qsizetype from, qsizetype* next) {
    qsizetype end = text.indexOf('\n', from);
    if (end < 0)
        end = text.size();
    *next = end + 1;
    QByteArray line = text.mid(from, end - from);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool isOneOf(const QByteArray& sentLine, const QByteArrayList& verbs) {
    const QByteArray command = sentLine.mid(2);
    const qsizetype space = command.indexOf(' ');
    const QByteArray verb = (space < 0 ? command : command.left(space)).toUpper();
    return verbs.contains(verb);
}

// "< 550 text" ends a reply; "< 550-text" goes on.
bool isFinalReply(const QByteArray& line) {
    if (line.size() < 5 || !line.startsWith("< "))
        return false;
    for (qsizetype i = 2; i < 5; ++i) {
        if (!std::isdigit(uchar(line.at(i))))
            return false;
    }
    return line.size() == 5 || line.at(5) == ' ';
}

} // namespace

namespace curltrace {

std::optional<CommandReply> lastCommand(const QByteArray& trace, const QByteArrayList& verbs) {
    std::optional<CommandReply> found;
    bool awaiting = false;
    for (qsizetype at = 0; at < trace.size();) {
        const QByteArray line = lineAt(trace, at, &at);
        if (line.startsWith("> ")) {
            awaiting = isOneOf(line, verbs);
            if (awaiting)
                found = CommandReply{line.mid(2), {}};
        } else if (awaiting && isFinalReply(line)) {
            found->reply = line.mid(2);
            awaiting = false;
        }
    }
    return found;
}

qsizetype acceptedCount(const QByteArray& trace, const QByteArrayList& verbs) {
    qsizetype accepted = 0;
    bool waiting = false;
    for (qsizetype at = 0; at < trace.size();) {
        const QByteArray line = lineAt(trace, at, &at);
        if (line.startsWith("> ")) {
            waiting = isOneOf(line, verbs);
        } else if (waiting && isFinalReply(line)) {
            waiting = false;
            if (line.at(2) == '2' || line.at(2) == '3')
                ++accepted;
        }
    }
    return accepted;
}

} // namespace curltrace

QByteArray transferRecordFormat(const QByteArray& nonce) {
    return "\\n" + nonce +
           " %{exitcode} %{response_code} %{size_download} %{size_upload} %{url_effective}\\n";
}

QByteArray newRecordNonce() {
    const quint64 a = QRandomGenerator::global()->generate64();
    const quint64 b = QRandomGenerator::global()->generate64();
    return "kalvor-" + QByteArray::number(a, 36) + QByteArray::number(b, 36);
}

QList<TransferRecord> parseTransferRecords(const QByteArray& output, const QByteArray& nonce,
                                           bool bodiesOnOutput) {
    QList<TransferRecord> records;
    const QByteArray marker = '\n' + nonce + ' ';
    qsizetype from = 0;
    while (true) {
        const qsizetype at = output.indexOf(marker, from);
        if (at < 0)
            break;
        qsizetype next = 0;
        const QByteArray line = lineAt(output, at + marker.size(), &next);
        const QByteArrayList fields = line.split(' ');
        if (fields.size() < 5)
            break;
        TransferRecord record;
        record.exitCode = fields[0].toInt();
        record.responseCode = fields[1].toInt();
        record.sizeDownload = fields[2].toLongLong();
        record.sizeUpload = fields[3].toLongLong();
        record.url = fields.mid(4).join(' ');
        record.body = output.mid(from, at - from);
        // curl turns the CR LF line ends of a listing into LF, and counts what it received.
        const qint64 stripped = record.sizeDownload - record.body.size();
        if (bodiesOnOutput && (stripped < 0 || stripped > record.body.count('\n')))
            break;
        records.append(record);
        from = next;
    }
    return records;
}
