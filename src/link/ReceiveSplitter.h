#pragma once
// The receive half of a line: collects the codes an exchange sends, cuts out
// data frames (14, 14, 14 + payload, only while frames are expected), call
// start frames and call end frames, decodes the rest to text and hands each
// piece to its Output in stream order. It also takes the cell-answer capture:
// N characters that follow a given prefix in the printout.
//
// Codes are held back while they may still belong to a frame: a frame cut
// short by the end of a read, or a trailing 11 or 14 that may begin a header
// (the hold rule). While data frames or a capture are awaited, the text
// around them is dropped (it still moves the receive register). No widgets,
// no timers: the owner feeds it codes and fans its output out.
#include "link/CallFrame.h"
#include "link/LineCode.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class ReceiveSplitter {
public:
    // Codes held at most (RxText).
    static constexpr int kCapacity = 20001;

    // What the splitter hands on. Its calls run no event loop (no nested
    // wait, no modal dialog): a read is processed whole before the next.
    class Output {
    public:
        virtual ~Output() = default;
        // Decoded printout text, to the roll and the view.
        virtual void Text(const QString& text) = 0;
        // Codes were decoded (the receive indicator).
        virtual void Decoded() {}
        // A data-frame header was seen (also for a frame still incomplete).
        virtual void DataHeader() {}
        // A whole data frame: its payload codes, header cut off.
        virtual void DataFrame(const uint8_t* payload, int count) { (void)payload, (void)count; }
        virtual void CallStart(const CallStartNibbles& n) { (void)n; }
        virtual void CallEnd(const CallEndNibbles& n) { (void)n; }
        // The capture took its value (the text around it follows as Text).
        virtual void Captured(const QString& value) { (void)value; }
    };

    // stamp: the roll stamp for a new line (default: GetDateTime, made once a
    // minute on the system clock).
    explicit ReceiveSplitter(Output& out, std::function<QString()> stamp = {});
    ReceiveSplitter(const ReceiveSplitter&) = delete;
    ReceiveSplitter& operator=(const ReceiveSplitter&) = delete;

    // New codes (each 0..31). An Output that runs the event loop may bring
    // more codes here meanwhile: they are taken after the current ones.
    void Feed(const uint8_t* codes, int count);
    // Everything still held goes out as if the line had gone quiet: as text,
    // or dropped while data frames are expected.
    void Flush();

    // Data frames of frameLen codes (header included; below 3 counts as 3)
    // are recognised only while expected.
    void ExpectFrames(int frameLen);
    void StopFrames();
    bool FramesExpected() const { return m_framesExpected; }
    int FrameLen() const { return m_frameLen; }

    // Capture `length` characters after `prefix`. StopCapture gives up: the
    // text held for it is shown at once.
    void StartCapture(const QString& prefix, int length);
    void StopCapture();
    bool CapturePending() const { return m_capturePending; }

    // Whether the roll's current line was just opened with a stamp by the
    // decoder and holds nothing else yet; a directive echo takes (clears) it.
    bool LineStamped() const { return m_code.LineStamped; }
    bool TakeLineStamped();

    int HeldCount() const { return m_len; } // RxTextLen
    bool LineReady() const { return m_lineReady; }

private:
    struct Pending {
        int pos = 0;
        int len = 0;
    };
    enum FrameKind { DataFrameKind, CallStartKind, CallEndKind };

    void Take(const uint8_t* codes, int count);
    void Process(const uint8_t* codes, int count);
    void Collect(bool& headerSeen);
    bool NextFrame(int& pos, int& len, FrameKind& kind, bool& headerSeen);
    void CutFrame(int pos, int len, FrameKind kind);
    bool TryCapture();
    void MakeRoom(int needed);
    void Consume(int count, bool show);
    void ResetScan();
    QString Decode(LineCodeState& st, const uint8_t* codes, int count);
    void Show(const QString& text);

    Output& m_out;
    std::function<QString()> m_stamp;
    LineCodeState m_code;        // receive register, RxControl, LineStamped
    std::vector<uint8_t> m_text; // RxText
    int m_len = 0;               // RxTextLen
    bool m_lineReady = true;
    bool m_framesExpected = false;
    int m_frameLen = 3;
    QString m_prefix; // awaited prefix
    int m_captureLength = 0;
    bool m_capturePending = false;

    std::vector<uint8_t> m_frame; // the frame being handed over
    // A read is being processed: a capture given up from inside an Output
    // call shows its held text with the rest of that read.
    bool m_busy = false;

    // Scan bookkeeping, so that a read costs time in proportion to what it
    // brings, not to what is held: positions below m_scanned hold no complete
    // frame; the incomplete ones are listed by kind.
    int m_scanned = 0;
    bool m_scanFramesExpected = false;
    int m_scanFrameLen = 3;
    std::vector<Pending> m_data, m_start, m_end;
    // Capture: decoded text of m_text[0..m_decodedUpTo) and the register state
    // after it, decoded from the committed state; committed when the codes leave.
    QString m_decoded;
    LineCodeState m_decodeState;
    int m_decodedUpTo = 0;
    bool m_decodeValid = false;
    QString m_searched; // the prefix searched for
    int m_searchFrom = 0;
    int m_prefixAt = -1;
};
