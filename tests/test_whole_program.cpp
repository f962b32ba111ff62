#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/VornDlg.h"
#include "res/Resource.h"
#include "support/ModalAnswerer.h"
#include "support/TestSettings.h"
#include "support/VideoChecks.h"
#include "widgets/DialogControls.h"

// A user's whole session in the main window, with GStreamer's test pattern as the camera:
// capture frames, stop, make the video, and read the video back.
class WholeProgramTest : public QObject {
    Q_OBJECT
private slots:
    void captureThenMakeVideoFromTheTestPattern();
};

void WholeProgramTest::captureThenMakeVideoFromTheTestPattern() {
    QTemporaryDir workDir;
    QVERIFY(QDir::setCurrent(workDir.path()));
    const QString frames = workDir.filePath("frames");
    QVERIFY(QDir().mkpath(frames));
    TestSettings settings;
    settings.WriteValues("AUTO_START_DIR=" + frames.toUtf8() +
                         "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                         "RESOLUTION_REF=1\nCAM_SOURCE=videotestsrc pattern=ball ! "
                         "video/x-raw,width=320,height=240 ! videoconvert ! appsink\n");
    ModalAnswerer answerer;
    AnswerCompressorWith(answerer, PressEnter);

    CVornDlg dlg;
    dlg.OnInitDialog();
    QVERIFY(answerer.Messages().isEmpty());
    auto* delay = GetDlgItemAs<QLineEdit>(dlg, IDC_DELAY);
    delay->selectAll();
    QTest::keyClick(delay, Qt::Key_Backspace);
    QTest::keyClicks(delay, "0");  // a frame on every pass: the test need not wait for seconds

    auto* startStop = GetDlgItemAs<QPushButton>(dlg, IDC_START_STOP);
    QTest::mouseClick(startStop, Qt::LeftButton);
    QCOMPARE(startStop->text(), QString("&Stop"));
    QVERIFY(
        QTest::qWaitFor([&] { return QDir(frames).entryList({"pic_*.jpg"}).size() >= 12; }, 60000));
    QTest::mouseClick(startStop, Qt::LeftButton);
    QCOMPARE(startStop->text(), QString("&Start"));

    const int taken = QDir(frames).entryList({"pic_*.jpg"}).size();
    QCOMPARE(GetDlgItemAs<QLineEdit>(dlg, IDC_END_FRAME)->text(), QString::number(taken));
    QVERIFY(GetDlgItem(dlg, IDC_MAKE_VIDEO)->isEnabled());

    // Make video runs its dialog modally; the answerer keeps Motion JPEG and takes the report.
    QTest::mouseClick(GetDlgItemAs<QPushButton>(dlg, IDC_MAKE_VIDEO), Qt::LeftButton);
    QCOMPARE(answerer.Messages(), QStringList{"Video (output.avi) created"});

    const QMap<QString, QString> video = Probe(frames + "/output.avi");
    QCOMPARE(video.value("exit"), QString("0"));
    QCOMPARE(video.value("nb_read_frames"), QString::number(taken));
    QCOMPARE(video.value("width"), QString("320"));
    QCOMPARE(video.value("height"), QString("240"));
    QCOMPARE(video.value("r_frame_rate"), QString("25/1"));
}

QTEST_MAIN(WholeProgramTest)
#include "test_whole_program.moc"
