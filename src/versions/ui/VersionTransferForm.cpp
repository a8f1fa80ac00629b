#include "versions/ui/VersionTransferForm.h"

#include "link/Notation.h"
#include "platform/ui/Named.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

VersionTransferForm::VersionTransferForm(std::unique_ptr<VersionSession> session,
                                         VersionLineProvider lines, QString curDir,
                                         QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), m_owned(std::move(session)), m_session(*m_owned),
      m_lines(std::move(lines)), m_curDir(std::move(curDir)), m_mainWindow(mainWindow) {
    connect(&m_session, &VersionSession::lineLost, this, &VersionTransferForm::LineLost,
            Qt::QueuedConnection);
}

VersionTransferForm::~VersionTransferForm() {
    // The line goes back before the session and the line object go.
    if (m_session.Holding()) m_session.GiveBack();
    m_line.reset();
}

void VersionTransferForm::BuildWindow(const Texts& t) {
    setObjectName(t.name);
    setWindowTitle(t.caption);
    auto* lay = new QVBoxLayout(this);

    m_type = Named(new QComboBox, QStringLiteral("ComboBoxType"));
    m_type->addItems({QStringLiteral("Планета"), QStringLiteral("VEF")});
    auto* top = new QHBoxLayout;
    top->addWidget(m_type);
    top->addWidget(Named(new QLabel(t.before), QStringLiteral("LabelActivate")));
    m_loader = Named(new QLabel, QStringLiteral("LabelLoader"));
    QFont bold = m_loader->font();
    bold.setBold(true);
    m_loader->setFont(bold);
    top->addWidget(m_loader);
    top->addWidget(Named(new QLabel(t.after), QStringLiteral("LabelPressStart")));
    top->addStretch(1);
    lay->addLayout(top);
    connect(m_type, &QComboBox::currentIndexChanged, this, [this](int i) { TypeChanged(i); });

    auto* buttons = new QHBoxLayout;
    m_start = Named(new QPushButton(QStringLiteral("Старт")), QStringLiteral("Start"), t.startHint);
    m_stop = Named(new QPushButton(QStringLiteral("Стоп")), QStringLiteral("Stop"), t.stopHint);
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addStretch(1);
    lay->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, [this] { StartClick(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { StopClick(); });
    // The Cancel key stops, as the Stop button.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { StopClick(); });

    auto* bars = new QGridLayout;
    for (int area = 1; area <= Vers::kAreas; ++area) {
        auto* bar = Named(new QProgressBar, QStringLiteral("ProgressBar%1").arg(area));
        bar->setRange(0, Vers::ProgressMax(area));
        bar->setTextVisible(false);
        m_bars[size_t(area - 1)] = bar;
        bars->addWidget(new QLabel(Vers::AreaLabel(area)), area - 1, 0);
        bars->addWidget(bar, area - 1, 1);
    }
    lay->addLayout(bars);

    m_timeRow = new QGridLayout;
    m_timeRow->addWidget(new QLabel(QStringLiteral("Адрес:")), 0, 0);
    m_address = Named(new QLabel, QStringLiteral("LabelAddress"));
    m_address->setMinimumWidth(60);
    m_timeRow->addWidget(m_address, 0, 1);
    m_timeRow->addWidget(new QLabel(QStringLiteral("Время:")), 0, 2);
    m_time = Named(new QLabel, QStringLiteral("LabelTime"));
    m_time->setMinimumWidth(50);
    m_timeRow->addWidget(m_time, 0, 3);
    m_timeRow->setColumnStretch(6, 1);
    lay->addLayout(m_timeRow);

    auto* total = new QHBoxLayout;
    m_total = Named(new QProgressBar, QStringLiteral("ProgressBarTotal"));
    m_total->setRange(0, 1000);
    m_total->setFormat(QStringLiteral("%p%"));
    m_remaining = Named(new QLabel, QStringLiteral("LabelRemaining"));
    m_remaining->setMinimumWidth(110);
    total->addWidget(m_total, 1);
    total->addWidget(m_remaining);
    lay->addLayout(total);

    m_memo = Named(new QPlainTextEdit, QStringLiteral("Memo1"));
    m_memo->setReadOnly(true);
    m_memo->setUndoRedoEnabled(false);
    m_memo->setMaximumBlockCount(5000);
    lay->addWidget(m_memo, 1);

    m_timer1 = Named(new QTimer(this), QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, [this] { ClockTick(); });
    resize(560, 520);
}

void VersionTransferForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (e->spontaneous()) return; // restored from the task bar
    if (m_mainWindow) {
        m_mainState = m_mainWindow->windowState();
        m_mainWindow->setWindowState(m_mainState | Qt::WindowMinimized);
    }
    m_memo->clear();
    TakeOverLine();
    ResetProgress();
}

