#include "state/ui/StatePages.h"

#include "state/ui/AtsStatePage.h"
#include "state/ui/FaultsPage.h"
#include "state/ui/PuuPages.h"
#include "state/ui/RepairPages.h"

#include <QTimer>
#include <QWidget>

StatePages::StatePages(QWidget* window, TabPages& pages, ExchangeSet& exchanges, StateHooks hooks)
    : QObject(window) {
    setObjectName(QStringLiteral("StatePages"));
    m_ctx.window = window;
    m_ctx.exchanges = &exchanges;
    m_ctx.pages = &pages;
    m_ctx.hooks = std::move(hooks);
    m_ctx.puuWait = new QTimer(this);
    m_ctx.puuWait->setObjectName(QStringLiteral("TimerPuuWait"));
    m_ctx.puuWait->setInterval(kPuuWaitMs);
    m_ctx.puuWait->setSingleShot(true);
    m_puu = std::make_unique<PuuPages>(m_ctx);
    m_atsState = std::make_unique<AtsStatePage>(m_ctx);
    m_faults = std::make_unique<FaultsPage>(m_ctx);
    m_repair = std::make_unique<RepairPages>(m_ctx);
}

StatePages::~StatePages() = default;

void StatePages::SetProgress(StateProgress progress) {
    m_ctx.hooks.Progress = std::move(progress);
}
