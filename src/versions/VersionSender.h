#pragma once
// The sending side of the version block protocol: a version file goes to the
// exchange's loader block by block. The exchange speaks first and drives the
// transfer with its answers: 0 sends the next block, 8 the current one again.
// Without an answer the current block is repeated every 5 s; after 25 s
// without one (the unloading side's bound too) the transfer gives up
// ("Станция не отвечает").
//
// Plain logic: time comes in as milliseconds of a monotonic clock, frames go
// out through OnSendFrame and the line reports back with FrameWritten.
#include "versions/VersionFormat.h"

#include <QFile>
#include <QString>

#include <climits>
#include <cstdint>
#include <functional>

class VersionSender {
public:
    static constexpr int kResendMs = 5000;
    // Time-outs in a row without an answer that end the transfer.
    static constexpr int kSilentLimit = 5;
    // Simplex pace delay: grows by a step per repeat request while "ОЗУ" is
    // sent, up to the limit. One unit is 10 ns of pause after each character
    // (see PauseNs).
    static constexpr int kDelayStep = 1000;
    static constexpr int kDelayLimit = INT_MAX;
    static int64_t PauseNs(int delay) { return int64_t(delay) * 10; }

    enum class StartResult {
        Started,
        CannotOpen, // "Файл не найден: " + name
        BadFile, // empty or not whole records: "Ошибка чтения файла версии"
        CannotReset, // "Cant Reset InFile"
    };

    // A block read from the file, as the window shows it.
    struct Block {
        uint16_t address = 0;
        int area = 0;     // 0 before the first area is known, 1..8, more past "6 Доп"
        int position = 0; // in the area's progress bar
        int index = 0;    // records read, this one included
        int count = 0;    // records in the file
    };

    VersionSender() = default;
    VersionSender(const VersionSender&) = delete;
    VersionSender& operator=(const VersionSender&) = delete;

    void SetType(Vers::Type type) { m_type = type; }
    Vers::Type Type() const { return m_type; }
    // Simplex lines slow down on repeat requests; duplex lines do not.
    void SetSimplex(bool simplex) { m_simplex = simplex; }

    // Opens the file and builds the frame of its first record. Nothing is
    // sent: the exchange asks first.
    StartResult Start(const QString& path, int64_t now);
    // Ends the transfer; the file stays open, a new Start begins anew.
    void Stop();
    void Close();

    // One character from the exchange (masked to five bits here). Ignored
    // unless waiting for an answer.
    void Receive(uint8_t code, int64_t now);
    // The frame asked for by OnSendFrame has been written.
    void FrameWritten(int64_t now);
    // Runs the answer time-out; call when NextDeadline has passed.
    void Tick(int64_t now);
    // Next moment Tick has something to do (INT64_MAX: nothing).
    int64_t NextDeadline() const;

    bool Running() const { return m_phase != Phase::Idle; }
    bool Sending() const { return m_phase == Phase::Sending; }
    const Vers::Frame& CurrentFrame() const { return m_frame; }
    uint16_t CurrentAddress() const { return uint16_t(m_address); }
    int Delay() const { return m_delay; }
    // Start of the main area (the elapsed-time count); -1 before it.
    int64_t MainStart() const { return m_mainStart; }
    int FramesSent() const { return m_framesSent; }

    std::function<void()> OnSendFrame; // write CurrentFrame(), then FrameWritten
    std::function<void(const Block&)> OnBlock;
    std::function<void(int)> OnDelay;
    std::function<void()> OnCompleted;
    std::function<void(const QString&)> OnFailed;
    std::function<void()> OnGaveUp; // no answer for kSilentLimit time-outs
    // The answer time-out (tests shorten it).
    int ResendMs = kResendMs;

private:
    enum class Phase { Idle, Waiting, Sending };

    bool NextBlock(int64_t now);
    bool AtEnd() const { return m_file.pos() >= m_file.size(); }
    void Send();
    void Complete();
    void Fail(const QString& message);

    QFile m_file;
    Vers::Type m_type = Vers::Type::Planeta;
    bool m_simplex = true;
    Vers::Frame m_frame{};
    int32_t m_address = 0;
    int m_area = 0;
    bool m_ramPhase = false;
    int m_delay = 0;
    int64_t m_mainStart = -1;
    int m_index = 0;
    int m_count = 0;
    int m_framesSent = 0;
    Phase m_phase = Phase::Idle;
    bool m_timeoutArmed = false;
    int64_t m_timeoutAt = 0;
    int m_silent = 0; // time-outs since the last answer
};
