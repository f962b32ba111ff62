#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>
#include <ctime>

// Times and time zones for the tests of capture times.

inline qint64 UtcMs(int year, int month, int day, int hour, int minute, int second, int ms) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC)
        .toMSecsSinceEpoch();
}

// Sets the process's time zone for the object's life.
class TimeZoneSet {
public:
    explicit TimeZoneSet(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")) {
        m_before = qgetenv("TZ");
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneSet() {
        if (m_had) {
            qputenv("TZ", m_before);
        } else {
            qunsetenv("TZ");
        }
        ::tzset();
    }
    TimeZoneSet(const TimeZoneSet&) = delete;
    TimeZoneSet& operator=(const TimeZoneSet&) = delete;

private:
    bool m_had;
    QByteArray m_before;
};
