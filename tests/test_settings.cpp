#include <QtTest>
#include <climits>

#include "app/VornDlg.h"
#include "platform/SettingsKey.h"
#include "settings/Settings.h"
#include "support/SyntheticCamera.h"
#include "support/TestSettings.h"

namespace {

const QByteArray kAllValues =
    "AUTO_START_DIR=/data/frames\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=12\n"
    "CAM_REF=2\nRESOLUTION_REF=3\n";

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartCreatesDefaultsThatLoad();
    void existingSettingsAreNotOverwritten();
    void allValuesLoad();
    void missingValueFailsButOthersLoad();
    void tooLongValueCountsAsMissing();
    void frameDirGetsTrailingSeparator_data();
    void frameDirGetsTrailingSeparator();
    void handTypedDirectoryComesBackWhole_data();
    void handTypedDirectoryComesBackWhole();
    void resolutionRefSelectsCode_data();
    void resolutionRefSelectsCode();
    void autoStartSwitchSetsTimer_data();
    void autoStartSwitchSetsTimer();
    void countAutoStartFrameStoresNextCount();
    void unwritableSettingsChangeNothing();
    void numbersParseAsAtoiDoes_data();
    void numbersParseAsAtoiDoes();
    void camSourceIsOptionalAndReachesTheCameraOpener();
};

void SettingsTest::firstStartCreatesDefaultsThatLoad() {
    TestSettings settings;
    CVornDlg dlg;
    QVERIFY(!settings.Exists());
    dlg.CreateDefaultSettings();
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
    QVERIFY(!dlg.IsTimerActive(1));
}

void SettingsTest::existingSettingsAreNotOverwritten() {
    TestSettings settings;
    settings.WriteValues("AUTO_START_FRAME_COUNT=7\n");
    CVornDlg dlg;
    dlg.CreateDefaultSettings();
    QCOMPARE(settings.Read(), QByteArray("[General]\nAUTO_START_FRAME_COUNT=7\n"));
}

void SettingsTest::allValuesLoad() {
    TestSettings settings;
    settings.WriteValues(kAllValues);
    CVornDlg dlg;
    QVERIFY(dlg.LoadSettings());
    QCOMPARE(dlg.GetFrameDir(), std::string("/data/frames/"));
    QCOMPARE(dlg.m_autoStartFrameCount, 12);
    QCOMPARE(dlg.m_cameraIndex, 2);
    QCOMPARE(dlg.m_resolution, 1024768);
}

void SettingsTest::missingValueFailsButOthersLoad() {
    TestSettings settings;
    settings.WriteValues(
        "AUTO_START_DIR=/data\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=5\nRESOLUTION_REF=0\n");
    CVornDlg dlg;
    dlg.CreateDefaultSettings();
    QVERIFY(!dlg.LoadSettings());
    QCOMPARE(dlg.GetFrameDir(), std::string("/data/"));
    QCOMPARE(dlg.m_autoStartFrameCount, 5);
    QCOMPARE(dlg.m_cameraIndex, 0);
    QCOMPARE(dlg.m_resolution, 320240);
    QVERIFY2(settings.Value("CAM_REF").isNull(), "a missing value is not recreated");
}

void SettingsTest::tooLongValueCountsAsMissing() {
    TestSettings settings;
    const QByteArray longest(254, 'a');  // with its NUL, 255 bytes: still read
    settings.WriteValues("AUTO_START_DIR=/" + longest.left(253) + "\nAUTO_START_ON_OFF=0\n" +
                         "AUTO_START_FRAME_COUNT=" + QByteArray(254, '1') +
                         "\nCAM_REF=" + QByteArray(255, '2') + "\nRESOLUTION_REF=4\n");
    CVornDlg dlg;
    QVERIFY(!dlg.LoadSettings());
    QCOMPARE(dlg.GetFrameDir().size(), std::size_t(255));  // 254 read, separator appended
    QCOMPARE(dlg.m_autoStartFrameCount, INT_MAX);
    QCOMPARE(dlg.m_cameraIndex, 0);
    QCOMPARE(dlg.m_resolution, 16001200);
}

void SettingsTest::frameDirGetsTrailingSeparator_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("no separator") << QByteArray("/data/frames") << "/data/frames/";
    QTest::newRow("separator kept") << QByteArray("/data/frames/") << "/data/frames/";
    QTest::newRow("root") << QByteArray("/") << "/";
    QTest::newRow("empty stays empty") << QByteArray("") << "";
}

void SettingsTest::frameDirGetsTrailingSeparator() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, loaded);
    TestSettings settings;
    settings.WriteValues("AUTO_START_DIR=" + stored + "\n");
    CVornDlg dlg;
    dlg.LoadSettings();
    QCOMPARE(QString::fromStdString(dlg.GetFrameDir()), loaded);
}

void SettingsTest::handTypedDirectoryComesBackWhole_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("commas and spaces") << "/home/me/My frames, 2024, garden/";
    QTest::newRow("semicolon and hash") << "/srv/cam;1/#north/";
    QTest::newRow("non-ASCII letters") << "/home/jürgen/Zeitraffer ä ö ß/日本/";
    QTest::newRow("quote inside") << "/tmp/say \"cheese\"/";
}

