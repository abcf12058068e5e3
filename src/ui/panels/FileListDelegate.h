#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QStyledItemDelegate>

// Draws the rows of FileListModel in an inset-grouped look: each section is a rounded card on the window
// background, with its header above it. A row is an icon in a 24-wide box, the name on one elided line,
// below it in a smaller dimmed font the size and date (or where a link leads), and a faint chevron on
// folders. Selected rows take the selection colour; the current row of a focused list is outlined, so
// keyboard users always see where they are. A rename edits the name line in place.
//
// Every row has the same height (the two-line height), so the view can use uniform item sizes and lay out
// a listing of any length in constant time per row.
class FileListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit FileListDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    static int rowHeight(const QFont& font);
    static QFont captionFont(const QFont& font);

private:
    void paintHeader(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    const QPixmap& chevron(const QColor& colour, qreal devicePixelRatio) const;

    QIcon m_chevronIcon;
    mutable QPixmap m_chevron; // tinted once per colour and pixel ratio, not per painted row
    mutable QColor m_chevronColour;
};

// The icon's shape filled with one colour: the folder and document glyphs are shown as solid silhouettes.
QIcon tintedIcon(const QIcon& icon, const QColor& colour);
