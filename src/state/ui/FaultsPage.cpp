#include "state/ui/FaultsPage.h"

#include "directives/ui/MaskEdit.h"
#include "platform/ui/TabPages.h"
#include "state/FailureWord.h"
#include "state/ui/StatePages.h"
#include "state/ui/StateWidgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

FaultsPage::FaultsPage(StateContext& ctx) {
    setObjectName(QStringLiteral("FaultsPage"));
    QWidget* page = ctx.pages->Find({QStringLiteral("Сбои")});
    if (!page) return;
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("PanelSboy"));
    auto* row = new QHBoxLayout(panel);
    auto* form = new QGridLayout;
    row->addLayout(form);
    m_rsp = stateui::HexField(QStringLiteral("MaskEditSboyRsp"), QStringLiteral("РСП"), 4);
    m_evm = new stateui::StateField(QStringLiteral("MaskEditSboyEvm"), QStringLiteral("№ ЭУМ"), 1);
    form->addWidget(new QLabel(QStringLiteral("РСП")), 0, 0);
    form->addWidget(m_rsp, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("№ ЭУМ")), 1, 0);
    form->addWidget(m_evm, 1, 1);
    auto* button = new QPushButton(QStringLiteral("Сформировать результат"));
    button->setObjectName(QStringLiteral("ButtonSboy"));
    form->addWidget(button, 2, 0, 1, 2);
    form->setRowStretch(3, 1);
    m_memo = stateui::ResultList(QStringLiteral("MemoSboy"), QString());
    row->addWidget(m_memo, 1);
    stateui::AddContent(page, panel);
    connect(button, &QPushButton::clicked, this, &FaultsPage::ButtonSboyClick);
}

void FaultsPage::ButtonSboyClick() {
    if (!m_memo) return;
    m_memo->setPlainText(
        failure::Analyse(m_rsp->NumberText(), m_evm->text()).join(QLatin1Char('\n')));
}
