#include "state/StateSummary.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/Notation.h"
#include "link/RequestSession.h"
#include "platform/Wait.h"
#include "state/PuuWait.h"

#include <QElapsedTimer>
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

StateSummary::StateSummary(ExchangeSet& exchanges, RequestTracker& tracker, QTimer& pause)
    : m_exchanges(exchanges), m_tracker(tracker), m_pause(pause) {}

void StateSummary::SendDirective(const QString& text) const {
    if (Send) Send(text);
}

StateSummary::End StateSummary::Run() {
    TAts* ats = m_exchanges.Current();
    if (!ats) return End::NoExchange;
    if (ats->Session()) return End::LineBusy;
    if (Progress.Show) Progress.Show();
    if (Progress.SetBar) Progress.SetBar(0);
    End end = End::Done;
    {
        RequestSession session(*ats, m_tracker);
        const auto& cells = Cells();
        for (size_t i = 0; i < cells.size(); ++i) {
            // The directive goes to the selected exchange: it must still be
            // the one whose printout is captured.
            if (m_exchanges.Current() != ats) {
                end = End::LineLost;
                break;
            }
            session.CapturedValue.clear();
            session.StartCapture(cells[i].prefix, kValueLength);
            SendDirective(cells[i].directive);
            QElapsedTimer t;
            t.start();
            const bool notEscaped = WaitWhile(
                [&] { return session.CapturePending() && t.elapsed() < CaptureMs; }, true);
            if (!session.Exchange()) {
                end = End::LineLost;
                break;
            }
            if (session.CapturePending()) {
                session.StopCapture(); // no value: no line for this cell
            } else if (const auto line = Line(int(i), session.CapturedValue); line && OnLine) {
                OnLine(*line);
            }
            // Esc shortens the waits, the sequence goes on; only the program's
            // end stops it.
            if (!notEscaped) {
                if (!EscTracker::IsEscDown()) {
                    end = End::LineLost;
                    break;
                }
                end = End::Escaped;
            }
            if (i < 3 && Progress.SetBar) Progress.SetBar(kBar[i]);
            if (!PuuWait(m_pause)) {
                if (!EscTracker::IsEscDown()) {
                    end = End::LineLost;
                    break;
                }
                end = End::Escaped;
            }
        }
        if (end == End::Done || end == End::Escaped) SendDirective(QStringLiteral("УК_6,-"));
    }
    if (Progress.Hide) Progress.Hide();
    return end;
}
