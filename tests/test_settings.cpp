#include <QtTest>
#include <climits>
#include <cmath>
#include <future>

#include "platform/Numbers.h"
#include "session/SeasonSettings.h"
#include "session/VideoOptionsStore.h"
#include "session/VornSession.h"
#include "settings/Settings.h"
#include "settings/SettingsKey.h"
#include "support/SyntheticCamera.h"
#include "support/TestSettings.h"

namespace {

using namespace std::chrono_literals;

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesDefaultsThatLoad() {
        TestSettings settings;
        VornSession dlg;
        QVERIFY(!settings.Exists());
        CreateDefaultSettings();
        QVERIFY(settings.Exists());
        QCOMPARE(settings.Value("AUTO_START_ON_OFF"), QString("0"));
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("0"));
        QCOMPARE(settings.Value("CAM_REF"), QString("0"));
        QCOMPARE(settings.Value("RESOLUTION_REF"), QString("1"));
        QCOMPARE(settings.Value("AUTO_START_DIR"), QString("./"));

        QVERIFY(dlg.LoadSettings());
        QCOMPARE(dlg.GetFrameDir(), std::string("./"));
        QCOMPARE(dlg.m_autoStart, 0);
        QCOMPARE(dlg.m_autoStartFrameCount, 0);
        QCOMPARE(dlg.m_cameraIndex, 0);
        QCOMPARE(dlg.m_resolution, 640480);
    }

    void existingSettingsAreNotOverwritten() {
        TestSettings settings;
        settings.WriteValues("AUTO_START_FRAME_COUNT=7\n");
        VornSession dlg;
        CreateDefaultSettings();
        QCOMPARE(settings.Read(), QByteArray("[General]\nAUTO_START_FRAME_COUNT=7\n"));
    }

    void allValuesLoad() {
        TestSettings settings;
        settings.WriteValues(kAllValues);
        VornSession dlg;
        QVERIFY(dlg.LoadSettings());
        QCOMPARE(dlg.GetFrameDir(), std::string("/data/frames/"));
        QCOMPARE(dlg.m_autoStartFrameCount, 12);
        QCOMPARE(dlg.m_cameraIndex, 2);
        QCOMPARE(dlg.m_resolution, 1024768);
    }

    void missingValueFailsButOthersLoad() {
        TestSettings settings;
        settings.WriteValues(
            "AUTO_START_DIR=/"
            "data\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=5\nRESOLUTION_REF=0\n");
        VornSession dlg;
        CreateDefaultSettings();
        QVERIFY(!dlg.LoadSettings());
        QCOMPARE(dlg.GetFrameDir(), std::string("/data/"));
        QCOMPARE(dlg.m_autoStartFrameCount, 5);
        QCOMPARE(dlg.m_cameraIndex, 0);
        QCOMPARE(dlg.m_resolution, 320240);
        QVERIFY2(settings.Value("CAM_REF").isNull(), "a missing value is not recreated");
    }

    void tooLongValueCountsAsMissing() {
        TestSettings settings;
        const QByteArray longest(254, 'a');  // with its NUL, 255 bytes: still read
        settings.WriteValues("AUTO_START_DIR=/" + longest.left(253) + "\nAUTO_START_ON_OFF=0\n" +
                             "AUTO_START_FRAME_COUNT=" + QByteArray(254, '1') +
                             "\nCAM_REF=" + QByteArray(255, '2') + "\nRESOLUTION_REF=4\n");
        VornSession dlg;
        QVERIFY(!dlg.LoadSettings());
        QCOMPARE(dlg.GetFrameDir().size(), std::size_t(255));  // 254 read, separator appended
        QCOMPARE(dlg.m_autoStartFrameCount, INT_MAX);
        QCOMPARE(dlg.m_cameraIndex, 0);
        QCOMPARE(dlg.m_resolution, 16001200);
    }

    void handTypedDirectoryComesBackWhole_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("commas and spaces") << "/home/me/My frames, 2024, garden/";
        QTest::newRow("semicolon and hash") << "/srv/cam;1/#north/";
        QTest::newRow("non-ASCII letters") << "/home/jürgen/Zeitraffer ä ö ß/日本/";
        QTest::newRow("quote inside") << "/tmp/say \"cheese\"/";
    }

    void handTypedDirectoryComesBackWhole() {
        QFETCH(QString, typed);
        TestSettings settings;
        settings.WriteValues("; typed by hand\nAUTO_START_DIR = " + typed.toUtf8() + "  \n");
        VornSession dlg;
        dlg.LoadSettings();
        QCOMPARE(QString::fromStdString(dlg.GetFrameDir()), typed);

        // Written back by the program and read again, it stays the same.
        {
            auto key = SettingsKey::OpenForWriting();
            QVERIFY(key);
            key->SetValue("AUTO_START_DIR", typed.toStdString());
        }
        VornSession again;
        again.LoadSettings();
        QCOMPARE(QString::fromStdString(again.GetFrameDir()), typed);
    }

    // Each value alone in the file: what the dialog makes of it.
    void storedValueLoads_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("loaded");
        const auto row = [](const char* name, QByteArray line, QString loaded) {
            QTest::newRow(name) << line << loaded;
        };
        row("folder gets a separator", "AUTO_START_DIR=/data/frames", "/data/frames/");
        row("separator kept", "AUTO_START_DIR=/data/frames/", "/data/frames/");
        row("root", "AUTO_START_DIR=/", "/");
        row("empty folder stays empty", "AUTO_START_DIR=", "");
        row("resolution 0", "RESOLUTION_REF=0", "320240");
        row("resolution 1", "RESOLUTION_REF=1", "640480");
        row("resolution 2", "RESOLUTION_REF=2", "960720");
        row("resolution 3", "RESOLUTION_REF=3", "1024768");
        row("resolution 4", "RESOLUTION_REF=4", "16001200");
        row("resolution 7 taken as a code", "RESOLUTION_REF=7", "7");
        row("resolution 800 by 600", "RESOLUTION_REF=800600", "800600");
        row("resolution negative", "RESOLUTION_REF=-2", "-2");
        // Whether these start the auto-start timer: the auto-start tests.
        row("auto-start 5 is on", "AUTO_START_ON_OFF=5", "5");
        row("auto-start 0 is off", "AUTO_START_ON_OFF=0", "0");
        row("auto-start -1 kept, off", "AUTO_START_ON_OFF=-1", "-1");
    }

    void storedValueLoads() {
        QFETCH(QByteArray, line);
        QFETCH(QString, loaded);
        TestSettings settings;
        settings.WriteValues(line + "\n");
        VornSession dlg;
        dlg.LoadSettings();
        if (line.startsWith("AUTO_START_DIR")) {
            QCOMPARE(QString::fromStdString(dlg.GetFrameDir()), loaded);
        } else if (line.startsWith("RESOLUTION_REF")) {
            QCOMPARE(QString::number(dlg.m_resolution), loaded);
        } else {
            QCOMPARE(QString::number(dlg.m_autoStart), loaded);
        }
    }

    // The camera lock's values: absent or empty is off; anything but the values they take is
    // named, never guessed.
    void cameraLockValuesAreTakenOrNamed_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<int>("hz");  // 0: none
        QTest::addColumn<QString>("bad");
        QTest::newRow("absent") << QByteArray() << false << 0 << "";
        QTest::newRow("empty") << QByteArray("CAMERA_LOCK=\nPOWER_LINE_HZ=\n") << false << 0 << "";
        QTest::newRow("lock, 50 Hz")
            << QByteArray("CAMERA_LOCK=1\nPOWER_LINE_HZ=50\n") << true << 50 << "";
        QTest::newRow("lock 2, 60 Hz with blanks")
            << QByteArray("CAMERA_LOCK=2\nPOWER_LINE_HZ = 60 \n") << false << 60 << "CAMERA_LOCK=2";
        QTest::newRow("55 Hz") << QByteArray("CAMERA_LOCK=1\nPOWER_LINE_HZ=55\n") << true << 0
                               << "POWER_LINE_HZ=55";
        QTest::newRow("50Hz with its unit")
            << QByteArray("POWER_LINE_HZ=50Hz\n") << false << 0 << "POWER_LINE_HZ=50Hz";
    }

    void cameraLockValuesAreTakenOrNamed() {
        QFETCH(QByteArray, lines);
        QFETCH(bool, lock);
        QFETCH(int, hz);
        QFETCH(QString, bad);
        TestSettings settings;
        settings.WriteValues(kAllValues + lines);
        const auto stored = ReadSettings();
        QVERIFY(stored && stored->Complete());
        QCOMPARE(stored->cameraLock, lock);
        QCOMPARE(stored->powerLineHz.value_or(0), hz);
        QCOMPARE(stored->badValues.size(), std::size_t(bad.isEmpty() ? 0 : 1));
        if (!bad.isEmpty()) {
            const QString message = QString::fromStdString(stored->badValues[0].message);
            QVERIFY2(message.startsWith(bad + " is not valid"), qPrintable(message));
        }
    }

    // The watcher's keys: absent, their defaults; a value a broker or the watcher cannot use is
    // named.
    void watcherValuesAreTakenOrNamed_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("alertDays");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("bad");
        QTest::newRow("absent") << QByteArray() << 1883 << 3 << ""
                                << "";
        QTest::newRow("given") << QByteArray(
                                      "MQTT_HOST=broker.lan\nMQTT_PORT=8883\n"
                                      "MQTT_TOPIC=vorn/garden\nALERT_DAYS_LEFT=0\n")
                               << 8883 << 0 << "vorn/garden"
                               << "";
        QTest::newRow("port 0") << QByteArray("MQTT_PORT=0\n") << 1883 << 3 << ""
                                << "MQTT_PORT=0";
        QTest::newRow("port past 65535") << QByteArray("MQTT_PORT=65536\n") << 1883 << 3 << ""
                                         << "MQTT_PORT=65536";
        QTest::newRow("topic with +") << QByteArray("MQTT_TOPIC=vorn/+\n") << 1883 << 3 << ""
                                      << "MQTT_TOPIC=vorn/+";
        QTest::newRow("topic with #") << QByteArray("MQTT_TOPIC=vorn/#\n") << 1883 << 3 << ""
                                      << "MQTT_TOPIC=vorn/#";
        QTest::newRow("broker's own topic")
            << QByteArray("MQTT_TOPIC=$SYS/vorn\n") << 1883 << 3 << ""
            << "MQTT_TOPIC=$SYS/vorn";
        QTest::newRow("empty level") << QByteArray("MQTT_TOPIC=vorn//a\n") << 1883 << 3 << ""
                                     << "MQTT_TOPIC=vorn//a";
        QTest::newRow("host as a URL") << QByteArray("MQTT_HOST=mqtt://broker\n") << 1883 << 3 << ""
                                       << "MQTT_HOST=mqtt://broker";
        QTest::newRow("days left in words")
            << QByteArray("ALERT_DAYS_LEFT=three\n") << 1883 << 3 << ""
            << "ALERT_DAYS_LEFT=three";
    }

    void watcherValuesAreTakenOrNamed() {
        QFETCH(QByteArray, lines);
        QFETCH(int, port);
        QFETCH(int, alertDays);
        QFETCH(QString, topic);
        QFETCH(QString, bad);
        TestSettings settings;
        settings.WriteValues(kAllValues + lines);
        const auto stored = ReadSettings();
        QVERIFY(stored && stored->Complete());
        QCOMPARE(stored->mqttPort, port);
        QCOMPARE(stored->alertDaysLeft, alertDays);
        QCOMPARE(QString::fromStdString(stored->mqttTopic), topic);
        QCOMPARE(stored->onTroubleTimeoutSeconds, 30);
        QCOMPARE(stored->badValues.size(), std::size_t(bad.isEmpty() ? 0 : 1));
        if (!bad.isEmpty()) {
            const QString message = QString::fromStdString(stored->badValues[0].message);
            QVERIFY2(message.startsWith(bad + " is not valid"), qPrintable(message));
        }
    }

    // The keys of a season's capture: absent, they change nothing; a bad value names its key. A
    // bad DAY_STARTS_AT does not stop a capture: only choosing frames by day reads it.
    void seasonValuesLoad_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("minFreeMb");
        QTest::addColumn<bool>("latestFrame");
        QTest::addColumn<QString>("bad");  // what the message names; empty: none
        QTest::addColumn<int>("dayStartsAt");
        QTest::addColumn<int>("keepFramesDays");  // 0: absent, every frame kept
        const auto row = [](const char* name, QByteArray lines, int minFreeMb, bool latestFrame,
                            QString bad = {}, int dayStartsAt = 0, int keepFramesDays = 0) {
            QTest::newRow(name) << lines << minFreeMb << latestFrame << bad << dayStartsAt
                                << keepFramesDays;
        };
        row("none", "", 200, false);
        row("floor and latest", "MIN_FREE_MB=1024\nLATEST_FRAME=1\n", 1024, true);
        row("floor off", "MIN_FREE_MB=0\nLATEST_FRAME=0\n", 0, false);
        row("empty values", "MIN_FREE_MB=\nLATEST_FRAME=\n", 200, false);
        row("negative floor", "MIN_FREE_MB=-5\n", 200, false, "MIN_FREE_MB=-5");
        row("floor in words", "MIN_FREE_MB=2GB\n", 200, false, "MIN_FREE_MB=2GB");
        row("latest yes", "LATEST_FRAME=yes\n", 200, false, "LATEST_FRAME=yes");
        row("hours too long", "CAPTURE_HOURS=" + QByteArray(300, '1') + "\n", 200, false,
            "CAPTURE_HOURS is too long");
        row("nights from noon", "DAY_STARTS_AT=12:00\n", 200, false, {}, 720);
        row("day starts late", "DAY_STARTS_AT = 23:59 \n", 200, false, {}, 1439);
        row("day starts at 24:00", "DAY_STARTS_AT=24:00\n", 200, false);
        row("day starts at 7", "DAY_STARTS_AT=7\n", 200, false);
        row("frames kept a week", "KEEP_FRAMES_DAYS= 7\n", 200, false, {}, 0, 7);
        row("frames kept a day", "KEEP_FRAMES_DAYS=1\n", 200, false, {}, 0, 1);
        row("frames kept no day", "KEEP_FRAMES_DAYS=0\n", 200, false);
        row("frames kept for ever", "KEEP_FRAMES_DAYS=all\n", 200, false);
    }

    void seasonValuesLoad() {
        QFETCH(QByteArray, lines);
        QFETCH(int, minFreeMb);
        QFETCH(bool, latestFrame);
        QFETCH(QString, bad);
        QFETCH(int, dayStartsAt);
        QFETCH(int, keepFramesDays);
        TestSettings settings;
        settings.WriteValues(kAllValues + "CAPTURE_HOURS=07:00-19:00\nLATITUDE=51.5\n" + lines);
        const std::optional<StoredSettings> stored = ReadSettings();
        QVERIFY(stored && stored->Complete());
        QCOMPARE(stored->minFreeMb, minFreeMb);
        QCOMPARE(stored->latestFrame, latestFrame);
        QCOMPARE(stored->dayStartsAt, dayStartsAt);
        QCOMPARE(stored->keepFramesDays.value_or(0), keepFramesDays);
        const QDate day(2024, 6, 1);
        QCOMPARE(QString::fromStdString(PlanLine(day, stored->schedule.DayPlan(day))),
                 lines.startsWith("CAPTURE_HOURS") ? "2024-06-01 00:00-24:00"
                                                   : "2024-06-01 07:00-19:00");
        const QString message =
            QString::fromStdString(BadValuesMessage(*stored, kSaveConditionSettings).value_or(""));
        QVERIFY2(bad.isEmpty() ? message.isEmpty() : message.contains(bad), qPrintable(message));
    }

    // The video options come back as stored; one the video maker cannot take keeps its default.
    void videoOptionsLoad_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("loaded");  // output, deflicker, window, skip, width, length
        const auto row = [](const char* name, QByteArray lines, QString loaded) {
            QTest::newRow(name) << lines << loaded;
        };
        row("none", "", "output.avi 0 15 0 0 0");
        row("all taken",
            "VIDEO_OUTPUT=a.mp4\nVIDEO_DEFLICKER=1\nVIDEO_DEFLICKER_WINDOW=31\nVIDEO_SKIP_BAD=1\n"
            "VIDEO_WIDTH=640\nVIDEO_LENGTH=12.5\n",
            "a.mp4 1 31 1 640 12.5");
        row("none taken",
            "VIDEO_OUTPUT=.a.mp4\nVIDEO_DEFLICKER=2\nVIDEO_DEFLICKER_WINDOW=14\nVIDEO_SKIP_BAD=\n"
            "VIDEO_WIDTH=1\nVIDEO_LENGTH=-3\n",
            "output.avi 0 15 0 0 0");
    }

    void videoOptionsLoad() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, loaded);
        TestSettings settings;
        settings.WriteValues(lines);
        const VideoOptions options = ReadVideoOptions();
        QCOMPARE(QString::fromStdString(options.outputName) + QString(" %1 %2 %3 %4 %5")
                                                                  .arg(int(options.deflicker))
                                                                  .arg(options.deflickerWindow)
                                                                  .arg(int(options.skipBad))
                                                                  .arg(options.width)
                                                                  .arg(options.lengthSeconds),
                 loaded);
        // Stored and read again, they are the same.
        QVERIFY(StoreVideoOptions(options));
        QCOMPARE(ReadVideoOptions(), options);
    }

    // A value the file lacks is added after its group's last value; the rest of the file stays.
    void storedValueIsAddedToItsGroup() {
        TestSettings settings;
        settings.Write("; kept\n[General]\nCAM_REF=2\n\n[Other]\nX=1\n");
        QVERIFY(SettingsKey::StoreValues({{"LATEST_FRAME", "1"}, {"CAM_REF", "3"}}));
        QCOMPARE(settings.Read(),
                 QByteArray("; kept\n[General]\nCAM_REF=3\nLATEST_FRAME=1\n\n[Other]\nX=1\n"));
    }

    // The window's video options wait for the lock that a launch holds while it counts its frame,
    // and go into the file in one rewrite: the count stored meanwhile stays.
    void videoOptionsWaitForTheLockAndKeepTheCount() {
        TestSettings settings;
        settings.WriteValues(kAllValues);
        VideoOptions options;
        options.outputName = "night.mp4";
        options.deflicker = true;
        options.width = 640;
        std::unique_ptr<QLockFile> launch = LockSettingsFile(0ms);
        QVERIFY(launch);
        std::future<bool> stored =
            std::async(std::launch::async, [&] { return StoreVideoOptions(options); });
        QCOMPARE(stored.wait_for(300ms), std::future_status::timeout);
        QVERIFY(StoreFrameCount(13));
        launch.reset();
        QVERIFY(stored.get());
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("13"));
        QCOMPARE(ReadVideoOptions(), options);
    }

    // Storing the count changes the bytes of that one value and nothing else of the file.
    void countIsStoredInItsLineOnly_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("plain") << QByteArray("[General]\n" + kAllValues)
                               << QByteArray("[General]\n" + kAllValues).replace("=12", "=42");
        QTest::newRow("comments, groups, key order, Latin-1 bytes")
            << QByteArray(
                   "; taken by cron\n[General]\nCAM_REF=2\nAUTO_START_DIR=/d/caf\xe9\n"
                   "# count below\nAUTO_START_FRAME_COUNT=12\n[Other]\n"
                   "AUTO_START_FRAME_COUNT=5\n")
            << QByteArray(
                   "; taken by cron\n[General]\nCAM_REF=2\nAUTO_START_DIR=/d/caf\xe9\n"
                   "# count below\nAUTO_START_FRAME_COUNT=42\n[Other]\n"
                   "AUTO_START_FRAME_COUNT=5\n");
        QTest::newRow("no group, blanks, CRLF, no last newline")
            << QByteArray("CAM_REF=0\r\n  AUTO_START_FRAME_COUNT = 7 \r\nRESOLUTION_REF=1")
            << QByteArray("CAM_REF=0\r\n  AUTO_START_FRAME_COUNT = 42 \r\nRESOLUTION_REF=1");
        QTest::newRow("the last of two lines is the value read")
            << QByteArray("[General]\nAUTO_START_FRAME_COUNT=1\nAUTO_START_FRAME_COUNT=2\n")
            << QByteArray("[General]\nAUTO_START_FRAME_COUNT=1\nAUTO_START_FRAME_COUNT=42\n");
        QTest::newRow("missing value: nothing written")
            << QByteArray("[General]\nCAM_REF=0\n;AUTO_START_FRAME_COUNT=3\n") << QByteArray();
    }

    void countIsStoredInItsLineOnly() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        TestSettings settings;
        settings.Write(before);
        QFile::setPermissions(settings.FilePath(), QFile::ReadOwner | QFile::WriteOwner);

        QCOMPARE(SettingsKey::StoreValueInPlace("AUTO_START_FRAME_COUNT", "42"), !after.isEmpty());

        QCOMPARE(settings.Read(), after.isEmpty() ? before : after);
        const auto ownerGroupOther = QFile::permissions(settings.FilePath()) &
                                     ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(ownerGroupOther, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(QDir(settings.Dir() + "/config/Brimlow").entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Vorn.conf"});
        if (!after.isEmpty()) {
            QCOMPARE(ReadSettings()->frameCount, std::optional<int>(42));
        }
    }

    void countIsNotStoredWithoutAWritableFile_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("missing file is not created") << false << false;
        QTest::newRow("read-only file") << true << true;
    }

    void countIsNotStoredWithoutAWritableFile() {
        QFETCH(bool, exists);
        QFETCH(bool, readOnly);
        TestSettings settings;
        QDir().mkpath(settings.Dir() + "/config/Brimlow");
        if (exists) {
            settings.WriteValues(kAllValues);
        }
        if (readOnly) {
            QFile::setPermissions(settings.FilePath(), QFile::ReadOwner | QFile::ReadGroup);
        }
        QVERIFY(!SettingsKey::IsWritable());
        QVERIFY(!SettingsKey::StoreValueInPlace("AUTO_START_FRAME_COUNT", "42"));
        QCOMPARE(settings.Exists(), exists);
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), exists ? QString("12") : QString());
    }

    void numbersParseAsAtoiDoes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("leading blanks, trailing text") << " \t 17 frames" << 17;
        QTest::newRow("sign") << "-8" << -8;
        QTest::newRow("plus") << "+3" << 3;
        QTest::newRow("no digits") << "x1" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("sign alone") << "-" << 0;
        QTest::newRow("control byte first") << "\x01" << 0;
        QTest::newRow("too large") << "99999999999" << INT_MAX;
        QTest::newRow("too small") << "-99999999999" << INT_MIN;
        QTest::newRow("beyond 64 bits") << "+99999999999999999999999" << INT_MAX;
    }

    void numbersParseAsAtoiDoes() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(ParseInt(text.toStdString()), value);
    }

    // What the edits' data exchange takes: the whole text, in any locale, or nothing.
    void wholeNumbersParseTheWholeText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");  // NaN: refused
        QTest::addColumn<int>("integer");    // -1: refused
        const double refused = std::nan("");
        QTest::newRow("integer with blanks") << " 25 " << 25.0 << 25;
        QTest::newRow("plus") << "+3" << 3.0 << 3;
        QTest::newRow("point") << "0.5" << 0.5 << -1;
        QTest::newRow("comma") << "0,5" << refused << -1;
        QTest::newRow("exponent") << "1e3" << 1000.0 << -1;
        QTest::newRow("trailing text") << "5x" << refused << -1;
        QTest::newRow("empty") << "" << refused << -1;
        QTest::newRow("infinite") << "inf" << refused << -1;
        QTest::newRow("beyond int") << "99999999999" << 99999999999.0 << -1;
    }

    void wholeNumbersParseTheWholeText() {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(int, integer);
        const std::optional<double> parsed = ParseWholeNumber(text.toStdString());
        QCOMPARE(parsed.has_value(), !std::isnan(number));
        if (parsed) {
            QCOMPARE(*parsed, number);
        }
        QCOMPARE(ParseWholeInt(text.toStdString()).value_or(-1), integer);
    }

    void camSourceIsOptionalAndReachesTheCameraOpener() {
        TestSettings settings;
        VornSession dlg;
        CreateDefaultSettings();
        QVERIFY2(settings.Value("CAM_SOURCE").isNull(), "not written by default");
        QVERIFY2(dlg.LoadSettings(), "not missed when absent");
        QCOMPARE(dlg.m_camSource, std::string());

        // A pipeline longer than the other values may be.
        const std::string pipeline =
            "videotestsrc pattern=ball ! video/x-raw,width=640,height=480 ! " +
            std::string(300, ' ') + "videoconvert ! appsink";
        settings.WriteValues(kAllValues + "CAM_SOURCE=" + QByteArray::fromStdString(pipeline) +
                             "\n");
        QVERIFY(dlg.LoadSettings());
        QCOMPARE(dlg.m_camSource, pipeline);

        RecordingOpener opener(NoCamera());
        dlg.SetCameraOpener(opener.Opener());
        QVERIFY(!dlg.OpenCamera(dlg.m_cameraIndex));
        QCOMPARE(opener.Requests(), (std::vector<OpenRequest>{{2, pipeline}}));

        // Too long to read: named, never taken for camera 0 in silence.
        settings.WriteValues(kAllValues + "CAM_SOURCE=" + QByteArray(4096, 'v') + "\n");
        QVERIFY(!dlg.LoadSettings());
        QVERIFY(SettingsTrouble(ReadSettings()).value_or("").find("CAM_SOURCE") !=
                std::string::npos);
    }

    // Another writer changes the count within the same second and keeps the file's size and time
    // (a sync tool does): the next read sees it all the same.
    void everyReadSeesTheFileAsItIsNow() {
        TestSettings settings;
        settings.WriteValues(kAllValues);
        QCOMPARE(ReadSettings()->frameCount, 12);
        const QDateTime written = QFileInfo(settings.FilePath()).lastModified();
        settings.WriteValues(QByteArray(kAllValues).replace("COUNT=12", "COUNT=13"));
        QFile file(settings.FilePath());
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(written, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(ReadSettings()->frameCount, 13);
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
