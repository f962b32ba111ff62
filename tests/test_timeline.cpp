#include <QCommandLineParser>
#include <QtTest>
#include <ctime>

#include "schedule/SunTimes.h"
#include "timeline/FrameChoice.h"

namespace {

constexpr qint64 kMsPerMinute = 60'000;

// The local time of Europe/Berlin, which the test sets: 2026-03-29 leaves out 02:00-03:00 (23
// hours) and 2026-10-25 has 02:00-03:00 twice (25 hours).
qint64 LocalMs(const QDate& date, int hour, int minute = 0) {
    return QDateTime(date, QTime(hour, minute)).toMSecsSinceEpoch();
}

// Frames every `stepMinutes` of real time from the local midnight of `first` to that of `last`,
// each taken 3 seconds after its minute, numbered on from `frames`.
void AddFrames(std::vector<TimedFrame>& frames, const QDate& first, const QDate& last,
               int stepMinutes) {
    for (qint64 ms = LocalMs(first, 0) + 3000; ms < LocalMs(last, 0);
         ms += stepMinutes * kMsPerMinute) {
        const int offset = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
        frames.push_back({10001 + static_cast<int>(frames.size()), {ms, offset}});
    }
}

// The time a frame's --list line shows: "2026-03-29T12:00:03+02:00".
QString Shown(const TimedFrame& frame) {
    return QString::fromStdString(ListLine(frame)).section(' ', 1);
}

QString Dates(const std::vector<QDate>& dates) {
    QStringList shown;
    for (const QDate& date : dates) {
        shown << date.toString(Qt::ISODate);
    }
    return shown.join(' ');
}

FrameChoice ChoiceOf(const QStringList& options) {
    FrameChoice choice;
    for (const QString& option : options) {
        const auto message = SetFrameChoiceOption(choice, option.section('=', 0, 0).toStdString(),
                                                  option.section('=', 1).toStdString(), {});
        if (message) {
            qFatal("%s", message->c_str());
        }
    }
    return choice;
}

}  // namespace

class TimelineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
    }

    // Frames every 30 minutes around both of 2026's clock changes, and a June with a gap on
    // 06-02 from 11:00 to 13:00.
    void choiceTakesTheRightFrames_data() {
        QTest::addColumn<int>("dayStartsAt");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("missed");  // daysWithoutDailyFrame
        const auto row = [](const char* name, int dayStartsAt, QStringList options, int count,
                            QString first, QString last, QString missed = {}) {
            QTest::newRow(name) << dayStartsAt << options << count << first << last << missed;
        };
        row("23-hour day", 0, {"day=2026-03-29"}, 46, "2026-03-29T00:00:03+01:00",
            "2026-03-29T23:30:03+02:00");
        row("25-hour day", 0, {"day=2026-10-25"}, 50, "2026-10-25T00:00:03+02:00",
            "2026-10-25T23:30:03+01:00");
        row("hours the clocks skip", 0, {"day=2026-03-29", "between=01:00-04:00"}, 4,
            "2026-03-29T01:00:03+01:00", "2026-03-29T03:30:03+02:00");
        row("hours the clocks repeat", 0, {"day=2026-10-25", "between=01:00-04:00"}, 8,
            "2026-10-25T01:00:03+02:00", "2026-10-25T03:30:03+01:00");
        row("between across midnight", 0,
            {"from=2026-10-23", "to=2026-10-24", "between=22:00-02:00"}, 16,
            "2026-10-23T00:00:03+02:00", "2026-10-24T23:30:03+02:00");
        row("from a time to a whole day", 0, {"from=2026-03-29T12:00", "to=2026-03-30"}, 72,
            "2026-03-29T12:00:03+02:00", "2026-03-30T23:30:03+02:00");
        row("to a time keeps its minute", 0, {"to=2026-03-27T01:00"}, 3,
            "2026-03-27T00:00:03+01:00", "2026-03-27T01:00:03+01:00");
        row("every hour, one skipped", 0, {"day=2026-03-29", "every=60"}, 23,
            "2026-03-29T00:00:03+01:00", "2026-03-29T23:00:03+02:00");
        row("every hour, one twice", 0, {"day=2026-10-25", "every=60"}, 25,
            "2026-10-25T00:00:03+02:00", "2026-10-25T23:00:03+01:00");
        row("every hour from midnight", 0, {"from=2026-03-27T00:30", "to=2026-03-27", "every=60"},
            23, "2026-03-27T01:00:03+01:00", "2026-03-27T23:00:03+01:00");
        // A time the clocks skip is the moment they jump, as the capture hours and --between
        // take it.
        row("daily time the clocks skip", 0, {"day=2026-03-29", "daily-at=02:30"}, 1,
            "2026-03-29T03:00:03+02:00", "2026-03-29T03:00:03+02:00");
        row("from and to in the hour the clocks skip", 0,
            {"from=2026-03-29T02:30", "to=2026-03-29T03:30"}, 2, "2026-03-29T03:00:03+02:00",
            "2026-03-29T03:30:03+02:00");
        row("a day that starts in the hour the clocks skip", 150, {"day=2026-03-29"}, 47,
            "2026-03-29T03:00:03+02:00", "2026-03-30T02:00:03+02:00");
        row("daily time the clocks repeat", 0, {"day=2026-10-25", "daily-at=02:30"}, 1,
            "2026-10-25T02:30:03+02:00", "2026-10-25T02:30:03+02:00");
        row("two daily times", 0, {"from=2026-03-28", "to=2026-03-29", "daily-at=18:00,06:00"}, 4,
            "2026-03-28T06:00:03+01:00", "2026-03-29T18:00:03+02:00");
        row("a day without its daily frame", 0,
            {"from=2026-06-01", "to=2026-06-03", "daily-at=12:00"}, 2, "2026-06-01T12:00:03+02:00",
            "2026-06-03T12:00:03+02:00", "2026-06-02");
        row("a wider tolerance", 0,
            {"from=2026-06-01", "to=2026-06-03", "daily-at=12:00", "tolerance=61"}, 3,
            "2026-06-01T12:00:03+02:00", "2026-06-03T12:00:03+02:00");
        row("a night of 23 hours", 720, {"day=2026-03-28"}, 46, "2026-03-28T12:00:03+01:00",
            "2026-03-29T11:30:03+02:00");
        row("a night's daily time", 720, {"day=2026-03-28", "daily-at=01:00"}, 1,
            "2026-03-29T01:00:03+01:00", "2026-03-29T01:00:03+01:00");
        row("a night's slots", 720, {"day=2026-03-28", "every=360"}, 4, "2026-03-28T12:00:03+01:00",
            "2026-03-29T06:00:03+02:00");
        row("a night to a whole day", 720, {"from=2026-03-30T00:00", "to=2026-03-30"}, 72,
            "2026-03-30T00:00:03+02:00", "2026-03-31T11:30:03+02:00");
    }

    void choiceTakesTheRightFrames() {
        QFETCH(int, dayStartsAt);
        QFETCH(QStringList, options);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, missed);
        std::vector<TimedFrame> frames;
        AddFrames(frames, QDate(2026, 3, 27), QDate(2026, 4, 1), 30);
        AddFrames(frames, QDate(2026, 6, 1), QDate(2026, 6, 4), 30);
        std::erase_if(frames, [](const TimedFrame& frame) {
            return frame.time.ms >= LocalMs(QDate(2026, 6, 2), 11) &&
                   frame.time.ms < LocalMs(QDate(2026, 6, 2), 13);
        });
        AddFrames(frames, QDate(2026, 10, 23), QDate(2026, 10, 27), 30);
        const ChosenFrames chosen = ChooseFrames(frames, ChoiceOf(options), {dayStartsAt, 13.4});
        QCOMPARE(chosen.candidates, int(frames.size()));
        QCOMPARE(int(chosen.frames.size()), count);
        QVERIFY(std::is_sorted(chosen.frames.begin(), chosen.frames.end(),
                               [](const auto& a, const auto& b) { return a.number < b.number; }));
        QCOMPARE(Shown(chosen.frames.front()), first);
        QCOMPARE(Shown(chosen.frames.back()), last);
        QCOMPARE(Dates(chosen.daysWithoutDailyFrame), missed);
    }

    // Solar noon is where the sun stands highest, found here by scanning its altitude minute by
    // minute through each project day: in Berlin across the change of clocks, far west near the
    // solstice (the sun's noon heights alike), where it falls after a local midnight, and on days
    // that start after it.
    void solarNoonIsTheSunsHighest_data() {
        QTest::addColumn<double>("longitude");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<int>("dayStartsAt");
        QTest::addColumn<QString>("missed");
        QTest::newRow("Berlin") << 13.4 << QDate(2026, 3, 28) << 0 << "";
        QTest::newRow("far west") << -170.0 << QDate(2026, 6, 20) << 0 << "";
        QTest::newRow("days from 14:00") << 13.4 << QDate(2026, 6, 20) << 840 << "2026-06-22";
    }

    void solarNoonIsTheSunsHighest() {
        QFETCH(double, longitude);
        QFETCH(QDate, first);
        QFETCH(int, dayStartsAt);
        QFETCH(QString, missed);
        std::vector<TimedFrame> frames;
        AddFrames(frames, first, first.addDays(3), 1);
        const ChosenFrames chosen =
            ChooseFrames(frames, ChoiceOf({"daily-at=solar-noon"}), {dayStartsAt, longitude});
        QCOMPARE(int(chosen.frames.size()), 3);
        QCOMPARE(Dates(chosen.daysWithoutDailyFrame), missed);
        constexpr double kLatitude = 30.0;
        for (const TimedFrame& frame : chosen.frames) {
            const QDate day = QDateTime::fromMSecsSinceEpoch(frame.time.ms)
                                  .addSecs(qint64{-dayStartsAt} * 60)
                                  .date();
            qint64 highest = 0;
            for (qint64 ms = LocalMs(day, 0) + dayStartsAt * kMsPerMinute;
                 ms < LocalMs(day.addDays(1), 0) + dayStartsAt * kMsPerMinute; ms += kMsPerMinute) {
                if (highest == 0 || SunAltitude(ms, kLatitude, longitude) >
                                        SunAltitude(highest, kLatitude, longitude)) {
                    highest = ms;
                }
            }
            QVERIFY2(std::abs(frame.time.ms - highest) <= kMsPerMinute, qPrintable(Shown(frame)));
        }
    }

    // The options as the command line gives them; today and yesterday are the caller's.
    void optionsAreRead() {
        QCommandLineParser parser;
        parser.addOptions(FrameChoiceOptions());
        QVERIFY(
            parser.parse({"vorn", "--day", "yesterday", "--from", "2026-03-01", "--to",
                          "2026-03-02T06:30", "--between", " 22:00-00:00 ", "--daily-at",
                          "18:00,06:00,18:00", "--tolerance", "10", "--every", "1440", "--list"}));
        FrameChoice choice;
        QCOMPARE(ReadFrameChoice(parser, QDate(2026, 3, 1), choice), std::nullopt);
        FrameChoice expected;
        expected.day = QDate(2026, 2, 28);
        expected.from = LocalMoment{QDate(2026, 3, 1), std::nullopt};
        expected.to = LocalMoment{QDate(2026, 3, 2), 390};
        expected.between = std::pair(1320, 0);
        expected.dailyAt = {360, 1080};
        expected.toleranceMinutes = 10;
        expected.everyMinutes = 1440;
        QVERIFY(choice == expected && choice.Any());
        FrameChoice toleranceAlone;
        toleranceAlone.toleranceMinutes = 5;
        QVERIFY(!toleranceAlone.Any());
        QVERIFY(parser.isSet("list"));
    }

    // A value an option does not take gets the one message that names the option.
    void badValueNamesItsOption_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said");  // how the message starts; empty: "--OPTION takes "
        for (const QString row :
             {"day 2026-02-30", "day 26-03-29", "day tomorrow", "from 2026-03-29T25:00",
              "from 2026-03-29_12:00", "to 2026-13-01", "to 2026-03-29T", "between 22:00",
              "between 24:00-06:00", "daily-at 12:00,", "daily-at noon", "daily-at 24:00",
              "tolerance 0", "tolerance 721", "tolerance ten", "every 0", "every 1441",
              "every +5"}) {
            QTest::newRow(qPrintable(row))
                << row.section(' ', 0, 0) << row.section(' ', 1) << QString();
        }
        // A value of the right form says what is wrong with it.
        QTest::newRow("between 08:00-08:00")
            << "between"
            << " 08:00-08:00 "
            << "--between 08:00-08:00 is an empty range: it starts and ends at the same time";
    }

    void badValueNamesItsOption() {
        QFETCH(QString, option);
        QFETCH(QString, text);
        QFETCH(QString, said);
        QCommandLineParser parser;
        parser.addOptions(FrameChoiceOptions());
        QVERIFY(parser.parse({"vorn", "--" + option, text}));
        FrameChoice choice;
        const auto message = ReadFrameChoice(parser, QDate(2026, 3, 1), choice);
        QVERIFY(message);
        const std::string start =
            said.isEmpty() ? "--" + option.toStdString() + " takes " : said.toStdString();
        QVERIFY2(message->starts_with(start), message->c_str());
    }

    // The summary names at most ten days; a list line shows the frame's own offset, to the second.
    void listLineAndSummary() {
        ChosenFrames chosen{std::vector<TimedFrame>(3100), 12880, {QDate(2026, 3, 30)}};
        QCOMPARE(ChoiceSummary(chosen, ChoiceOf({"daily-at=12:00"}), 25),
                 std::string("3,100 of 12,880 frames chosen; no frame near 12:00 on 2026-03-30; "
                             "2 min 04 s at 25 frames a second"));
        chosen.frames.resize(15);
        for (int day = 1; day < 12; ++day) {
            chosen.daysWithoutDailyFrame.push_back(QDate(2026, 3, 30).addDays(day));
        }
        QCOMPARE(ChoiceSummary(chosen, ChoiceOf({"daily-at=solar-noon"}), 29.97),
                 std::string("15 of 12,880 frames chosen; no frame near solar noon on 2026-03-30, "
                             "2026-03-31, 2026-04-01, 2026-04-02, 2026-04-03, 2026-04-04, "
                             "2026-04-05, 2026-04-06, 2026-04-07, 2026-04-08 and 2 more days; 0.5 "
                             "s at 29.97 frames a second"));
        QCOMPARE(ListLine({10001, {LocalMs(QDate(2026, 3, 29), 12) + 3999, 7200}}),
                 std::string("pic_10001.jpg 2026-03-29T12:00:03+02:00"));
        QCOMPARE(ListLine({12345, {LocalMs(QDate(2026, 1, 1), 5, 30), -16200}}),
                 std::string("pic_12345.jpg 2026-01-01T00:00:00-04:30"));
        // An offset with seconds is written in whole minutes, the time with it.
        QCOMPARE(ListLine({12346, {LocalMs(QDate(2026, 1, 1), 5, 30), 3208}}),
                 std::string("pic_12346.jpg 2026-01-01T05:23:00+00:53"));
    }
};

QTEST_MAIN(TimelineTest)
#include "test_timeline.moc"
