#include <QTest>

#include <chrono>

#include <opencv2/videoio.hpp>

#include "support/ManualClock.h"
#include "support/SyntheticCamera.h"

using namespace std::chrono_literals;

namespace {

// The frame index that `frame` shows, or -1 when its colour is no frame's.
int ShownIndex(const cv::Mat& frame) {
    const cv::Vec3b pixel = frame.at<cv::Vec3b>(0, 0);
    for (int index = 0; index < 256; ++index) {
        const cv::Scalar colour = SyntheticCamera::FrameColour(index);
        if (pixel == cv::Vec3b(colour[0], colour[1], colour[2])) {
            return index;
        }
    }
    return -1;
}

}  // namespace

// The doubles other tests build on: their rules for failing, dropping and timing.
class TestDoublesTest : public QObject {
    Q_OBJECT

private slots:
    void cameraNumbersItsFramesAndFailsWhenTold() {
        SyntheticCamera camera({32, 24});
        camera.FailGrabsAfter(3);
        camera.DropFrame(1);
        cv::Mat frame;
        QVERIFY(!camera.Retrieve(frame));

        QVERIFY(camera.Grab());
        QVERIFY(camera.Retrieve(frame));
        QCOMPARE(frame.size(), cv::Size(32, 24));
        QCOMPARE(ShownIndex(frame), 0);

        QVERIFY(camera.Grab());
        QVERIFY(!camera.Retrieve(frame));
        QVERIFY(frame.empty());

        QVERIFY(camera.Grab());
        QVERIFY(camera.Retrieve(frame));
        QCOMPARE(ShownIndex(frame), 2);

        QVERIFY(!camera.Grab());
        QVERIFY(!camera.Retrieve(frame));
        QCOMPARE(camera.GrabCount(), 4);
    }

    void neighbouringFramesDifferInEveryChannel() {
        for (int index = 0; index < 300; ++index) {
            const cv::Scalar a = SyntheticCamera::FrameColour(index);
            const cv::Scalar b = SyntheticCamera::FrameColour(index + 1);
            for (int channel = 0; channel < 3; ++channel) {
                QVERIFY(std::abs(a[channel] - b[channel]) >= 32);
            }
        }
    }

    void slowGrabsAdvanceTheClock() {
        ManualClock clock;
        SyntheticCamera camera;
        camera.AdvanceClockOnGrab(clock, 250);
        camera.Grab();
        camera.Grab();
        QCOMPARE(clock.Counter(), 500 * ManualClock::kFrequency / 1000);
    }

    void sleepAdvancesByWhatItWasAskedOrWasSet() {
        ManualClock clock;
        clock.Sleep(40);
        QCOMPARE(clock.Counter(), 40'000);
        clock.SetSleepAdvance(250ms);
        clock.Sleep(1000);
        clock.Advance(2s);
        QCOMPARE(clock.Counter(), 2'290'000);
        QCOMPARE(clock.SleepCount(), 2);
    }

    void openerRecordsRequestsAndSharesTheCamera() {
        const auto camera = std::make_shared<SyntheticCamera>();
        RecordingOpener recording(ShareCamera(camera));
        const CameraOpener open = recording.Opener();

        std::unique_ptr<CameraSource> opened = open(2, "");
        QVERIFY(opened);
        opened->Set(cv::CAP_PROP_FRAME_WIDTH, 1280);
        opened->Grab();
        opened.reset();
        QVERIFY(open(0, "rtsp://camera/stream"));

        QCOMPARE(camera->GrabCount(), 1);
        QCOMPARE(camera->PropertySets(),
                 (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, 1280}}));
        QCOMPARE(recording.Requests(),
                 (std::vector<OpenRequest>{{2, ""}, {0, "rtsp://camera/stream"}}));
    }

    void noCameraOpenerFindsNone() {
        RecordingOpener recording(NoCamera());
        QVERIFY(!recording.Opener()(0, ""));
        QCOMPARE(recording.Requests().size(), size_t(1));
    }
};

QTEST_APPLESS_MAIN(TestDoublesTest)
#include "test_test_doubles.moc"
