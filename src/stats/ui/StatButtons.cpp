#include "stats/ui/StatButtons.h"

#include "stats/ui/AkRun.h"
#include "stats/ui/CordRun.h"
#include "stats/ui/FormStatPr.h"
#include "stats/ui/PbRun.h"
#include "stats/ui/StatDesk.h"
#include "stats/ui/TrunkRun.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/RequestSession.h"

#include <QGridLayout>
#include <QPushButton>
#include <QWidget>

const std::vector<StatButtonInfo>& StatButtonCatalogue() {
    static const std::vector<StatButtonInfo> c{
        {"ButtonStatPB", QStringLiteral("Статистика ПБ"),
         QStringLiteral("Снятие статистики Приемников Батарейных")},
        {"ButtonStatIK", QStringLiteral("Статистика ИК"),
         QStringLiteral("Снятие статистики Исходящих Комплектов")},
        {"ButtonStatVK", QStringLiteral("Статистика ВК"),
         QStringLiteral("Снятие статистики Входящих Комплектов")},
        {"ButtonStatAK", QStringLiteral("Статистика АК"),
         QStringLiteral("Снятие статистики Абонентских Комплектов")},
        {"ButtonStatISK", QStringLiteral("Статистика ИШК"),
         QStringLiteral("Снятие статистики Исходящих Шнуровых Комплектов")},
        {"ButtonStatVSK", QStringLiteral("Статистика ВШК"),
         QStringLiteral("Снятие статистики Входящих Шнуровых Комплектов")},
    };
    return c;
}

StatButtons::StatButtons(QWidget* page, ExchangeSet& exchanges, RequestTracker& tracker,
                         const QString& curDir, QWidget* mainWindow,
                         std::function<void(const QString&)> status)
    : QObject(mainWindow), m_ctx(exchanges, tracker, curDir),
      m_progress(std::make_unique<TFormStatPr>()) {
    setObjectName(QStringLiteral("StatButtons"));
    m_progress->BindTracker(tracker);
    m_desk = std::make_unique<StatDesk>(m_ctx, mainWindow, *m_progress, std::move(status));
    if (page) {
        auto* grid = new QGridLayout(page);
        grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        int row = 0;
        for (const StatButtonInfo& b : StatButtonCatalogue()) {
            auto* button = new QPushButton(b.caption, page);
            button->setObjectName(QLatin1String(b.name));
            button->setToolTip(b.hint);
            button->setMinimumWidth(160);
            button->setEnabled(false);
            const QString name = QLatin1String(b.name);
            connect(button, &QPushButton::clicked, this, [this, name] { Click(name); });
            grid->addWidget(button, row++, 0);
            m_buttons.emplace_back(button, nullptr);
        }
    }
    SetRun(QStringLiteral("ButtonStatVK"), ButtonStatVKClick);
    SetRun(QStringLiteral("ButtonStatIK"), ButtonStatIKClick);
    SetRun(QStringLiteral("ButtonStatPB"), ButtonStatPBClick);
    SetRun(QStringLiteral("ButtonStatAK"), ButtonStatAKClick);
    SetRun(QStringLiteral("ButtonStatISK"), ButtonStatISKClick);
    SetRun(QStringLiteral("ButtonStatVSK"), ButtonStatVSKClick);
}

StatButtons::~StatButtons() = default;

QPushButton* StatButtons::Button(const QString& name) const {
    for (const auto& [button, run] : m_buttons)
        if (button->objectName() == name) return button;
    return nullptr;
}

void StatButtons::SetRun(const QString& name, Run run) {
    for (auto& [button, r] : m_buttons)
        if (button->objectName() == name) {
            r = std::move(run);
            button->setEnabled(bool(r));
        }
}

void StatButtons::Click(const QString& name) {
    if (m_ctx.Running || m_desk->Busy()) return; // one run at a time
    for (const auto& [button, run] : m_buttons)
        if (button->objectName() == name && run) {
            QString owner = button->text();
            if (!owner.isEmpty()) owner[0] = owner[0].toLower();
            // Another tool holds the line: refused before anything is asked.
            if (TAts* ats = m_ctx.Exchanges.Current(); ats && ats->Session()) {
                emit ats->lineRefused(RequestSession::BusyText(*ats));
                return;
            }
            m_ctx.Owner = owner;
            const Run copy = run; // the binding may change during the run
            copy(*m_desk);
            return;
        }
}
