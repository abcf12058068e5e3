#include "FileListActions.h"

#include "FileEntries.h"
#include "session/BrowserState.h"

#include <QAction>
#include <QMenu>
#include <QStyleOptionMenuItem>
#include <QWidget>

#include <algorithm>

namespace {

using Act = FileListActions::Act;

const QColor destructiveRed(0xe0, 0x1b, 0x24);

struct ActText {
    Act act;
    const char* objectName;
    const char* text;
};
// In menu order; a separator goes before the favorites and before Delete.
const ActText actTexts[] = {{Act::download, "downloadAction", "Download"},
                            {Act::rename, "renameAction", "Rename"},
                            {Act::addFavorite, "addToFavoritesAction", "Add to favorites"},
                            {Act::removeFavorite, "removeFromFavoritesAction", "Remove from favorites"},
                            {Act::remove, "deleteAction", "Delete"}};

// Destructive actions (property destructive=true) are drawn in red, as the platform does for items that
// delete something; the palette is the one thing every style reads for a menu item's text.
class EntryMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override {
        QMenu::initStyleOption(option, action);
        if (!action->property("destructive").toBool() || !action->isEnabled())
            return;
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            for (const QPalette::ColorRole role :
                 {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
                option->palette.setColor(group, role, destructiveRed);
        }
    }
};

QAction* makeAction(QObject* parent, const QString& objectName, const QString& text,
                    const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, parent);
    action->setObjectName(objectName);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return action;
}

} // namespace

FileListActions::FileListActions(QWidget* scope, Perform perform)
    : QObject(scope)
    , m_perform(std::move(perform)) {
    const QList<QKeySequence> keys[] = {
        {}, {QKeySequence(Qt::Key_F2)}, {}, {}, QKeySequence::keyBindings(QKeySequence::Delete)};
    for (const ActText& entry : actTexts) {
        QAction* action = makeAction(this, QString::fromLatin1(entry.objectName),
                                     QString::fromLatin1(entry.text), keys[int(entry.act)]);
        action->setProperty("destructive", entry.act == Act::remove);
        connect(action, &QAction::triggered, this, [this, act = entry.act] { m_perform(act, m_selection); });
        scope->addAction(action);
        m_actions << action;
    }
    // Backspace as in file managers, Alt+Up as on the platform; both F5 and Ctrl+R reload, whichever the
    // platform names as its standard.
    m_parentFolder = makeAction(this, QStringLiteral("parentFolderAction"), QStringLiteral("Parent Folder"),
                                {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)});
    QList<QKeySequence> reload = QKeySequence::keyBindings(QKeySequence::Refresh);
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)}) {
        if (!reload.contains(key))
            reload << key;
    }
    m_refresh = makeAction(this, QStringLiteral("refreshAction"), QStringLiteral("Refresh"), reload);
    scope->addActions({m_parentFolder, m_refresh});
    select({}, false);
}

FileListActions::~FileListActions() = default;

QAction* FileListActions::action(Act act) const {
    return m_actions.at(int(act));
}

FileListActions::Rule FileListActions::rule(Act act, const QList<RemoteFile>& entries, bool isFavorite) {
    const bool one = entries.size() == 1;
    const bool unsure =
        std::any_of(entries.cbegin(), entries.cend(), [](const RemoteFile& e) { return e.isAmbiguous; });
    const QString refusal = unsure ? FileEntries::ambiguousText() : QString();
    switch (act) {
    case Act::download:
    case Act::remove:
        return {!entries.isEmpty(), entries.isEmpty() ? QStringLiteral("Select what to act on.") : refusal};
    case Act::rename:
        return {one, one ? refusal : QStringLiteral("Select one entry to rename.")};
    case Act::addFavorite:
        // Only a folder can be opened again from the sidebar.
        return {one && BrowserState::canBecomeFavorite(entries.first()) && !isFavorite, {}};
    case Act::removeFavorite:
        return {one && entries.first().isDirectory && isFavorite, {}};
    }
    return {};
}

void FileListActions::select(const QList<RemoteFile>& entries, bool isFavorite) {
    m_selection = entries;
    for (const ActText& entry : actTexts) {
        const Rule allowed = rule(entry.act, entries, isFavorite);
        action(entry.act)->setEnabled(allowed.offered && allowed.refusal.isEmpty());
    }
}

std::unique_ptr<QMenu> FileListActions::menuFor(const QList<RemoteFile>& entries, bool isFavorite,
                                                QWidget* parent) const {
    auto menu = std::make_unique<EntryMenu>(parent);
    menu->setObjectName(QStringLiteral("fileListContextMenu"));
    menu->setToolTipsVisible(true);
    for (const ActText& entry : actTexts) {
        const Rule allowed = rule(entry.act, entries, isFavorite);
        if (!allowed.offered)
            continue;
        if (entry.act == Act::remove || (entry.act == Act::addFavorite || entry.act == Act::removeFavorite))
            menu->addSeparator();
        const QAction* key = action(entry.act);
        QAction* item =
            menu->addAction(key->text(), menu.get(),
                            [perform = m_perform, act = entry.act, entries] { perform(act, entries); });
        item->setObjectName(key->objectName());
        item->setShortcut(key->shortcut()); // shown beside the text; the key itself is the list's
        item->setShortcutContext(Qt::WidgetShortcut);
        item->setProperty("destructive", key->property("destructive"));
        item->setEnabled(allowed.refusal.isEmpty());
        item->setToolTip(allowed.refusal);
    }
    return menu;
}
