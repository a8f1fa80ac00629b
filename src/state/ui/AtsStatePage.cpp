#include "state/ui/AtsStatePage.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/RequestSession.h"
#include "platform/ui/TabPages.h"
#include "state/ui/StatePages.h"
#include "state/ui/StateWidgets.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

AtsStatePage::AtsStatePage(StateContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("AtsStatePage"));
    QWidget* page =
        ctx.pages->Make({QStringLiteral("Обслуживание АТС"), QStringLiteral("Состояние АТС")});
    if (!page) return;
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("PanelStateATS"));
    auto* lay = new QVBoxLayout(panel);
    auto* top = new QHBoxLayout;
    auto* button = new QPushButton(QStringLiteral("Снять состояние АТС"));
    button->setObjectName(QStringLiteral("ButtonStateATS"));
    button->setToolTip(QStringLiteral("Заказ распечатки состояния АТС"));
    top->addWidget(button);
    top->addStretch(1);
    lay->addLayout(top);
    m_memo = stateui::ResultList(QStringLiteral("MemoStateATS"),
                                 QStringLiteral("Окно отображения состояния АТС"));
    lay->addWidget(m_memo, 1);
    stateui::AddContent(page, panel);
    connect(button, &QPushButton::clicked, this, &AtsStatePage::StateATSClick);
}

AtsStatePage::~AtsStatePage() = default;

void AtsStatePage::StateATSClick() {
    RequestTracker* tracker = m_ctx.hooks.Tracker ? m_ctx.hooks.Tracker() : nullptr;
    if (m_ctx.busy || !tracker || !m_ctx.puuWait || !m_memo) return;
    m_ctx.busy = true;
    m_memo->clear();
    // The run before has ended (busy was cleared); its object may still be
    // on the stack of its last report.
    if (m_run) m_run.release()->deleteLater();
    m_run = std::make_unique<StateSummary>(*m_ctx.exchanges, *tracker, *m_ctx.puuWait);
    m_run->Send = m_ctx.hooks.Send;
    m_run->Progress = m_ctx.hooks.Progress;
    m_run->OnLine = [memo = QPointer<QPlainTextEdit>(m_memo)](const QString& line) {
        if (memo) memo->appendPlainText(line);
    };
    m_run->OnEnd = [this](StateSummary::End end) {
        m_ctx.busy = false;
        const QString why = EndText(end);
        if (!why.isEmpty() && m_memo) m_memo->appendPlainText(why);
        emit finished(end);
    };
    m_run->Run();
}

QString AtsStatePage::EndText(StateSummary::End end) const {
    using End = StateSummary::End;
    switch (end) {
    case End::Done:
    case End::Escaped:
        return QString();
    case End::NoExchange:
        return QStringLiteral("Состояние АТС не снято: АТС не выбрана");
    case End::LineOff:
        return QStringLiteral("Состояние АТС не снято: порт АТС закрыт");
    case End::LineBusy: {
        // Said while the holder still has the line.
        TAts* ats = m_ctx.exchanges ? m_ctx.exchanges->Current() : nullptr;
        const QString busy = ats ? RequestSession::BusyText(*ats) : QString();
        return busy.isEmpty() ? QStringLiteral("Состояние АТС не снято: линия АТС занята") : busy;
    }
    case End::LineLost:
        // The lines above it are all the run formed.
        return QStringLiteral("Состояние АТС снято не полностью: линия АТС потеряна");
    }
    return QString();
}
