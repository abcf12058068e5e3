#include "UploadToFavoriteSheet.h"

#include "Icons.h"
#include "model/FavoritesManager.h"
#include "session/TransferText.h"
#include "session/UploadJob.h"
#include "session/UploadToFavoriteFlow.h"
#include "ui/main/Typography.h"
#include "ui/main/WidgetPrompter.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QColor systemRed(255, 59, 48);
const QColor systemYellow(255, 204, 0);
const QColor systemGreen(52, 199, 89);
constexpr int iconSize = 16;
// The bar works in integers; a batch may hold more bytes than an int counts.
constexpr int barSteps = 10000;
// The favorites list keeps room for about one row, even without any.
constexpr int minimumRowsHeight = 48;

// The symbol in one flat colour, whatever colours the theme drew it in.
QPixmap tinted(const QIcon& icon, const QColor& colour, qreal devicePixelRatio) {
    QPixmap pixmap = icon.pixmap(QSize(iconSize, iconSize), devicePixelRatio);
    if (pixmap.isNull())
        return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), pixmap.size()), colour);
    return pixmap;
}

// A filled circle with the check cut out in white: tinting a theme's icon would fill the check as well.
QPixmap checkCircle(const QColor& colour, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(iconSize, iconSize) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, iconSize - 1, iconSize - 1));
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPointF check[] = {{4.5, 8.3}, {7.0, 10.8}, {11.5, 5.6}};
    painter.drawPolyline(check, 3);
    return pixmap;
}

// One favorite: the whole row is one flat button.
class FavoriteRow : public QAbstractButton {
public:
    FavoriteRow(const ListedFavorite& listed, QWidget* parent)
        : QAbstractButton(parent)
        , m_favorite(listed.favorite)
        , m_name(new QLabel(listed.label, this))
        , m_path(new QLabel(listed.shownPath, this))
        , m_check(new QLabel(this)) {
        setObjectName(QStringLiteral("uploadSheetFavoriteRow"));
        setProperty("favoriteId", listed.favorite.id);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName(listed.label);

        auto* star = new QLabel(this);
        star->setObjectName(QStringLiteral("uploadSheetFavoriteStar"));
        star->setPixmap(tinted(symbolIcon(u"star.fill"), systemYellow, devicePixelRatioF()));
        m_name->setObjectName(QStringLiteral("uploadSheetFavoriteName"));
        m_name->setTextFormat(Qt::PlainText);
        // Inside a button a label would draw in the button's text colour; these texts follow the row.
        m_name->setForegroundRole(QPalette::WindowText);
        m_path->setObjectName(QStringLiteral("uploadSheetFavoritePath"));
        m_path->setTextFormat(Qt::PlainText);
        m_path->setForegroundRole(QPalette::WindowText);
        m_path->setFont(typography::caption(this));
        m_check->setObjectName(QStringLiteral("uploadSheetFavoriteCheck"));
        m_check->setPixmap(checkCircle(systemGreen, devicePixelRatioF()));
        m_check->setVisible(false);
        // Clicks anywhere on the row belong to the row.
        for (QWidget* child : {static_cast<QWidget*>(star), static_cast<QWidget*>(m_name),
                               static_cast<QWidget*>(m_path), static_cast<QWidget*>(m_check)})
            child->setAttribute(Qt::WA_TransparentForMouseEvents);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->setContentsMargins(0, 0, 0, 0);
        texts->addWidget(m_name);
        texts->addWidget(m_path);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(12, 10, 12, 10);
        layout->addWidget(star, 0, Qt::AlignVCenter);
        layout->addLayout(texts);
        layout->addStretch(1);
        layout->addWidget(m_check, 0, Qt::AlignVCenter);
        setSelected(false);
    }

    const Favorite& favorite() const { return m_favorite; }

