#include "state/ui/PuuPages.h"

#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/RequestSession.h"
#include "platform/ui/TabPages.h"
#include "state/ui/StatePages.h"
#include "state/ui/StateWidgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using unitstate::Unit;

namespace {
const QString kTop = QStringLiteral("Обслуживание АТС");
const QString kTab = QStringLiteral("Состояние ПУУ");
const QString kHint = QStringLiteral("ТО_5,-");

// One sub-tab: caption (also its hint), field names, hints and lengths, the
// buttons and the result list. Reference fields are absent for БГ.
struct PuuTab {
    Unit unit;
    const char* caption;
    const char* rack;
    int rackLength;
    const char* state1;
    const char* hint1;
    const char* state2;
    const char* hint2;
    const char* statePrefix; // fixed characters in front of the state words
    const char* ref1;
    const char* ref2;
    const char* request;
    const char* result;
    const char* memo;
};

const PuuTab kTabs[] = {
    {Unit::BG, "Состояние БГ", "MaskEditStativBG", 1, "MaskEditBG0stv", "УСК БК 7 лин. 0 ствол",
     "MaskEditBG1stv", "УСК БК 7 лин. 1 ствол", "", nullptr, nullptr, "Button14", "Button11",
     "MemoBG"},
    {Unit::VVK, "Состояние ВВК", "MaskEditVVKStativ", 1, "MaskEditVVK0stv",
     "УСК ВВК 7 лин. 0 ствол", "MaskEditVVK1stv", "УСК ВВК 7 лин. 1 ствол", "00", "MaskEditVVK1",
     "MaskEditVVK2", "Button15", "Button12", "MemoVVK"},
    {Unit::UVP, "Состояние УВП с ПАК", "MaskEditStativUVP", 2, "MaskEditUVPlxe", "Ly по Lxe",
     "MaskEditUVPlxf", "Ly по Lxf", "", "MaskEditUVP1", "MaskEditUVP2", "Button16", "Button13",
     "MemoUVP"},
    {Unit::UVPP, "Состояние УВП с ПАКР", "MaskEditStativUVPP", 2, "MaskEditUVPlxeP", "Ly по Lxe",
     "MaskEditUVPlxfP", "Ly по Lxf", "", "MaskEditUVPP1", "MaskEditUVPP2", "Button17", "Button18",
     "MemoUVPP"},
};

constexpr int kStateLength = 4;
constexpr int kReferenceLength = 5;

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Whether the panel's layout still shows a widget.
bool HoldsWidgets(QWidget* panel) {
    QLayout* lay = panel->layout();
    for (int i = 0; lay && i < lay->count(); ++i)
        if (lay->itemAt(i)->widget()) return true;
    return false;
}

QLabel* Caption(const QString& text) {
    auto* l = new QLabel(text);
    l->setToolTip(text);
    return l;
}
} // namespace

