#include "FileListDelegate.h"

#include "FileListModel.h"
#include "Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int cardInset = 10;   // window background visible left and right of a section's card
constexpr int cardPadding = 10; // inside the card, before the icon and after the chevron
constexpr int cornerRadius = 8;
constexpr int iconBoxWidth = 24;
constexpr int iconSize = 20;
constexpr int iconTextGap = 8;
constexpr int lineGap = 2;
constexpr int verticalPadding = 6;
constexpr int chevronSize = 12;
constexpr int headerBottomPadding = 4;

using Kind = FileListModel::RowKind;
using Position = FileListModel::SectionPosition;

QPixmap tintedPixmap(const QPixmap& source, const QColor& colour) {
    if (source.isNull())
        return source;
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    painter.end();
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(source.devicePixelRatio());
    return result;
}

QColor secondaryColour(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QColor faintColour(const QPalette& palette, qreal alpha) {
    QColor colour = palette.color(QPalette::Text);
    colour.setAlphaF(float(alpha));
    return colour;
}

QFont headerFont(const QFont& font) {
    QFont header = FileListDelegate::captionFont(font);
    header.setWeight(QFont::DemiBold);
    return header;
}

// The card's outline for one row: the section's first row carries the top corners, its last row the
// bottom ones, so stacked rows read as one rounded group.
QPainterPath cardShape(const QRectF& rect, Position position) {
    QPainterPath path;
    switch (position) {
    case Position::Only:
        path.addRoundedRect(rect, cornerRadius, cornerRadius);
        return path;
    case Position::First:
        path.addRoundedRect(rect.adjusted(0, 0, 0, 2 * cornerRadius), cornerRadius, cornerRadius);
        break;
    case Position::Last:
        path.addRoundedRect(rect.adjusted(0, -2 * cornerRadius, 0, 0), cornerRadius, cornerRadius);
        break;
    case Position::Middle:
    case Position::None:
        path.addRect(rect);
        return path;
    }
    QPainterPath clip;
    clip.addRect(rect);
    return path.intersected(clip);
}

} // namespace

QIcon tintedIcon(const QIcon& icon, const QColor& colour) {
    if (icon.isNull())
        return icon;
    QIcon result;
    for (const int extent : {16, 20, 24, 32, 40, 48, 64})
        result.addPixmap(tintedPixmap(icon.pixmap(QSize(extent, extent), 1.0), colour));
    return result;
}

FileListDelegate::FileListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_chevronIcon(symbolIcon(u"chevron.right")) {}

QFont FileListDelegate::captionFont(const QFont& font) {
    QFont caption = font;
    if (font.pointSizeF() > 0)
        caption.setPointSizeF(font.pointSizeF() * 0.85);
    else
        caption.setPixelSize(std::max(1, qRound(font.pixelSize() * 0.85)));
    return caption;
}

int FileListDelegate::rowHeight(const QFont& font) {
    const int textBlock = QFontMetrics(font).height() + lineGap + QFontMetrics(captionFont(font)).height();
    return std::max(iconBoxWidth, textBlock) + 2 * verticalPadding;
}

QSize FileListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    // The width is only a minimum: the list stretches each row across the viewport.
    return {cardInset * 2 + cardPadding * 2 + iconBoxWidth, rowHeight(option.font)};
}

void FileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    painter->save();
    if (Kind(index.data(FileListModel::KindRole).toInt()) == Kind::SectionHeader)
        paintHeader(painter, option, index);
    else
        paintRow(painter, option, index);
    painter->restore();
}

void FileListDelegate::paintHeader(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const QRect textRect =
        option.rect.adjusted(cardInset + cardPadding, 0, -(cardInset + cardPadding), -headerBottomPadding);
    painter->setFont(headerFont(option.font));
    painter->setPen(secondaryColour(option.palette));
    const QString text =
        painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight, textRect.width());
    painter->drawText(QStyle::visualRect(option.direction, option.rect, textRect),
                      int(QStyle::visualAlignment(option.direction, Qt::AlignLeft | Qt::AlignBottom)) |
                          Qt::TextSingleLine,
                      text);
}

