#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <mutex>

#include "capture/CaptureLoop.h"
#include "panel/CaptureControls.h"
#include "session/VornSession.h"
#include "support/DialogBench.h"

using namespace std::chrono_literals;

namespace {

// A session without any window, among the surroundings of a capture.
struct SessionBench : CaptureSurroundings {
    SessionBench() : CaptureSurroundings({64, 48}) {
        session.SetCameraOpener(opener.Opener());
        session.SetClock(clock);
        session.SetFrameDir(frameDir.path().toStdString());
        session.SetCaptureView(WindowCaptureView());
    }

    VornSession session;
};

}  // namespace

// What the window does, driven without it.
class SessionTest : public QObject {
    Q_OBJECT
private slots:
    void init() { DropLeftoverKeys(); }

    // A source that ends stops the run as Stop does: the view is told, and the frames taken
    // become the end of the video range.
    void runThatEndsByItselfStopsTheSession() {
        SessionBench bench;
        QSignalSpy runState(&bench.session, &VornSession::RunStateChanged);
        QSignalSpy rangeReset(&bench.session, &VornSession::RangeReset);
        bench.clock.SetSleepAdvance(250ms);
        bench.camera->FailGrabsAfter(4);
        QVERIFY(bench.session.SetDelayTenths(1));
        QVERIFY(bench.session.StartRun({}));
        QVERIFY(bench.session.IsRunning());

        QTRY_VERIFY_WITH_TIMEOUT(!bench.session.IsRunning(), 10000);
        QCOMPARE(runState.count(), 2);  // started, then stopped
        QCOMPARE(rangeReset.count(), 1);
        QCOMPARE(bench.session.m_endFrame, bench.session.GetFrameCounter() - 10000);
        QVERIFY(bench.session.m_endFrame > 0);
        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages().front().toStdString(),
                 CaptureEndMessage(CaptureEnd::SourceEnded));
    }

    // Stop ends a run at once, also in the middle of the one-second sleep of a long delay: no
    // time passes on the clock, and Stop does not give up on the run.
    void stopEndsALongDelayAtOnce() {
        SessionBench bench;
        QVERIFY(bench.session.SetDelayTenths(20000));  // a second's sleep each pass
        bench.clock.HoldSleeps();
        QVERIFY(bench.session.StartRun({}));
        QTRY_VERIFY(bench.camera->GrabCount() > 0);
        const std::int64_t before = bench.clock.Counter();
        bench.session.StopRun();
        QVERIFY(bench.session.WaitForCaptureThread(0));
        QCOMPARE(bench.clock.Counter(), before);
        QVERIFY(!bench.session.IsRunning());
    }

    // What a run shows goes to the view the session was given, here one without widgets: the
    // preview opens, shows the frames, closes once the camera is released, and the end is told.
    void runShowsWhatItShowsThroughTheSessionsView() {
        SessionBench bench;
        std::mutex mutex;
        QStringList calls;  // guarded by mutex
        const auto record = [&](const QString& call) {
            std::lock_guard lock(mutex);
            calls << call;
        };
        bench.session.SetCaptureView(
            {[&] { record("open"); }, [&] { record("close"); },
             [&](const cv::Mat& frame) {
                 record(QStringLiteral("frame %1x%2").arg(frame.cols).arg(frame.rows));
                 return false;
             },
             [&](const QString& text) { record(text); }});
        bench.clock.SetSleepAdvance(250ms);
        bench.camera->FailGrabsAfter(2);
        QVERIFY(bench.session.StartRun({}));
        QTRY_VERIFY_WITH_TIMEOUT(!bench.session.IsRunning(), 10000);

        std::lock_guard lock(mutex);
        QCOMPARE(calls,
                 (QStringList{"open", "frame 640x480", "frame 640x480", "close",
                              QString::fromStdString(CaptureEndMessage(CaptureEnd::SourceEnded))}));
        QVERIFY(bench.answerer.Messages().isEmpty());
        QVERIFY(!PreviewWindow());
    }
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
