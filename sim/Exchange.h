#pragma once
// SimExchange: the simulated exchange without its line. Codes from the
// terminal go in with Receive, codes for the terminal come out of Take; time
// is passed in as milliseconds of a monotonic clock, so tests drive it
// without waiting. Control commands (one text line each) go to Command.
#include "Calls.h"
#include "LineText.h"
#include "Memory.h"
#include "Version.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace sim {

struct SimOptions {
    uint32_t seed = 1;
    double callsPerMinute = 3.0;
    double meanHoldSeconds = 40.0;
    VersionType versionType = VersionType::Planeta;
    QDateTime clock;      // machine time at the start; invalid: the system's local time
    int repeatMs = 150;   // data frame repetition period
    int animateMs = 1000; // period of the live changes; 0: none
    // The generator skips a call while this many codes wait to be sent.
    size_t callBacklog = 4096;
};

class SimExchange {
public:
    enum class Mode { Normal, Loader, Unloader };
    struct Reply {
        bool ok = true;
        QString text;
    };

    explicit SimExchange(const SimOptions& options, int64_t nowMs = 0);

    SimMemory& Memory() { return m_memory; }
    const SimMemory& Memory() const { return m_memory; }
    Mode CurrentMode() const { return m_mode; }
    bool Repeating() const { return m_rep.active; }
    size_t ActiveCalls() const { return m_calls.size(); }
    QDateTime MachineTime(int64_t now) const;

    // Codes from the terminal (masked to five bits here).
    void Receive(const uint8_t* codes, size_t count, int64_t now);
    // Runs what is due: frame repetition, calls, live changes, the loader's
    // pauses. Call after Receive/Take and whenever NextDeadline passes.
    void Tick(int64_t now);
    // The next moment Tick has something to do (INT64_MAX: nothing).
    int64_t NextDeadline(int64_t now) const;

    // Codes waiting for the line. Take hands out at most max of them,
    // applying the drop and corrupt faults; nothing while silent.
    size_t Pending() const { return m_out.size(); }
    // The exchange is silent ("silent" command): nothing goes out now.
    bool Silent(int64_t now) const { return now < m_silentUntil; }
    size_t Take(uint8_t* out, size_t max, int64_t now);
    std::vector<uint8_t> TakeAll(int64_t now);

    // One control command (see sim/README.md). Lines that are empty or start
    // with "#" do nothing.
    Reply Command(const QString& line, int64_t now);
    bool QuitRequested() const { return m_quit; }

    // A complete directive text, as the reader delivers it ("МВ_-").
    void HandleDirective(const QString& text, int64_t now);
    // A printout: line feed, carriage return, machine time, then the lines.
    void Printout(const QStringList& lines, int64_t now);

    // Emits a call now (start frame) and its end after holdMs (< 0: never).
    bool StartCall(const CallPlan& call, int64_t now);

    // Events worth a log line (directives, calls, version transfers).
    std::function<void(const QString&)> OnEvent;

private:
    struct Repetition {
        bool active = false;
        uint16_t address = 0;
        uint32_t count = 0; // payload codes
        int64_t nextAt = 0;
        uint64_t endMark = 0; // queued-code count at the end of the last frame
    };
    struct ActiveCall {
        int kit = 0;
        QString b;
        int64_t endAt = 0;
    };

    void Queue(const uint8_t* codes, size_t n);
    void Queue(const std::vector<uint8_t>& codes) { Queue(codes.data(), codes.size()); }
    void QueueDataFrame();
    void StopRepetition();
    void Event(const QString& text) const;
    void Error(const QString& text, int64_t now);
    void Acknowledge(int64_t now);
    void SetMode(Mode mode, int64_t now);
    void EndCall(size_t index);
    void ScheduleNextCall(int64_t now);
    bool KitUsable(int kit) const;
    bool InCall(int kit) const;
    void StartDataRead(const QStringList& params, int64_t now);
    // Cells from..to of memory block bank (-1: none named) as "AAAAA+-VVVVV".
    void PrintCells(int bank, uint16_t from, uint16_t to, int64_t now);
    void PrintState(int64_t now);

    SimOptions m_options;
    SimMemory m_memory;
    QDateTime m_clockBase;
    int64_t m_clockBaseMs = 0;

    Mode m_mode = Mode::Normal;
    DirectiveReader m_reader;
    Printer m_printer;
    std::deque<uint8_t> m_out;
    uint64_t m_queued = 0, m_taken = 0;
    Repetition m_rep;

    CallGenerator m_generator;
    double m_rate = 0;
    bool m_lineAlive = false;
    int64_t m_nextCallAt = -1;
    std::vector<ActiveCall> m_calls;
    std::mt19937 m_animRng;
    int64_t m_nextAnimateAt = 0;

    std::unique_ptr<Loader> m_loader;
    std::unique_ptr<Unloader> m_unloader;
    int64_t m_lastLineCode = 0; // version modes: last character from the terminal

    std::mt19937 m_faultRng;
    uint64_t m_dropLeft = 0, m_corruptLeft = 0;     // codes to the terminal
    uint64_t m_dropInLeft = 0, m_corruptInLeft = 0; // codes from the terminal
    int64_t m_silentUntil = -1;
    bool m_quit = false;
};

} // namespace sim
