
#include <QDateTime>
#include <QtTest>

#include <chrono>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "capture/CaptureLoop.h"
#include "frames/FrameFile.h"
#include "res/Strings.h"
#include "support/DialogBench.h"
#include "support/LoopBench.h"

using namespace std::chrono_literals;

class CaptureLoopTest : public QObject {
    Q_OBJECT

private slots:
    // Other tests tell frames apart by their colours.
    void initTestCase() {
        for (int index = 0; index < 300; ++index) {
            const cv::Scalar a = SyntheticCamera::FrameColour(index);
            const cv::Scalar b = SyntheticCamera::FrameColour(index + 1);
            for (int channel = 0; channel < 3; ++channel) {
                QVERIFY(std::abs(a[channel] - b[channel]) >= 32);
            }
        }
    }

    void init() { DropLeftoverKeys(); }

    void savesOnceTheAccountExceedsTheDelay_data() {
        QTest::addColumn<float>("delay");
        QTest::addColumn<int>("grabs");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<QList<int>>("savedFrames");
        // Each pass adds 0.25 s; the first adds nothing, as no time passes before it.
        QTest::newRow("account equal to the delay") << 0.5f << 3 << -1 << QList<int>{};
        QTest::newRow("first frame once the account is over") << 0.5f << 4 << -1 << QList<int>{3};
        QTest::newRow("time beyond the delay carries over") << 0.5f << 6 << -1 << QList<int>{3, 5};
        QTest::newRow("delay 0 saves on every pass") << 0.0f << 4 << -1 << QList<int>{1, 2, 3};
        QTest::newRow("missing frame saves nothing") << 0.5f << 6 << 3 << QList<int>{4, 5};
    }

