#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "support/Captions.h"
#include "support/DialogBench.h"
#include "widgets/ArrowPair.h"
#include "widgets/DialogControls.h"

namespace {

// A main dialog after start-up, on screen.
struct ShownDialog : DialogBench {
    ShownDialog() {
        dlg->OnInitDialog();
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    }
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartShowsDefaults() {
        DialogBench bench{QByteArray()};
        bench->OnInitDialog();
        QVERIFY(bench.settings.Exists());
        QVERIFY(bench.answerer.Messages().isEmpty());
        QCOMPARE(bench->windowTitle(), QString("Vorn V3.6"));
        QCOMPARE(Text(*bench, IDC_END_FRAME), QString("0"));
        QCOMPARE(Text(*bench, IDC_FPS), QString("25.0"));
        QCOMPARE(Text(*bench, IDC_DELAY), QString("1.0"));
        QCOMPARE(Text(*bench, IDC_DURATION), QString("0.00"));
        QCOMPARE(Text(*bench, IDC_FRAME_DIR), QString("./"));
        QCOMPARE(bench->Session().GetFrameCounter(), 10000);
        QVERIFY(!Enabled(*bench, IDC_MAKE_VIDEO));
        QVERIFY(Enabled(*bench, IDC_START_STOP));
        QVERIFY(!Enabled(*bench, IDC_PAUSE));
        QVERIFY(!bench->Session().m_capture->m_running);
        QVERIFY(!bench->windowIcon().isNull());
    }

    // Make video is offered for the frames counted, but not in auto-start mode.
    void frameCountSetsEndFrame_data() {
        QTest::addColumn<int>("autoStart");
        QTest::newRow("interactive") << 0;
        QTest::newRow("auto-start") << 1;
    }

    void frameCountSetsEndFrame() {
        QFETCH(int, autoStart);
        DialogBench bench(SettingsValues(37, autoStart));
        bench->OnInitDialog();
        QCOMPARE(Text(*bench, IDC_END_FRAME), QString("37"));
        QCOMPARE(bench->Session().m_endFrame, 37);
        QCOMPARE(bench->Session().GetFrameCounter(), 10037);
        QCOMPARE(Text(*bench, IDC_DURATION), QString("1.48"));
        QCOMPARE(Enabled(*bench, IDC_MAKE_VIDEO), autoStart == 0);
        QCOMPARE(bench->IsTimerActive(CVornDlg::kAutoStartTimer), autoStart == 1);
    }

    void missingSettingShowsMessageAndLoadsTheRest() {
        DialogBench bench(
            "AUTO_START_DIR=/data\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=4\n"
            "RESOLUTION_REF=2\n");
        bench->OnInitDialog();
        QCOMPARE(bench.answerer.Messages(), QStringList{"Error! Cannot find settings."});
        QCOMPARE(Text(*bench, IDC_FRAME_DIR), QString("/data/"));
        QCOMPARE(Text(*bench, IDC_END_FRAME), QString("4"));
        QCOMPARE(bench->Session().m_resolution, 960720);
        QCOMPARE(bench->Session().m_cameraIndex, 0);
    }

    void quitWithDelayOutOfRangeKeepsDialogOpen_data() {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("closes");
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("above a day") << "86401" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a day") << "86400" << true;
        QTest::newRow("five") << "5" << true;
    }

    void quitWithDelayOutOfRangeKeepsDialogOpen() {
        QFETCH(QString, delay);
        QFETCH(bool, closes);
        ShownDialog shown;
        Type(*shown, IDC_DELAY, delay);
        Click(*shown, IDOK);
        QCOMPARE(shown->isVisible(), !closes);
        QCOMPARE(shown.answerer.Messages().size(), closes ? 0 : 1);
        if (closes) {
            QCOMPARE(shown->result(), int(QDialog::Accepted));
            QCOMPARE(shown->Session().m_capture->m_captureDelay.load(), delay.toFloat());
        }
    }

    void escapeClosesWithoutExchange() {
        ShownDialog shown;
        GetDlgItemAs<QLineEdit>(*shown, IDC_DELAY)->setText("0");
        QTest::keyClick(shown.dlg.get(), Qt::Key_Escape);
        QVERIFY(!shown->isVisible());
        QCOMPARE(shown->result(), int(QDialog::Rejected));
        QVERIFY(shown.answerer.Messages().isEmpty());
    }

    void everyControlIsBuiltFromTheTemplate() {
        DialogBench bench;
        const CVornDlg& dlg = *bench;
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

        // Digits only: a typed letter or point does not reach the edit; the delay takes one
        // decimal place.
        Type(dlg, IDC_GAP, "1a.2");
        QCOMPARE(Text(dlg, IDC_GAP), QString("12"));
        Type(dlg, IDC_DELAY, "0.55");
        QCOMPARE(Text(dlg, IDC_DELAY), QString("0.5"));
    }

    // Also the longest delay, which the arrows reach by wrapping below 0.1.
    void captionsFitTheirControls() {
        DialogBench bench;
        bench->OnInitDialog();
        QCOMPARE(ClippedCaptions(*bench), QStringList());
        PressArrows(*bench, IDC_DELAY_SPIN, "L");
        QCOMPARE(Text(*bench, IDC_DELAY), QString("86400.0"));
        QCOMPARE(ClippedCaptions(*bench), QStringList());
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
