#include <linux/videodev2.h>

#include <QDateTime>
#include <QtTest>

#include <chrono>
#include <latch>
#include <semaphore>
#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "capture/CaptureLoop.h"
#include "capture/DeviceLock.h"
#include "capture/ThreadCount.h"
#include "frames/FrameFile.h"
#include "res/Strings.h"
#include "support/DialogBench.h"
#include "support/LoopBench.h"

using namespace std::chrono_literals;

namespace {

// A camera that cannot be opened is told as such, never as a success.
constexpr char kNoCameraLog[] = "Acquiring capture device...failed\n";
constexpr char kFullLog[] =
    "Acquiring capture device...successful\n"
    "Attempting to release capture...successful\n"
    "Attempting to close window...successful\n";

}  // namespace

class CaptureStopTest : public QObject {
    Q_OBJECT

private slots:
    void init() { DropLeftoverKeys(); }

    void keyInThePreviewEndsTheLoopAndKeepsTheFrames() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.clock.Advance(750ms);
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(QTest::qWaitFor([] { return PreviewWindow() && PreviewWindow()->isVisible(); }));
        QTRY_COMPARE(PreviewWindow()->size(), QSize(640, 480));

        QTest::keyClick(PreviewWindow(), Qt::Key_Q);
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        QTRY_VERIFY(
            !bench.dlg->Session().m_capture->m_running);  // shown stopped, without a message
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QTRY_VERIFY(!PreviewWindow());
        bench.Stop();

        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QVERIFY(QFile::exists(bench.FramePath(10001)));
        QCOMPARE(bench.Log(), QByteArray(kFullLog));
        QVERIFY(bench.answerer.Messages().isEmpty());
    }

    // A link planted where the log goes (a shared folder) is never followed.
    void runEndsWithTheReleaseSteps_data() {
        QTest::addColumn<bool>("grabFails");
        QTest::addColumn<bool>("plantedLink");
        QTest::newRow("stopped") << false << false;
        QTest::newRow("grab failed") << true << false;
        QTest::newRow("log is a planted link") << false << true;
    }

    void runEndsWithTheReleaseSteps() {
        QFETCH(bool, grabFails);
        QFETCH(bool, plantedLink);
        LoopBench bench;
        const QString target = bench.frameDir.filePath("precious.txt");
        if (plantedLink) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("precious") == 8);
            QVERIFY(QFile::link(target, "error_log.txt"));
        }
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        if (grabFails) {
            bench.camera->FailGrabsAfter(5);
        }
        bench.Start();
        if (grabFails) {
            // The loop ends by itself, and the window shows it stopped.
            QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
            QTRY_VERIFY(!bench.dlg->Session().m_capture->m_running);
            QCOMPARE(bench.camera->GrabCount(), 6);
            QVERIFY(bench.answerer.WaitForMessages(1));
        } else {
            QVERIFY(bench.WaitForFrame(10003));
        }
        bench.Stop();

        QCOMPARE(bench.Log(), plantedLink ? QByteArray("precious") : QByteArray(kFullLog));
        QTRY_VERIFY(!PreviewWindow());
        QCOMPARE(bench.answerer.Messages(), grabFails ? QStringList{kSourceEnded} : QStringList{});
    }

    // The run's camera is held once, when the run has gone five seconds: in the pass of the 21st
    // grab, at a quarter second a pass. What it did not take is told once.
    void runLocksTheCameraOnceAfterFiveSeconds_data() {
        QTest::addColumn<bool>("refuses");
        QTest::newRow("all taken") << false;
        QTest::newRow("autofocus refused") << true;
    }

    void runLocksTheCameraOnceAfterFiveSeconds() {
        QFETCH(bool, refuses);
        LoopBench bench;
        const auto controls = FakeCameraControls::FromListing(
            VORN_SOURCE_DIR "/tests/support/v4l2-ctl-L_lifecam-studio_linux6.1.txt");
        QVERIFY(controls);
        if (refuses) {
            controls->Refuse(V4L2_CID_FOCUS_AUTO);
        }
        bench.camera->SetControls(*controls);
        bench.dlg->Session().m_cameraLock = {true, 60};

        bench.RunToCameraFailure(40);

        QCOMPARE(bench.camera->LocksAtGrabs(), std::vector<int>{21});
        // Metered from the start: three automatics on, then the lock's seven calls.
        QCOMPARE(controls->Sets().size(), std::size_t(10));
        QCOMPARE(controls->Sets().front(),
                 (ControlSetting{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY}));
        QCOMPARE(controls->Get(V4L2_CID_EXPOSURE_AUTO),
                 std::optional<std::int32_t>(V4L2_EXPOSURE_MANUAL));
        QStringList told{kSourceEnded};
        if (refuses) {
            told.append(
                "The camera did not take every value of its lock: continuous autofocus 0 "
                "(refused).");
        }
        // Both boxes are up at once in simulated time; the later is answered first.
        QVERIFY(bench.answerer.WaitForMessages(told.size()));
        QStringList messages = bench.answerer.Messages();
        messages.sort();
        told.sort();
        QCOMPARE(messages, told);
    }

    // A camera or stream that stops sending is opened again for a while; frames taken after it
    // came back go on with the next number.
    void lostCameraIsReopenedForAWhile_data() {
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("comes back") << true;
        QTest::newRow("stays away") << false;
    }

    void lostCameraIsReopenedForAWhile() {
        QFETCH(bool, comesBack);
        LoopBench bench;
        bench.camera->SetReopenable(true);
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.0f;
        bench.camera->FailGrabsAfter(4);
        // The first reopen waits until the test has brought the camera back.
        std::binary_semaphore cameraBack{0};
        int opens = 0;  // capture thread only
        if (comesBack) {
            bench.dlg->Session().SetCameraOpener(
                [&, factory = ShareCamera(bench.camera)](int, const std::string&) {
                    if (++opens == 2) {
                        cameraBack.acquire();
                    }
                    return factory();
                });
        }
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabCount() >= 5; }));
        if (comesBack) {
            bench.camera->FailGrabsAfter(-1);
            cameraBack.release();
            QVERIFY(bench.WaitForFrame(10006));
            bench.Stop();
            QVERIFY(bench.answerer.Messages().isEmpty());
            QCOMPARE(FrameFiles(bench.frameDir.path()).size(),
                     bench.dlg->Session().GetFrameCounter() - 10000);
            QVERIFY(ShowsFrame(bench.FramePath(10003), 3));
            QVERIFY(ShowsFrame(bench.FramePath(10004), 4));  // the first after the gap
        } else {
            QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
            QVERIFY(bench.answerer.WaitForMessages(1));
            QCOMPARE(bench.answerer.Messages(), QStringList{kSourceLost});
            QTRY_VERIFY(!bench.dlg->Session().m_capture->m_running);
            QCOMPARE(FrameFiles(bench.frameDir.path()).size(), 3);
            // Every two seconds for a minute, on the run's clock, after the first open.
            const auto opens = bench.opener.Requests().size();
            QVERIFY2(opens >= 29 && opens <= 32, qPrintable(QString::number(opens)));
        }
    }

    // A grab that never returns holds neither Stop nor the window's end: the run is left to end
    // by itself once its source lets go.
    void hungGrabHoldsNeitherStopNorTheDestructor() {
        LoopBench bench;
        bench.camera->HoldGrabs();
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabsHeld() == 1; }));
        bench.dlg->Session().m_capture->m_running = false;
        QVERIFY(!bench.dlg->Session().StopCaptureThread());
        bench.dlg.reset();
        QCOMPARE(CaptureThreadsAlive(), 1);
        bench.camera->ReleaseGrabs();
        QVERIFY(QTest::qWaitFor([] { return CaptureThreadsAlive() == 0; }));
        QVERIFY(FrameFiles(bench.frameDir.path()).isEmpty());  // a grab after Stop saves nothing
    }

    void noCameraTellsTheUserAndLogsTheFirstLineOnly_data() {
        QTest::addColumn<bool>("destroyDialog");
        QTest::newRow("stopped") << false;
        QTest::newRow("dialog destroyed") << true;
    }

    // The message box is shown by the capture thread, which waits for it while the UI thread
    // waits for the thread: the wait must let the box be answered.
    void noCameraTellsTheUserAndLogsTheFirstLineOnly() {
        QFETCH(bool, destroyDialog);
        LoopBench bench;
        RecordingOpener noCamera(NoCamera());
        bench.dlg->Session().SetCameraOpener(noCamera.Opener());

        bench.Start();
        if (destroyDialog) {
            bench.dlg.reset();
        } else {
            bench.Stop();
        }

        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(), QStringList{kNoCameraMessage});
        QCOMPARE(bench.Log(), QByteArray(kNoCameraLog));
        QCOMPARE(noCamera.Requests(), (std::vector<OpenRequest>{{0, ""}}));
        QCoreApplication::processEvents();
        QVERIFY(!PreviewWindow());
    }

    // Another profile holds camera 0's device: the run waits for it a while, then tells why it
    // never began, without opening the camera.
    void cameraDeviceOfAnotherProfileKeepsTheRunFromStarting() {
        LoopBench bench;
        ManualClock holderClock;
        const std::optional<DeviceLock> held =
            DeviceLock::Take("/dev/video0", "garden", holderClock, Seconds(0.0f));
        QVERIFY(held);
        bench.Start();
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        bench.Stop();
        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(),
                 QStringList{QString::fromStdString(CaptureEndMessage(CaptureEnd::CameraBusy))});
        QCOMPARE(bench.Log(), QByteArray(kNoCameraLog));
        QVERIFY(bench.opener.Requests().empty());
    }

    // A slow ON_FRAME never holds the run, and runs one frame at a time: for the first frame, then
    // for the newest of those saved meanwhile, not for each.
    void slowFrameHookRunsForTheFirstAndTheNewestFrame() {
        LoopBench bench;
        // Each run writes its frame's number, then waits until the file "go" is there.
        bench.settings.WriteValues(
            SettingsValues() +
            "ON_FRAME=sh -c 'echo $VORN_FRAME >> hook.log; i=0; while [ ! -e go ] && "
            "[ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done'\n");
        const auto hookRuns = [&] {
            QFile log(bench.workDir.filePath("hook.log"));
            return log.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        bench.clock.SetSleepAdvance(250ms);
        QVERIFY(bench.dlg->Session().SetDelayTenths(5));
        QVERIFY(bench.dlg->Session().StartRun({}));
        QTRY_COMPARE_WITH_TIMEOUT(hookRuns(), QStringList{"1"}, 10000);
        QVERIFY(bench.WaitForFrame(10005));
        bench.dlg->Session().StopRun();
        const int newest = bench.dlg->Session().GetFrameCounter() - 10000;
        QFile go(bench.workDir.filePath("go"));
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        const QStringList expected{"1", QString::number(newest)};
        QTRY_COMPARE_WITH_TIMEOUT(hookRuns(), expected, 10000);
        bench.dlg.reset();  // waits for a hook still running; nothing else was waiting
        QCOMPARE(hookRuns(), expected);
    }

    // A failing ON_FRAME is told in the window once, with its status and its last words, and the
    // run goes on saving.
    void failingFrameHookIsToldOnceAndTheRunGoesOn() {
        LoopBench bench;
        bench.settings.WriteValues(SettingsValues() +
                                   "ON_FRAME=sh -c 'echo no network >&2; exit 4'\n");
        bench.clock.SetSleepAdvance(250ms);
        QVERIFY(bench.dlg->Session().SetDelayTenths(5));
        QVERIFY(bench.dlg->Session().StartRun({}));
        QVERIFY(bench.answerer.WaitForMessages(1));
        QVERIFY(bench.WaitForFrame(10004));
        bench.dlg->Session().StopRun();
        bench.dlg.reset();  // the hook that runs ends; any other is dropped
        QCoreApplication::processEvents();
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages()[0].contains(
                     "the ON_FRAME hook 'sh -c 'echo no network >&2; exit 4'' exited with status "
                     "4: no network"),
                 qPrintable(bench.answerer.Messages()[0]));
    }

    // Stop's wait gave up on a thread stuck in a grab, and Start came at once: the old thread ends
    // before the new one opens the camera, saves nothing after its stop, and the new run's frames
    // still count from 10001.
    void newRunWaitsForTheLastPassOfTheOldOne() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.0f;
        bench.Start();
        QVERIFY(bench.WaitForFrame(10002));

        bench.camera->HoldGrabs();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabsHeld() == 1; }));
        const int heldFrame = bench.camera->GrabCount();
        bench.dlg->Session().m_capture->m_running = false;
        QVERIFY(!bench.dlg->Session().StopCaptureThread());

        // Released as Start begins: whether the grab returns before Start waits or while it
        // does, the old run has been asked to stop and must save nothing more.
        QTemporaryDir newFrameDir;
        std::latch starting(1);
        std::jthread release([camera = bench.camera, &starting] {
            starting.wait();
            camera->ReleaseGrabs();
        });
        bench.dlg->Session().SetFrameDir(WithTrailingSeparator(newFrameDir.path().toStdString()));
        starting.count_down();
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.dlg->Session().GetFrameCounter() >= 10002; }));
        bench.Stop();

        QCOMPARE(bench.camera->MostSharesOpen(), 1);
        QCOMPARE(bench.camera->SharesOpen(), 0);
        QVERIFY(ShowsFrame(newFrameDir.filePath("pic_10001.jpg"), heldFrame + 2));
        QCOMPARE(FrameFiles(newFrameDir.path()).size(),
                 bench.dlg->Session().GetFrameCounter() - 10000);
    }

    // Runs started, changed and stopped from the UI thread as fast as it goes, some dialogs
    // destroyed mid-run; for the sanitizers to find races and use after free.
    void startsStopsAndChangesDuringRuns() {
        LoopBench bench({64, 48});
        bench.clock.SetSleepAdvance(40ms);
        QTemporaryDir otherFrameDir;
        const std::string frameDirs[] = {WithTrailingSeparator(bench.frameDir.path().toStdString()),
                                         WithTrailingSeparator(otherFrameDir.path().toStdString())};
        const float delays[] = {0.0f, 0.05f, 2000.0f, 0.1f};

        for (int round = 0; round < 8; ++round) {
            bench.Relaunch();
            CVornDlg* dlg = bench.dlg.get();
            for (int run = 0; run < 3; ++run) {
                dlg->Session().m_capture->m_frameCounter = 10000;
                dlg->Session().SetFrameDir(frameDirs[0]);
                dlg->Session().m_capture->m_running = true;
                dlg->Session().StartCaptureThread();
                for (int change = 0; change < 10; ++change) {
                    dlg->Session().m_capture->m_paused = change % 3 == 0;
                    dlg->Session().m_capture->m_showTimestamp = change % 2 == 0;
                    dlg->Session().m_capture->m_captureDelay = delays[change % 4];
                    dlg->Session().SetFrameDir(frameDirs[change / 4 % 2]);
                    QVERIFY(bench.WaitForPasses(3));
                }
                if (round % 3 == 2 && run == 2) {
                    break;  // left running for the destructor
                }
                dlg->Session().m_capture->m_running = false;
                if (run == 1) {
                    QVERIFY(dlg->Session().StopCaptureThread());
                }
            }
            bench.dlg.reset();
            QCOMPARE(bench.camera->SharesOpen(), 0);
        }

        QCOMPARE(bench.camera->MostSharesOpen(), 1);
        // Delay 0 unpaused (change 4 in the other folder, change 8 in the first) saves frames.
        QVERIFY(!FrameFiles(bench.frameDir.path()).isEmpty());
        QVERIFY(!FrameFiles(otherFrameDir.path()).isEmpty());
        // Runs that come back to a folder of earlier frames keep them, and say so; nothing fails.
        for (const QString& message : bench.answerer.Messages()) {
            QVERIFY2(message.contains("It is kept"), qPrintable(message));
        }
    }
};

QTEST_MAIN(CaptureStopTest)
#include "test_capture_stop.moc"
