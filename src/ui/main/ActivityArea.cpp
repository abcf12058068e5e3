#include "ActivityArea.h"

#include "Typography.h"
#include "ui/panels/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int barSteps = 10000; // QProgressBar counts in ints; byte totals do not fit

} // namespace

ActivityArea::ActivityArea(QWidget* parent)
    : QStackedWidget(parent)
    , m_empty(new QWidget(this))
    , m_progressPage(new QWidget(this))
    , m_busyPage(new QWidget(this))
    , m_bar(new QProgressBar(m_progressPage))
    , m_line(new QLabel(m_progressPage))
    , m_busyText(new QLabel(m_busyPage)) {
    m_bar->setObjectName(QStringLiteral("uploadProgressBar"));
    m_bar->setFixedWidth(120);
    m_bar->setRange(0, barSteps);
    m_bar->setTextVisible(false);
    m_line->setObjectName(QStringLiteral("uploadProgressText"));
    m_line->setTextFormat(Qt::PlainText);
    m_line->setFont(typography::caption(this));
    typography::makeSecondary(m_line);
    auto* stop = new QToolButton(m_progressPage);
    stop->setObjectName(QStringLiteral("uploadStopButton"));
    stop->setIcon(symbolIcon(u"xmark.circle.fill"));
    stop->setToolTip(QStringLiteral("Stop the upload"));
    stop->setAutoRaise(true);
    connect(stop, &QToolButton::clicked, this, &ActivityArea::stopRequested);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(0, 0, 0, 0);
    barRow->addWidget(m_bar);
    barRow->addWidget(stop);
    auto* progressLayout = new QVBoxLayout(m_progressPage);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(4);
    progressLayout->addLayout(barRow);
    progressLayout->setAlignment(barRow, Qt::AlignRight);
    progressLayout->addWidget(m_line, 0, Qt::AlignRight);

    auto* spinner = new QProgressBar(m_busyPage);
    spinner->setObjectName(QStringLiteral("busySpinner"));
    spinner->setRange(0, 0); // indeterminate
    spinner->setTextVisible(false);
    spinner->setFixedSize(40, 12); // the small, 0.8-scaled indicator
    m_busyText->setObjectName(QStringLiteral("busyText"));
    m_busyText->setFont(typography::caption(this));
    typography::makeSecondary(m_busyText);
    auto* busyLayout = new QHBoxLayout(m_busyPage);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    busyLayout->addWidget(spinner);
    busyLayout->addWidget(m_busyText);

    addWidget(m_empty);
    addWidget(m_progressPage);
    addWidget(m_busyPage);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
}

void ActivityArea::showNothing() {
    setCurrentWidget(m_empty);
}

void ActivityArea::showProgress(double value, double total, const QString& line) {
    m_bar->setValue(total > 0 ? int(qBound(0.0, value / total, 1.0) * barSteps) : 0);
    m_line->setText(line);
    setCurrentWidget(m_progressPage);
}

void ActivityArea::showBusy(const QString& text) {
    m_busyText->setText(text);
    setCurrentWidget(m_busyPage);
}
