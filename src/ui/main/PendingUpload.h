#pragma once

#include <QList>
#include <QUrl>
#include <QUuid>

// One hand-in of files from outside the window. Every hand-in gets a fresh id, so handing in the same
// files twice counts as two hand-ins.
struct PendingUpload {
    QUuid id;
    QList<QUrl> urls;

    static PendingUpload make(QList<QUrl> urls) { return {QUuid::createUuid(), std::move(urls)}; }
};
