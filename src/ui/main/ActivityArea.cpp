#include "ActivityArea.h"

#include "Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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
    , m_busyText(new QLabel(m_busyPage))
    , m_notice(new QLabel(this)) {
    m_bar->setObjectName(QStringLiteral("transferProgressBar"));
    m_bar->setFixedWidth(120);
    m_bar->setRange(0, barSteps);
    m_bar->setTextVisible(false);
    m_line->setObjectName(QStringLiteral("transferProgressText"));
    m_line->setTextFormat(Qt::PlainText);
    m_line->setFont(typography::caption(this));
    typography::makeSecondary(m_line);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_progressPage);
    cancel->setObjectName(QStringLiteral("transferCancelButton"));
    cancel->setToolTip(QStringLiteral("Stop the transfer: files already complete stay, the one on its way "
                                      "is dropped"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &ActivityArea::cancelRequested);
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(4);
    texts->addWidget(m_bar, 0, Qt::AlignRight);
    texts->addWidget(m_line, 0, Qt::AlignRight);
    auto* progressLayout = new QHBoxLayout(m_progressPage);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->addLayout(texts);
    progressLayout->addWidget(cancel, 0, Qt::AlignVCenter);

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

    m_notice->setObjectName(QStringLiteral("transferNotice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    addWidget(m_empty);
    addWidget(m_progressPage);
    addWidget(m_busyPage);
    addWidget(m_notice);
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

void ActivityArea::showNotice(const QString& words) {
    m_notice->setText(words);
    setCurrentWidget(m_notice);
}

void ActivityArea::showBusy(const QString& text) {
    m_busyText->setText(text);
    setCurrentWidget(m_busyPage);
}
