#include "state/ui/RepairPages.h"

#include "directives/ui/MaskEdit.h"
#include "platform/ui/TabPages.h"
#include "state/ui/StatePages.h"
#include "state/ui/StateWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

using repair::Kit;

namespace {
// A box of relay check boxes ("Выключение реле" or "Включение реле").
QGroupBox* RelayBox(const repair::Form& f, const QString& title, const QString& which,
                    std::vector<std::pair<QCheckBox*, int>>& boxes) {
    auto* box = new QGroupBox(title);
    box->setObjectName(QStringLiteral("GroupBox") + f.suffix + which);
    auto* lay = new QVBoxLayout(box);
    for (const repair::Relay& r : f.relays) {
        auto* c = new QCheckBox(r.caption);
        c->setObjectName(QStringLiteral("CheckBox") + f.suffix + which + QString::number(r.weight));
        lay->addWidget(c);
        boxes.emplace_back(c, r.weight);
    }
    lay->addStretch(1);
    return box;
}

int Sum(const std::vector<std::pair<QCheckBox*, int>>& boxes) {
    int sum = 0;
    for (const auto& [box, weight] : boxes)
        if (box->isChecked()) sum += weight;
    return sum;
}
} // namespace

RepairPages::RepairPages(StateContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("RepairPages"));
    for (const repair::Form& f : repair::Forms()) {
        // The repair tabs sit with the other maintenance directives.
        QWidget* page = ctx.pages->Make({QStringLiteral("Директивы ТО"), f.tab});
        if (!page) continue;
        page->setToolTip(f.tab);
        Controls& c = m_controls[size_t(f.kit)];

        auto* panel = new QWidget;
        panel->setObjectName(QStringLiteral("PanelRepair") + f.suffix);
        auto* lay = new QVBoxLayout(panel);
        auto* top = new QHBoxLayout;
        top->addWidget(new QLabel(f.numberHint));
        c.number = stateui::HexField(QStringLiteral("MaskEdit") + f.suffix, f.numberHint,
                                     repair::kNumberLength);
        top->addWidget(c.number);
        c.start = new QPushButton(QStringLiteral("Запуск"));
        c.start->setObjectName(QStringLiteral("ButtonRepair") + f.suffix);
        c.start->setToolTip(f.buttonHint);
        c.start->setMouseTracking(true);
        c.start->installEventFilter(this);
        top->addWidget(c.start);
        top->addStretch(1);
        lay->addLayout(top);

        auto* groups = new QHBoxLayout;
        c.cycle = stateui::RadioGroup(panel, groups, QStringLiteral("RadioGroup") + f.suffix,
                                      QStringLiteral("Цикл"), repair::CycleItems());
        if (!f.selectorItems.isEmpty())
            c.relay =
                stateui::RadioGroup(panel, groups, QStringLiteral("RadioGroupRele") + f.suffix,
                                    f.selectorTitle, f.selectorItems);
        groups->addWidget(
            RelayBox(f, QStringLiteral("Выключение реле"), QStringLiteral("Off"), c.off));
        groups->addWidget(
            RelayBox(f, QStringLiteral("Включение реле"), QStringLiteral("On"), c.on));
        groups->addStretch(1);
        lay->addLayout(groups);
        lay->addStretch(1);
        stateui::AddContent(page, panel);
        connect(c.start, &QPushButton::clicked, this, [this, k = f.kit] { RepairClick(k); });
    }
}

QString RepairPages::Directive(Kit kit) const {
    const Controls& c = Of(kit);
    if (!c.number) return QString();
    repair::Choice choice;
    choice.number = c.number->NumberText();
    choice.off = Sum(c.off);
    choice.on = Sum(c.on);
    choice.relay = c.relay ? std::max(0, c.relay->checkedId()) : 0;
    choice.cycle = std::max(0, c.cycle->checkedId());
    return repair::Compose(repair::FormOf(kit), choice);
}

void RepairPages::RepairClick(Kit kit) {
    const Controls& c = Of(kit);
    if (!c.number) return;
    if (c.number->IsBlank()) {
        // Without a number the directive would name no kit ("ТО_2C,,...").
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Запуск"),
                                    repair::FormOf(kit).numberHint, QMessageBox::Ok, m_ctx.window);
        box->setObjectName(QStringLiteral("MessageRepairNumber"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QDialog::finished, c.number, [n = c.number] { n->setFocus(); });
        box->open();
        return;
    }
    m_ctx.Send(Directive(kit));
}

bool RepairPages::eventFilter(QObject* watched, QEvent* e) {
    // After the window's own hint (the button's), the directive it would send.
    const bool move = e->type() == QEvent::MouseMove;
    if (e->type() != QEvent::Enter && !move) return QObject::eventFilter(watched, e);
    for (const repair::Form& f : repair::Forms()) {
        if (watched != Of(f.kit).start) continue;
        if (m_ctx.hooks.Hint) m_ctx.hooks.Hint(Directive(f.kit));
        // A plain move ends here: the button would pass it on to its parents,
        // whose hint would then replace the directive.
        if (move && static_cast<QMouseEvent*>(e)->buttons() == Qt::NoButton) return true;
    }
    return QObject::eventFilter(watched, e);
}