    void setSelected(bool selected) {
        m_selected = selected;
        m_check->setVisible(selected);
        // Text on the selection colour takes the colours made for it, so it stays readable in every theme.
        const QPalette base = palette();
        QPalette name = base;
        QPalette path = base;
        if (selected) {
            name.setColor(QPalette::WindowText, base.color(QPalette::HighlightedText));
            QColor dimmed = base.color(QPalette::HighlightedText);
            dimmed.setAlphaF(0.75f);
            path.setColor(QPalette::WindowText, dimmed);
        } else {
            path.setColor(QPalette::WindowText, typography::secondary(this));
        }
        m_name->setPalette(name);
        m_path->setPalette(path);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!m_selected)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(shape, palette().color(QPalette::Highlight));
    }

private:
    Favorite m_favorite;
    QLabel* m_name;
    QLabel* m_path;
    QLabel* m_check;
    bool m_selected = false;
};

} // namespace

UploadToFavoriteSheet::UploadToFavoriteSheet(QList<QUrl> fileURLs, FavoritesManager& favoritesManager,
                                             UploadJob& job, QWidget* parent)
    : QDialog(parent)
    , m_job(job)
    , m_prompter(new WidgetPrompter(this))
    , m_flow(new UploadToFavoriteFlow(std::move(fileURLs), favoritesManager, job, *m_prompter, this)) {
    setObjectName(QStringLiteral("uploadToFavoriteSheet"));
    setWindowTitle(QStringLiteral("Upload to favorite folder"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(400, 420);

    auto* title = new QLabel(QStringLiteral("Upload to favorite folder"), this);
    title->setObjectName(QStringLiteral("uploadSheetTitle"));
    title->setFont(typography::headline(this));
    title->setAlignment(Qt::AlignCenter);

    QStringList names;
    for (const QUrl& file : m_flow->files())
        names << file.fileName();
    auto* count = new QLabel(transfertext::namesText(names), this);
    count->setObjectName(QStringLiteral("uploadSheetFileCount"));
    count->setTextFormat(Qt::PlainText);
    count->setAlignment(Qt::AlignCenter);
    count->setWordWrap(true);
    typography::makeSecondary(count);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("uploadSheetError"));
    m_error->setTextFormat(Qt::PlainText); // the error exactly as the operation reported it
    m_error->setWordWrap(true);
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setFont(typography::caption(this));
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: rgba(%2, %3, %4, 15%); "
                                          "padding: 8px; }")
                               .arg(systemRed.name())
                               .arg(systemRed.red())
                               .arg(systemRed.green())
                               .arg(systemRed.blue()));

    auto* scroll = m_scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("uploadSheetFavorites"));
    scroll->setWidgetResizable(true);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowsHost = new QWidget(scroll);
    m_rowsLayout = new QVBoxLayout(m_rowsHost);
    m_rowsLayout->setContentsMargins(4, 4, 4, 4);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch(1);
    scroll->setWidget(m_rowsHost);

    m_progressArea = new QWidget(this);
    m_progressArea->setObjectName(QStringLiteral("uploadSheetProgressArea"));
    m_progressBar = new QProgressBar(m_progressArea);
    m_progressBar->setObjectName(QStringLiteral("uploadSheetProgressBar"));
    m_progressBar->setRange(0, barSteps);
    m_progressBar->setTextVisible(false);
    m_progressLine = new QLabel(m_progressArea);
    m_progressLine->setObjectName(QStringLiteral("uploadSheetProgressLine"));
    m_progressLine->setTextFormat(Qt::PlainText);
    m_progressLine->setAlignment(Qt::AlignCenter);
    m_progressLine->setFont(typography::caption(this));
    typography::makeSecondary(m_progressLine);
    auto* progressLayout = new QVBoxLayout(m_progressArea);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(8);
    progressLayout->addWidget(m_progressBar);
    progressLayout->addWidget(m_progressLine);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("uploadSheetCancel"));
    cancel->setAutoDefault(false); // Return means "Upload", whatever has the focus
    m_upload = new QPushButton(QStringLiteral("Upload"), this);
    m_upload->setObjectName(QStringLiteral("uploadSheetUpload"));
    m_upload->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    buttons->addWidget(m_upload, 0, Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    layout->addWidget(title);
    layout->addWidget(count);
    layout->addWidget(m_error);
    layout->addWidget(scroll, 1);
    layout->addStretch(1);
    layout->addWidget(m_progressArea);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &UploadToFavoriteSheet::reject);
    connect(m_upload, &QPushButton::clicked, m_flow, &UploadToFavoriteFlow::upload);
    connect(m_flow, &UploadToFavoriteFlow::changed, this, &UploadToFavoriteSheet::render);
    connect(&job, &UploadJob::progressChanged, this, &UploadToFavoriteSheet::render);
    connect(m_flow, &UploadToFavoriteFlow::dismissed, this, [this] {
        Q_EMIT dismissed();
        // Done from inside the sheet: close even when no presenter does it.
        if (isVisible())
            close();
    });
    connect(&favoritesManager, &FavoritesManager::favoritesChanged, this,
            &UploadToFavoriteSheet::rebuildRows);
    connect(&favoritesManager, &FavoritesManager::connectionsChanged, this,
            &UploadToFavoriteSheet::rebuildRows);

    rebuildRows();
    render();
}

