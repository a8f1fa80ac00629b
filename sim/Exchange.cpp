#include "Exchange.h"

#include "Answers.h"
#include "Image.h"
#include "link/Notation.h"

#include <QRegularExpression>
#include <QStringList>

#include <limits>

namespace sim {

namespace {
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
// Loader: a frame that stops half-way is dropped after this pause, and the
// loader asks again; so it does while nothing has arrived at all.
constexpr int64_t kLoaderAskMs = 2000;
// Loader: this long without a character after a stored block ends the load
// (the terminal repeats an unanswered block every 5 s, so it has given up or
// finished by then).
constexpr int64_t kLoaderEndMs = 12000;
constexpr uint32_t kMaxReadCodes = 0x10000;
constexpr int kMaxCellLines = 256;

const QString kAccepted = QStringLiteral("ДИРЕКТИВА ПРИНЯТА");
const QString kUnknown = QStringLiteral("НЕИЗВЕСТНАЯ ДИРЕКТИВА");
const QString kMalformed = QStringLiteral("ОШИБКА В ДИРЕКТИВЕ");
const QString kBadParams = QStringLiteral("НЕВЕРНЫЕ ПАРАМЕТРЫ");

// Directive codes this exchange knows; other well-formed codes are unknown.
const QStringList kKnownCodes = {QStringLiteral("МВ"), QStringLiteral("КВ"), QStringLiteral("РЯ"),
                                 QStringLiteral("РМ"), QStringLiteral("ЗЯ"), QStringLiteral("ЗМ"),
                                 QStringLiteral("ТО"), QStringLiteral("УК"), QStringLiteral("ОО"),
                                 QStringLiteral("КС"), QStringLiteral("ПМ"), QStringLiteral("СП"),
                                 QStringLiteral("ПИ")};

std::optional<uint16_t> Hex(const QString& s) {
    if (s.isEmpty() || s.size() > 4) return std::nullopt;
    bool ok = false;
    const uint v = s.toUInt(&ok, 16);
    if (!ok || s.contains(QLatin1Char('+'))) return std::nullopt;
    return uint16_t(v);
}

// A value in the exchange notation, short forms padded with leading zeros
// ("77" is 00077).
std::optional<uint16_t> Notation(const QString& s) {
    if (s.isEmpty() || s.size() > 5) return std::nullopt;
    return VarnelToValue(QString(5 - s.size(), QLatin1Char('0')) + s);
}

// A cell address: the notation, or six characters whose first is the memory
// block (0..6) and the other five the address in it.
struct Cell {
    int bank = -1; // -1: no block digit (the processor's view)
    uint16_t address = 0;
};
std::optional<Cell> CellAddress(const QString& s) {
    if (s.size() == 6) {
        const int bank = s[0].unicode() - u'0';
        const auto a = Notation(s.mid(1));
        if (bank < 0 || bank > kExtraBanks || !a) return std::nullopt;
        return Cell{bank, *a};
    }
    const auto a = Notation(s);
    if (!a) return std::nullopt;
    return Cell{-1, *a};
}

QString CellLine(const Cell& c, uint16_t value) {
    return (c.bank < 0 ? QString() : QString::number(c.bank)) + ValueToVarnel(c.address) +
           QStringLiteral("+-") + ValueToVarnel(value);
}

const QString kNeedsCommissioning = QStringLiteral("НУЖЕН РЕЖИМ ПУСКОНАЛАДКИ");
} // namespace

SimExchange::SimExchange(const SimOptions& options, int64_t nowMs)
    : m_options(options), m_clockBaseMs(nowMs), m_generator(options.seed),
      m_animRng(options.seed ^ 0x9E3779B9u), m_faultRng(options.seed + 7u) {
    m_clockBase = options.clock.isValid() ? options.clock : QDateTime::currentDateTime();
    m_rate = std::max(0.0, options.callsPerMinute);
    m_generator.SetMeanHoldSeconds(options.meanHoldSeconds);
    m_nextAnimateAt = nowMs + options.animateMs;
    BuildDefaultImage(m_memory);
}

QDateTime SimExchange::MachineTime(int64_t now) const {
    return m_clockBase.addMSecs(now - m_clockBaseMs);
}

void SimExchange::Event(const QString& text) const {
    if (OnEvent) OnEvent(text);
}

void SimExchange::Queue(const uint8_t* codes, size_t n) {
    m_out.insert(m_out.end(), codes, codes + n);
    m_queued += n;
}

size_t SimExchange::Take(uint8_t* out, size_t max, int64_t now) {
    if (now < m_silentUntil) return 0;
    size_t n = 0;
    while (n < max && !m_out.empty()) {
        uint8_t c = m_out.front();
        m_out.pop_front();
        ++m_taken;
        if (m_dropLeft > 0) {
            --m_dropLeft;
            continue;
        }
        if (m_corruptLeft > 0) {
            --m_corruptLeft;
            c = uint8_t((c ^ (1 + m_faultRng() % 31)) & 31);
        }
        out[n++] = c;
    }
    return n;
}

std::vector<uint8_t> SimExchange::TakeAll(int64_t now) {
    std::vector<uint8_t> v(m_out.size());
    v.resize(Take(v.data(), v.size(), now));
    return v;
}

// --- Receiving -------------------------------------------------------------

void SimExchange::Receive(const uint8_t* codes, size_t count, int64_t now) {
    if (now < m_silentUntil) return;
    std::vector<uint8_t> answer;
    for (size_t i = 0; i < count; ++i) {
        uint8_t c = codes[i] & 31;
        if (m_dropInLeft > 0) {
            --m_dropInLeft;
            continue;
        }
        if (m_corruptInLeft > 0) {
            --m_corruptInLeft;
            c = uint8_t((c ^ (1 + m_faultRng() % 31)) & 31);
        }
        if (m_mode == Mode::Loader) {
            m_lastLineCode = now;
            m_loader->Feed(c, answer);
            continue;
        }
        if (m_mode == Mode::Unloader) {
            m_unloader->Feed(c, answer);
            if (m_unloader->Done()) {
                Queue(answer);
                answer.clear();
                Event(QStringLiteral("unloader: done, %1 blocks").arg(m_unloader->Count()));
                SetMode(Mode::Normal, now);
            }
            continue;
        }
        if (!m_lineAlive) {
            m_lineAlive = true;
            ScheduleNextCall(now);
        }
        // A space ends a repeating read (the terminal's continuation or the
        // separator of its next directive); so does the start of a directive.
        const bool wasActive = m_reader.Active();
        const DirectiveReader::Event ev = m_reader.Feed(c);
        if (m_rep.active && (c == LineCode::kSpace || (!wasActive && m_reader.Active()) ||
                             ev == DirectiveReader::Event::Abandoned))
            StopRepetition();
        if (ev == DirectiveReader::Event::Complete) {
            HandleDirective(m_reader.Text(), now);
        } else if (ev == DirectiveReader::Event::Abandoned) {
            Event(QStringLiteral("directive abandoned: ") + m_reader.Text());
            Error(kMalformed, now);
        }
    }
    Queue(answer);
}

void SimExchange::StopRepetition() {
    if (!m_rep.active) return;
    m_rep.active = false;
    Event(QStringLiteral("read of %1 stopped").arg(ShortHex(m_rep.address)));
}

// --- Directives ------------------------------------------------------------

void SimExchange::Printout(const QStringList& lines, int64_t now) {
    const QDateTime t = MachineTime(now);
    QString text = QLatin1Char('\n') + t.toString(QStringLiteral("hh.mm.ss dd.MM.yy"));
    for (const QString& l : lines)
        text += QLatin1Char('\n') + l;
    std::vector<uint8_t> codes;
    m_printer.ForgetRegister();
    m_printer.Print(text, codes);
    // A closing carriage return: the printout never ends on a code that could
    // begin a frame header, so the terminal shows it at once.
    codes.push_back(LineCode::kCarriageReturn);
    Queue(codes);
}

void SimExchange::Error(const QString& text, int64_t now) {
    Printout({text}, now);
}
void SimExchange::Acknowledge(int64_t now) {
    Printout({kAccepted}, now);
}

void SimExchange::HandleDirective(const QString& text, int64_t now) {
    Event(QStringLiteral("directive ") + text);
    static const QRegularExpression form(QStringLiteral("^(\\p{Lu}{2})_([0-9A-ZА-ЯЁ,]*)-$"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    const auto m = form.match(text);
    if (!m.hasMatch()) return Error(kMalformed, now);
    const QString code = m.captured(1);
    const QString paramText = m.captured(2);
    const QStringList p = paramText.split(QLatin1Char(','));
    if (!kKnownCodes.contains(code)) return Error(kUnknown, now);

    if (code == QStringLiteral("МВ")) {
        if (!paramText.isEmpty()) return Error(kBadParams, now);
        const QDateTime t = MachineTime(now);
        return Printout(
            {QStringLiteral("МАШИННОЕ ВРЕМЯ ") + t.toString(QStringLiteral("hh.mm.ss dd.MM.yyyy"))},
            now);
    }
    if (code == QStringLiteral("КВ")) {
        // hh,mm,dd,mm,yy or hh,mm,dd,mm,yyyy
        static const QRegularExpression clock(
            QStringLiteral("^(\\d\\d),(\\d\\d),(\\d\\d),(\\d\\d),(\\d\\d|\\d\\d\\d\\d)$"));
        const auto c = clock.match(paramText);
        if (!c.hasMatch()) return Error(kBadParams, now);
        int year = c.captured(5).toInt();
        if (c.captured(5).size() == 2) year += 2000;
        const QDate d(year, c.captured(4).toInt(), c.captured(3).toInt());
        const QTime t(c.captured(1).toInt(), c.captured(2).toInt());
        if (!d.isValid() || !t.isValid()) return Error(kBadParams, now);
        m_clockBase = QDateTime(d, t);
        m_clockBaseMs = now;
        Event(QStringLiteral("clock set to ") + m_clockBase.toString(Qt::ISODate));
        return Printout({QStringLiteral("ВРЕМЯ УСТАНОВЛЕНО")}, now);
    }
    if (code == QStringLiteral("РЯ")) {
        const auto a = p.size() == 1 ? CellAddress(p[0]) : std::nullopt;
        if (!a) return Error(kBadParams, now);
        return PrintCells(a->bank, a->address, a->address, now);
    }
    // A range lies in one block: an end without a block digit takes the
    // start's.
    auto range = [&](std::optional<Cell>& from, std::optional<Cell>& to) {
        from = CellAddress(p[0]);
        to = CellAddress(p[1]);
        if (from && to && to->bank < 0) to->bank = from->bank;
        return from && to && from->bank == to->bank && to->address >= from->address;
    };
    if (code == QStringLiteral("РМ")) {
        std::optional<Cell> a, b;
        if (p.size() != 2 || !range(a, b) || b->address - a->address >= kMaxCellLines)
            return Error(kBadParams, now);
        return PrintCells(a->bank, a->address, b->address, now);
    }
    if (code == QStringLiteral("ЗЯ")) {
        const auto a = p.size() == 2 ? CellAddress(p[0]) : std::nullopt;
        const auto v = p.size() == 2 ? Notation(p[1]) : std::nullopt;
        if (!a || !v) return Error(kBadParams, now);
        m_memory.SetBankWord(std::max(0, a->bank), a->address, *v);
        return PrintCells(a->bank, a->address, a->address, now);
    }
    if (code == QStringLiteral("ЗМ") && p.size() == 3) {
        std::optional<Cell> a, b;
        const auto v = Notation(p[2]);
        if (!range(a, b) || !v) return Error(kBadParams, now);
        for (uint32_t x = a->address; x <= b->address; ++x)
            m_memory.SetBankWord(std::max(0, a->bank), uint16_t(x), *v);
        return Acknowledge(now);
    }
    if (code == QStringLiteral("ТО") && p[0] == QStringLiteral("8")) return StartDataRead(p, now);
    if (code == QStringLiteral("ТО") && p[0] == QStringLiteral("5")) return PrintState(now);
    // Commissioning work ("ОО" but the mode switch and the floppy versions,
    // the coupling search "ТО_31") is refused while calls are served.
    const bool commissioning = (code == QStringLiteral("ОО") && p[0] != QStringLiteral("3") &&
                                p[0] != QStringLiteral("F")) ||
                               (code == QStringLiteral("ТО") && p[0] == QStringLiteral("31"));
    if (commissioning && ServingCalls(m_memory))
        return Printout({kMalformed, kNeedsCommissioning}, now);
    if (const auto answer = CannedAnswer(text))
        return Printout(answer->lines + ApplyEffect(m_memory, answer->effect), now);
    // "УК_0,N-": machine N leaves the pair and works alone.
    if (code == QStringLiteral("УК") && p.size() == 2 && p[0] == QStringLiteral("0") &&
        (p[1] == QStringLiteral("0") || p[1] == QStringLiteral("1"))) {
        ApplyEffect(m_memory, Effect::Autonomous);
        return Printout({QStringLiteral("ЭУМ %1 В АВТОНОМНОМ РЕЖИМЕ").arg(p[1])}, now);
    }
    Acknowledge(now);
}

void SimExchange::PrintCells(int bank, uint16_t from, uint16_t to, int64_t now) {
    QStringList lines;
    for (uint32_t a = from; a <= to; ++a) {
        const Cell c{bank, uint16_t(a)};
        lines << CellLine(c, m_memory.BankWord(std::max(0, bank), c.address));
    }
    Printout(lines, now);
}

void SimExchange::PrintState(int64_t now) {
    // State words of the control units, one rack per line.
    QStringList lines{QStringLiteral("СОСТОЯНИЕ ПУУ")};
    auto hexAt = [&](uint16_t address, int width) {
        return QString::number(m_memory.Word(address) & (width == 2 ? 0xFF : 0xFFFF), 16)
            .toUpper()
            .rightJustified(width, QLatin1Char('0'));
    };
    for (int r = 0; r < layout::kPuuRacks; ++r) {
        auto hex = [&](int i, int width) {
            return hexAt(uint16_t(layout::kPuuState + 8 * r + i), width);
        };
        lines << QStringLiteral("СТАТИВ %1  БГ %2 %3  ВВК %4 %5  УВП %6 %7")
                     .arg(r)
                     .arg(hex(0, 4), hex(1, 4), hex(2, 2), hex(3, 2), hex(4, 4), hex(5, 4));
    }
    lines << QStringLiteral("РСП ЭУМ 0 %1  ЭУМ 1 %2")
                 .arg(hexAt(layout::kFailureWords, 4),
                      hexAt(uint16_t(layout::kFailureWords + 1), 4));
    Printout(lines, now);
}

// "ТО_8," address "," length "," ... : data frames of length+1 nibbles from
// address, repeated until a space arrives.
void SimExchange::StartDataRead(const QStringList& p, int64_t now) {
    const auto address = p.size() >= 3 ? Hex(p[1]) : std::nullopt;
    const auto length = p.size() >= 3 ? Hex(p[2]) : std::nullopt;
    if (!address || !length) return Error(kBadParams, now);
    m_rep.active = true;
    m_rep.address = *address;
    m_rep.count = std::min<uint32_t>(uint32_t(*length) + 1, kMaxReadCodes);
    m_rep.nextAt = now;
    m_rep.endMark = 0;
    Event(QStringLiteral("read %1, %2 codes").arg(ShortHex(*address)).arg(m_rep.count));
    QueueDataFrame();
    m_rep.nextAt = now + m_options.repeatMs;
}

void SimExchange::QueueDataFrame() {
    std::vector<uint8_t> f(frames::kHeaderLength + m_rep.count, frames::kDataHeader);
    for (uint32_t k = 0; k < m_rep.count; ++k)
        f[frames::kHeaderLength + k] =
            LineCode::CodeOfNibble(m_memory.ReadNibble(m_rep.address, k));
    Queue(f);
    m_rep.endMark = m_queued;
}

// --- Calls -----------------------------------------------------------------

bool SimExchange::InCall(int kit) const {
    for (const ActiveCall& c : m_calls)
        if (c.kit == kit) return true;
    return false;
}

bool SimExchange::KitUsable(int kit) const {
    return SubscriberPresent(m_memory, kit) && !SubscriberBusy(m_memory, kit) && !InCall(kit);
}

void SimExchange::ScheduleNextCall(int64_t now) {
    const int64_t gap = m_generator.Interval(m_rate);
    m_nextCallAt = gap < 0 ? -1 : now + gap;
}

bool SimExchange::StartCall(const CallPlan& call, int64_t now) {
    const auto frame = CallStartCodes(call.kit, call.a, call.b, call.category);
    if (!frame) return false;
    Queue(frame->data(), frame->size());
    Event(QStringLiteral("call start kit %1 A %2 B %3 cat %4")
              .arg(call.kit)
              .arg(call.a, call.b)
              .arg(call.category));
    if (call.holdMs >= 0) {
        m_calls.push_back({call.kit, call.b, now + call.holdMs});
        SetSubscriberBusy(m_memory, call.kit, true);
    }
    return true;
}

void SimExchange::EndCall(size_t index) {
    const ActiveCall c = m_calls[index];
    m_calls.erase(m_calls.begin() + std::ptrdiff_t(index));
    if (const auto frame = CallEndCodes(c.kit, c.b)) Queue(frame->data(), frame->size());
    SetSubscriberBusy(m_memory, c.kit, false);
    Event(QStringLiteral("call end kit %1 B %2").arg(c.kit).arg(c.b));
}

// --- Time ------------------------------------------------------------------

void SimExchange::Tick(int64_t now) {
    if (now < m_silentUntil) return;

    if (m_options.animateMs > 0 && now >= m_nextAnimateAt) {
        Animate(m_memory, m_animRng, [this](int kit) { return InCall(kit); });
        m_nextAnimateAt = now + m_options.animateMs;
    }

    if (m_mode == Mode::Loader) {
        std::vector<uint8_t> out;
        const int64_t quiet = now - m_lastLineCode;
        if (m_loader->Accepted() > 0 && quiet >= kLoaderEndMs && m_loader->Partial() == 0) {
            Event(QStringLiteral("loader: done, %1 blocks stored, %2 refused")
                      .arg(m_loader->Accepted())
                      .arg(m_loader->Rejected()));
            const int stored = m_loader->Accepted();
            SetMode(Mode::Normal, now);
            Printout({QStringLiteral("ЗАГРУЗКА ВЕРСИИ ЗАВЕРШЕНА"),
                      QStringLiteral("ПРИНЯТО БЛОКОВ %1").arg(stored)},
                     now);
            return;
        }
        if (quiet >= kLoaderAskMs && (m_loader->Accepted() == 0 || m_loader->Partial() > 0)) {
            m_loader->DiscardPartial();
            m_loader->Ask(out);
            m_lastLineCode = now;
            Queue(out);
        }
        return;
    }
    if (m_mode != Mode::Normal) return;

    if (m_rep.active && now >= m_rep.nextAt && m_taken >= m_rep.endMark) {
        QueueDataFrame();
        // Keep the cadence unless the line held the previous frame up.
        m_rep.nextAt = std::max(now, m_rep.nextAt + m_options.repeatMs);
        if (m_rep.nextAt == now) m_rep.nextAt = now + m_options.repeatMs;
    }

    for (size_t i = 0; i < m_calls.size();) {
        if (m_calls[i].endAt <= now)
            EndCall(i);
        else
            ++i;
    }

    // New calls; several may fall due in one tick at high rates.
    for (int n = 0; n < 256 && m_nextCallAt >= 0 && now >= m_nextCallAt; ++n) {
        if (m_out.size() < m_options.callBacklog) {
            if (auto call = m_generator.Next([this](int kit) { return KitUsable(kit); }))
                StartCall(*call, m_nextCallAt);
        }
        const int64_t gap = m_generator.Interval(m_rate);
        m_nextCallAt = gap < 0 ? -1 : m_nextCallAt + gap;
    }
    if (m_nextCallAt >= 0 && m_nextCallAt < now) m_nextCallAt = now; // fell behind
}

int64_t SimExchange::NextDeadline(int64_t now) const {
    if (now < m_silentUntil) return m_silentUntil;
    int64_t next = kNever;
    if (m_options.animateMs > 0) next = std::min(next, m_nextAnimateAt);
    if (m_mode == Mode::Loader) {
        const bool asking = m_loader->Accepted() == 0 || m_loader->Partial() > 0;
        return std::min(next, m_lastLineCode + (asking ? kLoaderAskMs : kLoaderEndMs));
    }
    if (m_mode != Mode::Normal) return next;
    if (m_rep.active) {
        // Until the previous frame has left, the line's writes wake us.
        next = std::min(next, m_taken >= m_rep.endMark ? m_rep.nextAt : now + m_options.repeatMs);
    }
    for (const ActiveCall& c : m_calls)
        next = std::min(next, c.endAt);
    if (m_nextCallAt >= 0) next = std::min(next, m_nextCallAt);
    return next;
}

// --- Modes -----------------------------------------------------------------

void SimExchange::SetMode(Mode mode, int64_t now) {
    m_mode = mode;
    m_lastLineCode = now;
    m_reader.Reset();
    StopRepetition();
    if (mode != Mode::Loader) m_loader.reset();
    if (mode != Mode::Unloader) m_unloader.reset();
    if (mode == Mode::Normal && m_nextCallAt >= 0 && m_nextCallAt < now) m_nextCallAt = now;
}

// --- Control commands ------------------------------------------------------

SimExchange::Reply SimExchange::Command(const QString& line, int64_t now) {
    QStringList w =
        line.trimmed().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (w.isEmpty() || w[0].startsWith(QLatin1Char('#'))) return {true, {}};
    const QString cmd = w.takeFirst().toLower();
    auto fail = [](const QString& why) { return Reply{false, why}; };
    auto number = [](const QString& s, double& v) {
        bool ok = false;
        v = s.toDouble(&ok);
        return ok && v >= 0;
    };

    if (cmd == QStringLiteral("quit")) {
        m_quit = true;
        return {true, {}};
    }
    if (cmd == QStringLiteral("status")) {
        static const char* modes[] = {"normal", "loader", "unloader"};
        return {true, QStringLiteral("mode %1, rate %2/min, calls %3, queued %4, reading %5")
                          .arg(QLatin1String(modes[int(m_mode)]))
                          .arg(m_rate)
                          .arg(m_calls.size())
                          .arg(m_out.size())
                          .arg(m_rep.active ? ShortHex(m_rep.address) : QStringLiteral("-"))};
    }
    if (cmd == QStringLiteral("call")) {
        if (m_mode != Mode::Normal) return fail(QStringLiteral("line is in a version transfer"));
        if (w.isEmpty()) {
            auto call = m_generator.Next([this](int kit) { return KitUsable(kit); });
            if (!call) return fail(QStringLiteral("no free kit"));
            StartCall(*call, now);
            return {true, QStringLiteral("kit %1 %2 -> %3").arg(call->kit).arg(call->a, call->b)};
        }
        if (w.size() < 2) return fail(QStringLiteral("usage: call [A B [CAT [SECONDS [KIT]]]]"));
        CallPlan c;
        c.a = w[0];
        c.b = w[1];
        c.category = w.size() > 2 ? w[2].toInt() : 1;
        double hold = m_generator.MeanHoldSeconds();
        if (w.size() > 3 && !number(w[3], hold)) return fail(QStringLiteral("bad duration"));
        c.holdMs = int64_t(hold * 1000);
        if (w.size() > 4) {
            c.kit = w[4].toInt();
        } else {
            // The kit whose subscriber number is A, else any free kit.
            c.kit = -1;
            for (int k = 0; k <= kMaxKit && c.kit < 0; ++k)
                if (SubscriberNumber(k) == c.a && !InCall(k)) c.kit = k;
            for (int k = 0; k <= kMaxKit && c.kit < 0; ++k)
                if (KitUsable(k)) c.kit = k;
        }
        if (InCall(c.kit)) return fail(QStringLiteral("kit %1 is in a call").arg(c.kit));
        if (!StartCall(c, now)) return fail(QStringLiteral("bad call"));
        return {true, QStringLiteral("kit %1").arg(c.kit)};
    }
    if (cmd == QStringLiteral("start") || cmd == QStringLiteral("end")) {
        if (m_mode != Mode::Normal) return fail(QStringLiteral("line is in a version transfer"));
        if (cmd == QStringLiteral("start")) {
            if (w.size() < 3) return fail(QStringLiteral("usage: start KIT A B [CAT]"));
            const auto f =
                CallStartCodes(w[0].toInt(), w[1], w[2], w.size() > 3 ? w[3].toInt() : 1);
            if (!f) return fail(QStringLiteral("bad call"));
            Queue(f->data(), f->size());
        } else {
            if (w.size() < 2) return fail(QStringLiteral("usage: end KIT B"));
            const auto f = CallEndCodes(w[0].toInt(), w[1]);
            if (!f) return fail(QStringLiteral("bad call"));
            Queue(f->data(), f->size());
        }
        return {true, {}};
    }
    if (cmd == QStringLiteral("rate") || cmd == QStringLiteral("hold")) {
        double v = 0;
        if (w.size() != 1 || !number(w[0], v)) return fail(QStringLiteral("need a number"));
        if (cmd == QStringLiteral("hold")) {
            m_generator.SetMeanHoldSeconds(v);
        } else {
            m_rate = v;
            if (m_lineAlive) ScheduleNextCall(now);
        }
        return {true, {}};
    }
    if (cmd == QStringLiteral("print")) {
        const QString text = line.trimmed().mid(5).trimmed().toUpper();
        if (!Printer::Printable(text))
            return fail(QStringLiteral("text has characters without a code"));
        Printout({text}, now);
        return {true, {}};
    }
    if (cmd == QStringLiteral("raw")) {
        std::vector<uint8_t> codes;
        for (const QString& s : w) {
            bool ok = false;
            const uint v = s.toUInt(&ok);
            if (!ok || v > 31) return fail(QStringLiteral("codes are 0..31"));
            codes.push_back(uint8_t(v));
        }
        Queue(codes);
        return {true, {}};
    }
    if (cmd == QStringLiteral("faults")) {
        const bool on = w.size() == 1 && w[0] == QStringLiteral("on");
        if (!on && !(w.size() == 1 && w[0] == QStringLiteral("off")))
            return fail(QStringLiteral("usage: faults on|off"));
        SetUnitFaults(m_memory, on);
        return {true, {}};
    }
    if (cmd == QStringLiteral("peek") || cmd == QStringLiteral("poke")) {
        const auto a = w.size() >= 1 ? Hex(w[0]) : std::nullopt;
        if (!a) return fail(QStringLiteral("need a hexadecimal address"));
        if (cmd == QStringLiteral("poke")) {
            const auto v = w.size() == 2 ? Hex(w[1]) : std::nullopt;
            if (!v) return fail(QStringLiteral("need a hexadecimal value"));
            m_memory.SetWord(*a, *v);
        }
        return {true, QStringLiteral("%1 %2")
                          .arg(ShortHex(*a))
                          .arg(QString::number(m_memory.Word(*a), 16)
                                   .toUpper()
                                   .rightJustified(4, QLatin1Char('0')))};
    }
    if (cmd == QStringLiteral("load") || cmd == QStringLiteral("save")) {
        const QString path = line.trimmed().mid(cmd.size()).trimmed();
        if (path.isEmpty()) return fail(QStringLiteral("need a file name"));
        QString error;
        if (cmd == QStringLiteral("save")) {
            if (!SaveVersionFile(m_memory, path, m_options.versionType, &error)) return fail(error);
            return {true, {}};
        }
        const int n = LoadVersionFile(m_memory, path, &error);
        if (n < 0) return fail(error);
        return {true, QStringLiteral("%1 blocks").arg(n)};
    }
    if (cmd == QStringLiteral("type")) {
        if (w.size() == 1 && w[0].toLower() == QStringLiteral("vef"))
            m_options.versionType = VersionType::Vef;
        else if (w.size() == 1 && w[0].toLower() == QStringLiteral("planeta"))
            m_options.versionType = VersionType::Planeta;
        else
            return fail(QStringLiteral("type planeta|vef"));
        return {true, {}};
    }
    if (cmd == QStringLiteral("loader")) {
        SetMode(Mode::Loader, now);
        m_loader = std::make_unique<Loader>(m_memory);
        std::vector<uint8_t> out;
        m_loader->Ask(out);
        Queue(out);
        Event(QStringLiteral("loader started"));
        return {true, {}};
    }
    if (cmd == QStringLiteral("unloader")) {
        int banks = kExtraBanks;
        if (!w.isEmpty()) {
            bool ok = false;
            banks = w[0].toInt(&ok);
            if (!ok || banks < 0 || banks > kExtraBanks) return fail(QStringLiteral("banks 0..6"));
        }
        SetMode(Mode::Unloader, now);
        m_unloader =
            std::make_unique<Unloader>(m_memory, VersionBlocks(banks), m_options.versionType);
        Event(QStringLiteral("unloader started, %1 blocks").arg(m_unloader->Count()));
        return {true, QStringLiteral("%1 blocks").arg(m_unloader->Count())};
    }
    if (cmd == QStringLiteral("stop")) {
        SetMode(Mode::Normal, now);
        return {true, {}};
    }
    if (cmd == QStringLiteral("drop") || cmd == QStringLiteral("corrupt") ||
        cmd == QStringLiteral("silent")) {
        double v = 0;
        // "drop N in", "corrupt N in": the fault hits the codes from the terminal.
        const bool in = cmd != QStringLiteral("silent") && w.size() == 2 &&
                        w[1].toLower() == QStringLiteral("in");
        if ((w.size() != 1 && !in) || !number(w[0], v))
            return fail(QStringLiteral("need a number"));
        if (cmd == QStringLiteral("drop")) (in ? m_dropInLeft : m_dropLeft) = uint64_t(v);
        if (cmd == QStringLiteral("corrupt")) (in ? m_corruptInLeft : m_corruptLeft) = uint64_t(v);
        if (cmd == QStringLiteral("silent")) m_silentUntil = now + int64_t(v * 1000);
        return {true, {}};
    }
    return fail(QStringLiteral("unknown command ") + cmd);
}

} // namespace sim
