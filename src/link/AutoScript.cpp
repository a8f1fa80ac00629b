#include "link/AutoScript.h"

#include "link/Ats.h"
#include "platform/Codec.h"
#include "platform/EscTracker.h"
#include "platform/ProgramLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace {
bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Lines of a text with CR LF, LF or CR line ends; a final line end opens no
// further line.
QStringList SplitLines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString TooLarge(const QString& path) {
    return QStringLiteral("Файл %1 больше %2 КБ: сценарий не выполняется")
        .arg(QDir::toNativeSeparators(path))
        .arg(AutoScript::kMaxFileBytes / 1024);
}

// The script file's bytes, read only when it is a regular file within the
// size limit; nullopt with the reason otherwise (an empty reason: it could
// not be opened).
std::optional<QByteArray> ReadScript(const QString& path, QString* why) {
    const QFileInfo fi(path);
    if (fi.exists() && !fi.isFile()) {
        *why = QStringLiteral("%1 не файл: сценарий не выполняется")
                   .arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    if (fi.size() > AutoScript::kMaxFileBytes) {
        *why = TooLarge(path);
        return std::nullopt;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = f.read(AutoScript::kMaxFileBytes + 1);
    if (bytes.size() > AutoScript::kMaxFileBytes) {
        *why = TooLarge(path);
        return std::nullopt;
    }
    return bytes;
}

// Up to two digits, blanks around them allowed.
std::optional<int> TwoDigits(const QString& part) {
    const QString t = part.trimmed();
    if (t.isEmpty() || t.size() > 2) return std::nullopt;
    for (const QChar c : t)
        if (!IsAsciiDigit(c)) return std::nullopt;
    return t.toInt();
}
} // namespace

AutoScript::Entry AutoScript::Read(const QString& line) {
    Entry e;
    if (line.trimmed().isEmpty()) return e;
    if (IsAsciiDigit(line.at(0))) {
        // The leading number; a number too long for a timer waits the longest.
        int seconds = 0;
        for (qsizetype i = 0; i < line.size() && IsAsciiDigit(line.at(i)); ++i) {
            seconds = seconds * 10 + (line.at(i).unicode() - '0');
            if (seconds >= kMaxPauseSeconds) {
                seconds = kMaxPauseSeconds;
                break;
            }
        }
        e.kind = Entry::Kind::Pause;
        e.pauseMs = seconds * 1000;
        return e;
    }
    e.kind = Entry::Kind::Directive;
    e.directive = Upper1251(line.left(kMaxDirective));
    return e;
}

QString AutoScript::Upper1251(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const QChar u = c.toUpper();
        if (u != c && Codec::Cp1251Byte(u) >= 0) c = u;
    }
    return out;
}

std::optional<int> AutoScript::ParseHhMm(const QString& text, int maxHours) {
    if (text.size() != 5 || text.at(2) != QLatin1Char(':')) return std::nullopt;
    const auto h = TwoDigits(text.left(2));
    const auto m = TwoDigits(text.mid(3, 2));
    if (!h || !m || *h > maxHours || *m > 59) return std::nullopt;
    return (*h * 60 + *m) * 60000;
}

AutoScript::AutoScript(TAts& ats) : m_ats(ats) {
    m_escPoll = new QTimer(this);
    m_escPoll->setInterval(kEscPollMs);
    connect(m_escPoll, &QTimer::timeout, this, &AutoScript::OnEscPoll);
    AutoSchedule& sch = ats.Schedule();
    connect(&sch, &AutoSchedule::due, this, &AutoScript::Run);
    connect(sch.PauseTimer, &QTimer::timeout, this, &AutoScript::OnPauseEnd);
    connect(&ats.Link(), &Line::drained, this, &AutoScript::OnDrained);
}

AutoScript::~AutoScript() {
    if (m_state == State::Pausing) m_ats.Schedule().PauseTimer->stop();
}

// ---------------------------------------------------------------- file

QString AutoScript::FileText(QString* why) const {
    QString reason;
    const auto bytes = ReadScript(m_ats.AutoFileName(), &reason);
    if (why) *why = reason;
    if (!bytes) return QString();
    return SplitLines(Codec::FromCp1251(*bytes)).join(QLatin1Char('\n'));
}

