#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// Turns what another program hands in (`kalvor ITEM...`, a file manager's action) into the local files it
// names, in the order given.
//
// An item is a file URL ("file:///home/me/a.txt", "file://localhost/...", percent-encoded) or a path; a
// relative path is resolved against workingFolder, the folder the sender was started in, which need not be
// ours. Only an existing regular file counts (a link to one too, kept under the name it was given): a
// folder, a missing path, a URL of any other scheme, a file URL naming another host and plain text are no
// file.
//
// Items that are no file are dropped and the files among them are kept in order. A file manager's pasteboard
// is discarded whole when it mixes URLs with other objects, but command-line items arrive one by one
// and a stray extra argument (a folder swept up by a glob, a file deleted meanwhile) is no reason to refuse
// the files the user did select. An empty result is what the caller answers "No file selected." to.
QList<QUrl> readHandInFiles(const QStringList& items, const QString& workingFolder);

// Why an item names no local file, for the person who typed it: "no such file", "a folder, not a file",
// "not a file on this computer", "not a regular file"; empty when it names one.
QString whyNotAFile(const QString& item, const QString& workingFolder);
