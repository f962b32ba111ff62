#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>

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
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
