#include "state/ui/AtsStatePage.h"

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
    QWidget* page = MakeTabPage(
        ctx.window, {QStringLiteral("Обслуживание АТС"), QStringLiteral("Состояние АТС")});
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

void AtsStatePage::StateATSClick() {
    RequestTracker* tracker = m_ctx.hooks.Tracker ? m_ctx.hooks.Tracker() : nullptr;
    if (m_ctx.busy || !tracker || !m_ctx.puuWait || !m_memo) return;
    m_ctx.busy = true;
    const QPointer<AtsStatePage> self(this);
    const QPointer<QPlainTextEdit> memo(m_memo);
    memo->clear();
    StateSummary summary(*m_ctx.exchanges, *tracker, *m_ctx.puuWait);
    summary.Send = m_ctx.hooks.Send;
    summary.Progress = m_ctx.hooks.Progress;
    summary.OnLine = [memo](const QString& line) {
        if (memo) memo->appendPlainText(line);
    };
    summary.Run();
    if (self) m_ctx.busy = false;
}