    void savesOnceTheAccountExceedsTheDelay() {
        QFETCH(float, delay);
        QFETCH(int, grabs);
        QFETCH(int, dropped);
        QFETCH(QList<int>, savedFrames);
        LoopBench bench;
        if (dropped >= 0) {
            bench.camera->DropFrame(dropped);
        }
        bench.RunToCameraFailure(grabs, delay);

        QCOMPARE(FrameFiles(bench.frameDir.path()).size(), savedFrames.size());
        for (int i = 0; i < savedFrames.size(); ++i) {
            QVERIFY2(ShowsFrame(bench.FramePath(10001 + i), savedFrames[i]),
                     qPrintable(bench.FramePath(10001 + i)));
        }
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000 + savedFrames.size());
        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(), QStringList{kSourceEnded});
    }

    void sleepsASecondOnlyForDelaysAboveAThousandSeconds_data() {
        QTest::addColumn<float>("delay");
        QTest::addColumn<int>("sleepMs");
        QTest::newRow("exactly 1000") << 1000.0f << 10;
        QTest::newRow("1000.1") << 1000.1f << 1000;
    }

    void sleepsASecondOnlyForDelaysAboveAThousandSeconds() {
        QFETCH(float, delay);
        QFETCH(int, sleepMs);
        LoopBench bench;
        bench.camera->FailGrabsAfter(3);
        bench.dlg->Session().m_capture->m_captureDelay = delay;

        bench.Start();
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        bench.Stop();
        QVERIFY(bench.answerer.WaitForMessages(1));

        // Only the sleeps move the clock: one for each pass that grabbed a frame.
        QCOMPARE(bench.clock.SleepCount(), 3);
        QCOMPARE(bench.clock.Counter(), std::int64_t{3} * sleepMs * ManualClock::kFrequency / 1000);
    }

    // Two seconds piled up under a delay of 10; lowering the delay to 0.5 makes the next passes
    // save one frame each until the account is down to the delay. Pause does not hold that back.
    void loweredDelaySavesTheBacklogOnePerPass_data() {
        QTest::addColumn<bool>("paused");
        QTest::newRow("running") << false;
        QTest::newRow("paused") << true;
    }

    void loweredDelaySavesTheBacklogOnePerPass() {
        QFETCH(bool, paused);
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 10.0f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.clock.Advance(2s);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);

        bench.dlg->Session().m_capture->m_paused = paused;
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        QVERIFY(bench.WaitForFrame(10003));
        QVERIFY(bench.WaitForPasses(3));
        bench.Stop();

        QCOMPARE(FrameFiles(bench.frameDir.path()).size(), 3);
        int first = 0;
        while (first < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10001), first)) {
            ++first;
        }
        QVERIFY(ShowsFrame(bench.FramePath(10002), first + 1));
        QVERIFY(ShowsFrame(bench.FramePath(10003), first + 2));
    }

    // A source that stalls for less than the stall limit: one frame stands for the time missed,
    // and the next follows a full delay later.
    void noBurstAfterAStall() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 1.0f;
        bench.Start();
        QVERIFY(bench.WaitForFrame(10001));
        const int before = bench.dlg->Session().GetFrameCounter();
        bench.clock.Advance(3s);
        // The pass that saw the stall, then four of 0.25 s: one frame, the next not yet due.
        QVERIFY(bench.WaitForPasses(4));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), before + 1);
        QVERIFY(bench.WaitForPasses(4));
        bench.Stop();
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), before + 2);
    }

    // Outside the schedule the run stays on and saves nothing, and the window learns when the next
    // frame is due; the schedule opens by itself, with one frame for the time it was closed and
    // the next a full delay later.
    void scheduleHoldsFramesUntilItOpens() {
        LoopBench bench;
        VornSession& session = bench.dlg->Session();
        bench.clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(21, 59, 50)).toMSecsSinceEpoch());
        bench.clock.SetSleepAdvance(250ms);
        session.m_saveConditions.schedule =
            CaptureSchedule(DailyHours{22 * 60, 23 * 60}, false, 0, 0);
        session.m_capture->m_captureDelay = 1.0f;
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return session.WaitingFor() == "22:00"; }, 10000));
        QVERIFY2(bench.dlg->windowTitle().endsWith("next frame at 22:00"),
                 qPrintable(bench.dlg->windowTitle()));
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(bench.clock.WallMs() >=
                QDateTime(QDate(2024, 6, 1), QTime(22, 0)).toMSecsSinceEpoch());
        QVERIFY(QTest::qWaitFor([&] { return session.WaitingFor().isEmpty(); }, 10000));
        QVERIFY(!bench.dlg->windowTitle().contains("schedule"));
        QVERIFY(bench.WaitForFrame(10002));
        bench.Stop();
        // The second frame is the fourth pass (a second) after the first, not the next one.
        int first = 0;
        while (first < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10001), first)) {
            ++first;
        }
        QVERIFY(first >= 40);  // ten seconds of passes before 22:00
        int second = first;
        while (second < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10002), second)) {
            ++second;
        }
        QCOMPARE(second, first + 4);
        QVERIFY(bench.answerer.Messages().isEmpty());
    }

    // A run started from the window reads the schedule afresh, and a bad value is refused with
    // its key before anything starts.
    void badSettingKeepsTheRunFromStarting() {
        LoopBench bench;
        bench.settings.WriteValues(SettingsValues() + "CAPTURE_HOURS=7-19\n");
        QVERIFY(!bench.dlg->Session().StartRun({}));
        QVERIFY(!bench.dlg->Session().IsRunning());
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages().front().contains("CAPTURE_HOURS=7-19"),
                 qPrintable(bench.answerer.Messages().front()));
    }

    void pauseKeepsTimeOutOfTheAccount() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.dlg->Session().m_capture->m_paused = true;
        bench.clock.Advance(5s);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);

        bench.dlg->Session().m_capture->m_paused = false;
        bench.clock.Advance(250ms);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);
        bench.clock.Advance(300ms);
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(bench.WaitForPasses(3));
        bench.Stop();

        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QCOMPARE(FrameFiles(bench.frameDir.path()), QStringList{"pic_10001.jpg"});
    }

    void resolutionCodeSetsWidthThenHeight_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640x480") << 640480 << 640 << 480;
        QTest::newRow("1600x1200") << 16001200 << 1600 << 1200;
        QTest::newRow("below 1000") << 999 << 0 << 999;
        QTest::newRow("10000000") << 10000000 << 10000 << 0;
        QTest::newRow("10000001") << 10000001 << 1000 << 1;
    }

    void resolutionCodeSetsWidthThenHeight() {
        QFETCH(int, code);
        QFETCH(int, width);
        QFETCH(int, height);
        LoopBench bench;
        bench.dlg->Session().m_resolution = code;
        bench.dlg->Session().m_cameraIndex = 2;  // for the auto-start capture only

        bench.RunToCameraFailure(0);

        QCOMPARE(bench.camera->PropertySets(),
                 (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, double(width)},
                                           {cv::CAP_PROP_FRAME_HEIGHT, double(height)}}));
        QCOMPARE(bench.opener.Requests(), (std::vector<OpenRequest>{{0, ""}}));
    }
};

QTEST_MAIN(CaptureLoopTest)
#include "test_capture_loop.moc"