void FileListDelegate::paintRow(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const Kind kind = Kind(index.data(FileListModel::KindRole).toInt());
    const Position position = Position(index.data(FileListModel::SectionPositionRole).toInt());
    const QPalette& palette = option.palette;
    const auto mirrored = [&](const QRect& rect) {
        return QStyle::visualRect(option.direction, option.rect, rect);
    };

    const QRect card = option.rect.adjusted(cardInset, 0, -cardInset, 0);
    painter->setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = cardShape(card, position);
    painter->fillPath(shape, palette.base());
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected) {
        painter->fillPath(shape, palette.brush(QPalette::Highlight));
    } else if (option.state.testFlag(QStyle::State_MouseOver)) {
        QColor hover = palette.color(QPalette::Highlight);
        hover.setAlphaF(0.12f);
        painter->fillPath(shape, hover);
    }
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QPen focus(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Highlight),
                   2);
        painter->setPen(focus);
        painter->drawRoundedRect(QRectF(card).adjusted(1.5, 1.5, -1.5, -1.5), cornerRadius - 1,
                                 cornerRadius - 1);
    }
    const QColor textColour = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);

    const QRect iconBox(card.left() + cardPadding, card.top(), iconBoxWidth, card.height());
    const QRect iconRect =
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(iconSize, iconSize), iconBox);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, mirrored(iconRect));

    const int textLeft = iconBox.right() + 1 + iconTextGap;
    int textRight = card.right() - cardPadding;
    if (kind == Kind::Folder) {
        const QRect chevronRect(card.right() - cardPadding - chevronSize + 1,
                                card.top() + (card.height() - chevronSize) / 2, chevronSize, chevronSize);
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap& mark = chevron(faintColour(palette, 0.3), ratio);
        if (option.direction == Qt::RightToLeft)
            painter->drawPixmap(mirrored(chevronRect), mark.transformed(QTransform().scale(-1, 1)));
        else
            painter->drawPixmap(chevronRect, mark);
        textRight = chevronRect.left() - iconTextGap;
    }

    const QFontMetrics nameMetrics(option.font);
    const QString sizeText = index.data(FileListModel::DetailTextRole).toString();
    const QFont caption = captionFont(option.font);
    const QFontMetrics captionMetrics(caption);
    const int blockHeight =
        nameMetrics.height() + (sizeText.isEmpty() ? 0 : lineGap + captionMetrics.height());
    const int top = card.top() + (card.height() - blockHeight) / 2;
    const int width = std::max(0, textRight - textLeft + 1);
    const int alignment =
        int(QStyle::visualAlignment(option.direction, Qt::AlignLeft | Qt::AlignVCenter)) | Qt::TextSingleLine;

    painter->setFont(option.font);
    painter->setPen(textColour);
    const QRect nameRect(textLeft, top, width, nameMetrics.height());
    painter->drawText(mirrored(nameRect), alignment,
                      nameMetrics.elidedText(index.data().toString(), Qt::ElideRight, width));
    if (!sizeText.isEmpty()) {
        painter->setFont(caption);
        painter->setPen(selected ? textColour : secondaryColour(palette));
        const QRect sizeRect(textLeft, nameRect.bottom() + 1 + lineGap, width, captionMetrics.height());
        painter->drawText(mirrored(sizeRect), alignment,
                          captionMetrics.elidedText(sizeText, Qt::ElideRight, width));
    }

    if (position == Position::First || position == Position::Middle) {
        // A filled one-pixel rectangle: the raster engine's line path hands every line to its thread pool,
        // which costs more than the rest of the row.
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->fillRect(mirrored(QRect(textLeft, card.bottom(), card.right() - textLeft + 1, 1)),
                          faintColour(palette, 0.12));
    }
}

void FileListDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex&) const {
    // Over the name, from the text's left edge to the card's right one, as tall as the editor wants.
    const QRect card = option.rect.adjusted(cardInset, 0, -cardInset, 0);
    const int left = card.left() + cardPadding + iconBoxWidth + iconTextGap - 4;
    const int height = std::min(card.height(), editor->sizeHint().height());
    const QRect rect(left, card.top() + (card.height() - height) / 2, card.right() - cardPadding - left,
                     height);
    editor->setGeometry(QStyle::visualRect(option.direction, option.rect, rect));
}

const QPixmap& FileListDelegate::chevron(const QColor& colour, qreal devicePixelRatio) const {
    if (m_chevron.isNull() || m_chevronColour != colour || m_chevron.devicePixelRatio() != devicePixelRatio) {
        m_chevron =
            tintedPixmap(m_chevronIcon.pixmap(QSize(chevronSize, chevronSize), devicePixelRatio), colour);
        m_chevronColour = colour;
    }
    return m_chevron;
}
