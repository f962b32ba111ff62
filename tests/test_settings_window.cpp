#include <QAbstractButton>
#include <QLockFile>
#include <QtTest>

#include "app/CommandLine.h"
#include "app/VornDlg.h"
#include "panel/ScheduleDlg.h"
#include "res/Resource.h"
#include "session/SeasonSettings.h"
#include "settings/Settings.h"
#include "support/ModalAnswerer.h"
#include "support/TestSettings.h"
#include "widgets/DialogControls.h"

namespace {

using namespace std::chrono_literals;

// Uses the profile `name` for the object's life.
class ProfileInUse {
public:
    explicit ProfileInUse(const std::string& name) { UseProfile(name); }
    ~ProfileInUse() { UseProfile({}); }
    ProfileInUse(const ProfileInUse&) = delete;
    ProfileInUse& operator=(const ProfileInUse&) = delete;
};

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void profileNameIsCheckedOnceAndNamesItsFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("letters") << "garden" << true;
        QTest::newRow("digits, dash and underscore") << "Cam-2_east" << true;
        QTest::newRow("32 characters") << QString(32, 'a') << true;
        QTest::newRow("33 characters") << QString(33, 'a') << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a space") << "my garden" << false;
        QTest::newRow("a folder") << "../garden" << false;
        QTest::newRow("a dot") << "garden.old" << false;
        QTest::newRow("a letter beyond ASCII") << "gärten" << false;
    }

    void profileNameIsCheckedOnceAndNamesItsFile() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        TestSettings settings;
        QCOMPARE(IsProfileName(name.toStdString()), valid);
        CommandLine commandLine;
        const LaunchMode mode = commandLine.Parse({"vorn", "--profile", name, "--take-frame"});
        QCOMPARE(mode, valid ? LaunchMode::TakeFrame : LaunchMode::BadCommandLine);
        QVERIFY(valid || commandLine.Error().contains("--profile takes 1 to 32"));
        if (valid) {
            QCOMPARE(commandLine.Profile(), name.toStdString());
            const ProfileInUse profile(commandLine.Profile());
            QCOMPARE(SettingsFilePath(),
                     QFileInfo(settings.FilePath()).path() + "/Vorn-" + name + ".conf");
        }
    }

    // Each profile has a file, a count and a lock of its own; the window offers to make a file
    // that is missing, and only a Yes makes it.
    void profileKeepsItsOwnFileCountAndLock() {
        TestSettings settings;
        settings.WriteValues(kAllValues);
        const QString mainFile = settings.FilePath();
        const ProfileInUse profile("garden");
        QVERIFY(QString::fromStdString(MissingProfileTrouble().value_or(""))
                    .contains("profile garden"));
        QVERIFY(!ReadSettings());
        ModalAnswerer answerer;
        answerer.SetQuestionAnswer(QMessageBox::No);
        QVERIFY(!OfferToCreateProfile());
        QVERIFY(!settings.Exists());
        answerer.SetQuestionAnswer(QMessageBox::Yes);
        QVERIFY(OfferToCreateProfile());
        QCOMPARE(answerer.Messages().size(), 2);
        QVERIFY(answerer.Messages()[1].contains("The profile garden has no settings file"));
        QVERIFY(!MissingProfileTrouble());
        QCOMPARE(ReadSettings()->frameCount.value_or(-1), 0);
        QVERIFY(StoreFrameCount(5));
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("5"));
        // The program's own file keeps its count, and its lock is not the profile's.
        const auto gardenLock = LockSettingsFile(0ms);
        QVERIFY(gardenLock);
        QVERIFY(!LockSettingsFile(0ms));
        UseProfile({});
        QVERIFY(LockSettingsFile(0ms));
        QCOMPARE(ReadSettings()->frameCount.value_or(-1), 12);
        UseProfile("garden");
        // The window says whose it is.
        const CVornDlg window;
        QVERIFY2(window.windowTitle().endsWith(" - garden"), qPrintable(window.windowTitle()));
        QVERIFY(QFileInfo::exists(mainFile));
    }

    // A bad value has one message, the same wherever it is told: read from the file (the window,
    // --take-frame, --schedule) and typed in the Schedule and camera dialog.
    void badValueHasOneMessage_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("message");  // how it starts; empty: every value taken
        QTest::addColumn<bool>("typed");       // the dialog can show the value
        const auto row = [](const char* name, QByteArray lines, QString message, bool typed) {
            QTest::newRow(name) << lines << message << typed;
        };
        row("all absent", "", "", true);
        row("hours and a place",
            "CAPTURE_HOURS=07:00-19:00\nCAPTURE_DAYLIGHT=1\nLATITUDE=51.5\n"
            "LONGITUDE=-0.1\n",
            "", true);
        row("bad hours", "CAPTURE_HOURS=7-19\n", "CAPTURE_HOURS=7-19 is not valid: give", true);
        row("daylight yes", "CAPTURE_DAYLIGHT=yes\nLATITUDE=1\nLONGITUDE=1\n",
            "CAPTURE_DAYLIGHT=yes is not valid", false);
        row("no latitude", "CAPTURE_DAYLIGHT=1\nLONGITUDE=10\n", "LATITUDE is missing", true);
        row("no longitude", "CAPTURE_DAYLIGHT=1\nLATITUDE=10\n", "LONGITUDE is missing", true);
        row("latitude 91", "LATITUDE=91\n", "LATITUDE=91 is not valid", true);
        row("comma", "CAPTURE_DAYLIGHT=1\nLATITUDE=51,5\nLONGITUDE=0\n",
            "LATITUDE=51,5 is not valid", true);
        row("longitude 181", "LONGITUDE=181\n", "LONGITUDE=181 is not valid", true);
        row("floor in words", "MIN_FREE_MB=lots\n", "MIN_FREE_MB=lots is not valid", true);
        row("camera lock 2", "CAMERA_LOCK=2\n", "CAMERA_LOCK=2 is not valid", false);
        row("day starts at noon", "DAY_STARTS_AT=12:00\n", "", false);
        row("day starts at 25:00", "DAY_STARTS_AT=25:00\n", "DAY_STARTS_AT=25:00 is not valid",
            false);
        row("frames kept -1 days", "KEEP_FRAMES_DAYS=-1\n", "KEEP_FRAMES_DAYS=-1 is not valid",
            false);
        // A secret is not repeated in the message.
        row("short token", "SERVE_TOKEN=only-15-letters\n", "SERVE_TOKEN is not valid", false);
        row("token with a blank", "SERVE_TOKEN=sixteen letters!\n", "SERVE_TOKEN is not valid",
            false);
        row("token of 16", "SERVE_TOKEN=sixteen-letters!\n", "", false);
    }

    void badValueHasOneMessage() {
        QFETCH(QByteArray, lines);
        QFETCH(QString, message);
        QFETCH(bool, typed);
        TestSettings settings;
        settings.WriteValues(kAllValues + lines);
        const std::optional<StoredSettings> stored = ReadSettings();
        QVERIFY(stored);
        QCOMPARE(stored->badValues.size(), std::size_t(message.isEmpty() ? 0 : 1));
        const QString own =
            message.isEmpty() ? QString() : QString::fromStdString(stored->badValues[0].message);
        QVERIFY2(own.startsWith(message) || message.isEmpty(), qPrintable(own));
        const QString all = QString::fromStdString(BadValuesMessage(*stored).value_or(""));
        QCOMPARE(all, own.isEmpty() ? QString()
                                    : "In the settings file " + settings.FilePath() + ", " + own);
        // What a run and --schedule refuse: every bad value but the camera lock's, the day's start,
        // the frames' keeping and the status page's token.
        const auto conditions = SaveConditionsFrom(*stored);
        const bool refused = !own.isEmpty() && !lines.startsWith("CAMERA_LOCK") &&
                             !lines.startsWith("DAY_STARTS_AT") &&
                             !lines.startsWith("KEEP_FRAMES_DAYS") &&
                             !lines.startsWith("SERVE_TOKEN");
        QCOMPARE(std::holds_alternative<std::string>(conditions), refused);
        if (refused) {
            QCOMPARE(QString::fromStdString(std::get<std::string>(conditions)), all);
        }
        if (typed) {
            ModalAnswerer answerer;
            ScheduleDlg dlg;
            QCOMPARE(dlg.Store(), own.isEmpty());
            QCOMPARE(answerer.Messages(), own.isEmpty() ? QStringList() : QStringList{own});
        }
    }

    // The Schedule and camera dialog: OK without a change adds nothing; a bad field is refused by
    // name and nothing is stored; good values are stored with their keys.
    void scheduleDialogStoresWhatChanged() {
        TestSettings settings;
        settings.WriteValues(kAllValues);
        ModalAnswerer answerer;
        ScheduleDlg dlg;
        QCOMPARE(GetDlgItemText(dlg, IDC_MIN_FREE_MB), QString("200"));
        QVERIFY(dlg.Store());
        QCOMPARE(settings.Read(), "[General]\n" + kAllValues);

        SetDlgItemText(dlg, IDC_CAPTURE_HOURS, "25:00-26:00");
        SetDlgItemText(dlg, IDC_LATITUDE, "91");
        QVERIFY(!dlg.Store());
        SetDlgItemText(dlg, IDC_CAPTURE_HOURS, "06:00-21:00");
        QVERIFY(!dlg.Store());
        GetDlgItemAs<QAbstractButton>(dlg, IDC_CAPTURE_DAYLIGHT)->setChecked(true);
        SetDlgItemText(dlg, IDC_LATITUDE, "");
        QVERIFY(!dlg.Store());
        QCOMPARE(answerer.Messages().size(), 3);
        QVERIFY(answerer.Messages()[0].startsWith("CAPTURE_HOURS=25:00-26:00 is not valid"));
        QVERIFY(answerer.Messages()[1].startsWith("LATITUDE=91 is not valid"));
        QVERIFY(answerer.Messages()[2].startsWith("LATITUDE is missing"));
        QCOMPARE(settings.Read(), "[General]\n" + kAllValues);

        SetDlgItemText(dlg, IDC_LATITUDE, "51.48");
        SetDlgItemText(dlg, IDC_LONGITUDE, "-0.0015");
        SetDlgItemText(dlg, IDC_MIN_FREE_MB, "500");
        GetDlgItemAs<QAbstractButton>(dlg, IDC_LATEST_FRAME)->setChecked(true);
        GetDlgItemAs<QAbstractButton>(dlg, IDC_CAMERA_LOCK)->setChecked(true);
        SetDlgItemText(dlg, IDC_POWER_LINE_HZ, "60 Hz");
        QVERIFY(dlg.Store());
        QCOMPARE(settings.Value("CAPTURE_HOURS"), QString("06:00-21:00"));
        QCOMPARE(settings.Value("CAPTURE_DAYLIGHT"), QString("1"));
        QCOMPARE(settings.Value("LATITUDE"), QString("51.48"));
        QCOMPARE(settings.Value("LONGITUDE"), QString("-0.0015"));
        QCOMPARE(settings.Value("MIN_FREE_MB"), QString("500"));
        QCOMPARE(settings.Value("LATEST_FRAME"), QString("1"));
        QCOMPARE(settings.Value("CAMERA_LOCK"), QString("1"));
        QCOMPARE(settings.Value("POWER_LINE_HZ"), QString("60"));
        QCOMPARE(settings.Value("CAM_REF"), QString("2"));

        ScheduleDlg again;
        QCOMPARE(GetDlgItemText(again, IDC_CAPTURE_HOURS), QString("06:00-21:00"));
        QCOMPARE(GetDlgItemText(again, IDC_POWER_LINE_HZ), QString("60 Hz"));
        QVERIFY(GetDlgItemAs<QAbstractButton>(again, IDC_CAMERA_LOCK)->isChecked());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