bool AutoScript::Save(const QString& text, QString* why) {
    const QString path = m_ats.AutoFileName();
    QByteArray bytes;
    for (const QString& line : SplitLines(text)) {
        for (const QChar c : line)
            if (Codec::Cp1251Byte(c) < 0) {
                if (why) *why = QStringLiteral("Символ «%1» не сохраняется в Windows-1251").arg(c);
                return false;
            }
        bytes += Codec::ToCp1251(line);
        bytes += "\r\n";
        if (bytes.size() > kMaxFileBytes) {
            if (why)
                *why = QStringLiteral("Сценарий больше %1 КБ не сохраняется")
                           .arg(kMaxFileBytes / 1024);
            return false;
        }
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (why) *why = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- modes

void AutoScript::Rearm() {
    AutoSchedule& sch = m_ats.Schedule();
    sch.AutoTimer->stop();
    if (m_state == State::Idle) sch.Apply(m_ats.Settings);
}

void AutoScript::SwitchRunAt(bool on) {
    AtsSettings& s = m_ats.Settings;
    if (on == s.AutoIn) return;
    if (on && s.AutoEvery) s.SetAutoEvery(false);
    s.SetAutoIn(on);
    // Switching one mode off leaves the other armed (a store may hold both).
    Rearm();
}

void AutoScript::SwitchEvery(bool on) {
    AtsSettings& s = m_ats.Settings;
    if (on == s.AutoEvery) return;
    if (on && s.AutoIn) s.SetAutoIn(false);
    s.SetAutoEvery(on);
    Rearm();
}

bool AutoScript::SetRunAtText(const QString& hhmm) {
    const auto ms = ParseHhMm(hhmm, 23);
    if (!ms) return false;
    m_ats.Settings.SetAutoInTime(*ms);
    if (m_ats.Settings.AutoIn) Rearm();
    return true;
}

bool AutoScript::SetEveryText(const QString& hhmm) {
    const auto ms = ParseHhMm(hhmm, 99);
    // A period of 0 would spin the timer.
    if (!ms || *ms == 0) return false;
    m_ats.Settings.SetAutoEveryTime(*ms);
    if (m_ats.Settings.AutoEvery) Rearm();
    return true;
}

// ---------------------------------------------------------------- run

void AutoScript::Run() {
    m_ats.Schedule().AutoTimer->stop();
    if (m_state != State::Idle) return;
    if (!Load()) {
        Fail();
        return;
    }
    m_next = 0;
    m_state = State::Running;
    Advance();
}

// The copy of the file for this run; a missing file is created empty.
bool AutoScript::Load() {
    const QString path = m_ats.AutoFileName();
    m_lines.clear();
    if (!QFileInfo::exists(path)) {
        if (!Save(QString())) return false;
    } else {
        QString why;
        const auto bytes = ReadScript(path, &why);
        if (!bytes) {
            if (!why.isEmpty()) {
                WriteLog(why);
                emit m_ats.status(why);
            }
            return false;
        }
        m_lines = SplitLines(Codec::FromCp1251(*bytes));
    }
    emit loaded(m_lines);
    return true;
}

// Works through the lines until one must be waited for, or to the end.
void AutoScript::Advance() {
    m_advancing = true;
    const bool escEndsDrain = !m_ats.Link().GetMode().duplex;
    while (m_next < m_lines.size()) {
        const Entry e = Read(m_lines.at(m_next++));
        if (e.kind == Entry::Kind::Skip) continue;
        if (e.kind == Entry::Kind::Pause) {
            m_state = State::Pausing;
            QTimer* pause = m_ats.Schedule().PauseTimer;
            pause->setInterval(e.pauseMs);
            pause->start();
            m_escPoll->start();
            m_advancing = false;
            return;
        }
        m_state = State::Sending;
        m_ats.SendDirective(e.directive);
        // The line may have drained (or refused the bytes) already.
        if (m_state == State::Sending && m_ats.IsSending()) {
            if (escEndsDrain) m_escPoll->start();
            m_advancing = false;
            return;
        }
        m_state = State::Running;
    }
    m_advancing = false;
    Finish();
}

void AutoScript::Finish() {
    m_escPoll->stop();
    m_state = State::Idle;
    Rearm();
    emit finished(true);
}

void AutoScript::Fail() {
    m_escPoll->stop();
    m_state = State::Idle;
    WriteLog(QStringLiteral("Ошибка АвтоТаймера ") + m_ats.Key());
    emit finished(false);
}

void AutoScript::OnDrained() {
    if (m_state != State::Sending) return;
    m_escPoll->stop();
    m_state = State::Running;
    if (!m_advancing) Advance();
}

void AutoScript::OnPauseEnd() {
    if (m_state != State::Pausing) return;
    m_escPoll->stop();
    m_state = State::Running;
    Advance();
}

void AutoScript::OnEscPoll() {
    if (!EscTracker::IsEscDown()) return;
    if (m_state == State::Pausing)
        m_ats.Schedule().PauseTimer->stop();
    else if (m_state != State::Sending)
        return;
    m_escPoll->stop();
    m_state = State::Running;
    Advance();
}