void SettingsTest::handTypedDirectoryComesBackWhole() {
    QFETCH(QString, typed);
    TestSettings settings;
    settings.WriteValues("; typed by hand\nAUTO_START_DIR = " + typed.toUtf8() + "  \n");
    CVornDlg dlg;
    dlg.LoadSettings();
    QCOMPARE(QString::fromStdString(dlg.GetFrameDir()), typed);

    // Written back by the program and read again, it stays the same.
    {
        auto key = SettingsKey::OpenForWriting();
        QVERIFY(key);
        key->SetValue("AUTO_START_DIR", typed.toStdString());
    }
    CVornDlg again;
    again.LoadSettings();
    QCOMPARE(QString::fromStdString(again.GetFrameDir()), typed);
}

void SettingsTest::resolutionRefSelectsCode_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("code");
    QTest::newRow("0") << QByteArray("0") << 320240;
    QTest::newRow("1") << QByteArray("1") << 640480;
    QTest::newRow("2") << QByteArray("2") << 960720;
    QTest::newRow("3") << QByteArray("3") << 1024768;
    QTest::newRow("4") << QByteArray("4") << 16001200;
    QTest::newRow("7 taken as a code") << QByteArray("7") << 7;
    QTest::newRow("800 by 600") << QByteArray("800600") << 800600;
    QTest::newRow("negative") << QByteArray("-2") << -2;
    QTest::newRow("no digits") << QByteArray("high") << 320240;
    QTest::newRow("empty") << QByteArray("") << 320240;
}

void SettingsTest::resolutionRefSelectsCode() {
    QFETCH(QByteArray, stored);
    QFETCH(int, code);
    TestSettings settings;
    settings.WriteValues("RESOLUTION_REF=" + stored + "\n");
    CVornDlg dlg;
    dlg.LoadSettings();
    QCOMPARE(dlg.m_resolution, code);
}

void SettingsTest::autoStartSwitchSetsTimer_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("autoStart");
    QTest::addColumn<bool>("timer");
    QTest::newRow("1") << QByteArray("1") << 1 << true;
    QTest::newRow("5") << QByteArray("5") << 5 << true;
    QTest::newRow("0") << QByteArray("0") << 0 << false;
    QTest::newRow("-1 kept") << QByteArray("-1") << -1 << false;
    QTest::newRow("no digits") << QByteArray("on") << 0 << false;
}

void SettingsTest::autoStartSwitchSetsTimer() {
    QFETCH(QByteArray, stored);
    QFETCH(int, autoStart);
    QFETCH(bool, timer);
    TestSettings settings;
    settings.WriteValues("AUTO_START_ON_OFF=" + stored + "\n");
    CVornDlg dlg;
    dlg.LoadSettings();
    QCOMPARE(dlg.m_autoStart, autoStart);
    QCOMPARE(dlg.IsTimerActive(1), timer);
}

void SettingsTest::countAutoStartFrameStoresNextCount() {
    TestSettings settings;
    settings.WriteValues(kAllValues);
    CVornDlg dlg;
    dlg.LoadSettings();
    dlg.m_autoStartFrameCount = 41;
    dlg.CountAutoStartFrame();
    QCOMPARE(dlg.m_autoStartFrameCount, 42);
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("42"));
    QCOMPARE(settings.Value("AUTO_START_DIR"), QString("/data/frames"));
    QCOMPARE(settings.Value("CAM_REF"), QString("2"));
}

void SettingsTest::unwritableSettingsChangeNothing() {
    TestSettings settings;
    settings.MakeUnwritable();
    CVornDlg dlg;
    dlg.CreateDefaultSettings();
    QVERIFY(!settings.Exists());
    QVERIFY(!dlg.LoadSettings());
    dlg.m_autoStartFrameCount = 3;
    dlg.CountAutoStartFrame();
    QCOMPARE(dlg.m_autoStartFrameCount, 3);
}

void SettingsTest::numbersParseAsAtoiDoes_data() {
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
}

void SettingsTest::numbersParseAsAtoiDoes() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(ParseInt(text.toStdString()), value);
}

void SettingsTest::camSourceIsOptionalAndReachesTheCameraOpener() {
    TestSettings settings;
    CVornDlg dlg;
    dlg.CreateDefaultSettings();
    QVERIFY2(settings.Value("CAM_SOURCE").isNull(), "not written by default");
    QVERIFY2(dlg.LoadSettings(), "not missed when absent");
    QCOMPARE(dlg.m_camSource, std::string());

    // A pipeline longer than the other values may be.
    const std::string pipeline = "videotestsrc pattern=ball ! video/x-raw,width=640,height=480 ! " +
                                 std::string(300, ' ') + "videoconvert ! appsink";
    settings.WriteValues(kAllValues + "CAM_SOURCE=" + QByteArray::fromStdString(pipeline) + "\n");
    QVERIFY(dlg.LoadSettings());
    QCOMPARE(dlg.m_camSource, pipeline);

    RecordingOpener opener(NoCamera());
    dlg.SetCameraOpener(opener.Opener());
    QVERIFY(!dlg.OpenCamera(dlg.m_cameraIndex));
    QCOMPARE(opener.Requests(), (std::vector<OpenRequest>{{2, pipeline}}));
}

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
