#pragma once
// The automatic script of one exchange: its file, its two run modes and the
// run itself.
//
// The file (RollDir + "AutoN.txt", Windows-1251) holds one entry a line: a
// line that begins with a digit is a pause of that many seconds (the leading
// number; what follows it is ignored), an empty or blank line is skipped, and
// any other line is a directive, sent in capitals.
//
// A run works on a copy loaded when it starts, so saving the file meanwhile
// changes only the next run. It never waits inside a call: it sends a
// directive and goes on when the line has drained, pauses on the schedule's
// PauseTimer, and a held Esc (polled) ends a pause or, in normal link mode, a
// drain wait. Directives go through the exchange's own queue, so runs of
// several exchanges and typed directives interleave. When the run ends,
// AutoTimer is armed again by the modes in force; a failure ("Ошибка
// АвтоТаймера " + key in the program log) leaves it off.
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QTimer;
class TAts;

class AutoScript : public QObject {
    Q_OBJECT
public:
    static constexpr int kEscPollMs = 50;
    // A directive line is cut to this many characters: its codes (two at most
    // for each character) still fit the outgoing queue.
    static constexpr int kMaxDirective = 2000;
    // Longest pause: a timer interval is an int of milliseconds.
    static constexpr int kMaxPauseSeconds = 2000000;
    // Largest script file: a line is a directive or a pause of some ten
    // bytes, so 64 KiB is thousands of directives, hours of paced sending,
    // far beyond any real script; a larger file is refused rather than read
    // whole into memory and the lists on every run.
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    // One line of a script, read.
    struct Entry {
        enum class Kind { Skip, Pause, Directive } kind = Kind::Skip;
        int pauseMs = 0;
        QString directive; // in capitals, at most kMaxDirective characters
    };
    static Entry Read(const QString& line);
    // Capitals as the Windows-1251 letters have them: a character keeps its
    // case when its capital has no Windows-1251 byte.
    static QString Upper1251(const QString& text);
    // "hh:mm" (blanks around the digits allowed) as ms; nullopt when the
    // minutes exceed 59 or the hours maxHours.
    static std::optional<int> ParseHhMm(const QString& text, int maxHours);

    // Connects the run to the exchange's schedule and line.
    explicit AutoScript(TAts& ats);
    ~AutoScript() override;

    // The script file as text, for the editor: empty when it cannot be read,
    // and when it is refused (not a regular file, or larger than
    // kMaxFileBytes) with the reason in *why.
    QString FileText(QString* why = nullptr) const;
    // Writes the file whole or not at all, in Windows-1251 with CR LF line
    // ends. False, with the reason in *why, when it cannot be written, is
    // larger than kMaxFileBytes or the text holds characters Windows-1251
    // has not.
    bool Save(const QString& text, QString* why = nullptr);

    // "В назначенное время" and "Каждые N-часов": the modes exclude each
    // other; each change is stored and AutoTimer armed anew (after the run,
    // while one is going).
    void SwitchRunAt(bool on);
    void SwitchEvery(bool on);
    // Enter in the time fields. False when the text is refused (a run-at time
    // past 23:59, a period of 00:00, minutes past 59): the time in force stays.
    bool SetRunAtText(const QString& hhmm);
    bool SetEveryText(const QString& hhmm);

    // AutoTimer's tick: starts a run (a tick during a run only stops the timer:
    // the run's end arms it again).
    void Run();
    bool IsRunning() const { return m_state != State::Idle; }
    bool IsPausing() const { return m_state == State::Pausing; }
    // The copy the last run loaded (AutoMemo).
    const QStringList& Lines() const { return m_lines; }

signals:
    // A run has loaded its copy of the script.
    void loaded(const QStringList& lines);
    // A run has ended (ok false: it failed).
    void finished(bool ok);

private:
    enum class State { Idle, Running, Sending, Pausing };

    bool Load();
    void Advance();
    void Finish();
    void Fail();
    void Rearm();
    void OnDrained();
    void OnPauseEnd();
    void OnEscPoll();

    TAts& m_ats;
    QTimer* m_escPoll = nullptr;
    QStringList m_lines;
    qsizetype m_next = 0;
    State m_state = State::Idle;
    bool m_advancing = false;
};
