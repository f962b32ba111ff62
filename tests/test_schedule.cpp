#include <QtTest>
#include <cstdio>
#include <ctime>

#include "schedule/CaptureSchedule.h"
#include "schedule/SunTimes.h"
#include "session/SeasonSettings.h"
#include "support/TestSettings.h"

namespace {

// Local time of the zone the test sets: Europe/Berlin, which leaves out 02:00-03:00 on
// 2024-03-31 and has 02:00-03:00 twice on 2024-10-27.
QDateTime Local(int year, int month, int day, int hour, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

QDateTime Utc(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate).toUTC();
}

CaptureSchedule Hours(int start, int end) {
    return CaptureSchedule(DailyHours{start, end}, false, 0.0, 0.0);
}

QString Plan(const CaptureSchedule& schedule, const QDate& date) {
    return QString::fromStdString(PlanLine(date, schedule.DayPlan(date)));
}

}  // namespace

class ScheduleTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
    }

    void dailyHoursParse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");  // -1: refused
        QTest::addColumn<int>("end");
        QTest::newRow("day") << "07:00-19:30" << 420 << 1170;
        QTest::newRow("across midnight") << "22:00-04:00" << 1320 << 240;
        QTest::newRow("blanks around") << " 06:00 - 18:00 " << 360 << 1080;
        QTest::newRow("until midnight") << "18:00-00:00" << 1080 << 1440;
        QTest::newRow("whole day") << "00:00-24:00" << 0 << 1440;
        QTest::newRow("same start and end") << "08:00-08:00" << -1 << 0;
        QTest::newRow("hour 25") << "25:00-26:00" << -1 << 0;
        QTest::newRow("minute 60") << "07:60-08:00" << -1 << 0;
        QTest::newRow("24:00 as a start") << "24:00-06:00" << -1 << 0;
        QTest::newRow("one digit") << "7:00-19:00" << -1 << 0;
        QTest::newRow("no end") << "07:00" << -1 << 0;
        QTest::newRow("words") << "dawn-dusk" << -1 << 0;
    }

    void dailyHoursParse() {
        QFETCH(QString, text);
        QFETCH(int, start);
        QFETCH(int, end);
        const std::optional<DailyHours> hours = ParseDailyHours(text.toStdString());
        QCOMPARE(hours.has_value(), start >= 0);
        if (hours) {
            QCOMPARE(hours->startMinute, start);
            QCOMPARE(hours->endMinute, end);
        }
    }

    // Civil dawn and dusk within two minutes of an almanac (UTC).
    // Fairbanks, 2012-12-21: civil twilight 09:33-16:06 AKST, from the U.S. Naval Observatory's
    // tables as quoted in a Fairbanks blog (mbar.us, December 2012). The others: PyEphem 4.1.4
    // (XEphem's libastro; centre of the sun at -6 degrees, no refraction, sea level), which agrees
    // with the USNO value above to the minute.
    void civilTwilightMatchesTheAlmanac_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<QDateTime>("dawn");
        QTest::addColumn<QDateTime>("dusk");
        const auto row = [](const char* name, QDate date, double latitude, double longitude,
                            const char* dawn, const char* dusk) {
            QTest::newRow(name) << date << latitude << longitude << Utc(dawn) << Utc(dusk);
        };
        row("Fairbanks, USNO", QDate(2012, 12, 21), 64.8378, -147.7164, "2012-12-21T18:33:00Z",
            "2012-12-22T01:06:00Z");
        row("Quito, equinox", QDate(2024, 3, 20), -0.2299, -78.5250, "2024-03-20T10:57:26Z",
            "2024-03-20T23:45:14Z");
        row("Singapore", QDate(2024, 11, 1), 1.3521, 103.8198, "2024-10-31T22:24:54Z",
            "2024-11-01T11:11:39Z");
        row("Greenwich, June", QDate(2024, 6, 21), 51.4769, -0.0005, "2024-06-21T02:55:09Z",
            "2024-06-21T21:08:39Z");
        row("Greenwich, December", QDate(2024, 12, 21), 51.4769, -0.0005, "2024-12-21T07:23:01Z",
            "2024-12-21T16:33:33Z");
        row("Sydney, June", QDate(2024, 6, 21), -33.8688, 151.2093, "2024-06-20T20:32:20Z",
            "2024-06-21T07:21:39Z");
        row("Reykjavik", QDate(2024, 3, 1), 64.1466, -21.9426, "2024-03-01T07:45:43Z",
            "2024-03-01T19:35:44Z");
    }

    void civilTwilightMatchesTheAlmanac() {
        QFETCH(QDate, date);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(QDateTime, dawn);
        QFETCH(QDateTime, dusk);
        const CivilTwilight sun = CivilTwilightOn(date, latitude, longitude);
        QCOMPARE(int(sun.kind), int(CivilTwilight::Kind::DawnAndDusk));
        constexpr qint64 kTwoMinutes = 120'000;
        QVERIFY2(std::abs(sun.dawnMs - dawn.toMSecsSinceEpoch()) <= kTwoMinutes,
                 qPrintable(QDateTime::fromMSecsSinceEpoch(sun.dawnMs).toUTC().toString()));
        QVERIFY2(std::abs(sun.duskMs - dusk.toMSecsSinceEpoch()) <= kTwoMinutes,
                 qPrintable(QDateTime::fromMSecsSinceEpoch(sun.duskMs).toUTC().toString()));
        // The events are where the sun's centre stands at -6 degrees.
        QVERIFY(std::abs(SunAltitude(sun.dawnMs, latitude, longitude) + 6.0) < 0.02);
        QVERIFY(std::abs(SunAltitude(sun.duskMs, latitude, longitude) + 6.0) < 0.02);
    }

    // Fairbanks has no civil night from mid-May to late July (USNO, as the Anchorage Daily News
    // reported in May 2017); Longyearbyen's sun stays below -6 degrees at midwinter.
    void polarDayAndNight() {
        QCOMPARE(int(CivilTwilightOn(QDate(2017, 6, 21), 64.8378, -147.7164).kind),
                 int(CivilTwilight::Kind::AllDay));
        QCOMPARE(int(CivilTwilightOn(QDate(2024, 12, 21), 78.2232, 15.6267).kind),
                 int(CivilTwilight::Kind::None));
        const CaptureSchedule fairbanks(std::nullopt, true, 64.8378, -147.7164);
        QCOMPARE(Plan(fairbanks, QDate(2017, 6, 21)), QString("2017-06-21 00:00-24:00"));
        const CaptureSchedule svalbard(std::nullopt, true, 78.2232, 15.6267);
        QCOMPARE(Plan(svalbard, QDate(2024, 12, 21)), QString("2024-12-21 none"));
        QVERIFY(!svalbard.IsOpen(Local(2024, 12, 21, 12)));
        // Polar night ends in February.
        const std::optional<QDateTime> next = svalbard.NextOpening(Local(2024, 12, 21, 12));
        QVERIFY(next && next->date() > QDate(2025, 1, 20) && next->date() < QDate(2025, 2, 20));
    }

    // Greenwich in Berlin's zone, June 21: civil daylight 04:55-23:09 CEST; hours across
    // midnight cut it in two.
    void hoursAndDaylightMustBothHold() {
        const CaptureSchedule daylight(std::nullopt, true, 51.4769, -0.0005);
        QCOMPARE(Plan(daylight, QDate(2024, 6, 21)), QString("2024-06-21 04:55-23:09"));
        const CaptureSchedule both(DailyHours{20 * 60, 6 * 60}, true, 51.4769, -0.0005);
        QCOMPARE(Plan(both, QDate(2024, 6, 21)), QString("2024-06-21 04:55-06:00 20:00-23:09"));
        QVERIFY(both.IsOpen(Local(2024, 6, 21, 5, 30)));
        QVERIFY(!both.IsOpen(Local(2024, 6, 21, 4, 50)));
        QVERIFY(!both.IsOpen(Local(2024, 6, 21, 12)));
        QCOMPARE(both.NextOpening(Local(2024, 6, 21, 12)), Local(2024, 6, 21, 20));
        QCOMPARE(both.NextChange(Local(2024, 6, 21, 20, 30))->time().hour(), 23);
    }

    void rangeAcrossMidnight() {
        const CaptureSchedule night = Hours(22 * 60, 4 * 60);
        QCOMPARE(Plan(night, QDate(2024, 6, 1)), QString("2024-06-01 00:00-04:00 22:00-24:00"));
        QVERIFY(night.IsOpen(Local(2024, 6, 1, 23, 59)));
        QVERIFY(night.IsOpen(Local(2024, 6, 2, 0, 0)));
        QVERIFY(night.IsOpen(Local(2024, 6, 2, 3, 59)));
        QVERIFY(!night.IsOpen(Local(2024, 6, 2, 4, 0)));
        QVERIFY(!night.IsOpen(Local(2024, 6, 1, 21, 59)));
        QCOMPARE(night.NextOpening(Local(2024, 6, 1, 12)), Local(2024, 6, 1, 22));
        QCOMPARE(night.NextOpening(Local(2024, 6, 1, 23)), Local(2024, 6, 1, 23));
        // Open through midnight: the next change is the morning's end, not the midnight.
        QCOMPARE(night.NextChange(Local(2024, 6, 1, 23)), Local(2024, 6, 2, 4));
        QCOMPARE(night.NextChange(Local(2024, 6, 2, 5)), Local(2024, 6, 2, 22));
    }

    // The night of 2024-03-31 is an hour short, that of 2024-10-27 an hour long: the ranges are
    // the clock's, their lengths what the clocks make them.
    void daylightSavingChange() {
        const CaptureSchedule night = Hours(22 * 60, 4 * 60);
        const std::vector<TimeRange> spring = night.DayPlan(QDate(2024, 3, 31));
        QCOMPARE(Plan(night, QDate(2024, 3, 31)), QString("2024-03-31 00:00-04:00 22:00-24:00"));
        QCOMPARE(spring.front().start.secsTo(spring.front().end), 3 * 3600);
        const std::vector<TimeRange> autumn = night.DayPlan(QDate(2024, 10, 27));
        QCOMPARE(autumn.front().start.secsTo(autumn.front().end), 5 * 3600);
        // 03:30 on the short night is 01:30 UTC; 04:00 CEST, 02:00 UTC, closes it.
        QVERIFY(night.IsOpen(Utc("2024-03-31T01:30:00Z")));
        QVERIFY(!night.IsOpen(Utc("2024-03-31T02:00:00Z")));
        // A start the clocks skip opens when they jump: 02:30 on 2024-03-31 is 03:00.
        const CaptureSchedule skipped = Hours(2 * 60 + 30, 6 * 60);
        QCOMPARE(skipped.DayPlan(QDate(2024, 3, 31)).front().start, Local(2024, 3, 31, 3));
        QCOMPARE(Plan(skipped, QDate(2024, 3, 31)), QString("2024-03-31 03:00-06:00"));
    }

    void planPrintsOneLineADay() {
        char buffer[4096] = {};
        std::FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
        PrintSchedulePlan(Hours(7 * 60, 19 * 60), QDate(2024, 12, 30), 3, out);
        PrintSchedulePlan(CaptureSchedule(), QDate(2024, 12, 30), 1, out);
        PrintSchedulePlan(CaptureSchedule(std::nullopt, true, 78.2232, 15.6267),
                          QDate(2024, 12, 30), 1, out);
        std::fclose(out);
        QCOMPARE(QString(buffer), QString("2024-12-30 07:00-19:00\n"
                                          "2024-12-31 07:00-19:00\n"
                                          "2025-01-01 07:00-19:00\n"
                                          "2024-12-30 00:00-24:00\n"
                                          "2024-12-30 none\n"));
    }

    // `vorn --schedule` as a user runs it before leaving a camera for a month.
    void scheduleCommand_data() {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("error");
        QTest::newRow("a week of hours")
            << QByteArray("CAPTURE_HOURS=07:00-19:00") << QStringList{} << 0 << 7 << "";
        QTest::newRow("three days") << QByteArray("CAPTURE_HOURS=07:00-19:00")
                                    << QStringList{"--days", "3"} << 0 << 3 << "";
        QTest::newRow("bad hours")
            << QByteArray("CAPTURE_HOURS=7-19") << QStringList{} << 15 << 0
            << "Vorn.conf, CAPTURE_HOURS=7-19 is not valid: give a daily range";
        QTest::newRow("bad floor") << QByteArray("MIN_FREE_MB=full") << QStringList{} << 15 << 0
                                   << "MIN_FREE_MB=full is not valid: give the megabytes";
        QTest::newRow("no days") << QByteArray() << QStringList{"--days", "0"} << 2 << 0
                                 << "--days";
        QTest::newRow("days without --schedule")
            << QByteArray() << QStringList{"--days", "2"} << 2 << 0 << "--days";
    }

    void scheduleCommand() {
        QFETCH(QByteArray, setting);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(int, lines);
        QFETCH(QString, error);
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=./\n" + setting + "\n");
        // The plan starts on the day the child read: one of these two when the run straddles
        // midnight.
        const QDate before = QDate::currentDate();
        QProcess vorn;
        const bool schedule = QString(QTest::currentDataTag()) != "days without --schedule";
        vorn.start(VORN_EXECUTABLE,
                   (schedule ? QStringList{"--schedule"} : QStringList{}) + options);
        QVERIFY(vorn.waitForFinished(30000));
        const QDate after = QDate::currentDate();
        QCOMPARE(vorn.exitCode(), code);
        const QStringList printed =
            QString::fromUtf8(vorn.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (code == 0) {
            QCOMPARE(printed.size(), lines);
            const QDate today = QDate::fromString(printed[0].left(10), Qt::ISODate);
            QVERIFY2(today == before || today == after, qPrintable(printed[0]));
            for (int day = 0; day < lines; ++day) {
                QCOMPARE(printed[day], today.addDays(day).toString(Qt::ISODate) + " 07:00-19:00");
            }
        } else {
            const QString told = QString::fromUtf8(vorn.readAllStandardError());
            QVERIFY2(told.contains(error), qPrintable(told));
        }
    }
};

QTEST_MAIN(ScheduleTest)
#include "test_schedule.moc"
