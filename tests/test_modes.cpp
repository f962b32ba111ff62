#include <QtTest>

#include "app/CommandLine.h"
#include "app/Modes.h"
#include "support/ManualClock.h"
#include "support/TestSettings.h"

namespace {

// The arguments that ask for `mode`, with a value for its flag when it takes one.
QStringList Asking(const Mode& mode) {
    QStringList arguments{"--" + mode.Flag()};
    if (!mode.options.constFirst().valueName().isEmpty()) {
        arguments << "x.jpg";
    }
    return arguments;
}

// `option` as given on a command line, with a value when it takes one.
QStringList Given(const QCommandLineOption& option) {
    QStringList arguments{"--" + option.names().constLast()};
    if (!option.valueName().isEmpty()) {
        arguments << "1";
    }
    return arguments;
}

const Mode& ModeFlagged(const QString& flag) {
    for (const Mode& mode : Modes()) {
        if (mode.Flag() == flag) {
            return mode;
        }
    }
    qFatal("no mode --%s", qPrintable(flag));
}

}  // namespace

class ModesTest : public QObject {
    Q_OBJECT
private slots:
    // Each mode takes each of its options and those of every mode; an option of no mode but others
    // is refused, naming the modes it belongs to.
    void eachModeTakesItsOwnOptionsAlone() {
        for (const Mode& mode : Modes()) {
            for (const QCommandLineOption& option : mode.options + OptionsOfEveryMode()) {
                if (option.names().contains("help") || option.names().contains("version")) {
                    continue;
                }
                CommandLine commandLine;
                const QStringList arguments = QStringList{"vorn"} + Asking(mode) + Given(option);
                QCOMPARE(commandLine.Parse(arguments), mode.launch);
                QCOMPARE(commandLine.Asked(), &mode);
            }
            for (const Mode& other : Modes()) {
                for (const QCommandLineOption& option : other.options.mid(1)) {
                    const QString name = option.names().constFirst();
                    if (mode.OptionNames().contains(name)) {
                        continue;
                    }
                    CommandLine commandLine;
                    QCOMPARE(commandLine.Parse(QStringList{"vorn"} + Asking(mode) + Given(option)),
                             LaunchMode::BadCommandLine);
                    QVERIFY2(
                        commandLine.Error().startsWith("--" + name + " is not an option of --" +
                                                       mode.Flag() + ": it is one of ") &&
                            commandLine.Error().contains("--" + other.Flag()),
                        qPrintable(commandLine.Error()));
                }
            }
        }
    }

    // Any two modes at once are refused, named in the order given.
    void twoModesAreRefused() {
        for (const Mode& first : Modes()) {
            for (const Mode& second : Modes()) {
                if (&first == &second) {
                    continue;
                }
                CommandLine commandLine;
                QCOMPARE(commandLine.Parse(QStringList{"vorn"} + Asking(first) + Asking(second)),
                         LaunchMode::BadCommandLine);
                QCOMPARE(commandLine.Error(), QString("--%1 and --%2 cannot be used together.")
                                                  .arg(first.Flag(), second.Flag()));
            }
        }
    }

