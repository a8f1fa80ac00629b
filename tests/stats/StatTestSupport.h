#pragma once
// The statistics tests' peer: the simulated exchange in this process, on the
// far side of a real pseudo-terminal, so that a test sees every directive and
// continuation the terminal sends and can change memory between frames.
#include "TestSupport.h"

#include "Exchange.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable texts in failure messages.

class QSocketNotifier;
class QTimer;

class SimPeer : public QObject {
public:
    SimPeer();
    ~SimPeer() override;

    bool Ok() const { return m_pty.Ok(); }
    sim::SimExchange& Sim() { return *m_sim; }
    const PtyPair& Pty() const { return m_pty; }
    int64_t Now() const { return m_clock.elapsed(); }
    sim::SimExchange::Reply Command(const QString& line) { return m_sim->Command(line, Now()); }

    // Directives the exchange has read, in order.
    QStringList Directives;
    // Spaces between directives: the count seen after directive i (index
    // into Directives; -1 before the first).
    int SpacesAfter(int directive) const;
    // Frames sent for the read of each directive (index into Directives).
    int FramesOf(int directive) const;
    // Called after each whole frame is sent (directive index, frames of it so
    // far), e.g. to change memory for the next one; or on each directive.
    std::function<void(int directive, int frames)> OnFrame;
    std::function<void(const QString& directive)> OnDirective;
    // The exchange hears nothing and sends nothing.
    bool Deaf = false;

private:
    void Pump();
    void Read();

    QElapsedTimer m_clock;
    PtyPair m_pty;
    std::unique_ptr<sim::SimExchange> m_sim;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_timer = nullptr;
    std::vector<uint8_t> m_unsent;
    std::vector<int> m_spaces{0}; // [0]: before the first directive
    std::vector<int> m_frames;
    int m_frameLen = 0; // of the running read
    size_t m_codesOfRead = 0;
    bool m_inDirective = false;
};
