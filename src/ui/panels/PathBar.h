#pragma once

#include "model/ServerText.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class ElidedLabel;
class QAction;
class QLineEdit;
class QStackedWidget;
class QToolButton;

// The current folder's path in the window's header, from the login folder with a leading "/" ("/",
// "/Documents/"), shortened in the middle when long, with a button to go up. Ctrl+L or a click on the path
// turns it into a field: Enter asks to go to what was typed, Escape (or leaving the field) puts the path
// back; either way the keyboard returns where it was.
//
// Object names: "headerPath" (the label), "headerPathField", "parentFolderButton", "editPathAction".
class PathBar : public QWidget {
    Q_OBJECT

public:
    explicit PathBar(QWidget* parent = nullptr);

    // path: the folder in server form.
    void setPath(const QString& path, const servertext::Encoding& encoding);
    void setCanNavigateUp(bool canNavigateUp);
    const QString& shownPath() const { return m_shown; }
    bool isEditing() const;

    void startEditing();

Q_SIGNALS:
    void pathEntered(const QString& typed);
    void navigateUpRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stopEditing();

    QString m_shown;
    QToolButton* m_up = nullptr;
    QStackedWidget* m_stack = nullptr;
    ElidedLabel* m_label = nullptr;
    QLineEdit* m_field = nullptr;
    QPointer<QWidget> m_focusBefore;
};
