#include "state/StateSummary.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/Notation.h"
#include "link/RequestSession.h"

#include <QTimer>

const std::vector<StateCell>& StateSummary::Cells() {
    static const std::vector<StateCell> cells{
        // Bit 5: a leading machine works; bit 6 tells which.
        {QStringLiteral("РЯ_77-"),
         QStringLiteral("00077+-"),
         0x60,
         {{0x60, "Работает ведущая 1-я ЭУМ"}, {0x20, "Работает ведущая 0-я ЭУМ"}}},
        {QStringLiteral("РЯ_11078-"),
         QStringLiteral("11078+-"),
         0x1,
         {{1, "Режим обслуживания вызовов"}, {0, "Пусконаладочный режим"}}},
        {QStringLiteral("РЯ_11079-"),
         QStringLiteral("11079+-"),
         0xF,
         {{0xF, "В работе 1-й ствол БК"}},
         "В работе 0-й ствол БК"},
        // Bits 15-13: the machines' mode.
        {QStringLiteral("РЯ_EC-"),
         QStringLiteral("000EC+-"),
         0xE000,
         {{0 << 13, "Неисправна одна из ЭУМ"},
          {2 << 13, "Остановлена одна из ЭУМ"},
          {6 << 13, "Синхронный режим"},
          {7 << 13, "Синхронный режим с блокировкой четности КВВ"}}},
    };
    return cells;
}

std::optional<QString> StateSummary::Line(int index, const QString& captured) {
    const auto& cells = Cells();
    if (index < 0 || size_t(index) >= cells.size()) return std::nullopt;
    const StateCell& c = cells[size_t(index)];
    const int v = ReadVarnel(captured) & c.mask;
    const char* text = c.otherwise;
    for (const StateCell::Case& k : c.cases)
        if (k.value == v) text = k.text;
    if (!*text) return std::nullopt;
    return QString::fromUtf8(text);
}

QString StateSummary::NoAnswerLine(int index) {
    const auto& cells = Cells();
    if (index < 0 || size_t(index) >= cells.size()) return QString();
    // The cell's address as the exchange prints it: the prefix without "+-".
    return QStringLiteral("Ячейка ") + cells[size_t(index)].prefix.chopped(2) + kNoAnswer;
}

StateSummary::StateSummary(ExchangeSet& exchanges, RequestTracker& tracker, QTimer& pause)
    : m_exchanges(exchanges), m_tracker(tracker), m_pause(pause) {}

StateSummary::~StateSummary() = default;

void StateSummary::SendDirective(const QString& text) const {
    if (Send) Send(text);
}

void StateSummary::Run() {
    if (m_running) return;
    TAts* ats = m_exchanges.Current();
    if (!ats) {
        if (OnEnd) OnEnd(End::NoExchange);
        return;
    }
    if (!ats->PortIsOpen()) {
        if (OnEnd) OnEnd(End::LineOff);
        return;
    }
    auto session = std::make_unique<RequestSession>(*ats, m_tracker, kOwner);
    if (session->Refused()) {
        if (OnEnd) OnEnd(End::LineBusy);
        return;
    }
    m_running = true;
    m_ats = ats;
    m_end = End::Done;
    m_cell = 0;
    m_session = std::move(session);
    // A port that goes away ends the run at once.
    m_lost = connect(&ats->Link(), &::Line::lost, this, [this] { Finish(End::LineLost); });
    if (Progress.Show) Progress.Show();
    if (Progress.SetBar) Progress.SetBar(0);
    ReadCell();
}

// The cell's directive goes out with its capture armed.
void StateSummary::ReadCell() {
    // The directive goes to the selected exchange: it must still be the one
    // whose printout is captured.
    if (!m_ats || m_exchanges.Current() != m_ats || !m_session->Exchange() ||
        !m_ats->PortIsOpen()) {
        Finish(End::LineLost);
        return;
    }
    const StateCell& cell = Cells()[m_cell];
    m_session->Capture(
        cell.prefix, kValueLength, [this, &cell] { SendDirective(cell.directive); }, CaptureMs,
        [this](RequestSession::CaptureEnd end, const QString& value) { CellRead(end, value); });
}

void StateSummary::CellRead(RequestSession::CaptureEnd end, const QString& value) {
    using CE = RequestSession::CaptureEnd;
    if (end == CE::LineLost) {
        Finish(End::LineLost);
        return;
    }
    if (end == CE::Value) {
        if (const auto line = Line(int(m_cell), value); line && OnLine) OnLine(*line);
    } else if (OnLine) {
        OnLine(NoAnswerLine(int(m_cell)));
    }
    // Esc shortens the waits; the sequence goes on.
    if (end == CE::Escaped) m_end = End::Escaped;
    if (Progress.SetBar) Progress.SetBar(kBar[m_cell]);
    m_wait.ForTimer(m_pause, true, [this](StepWait::End e) { Paused(e); });
}

void StateSummary::Paused(StepWait::End end) {
    if (end == StepWait::End::Escaped) m_end = End::Escaped;
    if (++m_cell < Cells().size()) {
        ReadCell();
        return;
    }
    Close();
}

// "УК_6,-" closes the run; the line is given back once it has been sent.
void StateSummary::Close() {
    if (!m_ats) {
        Finish(End::LineLost);
        return;
    }
    SendDirective(QStringLiteral("УК_6,-"));
    if (!m_ats) {
        Finish(End::LineLost);
        return;
    }
    m_wait.ForLine(*m_ats, !m_ats->Duplex(), [this](StepWait::End) {
        if (Progress.SetBar) Progress.SetBar(100);
        Finish(m_end);
    });
}

void StateSummary::Finish(End end) {
    if (!m_running) return;
    disconnect(m_lost);
    m_wait.Stop();
    m_session.reset();
    m_ats.clear();
    m_running = false;
    if (Progress.Hide) Progress.Hide();
    if (OnEnd) OnEnd(end);
}
