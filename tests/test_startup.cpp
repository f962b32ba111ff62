#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/VornDlg.h"
#include "platform/ArrowPair.h"
#include "platform/DialogTemplate.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "support/Captions.h"
#include "support/ModalAnswerer.h"
#include "support/TestSettings.h"

namespace {

QString Text(const CVornDlg& dlg, int id) {
    return GetDlgItemAs<QLineEdit>(dlg, id)->text();
}

bool Enabled(const CVornDlg& dlg, int id) {
    return GetDlgItem(dlg, id)->isEnabled();
}

QString Settings(int autoStart, int count) {
    return QStringLiteral(
               "AUTO_START_DIR=./\nAUTO_START_ON_OFF=%1\nAUTO_START_FRAME_COUNT=%2\nCAM_REF=0\n"
               "RESOLUTION_REF=1\n")
        .arg(autoStart)
        .arg(count);
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartShowsDefaults();
    void frameCountSetsEndFrame();
    void autoStartDisablesMakeVideo();
    void missingSettingShowsMessageAndLoadsTheRest();
    void quitWithDelayOutOfRangeKeepsDialogOpen_data();
    void quitWithDelayOutOfRangeKeepsDialogOpen();
    void escapeClosesWithoutExchange();
    void everyControlIsBuiltFromTheTemplate();
    void captionsFitTheirControls();
};

void StartupTest::firstStartShowsDefaults() {
    TestSettings settings;
    ModalAnswerer answerer;
    CVornDlg dlg;
    dlg.OnInitDialog();
    QVERIFY(settings.Exists());
    QVERIFY(answerer.Messages().isEmpty());
    QCOMPARE(dlg.windowTitle(), QString("Vorn V3.6"));
    QCOMPARE(Text(dlg, IDC_END_FRAME), QString("0"));
    QCOMPARE(Text(dlg, IDC_FPS), QString("25.0"));
    QCOMPARE(Text(dlg, IDC_DELAY), QString("1.0"));
    QCOMPARE(Text(dlg, IDC_DURATION), QString("0.00"));
    QCOMPARE(Text(dlg, IDC_FRAME_DIR), QString("./"));
    QCOMPARE(dlg.GetFrameCounter(), 10000);
    QVERIFY(!Enabled(dlg, IDC_MAKE_VIDEO));
    QVERIFY(Enabled(dlg, IDC_START_STOP));
    QVERIFY(!Enabled(dlg, IDC_PAUSE));
    QVERIFY(!dlg.m_running);
    QVERIFY(!dlg.windowIcon().isNull());
}

void StartupTest::frameCountSetsEndFrame() {
    TestSettings settings;
    settings.WriteValues(Settings(0, 37).toUtf8());
    CVornDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(Text(dlg, IDC_END_FRAME), QString("37"));
    QCOMPARE(dlg.m_endFrame, 37);
    QCOMPARE(dlg.GetFrameCounter(), 10037);
    QCOMPARE(Text(dlg, IDC_DURATION), QString("1.48"));
    QVERIFY(Enabled(dlg, IDC_MAKE_VIDEO));
}

void StartupTest::autoStartDisablesMakeVideo() {
    TestSettings settings;
    settings.WriteValues(Settings(1, 37).toUtf8());
    CVornDlg dlg;
    dlg.OnInitDialog();
    QVERIFY(!Enabled(dlg, IDC_MAKE_VIDEO));
    QVERIFY(dlg.IsTimerActive(1));
    QCOMPARE(Text(dlg, IDC_END_FRAME), QString("37"));
}

void StartupTest::missingSettingShowsMessageAndLoadsTheRest() {
    TestSettings settings;
    settings.WriteValues(
        "AUTO_START_DIR=/data\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=4\n"
        "RESOLUTION_REF=2\n");
    ModalAnswerer answerer;
    CVornDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(answerer.Messages(), QStringList{"Error! Cannot find settings."});
    QCOMPARE(Text(dlg, IDC_FRAME_DIR), QString("/data/"));
    QCOMPARE(Text(dlg, IDC_END_FRAME), QString("4"));
    QCOMPARE(dlg.m_resolution, 960720);
    QCOMPARE(dlg.m_cameraIndex, 0);
}

void StartupTest::quitWithDelayOutOfRangeKeepsDialogOpen_data() {
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("closes");
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("above a day") << "86401" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("a day") << "86400" << true;
    QTest::newRow("five") << "5" << true;
}

void StartupTest::quitWithDelayOutOfRangeKeepsDialogOpen() {
    QFETCH(QString, delay);
    QFETCH(bool, closes);
    TestSettings settings;
    ModalAnswerer answerer;
    CVornDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* edit = GetDlgItemAs<QLineEdit>(dlg, IDC_DELAY);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, delay);
    QTest::mouseClick(GetDlgItemAs<QPushButton>(dlg, IDOK), Qt::LeftButton);
    QCOMPARE(dlg.isVisible(), !closes);
    QCOMPARE(answerer.Messages().size(), closes ? 0 : 1);
    if (closes) {
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_captureDelay.load(), delay.toFloat());
    }
}

void StartupTest::escapeClosesWithoutExchange() {
    TestSettings settings;
    ModalAnswerer answerer;
    CVornDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    GetDlgItemAs<QLineEdit>(dlg, IDC_DELAY)->setText("0");
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(answerer.Messages().isEmpty());
}

void StartupTest::everyControlIsBuiltFromTheTemplate() {
    TestSettings settings;
    CVornDlg dlg;
    for (const ControlTemplate& control : kVornDialogTemplate.controls) {
        if (control.id == -1) {
            continue;
        }
        QWidget* widget = GetDlgItem(dlg, control.id);
        QVERIFY2(widget, qPrintable(QString::number(control.id)));
        QVERIFY(dlg.rect().contains(widget->geometry()));
        QVERIFY(!widget->accessibleName().isEmpty());
    }
    QVERIFY(GetDlgItemAs<QLineEdit>(dlg, IDC_FRAME_DIR)->isReadOnly());
    QVERIFY(GetDlgItemAs<QLineEdit>(dlg, IDC_FPS)->isReadOnly());
    QVERIFY(GetDlgItemAs<QLineEdit>(dlg, IDC_DELAY)->validator());
    QVERIFY(GetDlgItemAs<QPushButton>(dlg, IDC_START_STOP)->isFlat());
    QVERIFY(GetDlgItemAs<QPushButton>(dlg, IDOK)->isDefault());
    QVERIFY(GetDlgItemAs<ArrowPair>(dlg, IDC_DELAY_SPIN));
    QCOMPARE(GetDlgItem(dlg, IDC_DELAY_SPIN)->accessibleName(),
             QString("Delay between frames (seconds) arrows"));
    QCOMPARE(GetDlgItem(dlg, IDC_START_STOP)->accessibleName(), QString("Start"));

    // Digits only: a typed letter or point does not reach the edit.
    auto* gap = GetDlgItemAs<QLineEdit>(dlg, IDC_GAP);
    gap->clear();
    QTest::keyClicks(gap, "1a.2");
    QCOMPARE(gap->text(), QString("12"));
}

void StartupTest::captionsFitTheirControls() {
    TestSettings settings;
    CVornDlg dlg;
    dlg.OnInitDialog();
    QCOMPARE(ClippedCaptions(dlg), QStringList());
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
