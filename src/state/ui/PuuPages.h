#pragma once
// "Обслуживание АТС" › "Состояние ПУУ": one sub-tab per kind of control unit,
// each with its typed state words (and reference cells), its request button
// "Запросить" and its result button "Сформировать результат" that fills the
// sub-tab's result list. The request button of "Состояние БГ" (Button14) is
// the directive button of that sub-tab when the window has one.
#include "link/RequestSession.h"
#include "link/StepWait.h"
#include "state/UnitState.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <memory>

class MaskEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct StateContext;

class PuuPages : public QObject {
    Q_OBJECT
public:
    explicit PuuPages(StateContext& ctx);

    // Button14..Button17: the unit's directives, each after the state tabs'
    // pause timer (Esc ends a wait early). Returns at once; the directives
    // follow from the event loop. The run holds the selected exchange's line
    // ("идет запрос состояния ВВК"); while another tool holds it nothing is
    // sent (the exchange says which tool).
    void RequestClick(unitstate::Unit unit);
    // Button11, Button12, Button13, Button18: the result list.
    void ResultClick(unitstate::Unit unit);
    // The fields of a sub-tab as typed, short words padded.
    unitstate::Fields FieldsOf(unitstate::Unit unit) const;

private:
    struct Page {
        QLineEdit* rack = nullptr;
        MaskEdit* state1 = nullptr;
        MaskEdit* state2 = nullptr;
        MaskEdit* ref1 = nullptr; // none for БГ
        MaskEdit* ref2 = nullptr;
        QPlainTextEdit* memo = nullptr;
    };
    const Page& PageOf(unitstate::Unit unit) const { return m_pages[size_t(unit)]; }
    void SendNext();
    void Done();

    StateContext& m_ctx;
    StepWait m_wait;
    std::unique_ptr<RequestSession> m_session;
    QStringList m_requests; // the run's directives
    qsizetype m_next = 0;
    std::array<Page, 4> m_pages{};
};
