#pragma once
// The receiving side of the version block protocol: the exchange's unloader
// sends its memory block by block and this side drives it: 8 asks for the
// current block (again), 0 accepts it and asks for the next. A block is kept
// only when it continues the image; 500 ms of silence asks again, 50 times at
// most. A broken frame is asked for again once its tail has gone by, so the
// next frame is read from its first character. The image is complete when the last block of an
// additional bank (0xBFC0) was accepted and the exchange then falls silent.
//
// Plain logic: time comes in as milliseconds of a monotonic clock; answers go
// out through OnAnswer and accepted records through OnStore.
#include "versions/VersionFormat.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class VersionReceiver {
public:
    static constexpr int kSilenceMs = 500;
    static constexpr int kRetries = 50;
    // After a broken frame the rest of it is let go by: the answer waits
    // until the line has been quiet this long.
    static constexpr int kQuietMs = 30;

    // A block kept, as the window shows it.
    struct Block {
        uint16_t address = 0;
        int area = 0;
        int position = 0;
        int count = 0; // blocks kept so far
    };

    // Clears everything and asks for the first block.
    void Start(int64_t now);
    // Ends the transfer: nothing more is answered.
    void Stop();

    // Codes from the exchange (masked to five bits here). Acts on each
    // complete frame.
    void Receive(const uint8_t* codes, size_t count, int64_t now);
    // Runs the silence timer; call when NextDeadline has passed.
    void Tick(int64_t now);
    int64_t NextDeadline() const;

    bool Running() const { return m_running; }
    uint16_t LastReceived() const { return uint16_t(m_lastReceived); }
    uint16_t LastStored() const { return uint16_t(m_lastStored); }
    int Stored() const { return m_stored; }
    int Retries() const { return m_retries; }
    int Broken() const { return m_broken; } // frames whose checksum was wrong

    std::function<void(uint8_t)> OnAnswer;
    // Keeps an accepted record; false when it could not be kept.
    std::function<bool(const Vers::Record&)> OnStore;
    std::function<void(const Block&)> OnBlock;
    std::function<void()> OnCompleted;
    std::function<void()> OnGaveUp; // "Станция не отвечает"
    std::function<void(const QString&)> OnFailed;

private:
    void Frame(const uint8_t* chars, int64_t now);
    bool Continues(uint32_t address) const;
    void Answer(uint8_t code, int64_t now);
    void Write(uint8_t code);
    bool Complete() const;

    std::vector<uint8_t> m_buffer; // codes of the frame under way
    uint32_t m_lastReceived = 0;
    uint32_t m_lastStored = 0;
    int m_area = 0;
    int m_retries = 0;
    int m_stored = 0;
    int m_broken = 0;
    uint8_t m_lastAnswer = Vers::kAnswerAgain;
    bool m_running = false;
    bool m_resyncing = false; // a broken frame's tail is being let go by
    int64_t m_quietUntil = 0;
    int64_t m_resyncLimit = 0; // a line that never falls quiet is answered anyway
    bool m_timerArmed = false;
    int64_t m_timerAt = 0;
};