void VersionTransferForm::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (e->spontaneous()) return; // minimised
    StopClick();
    GiveBackLine();
    if (m_mainWindow) m_mainWindow->setWindowState(m_mainState);
}

void VersionTransferForm::TakeOverLine() {
    m_line = m_lines ? m_lines() : nullptr;
    if (!m_session.TakeOver(m_line.get())) {
        // Another tool holds the line: the log says which; nothing is sent.
        if (const QString why = m_line ? m_line->Refusal() : QString(); !why.isEmpty()) {
            Log(why);
            return;
        }
        Dialogs.message(this, QStringLiteral("Cant close port"));
    }
    Log(ShownText(m_session.Holding() && m_session.LineOpen()));
}

void VersionTransferForm::GiveBackLine() {
    if (!m_session.Holding()) {
        m_session.Stop();
        return;
    }
    const bool open = m_session.GiveBack();
    const QString status = GivenBackText(open);
    if (!status.isEmpty() && m_line) m_line->ShowStatus(status);
}

void VersionTransferForm::LineLost() {
    Log(PortState(false));
    StopClick();
    GiveBackLine();
}

int VersionTransferForm::PortNumber() const {
    return m_line ? m_line->PortNumber() : 0;
}

QString VersionTransferForm::PortState(bool open) const {
    return QStringLiteral("Порт Com%1%2")
        .arg(PortNumber())
        .arg(open ? QStringLiteral(" открыт") : QStringLiteral(" закрыт"));
}

void VersionTransferForm::Log(const QString& line) {
    m_memo->appendPlainText(line);
}

void VersionTransferForm::ResetProgress() {
    for (QProgressBar* b : m_bars)
        b->setValue(0);
    m_total->setValue(0);
    m_remaining->clear();
    m_rateStart = -1;
}

void VersionTransferForm::ShowBlock(uint16_t address, int area, int position) {
    const QString text = ValueToVarnel(address);
    m_address->setText(text);
    Log(text);
    if (area >= 1 && area <= Vers::kAreas) m_bars[size_t(area - 1)]->setValue(position);
}

void VersionTransferForm::ShowTotal(int done, int total) {
    if (total <= 0) return;
    m_total->setValue(int(int64_t(std::clamp(done, 0, total)) * 1000 / total));
    // The rate is measured from the first block done on.
    if (done >= 1 && m_rateStart < 0) {
        m_rateStart = m_session.Now();
        m_rateDone = done;
    }
    const int left = m_rateStart < 0
                         ? -1
                         : Vers::RemainingSeconds(m_session.Now() - m_rateStart, done - m_rateDone,
                                                  total - m_rateDone);
    m_remaining->setText(left < 0 ? QString()
                                  : QStringLiteral("Осталось ") + Vers::MinutesSeconds(left));
}

void VersionTransferForm::StartClock() {
    m_clockStart = m_session.Now();
    m_time->setText(Vers::MinutesSeconds(0));
    m_timer1->start();
}

void VersionTransferForm::StopClock() {
    m_timer1->stop();
}

void VersionTransferForm::ClockTick() {
    if (m_clockStart >= 0)
        m_time->setText(Vers::MinutesSeconds(int((m_session.Now() - m_clockStart) / 1000)));
}
