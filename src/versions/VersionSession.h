#pragma once
// A version transfer on a real line: the protocol sides of VersionSender and
// VersionReceiver bound to a VersionLine, the session's clock and its timers.
// Everything runs on the event loop: waits (for the paced characters of a
// frame, for a duplex line to drain) are timers, never loops.
#include "versions/VersionLine.h"
#include "versions/VersionReceiver.h"
#include "versions/VersionSender.h"
#include "versions/VersionWorkFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class VersionSession : public QObject {
    Q_OBJECT
public:
    explicit VersionSession(QObject* parent = nullptr);

    // Takes the line over for the session; false when the exchange refuses.
    bool TakeOver(VersionLine* line);
    // Gives the line back (the transfer stops first); true when the
    // exchange's port is open again.
    bool GiveBack();
    bool Holding() const { return m_holding; }
    VersionLine* Line() const { return m_line; }
    bool LineOpen() const { return m_line && m_line->IsOpen(); }

    // Milliseconds of the session's monotonic clock.
    int64_t Now() const { return m_clock.elapsed(); }
    virtual void Stop() = 0;
    // The transfer as the operator reads it after "идет".
    virtual QString Owner() const = 0;

signals:
    // The port went away: the transfer has stopped.
    void lineLost();

protected:
    virtual void Code(uint8_t code) = 0;
    // Arms the deadline timer for the protocol's next deadline.
    void Schedule(int64_t deadline);
    void Lost();
    virtual void Deadline() = 0;

    VersionLine* m_line = nullptr;
    QTimer m_deadline;
    // Pacing of a frame's characters and the wait for a duplex line to drain.
    QTimer m_poll;

private:
    QElapsedTimer m_clock;
    bool m_holding = false;
};

// The loading window's transfer: a version file to the exchange.
class VersionSendSession : public VersionSession {
    Q_OBJECT
public:
    explicit VersionSendSession(QObject* parent = nullptr);

    VersionSender& Sender() { return m_sender; }
    const VersionSender& Sender() const { return m_sender; }
    VersionSender::StartResult Start(const QString& path, Vers::Type type);
    void Stop() override;
    void Close();
    QString Owner() const override { return QStringLiteral("загрузка версии"); }
    // Bound of the wait for a written frame to leave a duplex line (the
    // clear-to-send bound): a frame still held then is dropped and counts as
    // sent, so the repeat goes on.
    static constexpr int kDrainBoundMs = 1000;
    int DrainBoundMs = kDrainBoundMs; // tests shorten it

signals:
    void block(const VersionSender::Block& block);
    void delayChanged(int delay);
    void completed();
    void failed(const QString& message);
    // The exchange did not answer ("Станция не отвечает"): the transfer stopped.
    void gaveUp();

protected:
    void Code(uint8_t code) override;
    void Deadline() override;

private:
    void WriteFrame();
    void Continue();
    bool WriteDue();

    VersionSender m_sender;
    Vers::Frame m_frame{};
    int m_written = 0;
    std::vector<uint8_t> m_held; // answers that came while the frame drained
    int64_t m_pauseNs = 0;
    QElapsedTimer m_pace;
    int64_t m_drainFrom = -1; // the whole frame written; -1 before
};

// The unloading window's transfer: the exchange's memory to the work file.
class VersionGetSession : public VersionSession {
    Q_OBJECT
public:
    explicit VersionGetSession(QObject* parent = nullptr);

    VersionReceiver& Receiver() { return m_receiver; }
    // Begins a new work file in folder and asks for the first block; false
    // when the work file cannot be made (nothing is sent then).
    bool Start(const QString& folder);
    void Stop() override;
    QString Owner() const override { return QStringLiteral("выгрузка версии"); }
    QString WorkFilePath() const { return m_work.Path(); }
    // Moment the first block was kept (-1 before).
    int64_t FirstBlockAt() const { return m_firstBlockAt; }

signals:
    void block(const VersionReceiver::Block& block);
    // The image is complete and the work file written.
    void completed();
    void gaveUp();
    void failed(const QString& message);

protected:
    void Code(uint8_t code) override;
    void Deadline() override;

private:
    void Answer(uint8_t code);
    void Drain();

    VersionReceiver m_receiver;
    VersionWorkFile m_work;
    std::vector<uint8_t> m_pending; // answers held while a duplex line drains
    int64_t m_firstBlockAt = -1;
};
