#include "platform/Clock.h"

#include <QFileInfo>

#include <ctime>

namespace {
QDateTime g_test;
}

QDateTime Clock::Now() {
    return g_test.isValid() ? g_test : QDateTime::currentDateTime();
}
void Clock::SetTestTime(const QDateTime& t) {
    g_test = t;
}
void Clock::Advance(qint64 ms) {
    if (g_test.isValid()) g_test = g_test.addMSecs(ms);
}
bool Clock::IsTestClock() {
    return g_test.isValid();
}
QString Clock::ShortDateText(const QDateTime& t) {
    return t.toString(QStringLiteral("dd.MM.yy"));
}
QString Clock::TimeText(const QDateTime& t) {
    return t.toString(QStringLiteral("H:mm:ss"));
}

void Clock::PinLocalZone() {
#if defined(Q_OS_LINUX)
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    qputenv("TZ", ":/etc/localtime");
    tzset();
#endif
}
