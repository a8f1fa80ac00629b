#pragma once
// A request-and-answer session: takes one exchange's data frames, its text
// capture or its whole input over for the length of a run (a statistics step,
// a cell capture, a version transfer) and gives the line back when it ends,
// on every path: the destructor stops the frames, gives up a pending capture
// (its held text is shown), ends raw mode and stops the answer timers.
//
// One session per exchange at a time: while one holds the line, a new one is
// refused. A refused session is detached from the start (Exchange() is null,
// nothing it asks reaches the line) and the exchange says which tool holds
// the line (TAts::lineRefused). Each session names its tool for that.
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class RequestTracker;
class TAts;

class RequestSession {
public:
    static constexpr int kDataSize = 65536;

    // owner: what the tool is doing, as the operator reads it after "идет"
    // ("статистика ВК", "снятие состояния АТС").
    RequestSession(TAts& ats, RequestTracker& tracker, QString owner = {});
    // A session without answer timers (raw mode).
    explicit RequestSession(TAts& ats, QString owner = {});
    ~RequestSession();
    RequestSession(const RequestSession&) = delete;
    RequestSession& operator=(const RequestSession&) = delete;

    // The exchange, while this session holds its line.
    TAts* Exchange() const;
    // Another session held the line when this one was made.
    bool Refused() const { return m_refused; }
    const QString& Owner() const { return m_owner; }
    // "Линия АТС занята: идет " and what holds the exchange's line; empty
    // when the line is free.
    static QString BusyText(const TAts& ats);

    // ---- data frames
    // Data frames of frameLen codes (header included) are cut out from now on
    // and handed to Parse; the text around them is dropped.
    void ExpectFrames(int frameLen);
    void StopFrames();
    bool FramesExpected() const;
    // Sends a request (no roll echo) and arms the answer timers.
    void Send(const QString& request);
    // Three spaces straight to the port: the exchange stops repeating frames.
    void SendContinue();

    // Filled from each data frame: one nibble per payload code, or in BitMode
    // one byte per bit (bits 1..4 of each code), then handed to Parse.
    const uint8_t* Data() const { return m_data.data(); }
    std::function<void(const uint8_t* data, int step)> Parse;
    bool BitMode = false;
    bool FrameDone = false;  // set by the consumer: no more frames to Parse
    bool NoContinue = false; // no continuation spaces
    int FrameCounter = 0;    // kept by the consumer; spaces are sent from 2 on
    int DataCount = 0;       // handed to Parse unchanged (the step code)
    int AnswerTicks = 0;     // 100 ms ticks since the last request

    // ---- text capture
    // Takes `length` characters that follow `prefix` in the printout; the
    // prefix and the value are cut out of the text that goes to the roll.
    void StartCapture(const QString& prefix, int length);
    // Gives up: the text held for the capture is shown at once.
    void StopCapture();
    bool CapturePending() const;
    QString CapturedValue;

    // How an asynchronous capture ended.
    enum class CaptureEnd {
        Value,    // the value was taken (also in CapturedValue)
        TimedOut, // no value within the bound, or the capture was given up
        Escaped,  // Esc was pressed (or held when a wait began)
        LineLost, // the session lost the line
    };
    using CaptureReport = std::function<void(CaptureEnd end, const QString& value)>;
    // StartCapture, then send() (which makes the exchange print the value).
    // The bound of timeoutMs runs from when the line has sent what send()
    // queued. done is called once, from the event loop, when the value is
    // taken, the bound has passed, Esc is pressed (escEnds) or the line is
    // lost; every end but Value gives the capture up. A new capture, or the
    // session's end, drops a report not yet made.
    void Capture(const QString& prefix, int length, const std::function<void()>& send,
                 int timeoutMs, CaptureReport done, bool escEnds = true);
    bool CaptureWaiting() const;

    // ---- raw mode
    // Every received code goes to the handler (it must copy what it keeps);
    // nothing reaches the roll or the frame cutter. An empty handler ends it.
    using RawHandler = std::function<void(const uint8_t* codes, int count)>;
    void SetRaw(RawHandler handler);
    bool IsRaw() const { return bool(m_raw); }
    // Bytes straight to the port, outside the queue.
    void WriteRaw(const uint8_t* bytes, int count);

private:
    friend class TAts;
    friend class RequestTracker;
    void OnDataHeader();
    void OnDataFrame(const uint8_t* payload, int count);
    void OnCaptured(const QString& value);
    void OnRaw(const uint8_t* codes, int count);
    void Release();
    void EndCapture(CaptureEnd end);

    QPointer<TAts> m_ats;
    QString m_owner;
    bool m_refused = false;
    RequestTracker* m_tracker = nullptr;
    std::vector<uint8_t> m_data;
    RawHandler m_raw;
    struct CaptureWait;
    std::unique_ptr<CaptureWait> m_capture;
};
