#pragma once
// The system clock, with a settable test clock. The time and date texts are
// those the roll stamp and the program log are built from.
#include <QDateTime>
#include <QString>

namespace Clock {
QDateTime Now();
// Freezes the clock at the given moment (tests). An invalid QDateTime returns
// to the system clock.
void SetTestTime(const QDateTime& t);
// Moves a frozen test clock on; does nothing to the system clock.
void Advance(qint64 ms);
bool IsTestClock();

// With TZ unset, glibc stats /etc/localtime at every local-time conversion
// to see whether it was replaced (several per billed call). Called once at
// start, this names that file in TZ, so the zone is read once and kept; a
// zone changed while the program runs takes effect at its next start. A TZ
// the user set is left alone.
void PinLocalZone();

QString ShortDateText(const QDateTime& t); // "dd.MM.yy"
QString TimeText(const QDateTime& t);      // "H:mm:ss"
inline QString ShortDateText() {
    return ShortDateText(Now());
}
inline QString TimeText() {
    return TimeText(Now());
}
} // namespace Clock