UploadToFavoriteSheet::~UploadToFavoriteSheet() = default;

QList<QAbstractButton*> UploadToFavoriteSheet::favoriteRows() const {
    return m_rowsHost->findChildren<QAbstractButton*>(QStringLiteral("uploadSheetFavoriteRow"),
                                                      Qt::FindDirectChildrenOnly);
}

void UploadToFavoriteSheet::rebuildRows() {
    for (QAbstractButton* row : favoriteRows())
        delete row;
    int at = 0;
    int rowsHeight = 0;
    for (const ListedFavorite& listed : m_flow->listedFavorites()) {
        auto* row = new FavoriteRow(listed, m_rowsHost);
        row->setSelected(m_flow->isSelected(listed.favorite));
        connect(row, &QAbstractButton::clicked, m_flow,
                [this, favorite = listed.favorite] { m_flow->select(favorite); });
        m_rowsLayout->insertWidget(at++, row);
        rowsHeight += row->sizeHint().height();
    }
    // No taller than its rows, so a few of them show without a scroll bar and the sheet keeps the rest of
    // its height; it gives way (and scrolls) when the progress or an error needs the room.
    const QMargins margins = m_rowsLayout->contentsMargins();
    const int chrome = margins.top() + margins.bottom() + 2 * m_scroll->frameWidth();
    m_scroll->setMaximumHeight(std::max(rowsHeight, minimumRowsHeight) + chrome);
    m_scroll->setMinimumHeight(minimumRowsHeight + chrome);
}

void UploadToFavoriteSheet::render() {
    const UploadToFavoriteFlow& flow = *m_flow;
    m_error->setVisible(flow.errorMessage().has_value());
    m_error->setText(flow.errorMessage().value_or(QString()));

    for (QAbstractButton* row : favoriteRows()) {
        auto* favoriteRow = static_cast<FavoriteRow*>(row);
        favoriteRow->setSelected(flow.isSelected(favoriteRow->favorite()));
    }

    m_progressArea->setVisible(m_job.isTransferring());
    m_progressBar->setValue(
        qBound(0, qRound(m_job.progressValue() / m_job.progressTotal() * barSteps), barSteps));
    m_progressLine->setText(m_job.progressLine().value_or(QString()));
    m_upload->setEnabled(flow.canUpload());
}

void UploadToFavoriteSheet::reject() {
    if (m_closingQuietly) {
        QDialog::reject();
        return;
    }
    // The user's "Cancel". The presenter may close the sheet in answer, before this returns.
    const QPointer<UploadToFavoriteSheet> self(this);
    Q_EMIT dismissed();
    if (self && isVisible())
        QDialog::reject();
}

void UploadToFavoriteSheet::closeEvent(QCloseEvent* event) {
    // The window's own close button is the user's "Cancel"; close() from the presenter is not.
    m_closingQuietly = !event->spontaneous();
    const QPointer<UploadToFavoriteSheet> self(this);
    QDialog::closeEvent(event);
    if (self)
        m_closingQuietly = false;
}
