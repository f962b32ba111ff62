#include <QtTest>
#include <chrono>
#include <functional>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "res/Resource.h"
#include "res/Strings.h"
#include "support/DialogBench.h"

namespace {

using namespace std::chrono_literals;

// Each pass of the capture sleeps this long on the manual clock: a quarter second is exact in a
// float, so the running time reaches 5.0 exactly after 20 passes and exceeds it after 21.
constexpr auto kPass = 250ms;
// The frame saved: the one grabbed in pass 21, counted from 0.
constexpr int kFirstFrameAfterWarmUp = 21;
constexpr int kNeverQuit = 99;

// Runs `action` inside the application's event loop, as the program runs inside its dialog's, and
// returns the loop's exit code: 0 when the code under test ended the program, kNeverQuit when it
// had not after a minute.
int RunUntilQuit(const std::function<void()>& action) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(kNeverQuit); });
    guard.start(60000);
    QTimer::singleShot(0, &guard, action);
    return QCoreApplication::exec();
}

// True when every pixel of `image` is `colour`, within what JPEG changes in a plain picture.
bool FilledWith(const cv::Mat& image, const cv::Scalar& colour) {
    if (image.empty()) {
        return false;
    }
    cv::Mat difference;
    cv::absdiff(image, colour, difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    return largest <= 6;
}

// The program launched in auto-start mode (camera 2, 320x240) with `count` frames counted.
struct Launch : DialogBench {
    explicit Launch(int count = 0, const QString& dir = "./", int autoStart = 1)
        : DialogBench(SettingsValues(count, autoStart, dir, 2, 0)) {
        clock.SetSleepAdvance(kPass);
    }
    // Start-up, then the auto-start timer's tick; the exit code of the event loop.
    int RunFirstTick() {
        dlg->OnInitDialog();
        return RunUntilQuit([this] { dlg->OnTimer(CVornDlg::kAutoStartTimer); });
    }
    QString FrameCount() const { return settings.Value("AUTO_START_FRAME_COUNT"); }
};

}  // namespace

class AutoStartTest : public QObject {
    Q_OBJECT
private slots:
    // Only the code under test may end the loops these tests run.
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { DropLeftoverKeys(); }

    void firstFrameAfterWarmUpIsSavedAndCounted_data() {
        QTest::addColumn<QString>("settingsDir");
        QTest::addColumn<QString>("frameDir");
        QTest::addColumn<QString>("savedIn");
        const auto row = [](const char* name, QString settingsDir, QString frameDir,
                            QString savedIn) {
            QTest::newRow(name) << settingsDir << frameDir << savedIn;
        };
        row("folder without separator", "frames", "frames/", "frames");
        row("first-run default", "./", "./", ".");
        row("empty means the current folder", "", "", ".");
    }