    // The context judges the mode's own keys alone, names only the values the mode needs, and
    // tells today from the clock it is given.
    void contextJudgesOnlyTheModesKeys_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("bad");  // the keys badSettings names
        QTest::addColumn<QString>("missing");  // what `missing` names; empty: nothing
        QTest::newRow("make-video") << "make-video" << QStringList{} << QStringList{"DAY_STARTS_AT"}
                                    << "AUTO_START_DIR, AUTO_START_FRAME_COUNT (missing";
        QTest::newRow("make-video --dir")
            << "make-video" << QStringList{"--dir", "/f"} << QStringList{"DAY_STARTS_AT"}
            << "lacks a readable AUTO_START_FRAME_COUNT (missing";
        QTest::newRow("daily-videos")
            << "daily-videos" << QStringList{} << QStringList{"DAY_STARTS_AT", "KEEP_FRAMES_DAYS"}
            << "AUTO_START_DIR (missing";
        QTest::newRow("daily-videos --dir")
            << "daily-videos" << QStringList{"--dir", "/f"}
            << QStringList{"DAY_STARTS_AT", "KEEP_FRAMES_DAYS"} << QString();
        QTest::newRow("keogram") << "keogram" << QStringList{"x.jpg"}
                                 << QStringList{"DAY_STARTS_AT"} << "AUTO_START_DIR (missing";
        QTest::newRow("serve") << "serve" << QStringList{}
                               << QStringList{"DAY_STARTS_AT", "SERVE_TOKEN", "MIN_FREE_MB"}
                               << "AUTO_START_DIR (missing";
        QTest::newRow("schedule") << "schedule" << QStringList{} << QStringList{"MIN_FREE_MB"}
                                  << QString();
        QTest::newRow("take-frame") << "take-frame" << QStringList{} << QStringList{} << QString();
    }

    void contextJudgesOnlyTheModesKeys() {
        QFETCH(QString, flag);
        QFETCH(QStringList, options);
        QFETCH(QStringList, bad);
        QFETCH(QString, missing);
        const TestSettings settings;
        // Only bad values, and none of the values always written.
        settings.Write(
            "[General]\nDAY_STARTS_AT=25:00\nKEEP_FRAMES_DAYS=-1\nSERVE_TOKEN=short\n"
            "MIN_FREE_MB=x\nCAMERA_LOCK=2\nMQTT_PORT=0\n");
        CommandLine commandLine;
        const Mode& mode = ModeFlagged(flag);
        QCOMPARE(commandLine.Parse(QStringList{"vorn", "--" + flag} + options), mode.launch);
        ManualClock clock;
        clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(0, 30)).toMSecsSinceEpoch());
        const ModeContext context = BuildContext(mode, commandLine.Parser(), clock);
        const QStringList judged = {"DAY_STARTS_AT", "KEEP_FRAMES_DAYS", "SERVE_TOKEN",
                                    "MIN_FREE_MB", "CAMERA_LOCK"};
        for (const QString& key : judged) {
            QCOMPARE(QString::fromStdString(context.badSettings.value_or("")).contains(key),
                     bad.contains(key));
        }
        // MQTT's bad values end the watcher with a code of their own, never as any other's.
        QVERIFY(!QString::fromStdString(context.badSettings.value_or("")).contains("MQTT_PORT"));
        QCOMPARE(QString::fromStdString(context.badMqtt.value_or("")).contains("MQTT_PORT"),
                 flag == "serve");
        const QString told = QString::fromStdString(context.missing.value_or(""));
        QCOMPARE(context.missing.has_value(), !missing.isEmpty());
        QVERIFY2(told.contains(missing), qPrintable(told));
        QVERIFY(!told.contains("CAM_REF"));
        QCOMPARE(context.frameDir.has_value(), options.contains("--dir"));
        QCOMPARE(context.today, QDate(2024, 6, 1));  // the bad DAY_STARTS_AT keeps midnight
        QCOMPARE(context.now.time(), QTime(0, 30));
    }

    // A day that starts later than the clock's time is still yesterday's.
    void contextTellsTodayFromTheClock() {
        const TestSettings settings;
        settings.Write("[General]\nDAY_STARTS_AT=06:00\n");
        CommandLine commandLine;
        QCOMPARE(commandLine.Parse({"vorn", "--daily-videos"}), LaunchMode::DailyVideos);
        ManualClock clock;
        clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(5, 59)).toMSecsSinceEpoch());
        QCOMPARE(BuildContext(*commandLine.Asked(), commandLine.Parser(), clock).today,
                 QDate(2024, 5, 31));
    }
};

QTEST_GUILESS_MAIN(ModesTest)
#include "test_modes.moc"