PuuPages::PuuPages(StateContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("PuuPages"));
    using stateui::StateField;
    for (const PuuTab& s : kTabs) {
        QWidget* page = ctx.pages->Make({kTop, kTab, U(s.caption)});
        if (!page) continue;
        page->setToolTip(U(s.caption));
        Page& p = m_pages[size_t(s.unit)];

        auto* panel = new QWidget;
        panel->setObjectName(QStringLiteral("Panel") + U(s.memo));
        auto* row = new QHBoxLayout(panel);
        auto* form = new QGridLayout;
        row->addLayout(form);
        int r = 0;
        p.rack = new StateField(U(s.rack), QStringLiteral("Номер статива"), s.rackLength);
        form->addWidget(Caption(QStringLiteral("Номер статива")), r, 0);
        form->addWidget(p.rack, r++, 1);
        const QString prefix = U(s.statePrefix);
        p.state1 = stateui::HexField(U(s.state1), U(s.hint1), kStateLength, prefix);
        form->addWidget(Caption(U(s.hint1)), r, 0);
        form->addWidget(p.state1, r++, 1);
        p.state2 = stateui::HexField(U(s.state2), U(s.hint2), kStateLength, prefix);
        form->addWidget(Caption(U(s.hint2)), r, 0);
        form->addWidget(p.state2, r++, 1);
        if (s.ref1) {
            const QStringList cells = unitstate::ReferenceCells(s.unit);
            const char* names[2] = {s.ref1, s.ref2};
            MaskEdit** fields[2] = {&p.ref1, &p.ref2};
            for (int i = 0; i < 2; ++i) {
                auto* cell = new QLabel(cells.value(i));
                cell->setObjectName(
                    U(names[i]).replace(QStringLiteral("MaskEdit"), QStringLiteral("Label")));
                *fields[i] = stateui::HexField(
                    U(names[i]), QStringLiteral("Введите содержимое ячейки"), kReferenceLength);
                form->addWidget(cell, r, 0);
                form->addWidget(*fields[i], r++, 1);
            }
        }

        auto* buttons = new QHBoxLayout;
        // "Состояние БГ" keeps the directive button the window made there.
        QPushButton* request =
            ctx.hooks.CatalogueButton ? ctx.hooks.CatalogueButton(U(s.request)) : nullptr;
        QWidget* oldPanel = request ? request->parentWidget() : nullptr;
        if (request) {
            request->setParent(panel); // leaves the old panel's layout
        } else {
            request = new QPushButton(QStringLiteral("Запросить"));
            request->setObjectName(U(s.request));
            request->setToolTip(kHint);
            connect(request, &QPushButton::clicked, this, [this, u = s.unit] { RequestClick(u); });
        }
        buttons->addWidget(request);
        if (oldPanel && oldPanel != page && !HoldsWidgets(oldPanel)) oldPanel->hide();
        auto* result = new QPushButton(QStringLiteral("Сформировать результат"));
        result->setObjectName(U(s.result));
        result->setToolTip(kHint);
        connect(result, &QPushButton::clicked, this, [this, u = s.unit] { ResultClick(u); });
        buttons->addWidget(result);
        buttons->addStretch(1);
        form->addLayout(buttons, r++, 0, 1, 2);
        form->setRowStretch(r, 1);

        p.memo = stateui::ResultList(U(s.memo), QStringLiteral("Результат"));
        row->addWidget(p.memo, 1);
        stateui::AddContent(page, panel);
    }
}

unitstate::Fields PuuPages::FieldsOf(Unit unit) const {
    const Page& p = PageOf(unit);
    auto word = [](const MaskEdit* e) { return e ? e->NumberText() : QString(); };
    return {p.rack ? p.rack->text() : QString(), word(p.state1), word(p.state2), word(p.ref1),
            word(p.ref2)};
}

void PuuPages::RequestClick(Unit unit) {
    if (m_ctx.busy || !m_ctx.puuWait) return;
    // The run holds the exchange's line, so that no other tool's requests
    // come between its directives; it is refused while another tool holds it.
    if (TAts* ats = m_ctx.exchanges ? m_ctx.exchanges->Current() : nullptr) {
        // "Состояние ВВК": "запрос состояния ВВК".
        const QString kind = U(kTabs[size_t(unit)].caption).section(QLatin1Char(' '), 1);
        auto session =
            std::make_unique<RequestSession>(*ats, QStringLiteral("запрос состояния ") + kind);
        if (session->Refused()) return;
        m_session = std::move(session);
    }
    m_ctx.busy = true;
    m_requests = unitstate::RequestDirectives(unit);
    m_next = 0;
    SendNext();
}

void PuuPages::Done() {
    m_session.reset();
    m_ctx.busy = false;
}

// Each directive, once sent, is followed by the pause (Esc skips it); the
// run ends when the last one has left the line.
void PuuPages::SendNext() {
    if (m_next >= m_requests.size()) {
        Done();
        return;
    }
    m_ctx.Send(m_requests[m_next++]);
    const bool last = m_next >= m_requests.size();
    auto then = [this, last](StepWait::End) {
        if (last) {
            Done();
            return;
        }
        m_wait.ForTimer(*m_ctx.puuWait, true, [this](StepWait::End) { SendNext(); });
    };
    TAts* ats = m_ctx.exchanges ? m_ctx.exchanges->Current() : nullptr;
    if (ats)
        m_wait.ForLine(*ats, !ats->Duplex(), then);
    else
        then(StepWait::End::Done);
}

void PuuPages::ResultClick(Unit unit) {
    const Page& p = PageOf(unit);
    if (!p.memo) return;
    p.memo->setPlainText(unitstate::Result(unit, FieldsOf(unit)).join(QLatin1Char('\n')));
}