    void firstFrameAfterWarmUpIsSavedAndCounted() {
        QFETCH(QString, settingsDir);
        QFETCH(QString, frameDir);
        QFETCH(QString, savedIn);
        Launch launch(0, settingsDir);
        QVERIFY(QDir().mkpath(savedIn));

        QCOMPARE(launch.RunFirstTick(), 0);

        QVERIFY(!launch->IsTimerActive(CVornDlg::kAutoStartTimer));
        QCOMPARE(launch.opener.Requests(), (std::vector<OpenRequest>{{2, ""}}));
        QCOMPARE(launch.camera->PropertySets(),
                 (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, 320},
                                           {cv::CAP_PROP_FRAME_HEIGHT, 240}}));
        QCOMPARE(launch->GetFrameDir(), frameDir.toStdString());
        // Nothing at exactly 5.0 seconds; the frame of the next pass, and then the run ends.
        QCOMPARE(FrameFiles(savedIn), QStringList{"pic_10001.jpg"});
        QCOMPARE(launch.camera->GrabCount(), kFirstFrameAfterWarmUp + 1);
        QCOMPARE(launch.clock.SleepCount(), kFirstFrameAfterWarmUp + 1);
        const cv::Mat saved = cv::imread(QDir(savedIn).filePath("pic_10001.jpg").toStdString());
        QCOMPARE(saved.size(), cv::Size(320, 240));
        QVERIFY(FilledWith(saved, SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
        QCOMPARE(launch.FrameCount(), QString("1"));
        QCOMPARE(launch->GetFrameCounter(), 10001);
        QVERIFY(!Enabled(*launch, IDC_START_STOP));
        QVERIFY(!Enabled(*launch, IDC_MAKE_VIDEO));
        QVERIFY(!PreviewWindow());
        QVERIFY(launch.answerer.Messages().isEmpty());
    }

    void nextLaunchContinuesTheNumbering() {
        Launch launch;
        QCOMPARE(launch.RunFirstTick(), 0);
        QCOMPARE(launch.FrameCount(), QString("1"));
        launch.Relaunch();
        QCOMPARE(launch.RunFirstTick(), 0);
        QCOMPARE(FrameFiles("."), (QStringList{"pic_10001.jpg", "pic_10002.jpg"}));
        QCOMPARE(launch.FrameCount(), QString("2"));
    }

    void missingCameraShowsMessageAndLeavesCount() {
        Launch launch(5);
        RecordingOpener noCamera(NoCamera());
        launch->SetCameraOpener(noCamera.Opener());

        QCOMPARE(launch.RunFirstTick(), 0);

        QCOMPARE(launch.answerer.Messages(), QStringList{kNoCameraMessage});
        QCOMPARE(noCamera.Requests(), (std::vector<OpenRequest>{{2, ""}}));
        QCOMPARE(launch.FrameCount(), QString("5"));
        QVERIFY(FrameFiles(".").isEmpty());
        QVERIFY(!Enabled(*launch, IDC_START_STOP));
    }

    void runEndedDuringWarmUpSavesNothingButCounts_data() {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("key in the preview window") << true;
        QTest::newRow("failed grab") << false;
    }

    void runEndedDuringWarmUpSavesNothingButCounts() {
        QFETCH(bool, byKey);
        Launch launch(3);
        // The user presses a key in the preview window as soon as it is up.
        QTimer user;
        QSize shownSize;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (QWidget* preview = PreviewWindow()) {
                user.stop();
                shownSize = preview->size();
                QTest::keyClick(preview, Qt::Key_Q);
            }
        });
        if (byKey) {
            user.start(1);
        } else {
            launch.camera->FailGrabsAfter(3);
        }

        QCOMPARE(launch.RunFirstTick(), 0);

        QVERIFY(FrameFiles(".").isEmpty());
        QCOMPARE(launch->GetFrameCounter(), 10003);
        QCOMPARE(launch.FrameCount(), QString("4"));
        QVERIFY(!PreviewWindow());
        if (byKey) {
            QCOMPARE(shownSize, QSize(320, 240));  // the camera's own size
        } else {
            QCOMPARE(launch.camera->GrabCount(), 4);
        }
    }

    void timestampIsNeverDrawn() {
        Launch launch;
        launch->OnInitDialog();
        launch->m_capture->m_showTimestamp = true;

        QCOMPARE(RunUntilQuit([&] { launch->OnTimer(CVornDlg::kAutoStartTimer); }), 0);

        QVERIFY(FilledWith(cv::imread("pic_10001.jpg"),
                           SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
    }

    void timerStartsTheRunAndItsQuitEndsTheModalRun() {
        Launch launch;
        bool modalRunEnded = false;

        QCOMPARE(RunUntilQuit([&] {
                     launch->DoModal();
                     modalRunEnded = true;
                 }),
                 0);

        QVERIFY(modalRunEnded);
        QCOMPARE(FrameFiles("."), QStringList{"pic_10001.jpg"});
        QCOMPARE(launch.FrameCount(), QString("1"));
        QVERIFY(!launch->IsTimerActive(CVornDlg::kAutoStartTimer));
    }

    // Start is never offered while the auto-start capture is due, so no interactive run can be
    // started beside it in the second before the timer fires.
    void autoStartModeOffersNoInteractiveCapture_data() {
        QTest::addColumn<int>("autoStart");
        QTest::newRow("on") << 1;
        QTest::newRow("off") << 0;
        QTest::newRow("negative") << -1;
    }

    void autoStartModeOffersNoInteractiveCapture() {
        QFETCH(int, autoStart);
        Launch launch(0, "./", autoStart);
        launch->OnInitDialog();
        QCOMPARE(Enabled(*launch, IDC_START_STOP), autoStart <= 0);
        QCOMPARE(launch->IsTimerActive(CVornDlg::kAutoStartTimer), autoStart > 0);
    }
};

QTEST_MAIN(AutoStartTest)
#include "test_auto_start.moc"
