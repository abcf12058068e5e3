#include "FileViewSettings.h"

#include "model/DefaultsStore.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString settingsKey = QStringLiteral("Kalvor.view");

struct Names {
    FileSort::Column column;
    QString name;
};
const Names columnNames[] = {{FileSort::Column::name, QStringLiteral("name")},
                             {FileSort::Column::size, QStringLiteral("size")},
                             {FileSort::Column::modified, QStringLiteral("modified")}};

} // namespace

FileViewSettings FileViewSettings::load(const DefaultsStore& store) {
    FileViewSettings settings;
    const std::optional<QByteArray> data = store.value(settingsKey);
    if (!data)
        return settings;
    const QJsonObject object = QJsonDocument::fromJson(*data).object();
    if (object.value(u"mode").toString() == u"details")
        settings.mode = Mode::details;
    for (const Names& names : columnNames) {
        if (object.value(u"sortColumn").toString() == names.name)
            settings.sort.column = names.column;
    }
    if (object.value(u"sortOrder").toString() == u"descending")
        settings.sort.order = Qt::DescendingOrder;
    return settings;
}

void FileViewSettings::save(DefaultsStore& store) const {
    QJsonObject object;
    object.insert(u"mode", mode == Mode::details ? QStringLiteral("details") : QStringLiteral("list"));
    for (const Names& names : columnNames) {
        if (names.column == sort.column)
            object.insert(u"sortColumn", names.name);
    }
    object.insert(u"sortOrder", sort.order == Qt::DescendingOrder ? QStringLiteral("descending")
                                                                  : QStringLiteral("ascending"));
    (void)store.setValue(settingsKey, QJsonDocument(object).toJson(QJsonDocument::Indented));
}
