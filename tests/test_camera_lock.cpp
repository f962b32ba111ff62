#include <linux/videodev2.h>

#include <QtTest>

#include "cameralock/CameraLock.h"
#include "cameralock/V4l2Controls.h"
#include "capture/CameraSource.h"
#include "support/FakeCameraControls.h"
#include "support/SyntheticCamera.h"

namespace {

using Plan = std::vector<ControlSetting>;

// What `v4l2-ctl -L` printed for two UVC webcams after their warm-up: one before Linux 5.16
// renamed the controls, one after.
const QString kOlderNames = VORN_SOURCE_DIR "/tests/support/v4l2-ctl-L_c920_linux5.10.txt";
const QString kNewerNames = VORN_SOURCE_DIR "/tests/support/v4l2-ctl-L_lifecam-studio_linux6.1.txt";

std::unique_ptr<FakeCameraControls> Camera(const QString& listing) {
    auto camera = FakeCameraControls::FromListing(listing);
    if (!camera) {
        qFatal("cannot replay %s", qPrintable(listing));
    }
    return camera;
}

}  // namespace

class CameraLockTest : public QObject {
    Q_OBJECT
private slots:
    // Each automatic is switched off before the value it reached is set as the manual one, with
    // the ids of <linux/videodev2.h> whatever the driver calls them.
    void lockHoldsWhatTheCameraReached_data() {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<int>("hz");  // 0: POWER_LINE_HZ absent
        QTest::addColumn<Plan>("plan");
        const Plan olderLock = {{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                                {V4L2_CID_EXPOSURE_ABSOLUTE, 333},
                                {V4L2_CID_AUTO_WHITE_BALANCE, 0},
                                {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 4512},
                                {V4L2_CID_FOCUS_AUTO, 0},
                                {V4L2_CID_FOCUS_ABSOLUTE, 35}};
        Plan newerLock = {{V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_50HZ},
                          {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                          {V4L2_CID_EXPOSURE_ABSOLUTE, 312},
                          {V4L2_CID_AUTO_WHITE_BALANCE, 0},
                          {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 5200},
                          {V4L2_CID_FOCUS_AUTO, 0},
                          {V4L2_CID_FOCUS_ABSOLUTE, 12}};
        QTest::newRow("older names") << kOlderNames << true << 0 << olderLock;
        QTest::newRow("newer names, 50 Hz") << kNewerNames << true << 50 << newerLock;
        QTest::newRow("60 Hz filter alone")
            << kOlderNames << false << 60
            << Plan{{V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CID_POWER_LINE_FREQUENCY_60HZ}};
        QTest::newRow("nothing asked") << kNewerNames << false << 0 << Plan{};
    }

    void lockHoldsWhatTheCameraReached() {
        QFETCH(QString, listing);
        QFETCH(bool, lock);
        QFETCH(int, hz);
        QFETCH(Plan, plan);
        const auto camera = Camera(listing);
        const CameraLockChoice choice{lock, hz ? std::optional(hz) : std::nullopt};

        QVERIFY(!LockCamera(*camera, choice));

        QCOMPARE(camera->Sets(), plan);
        for (const ControlSetting& set : plan) {
            QCOMPARE(camera->Get(set.id), std::optional(set.value));
        }
    }

    // A camera locked by an earlier run meters again: its automatics go back on, exposure to
    // aperture priority, or to full automatic where its menu ends before that.
    void meteringSwitchesTheAutomaticsBackOn() {
        const auto camera = Camera(kOlderNames);
        QVERIFY(!LockCamera(*camera, {true, {}}));
        const std::size_t lockCalls = camera->Sets().size();

        MeterCamera(*camera, {true, {}});

        const Plan metering = {{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY},
                               {V4L2_CID_AUTO_WHITE_BALANCE, 1},
                               {V4L2_CID_FOCUS_AUTO, 1}};
        const Plan sets = camera->Sets();
        QCOMPARE(Plan(sets.begin() + static_cast<std::ptrdiff_t>(lockCalls), sets.end()), metering);
        for (const ControlSetting& set : metering) {
            QCOMPARE(camera->Get(set.id), std::optional(set.value));
        }
        QCOMPARE(PlanCameraMetering({{V4L2_CID_EXPOSURE_AUTO, 1, 0, 1, 1, false}}, {true, {}}),
                 (Plan{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO}}));
        QVERIFY(PlanCameraMetering(camera->List(), {false, 50}).empty());
    }

    // A control the camera lacks or cannot write is left out, and a value it reports beyond its
    // range is set within it, on its steps.
    void planKeepsToWhatTheCameraOffers() {
        const std::vector<CameraControl> controls = {
            {V4L2_CID_AUTO_WHITE_BALANCE, 1, 0, 1, 1, false},
            {V4L2_CID_EXPOSURE_AUTO, 3, 0, 3, 1, false},
            {V4L2_CID_EXPOSURE_ABSOLUTE, 5000, 3, 2047, 10, false},
            {V4L2_CID_FOCUS_AUTO, 1, 0, 1, 1, true},
            {V4L2_CID_FOCUS_ABSOLUTE, 35, 0, 250, 5, false},
        };
        QCOMPARE(PlanCameraLock(controls, {true, 60}),
                 (Plan{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                       {V4L2_CID_EXPOSURE_ABSOLUTE, 2043},
                       {V4L2_CID_AUTO_WHITE_BALANCE, 0}}));
    }

    // Everything is still tried; one sentence names each value the driver refused or changed.
    void untakenValuesAreToldInOneSentence() {
        const auto camera = Camera(kNewerNames);
        camera->Refuse(V4L2_CID_FOCUS_AUTO);
        camera->HoldAt(V4L2_CID_EXPOSURE_ABSOLUTE, 156);

        QCOMPARE(LockCamera(*camera, {true, 50}).value_or(""),
                 std::string("The camera did not take every value of its lock: exposure time 312 "
                             "(the camera keeps 156), continuous autofocus 0 (refused)."));

        QCOMPARE(camera->Sets().size(), std::size_t(7));
        QCOMPARE(camera->Get(V4L2_CID_FOCUS_ABSOLUTE), std::optional<std::int32_t>(12));
    }

    void videoDeviceOfEachSource_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("device");  // empty: not a Video4Linux camera
        QTest::newRow("camera index") << 3 << ""
                                      << "/dev/video3";
        QTest::newRow("device path") << 0 << "/dev/video2"
                                     << "/dev/video2";
        QTest::newRow("v4l2src device")
            << 0 << "v4l2src device=/dev/video1 ! videoconvert ! appsink"
            << "/dev/video1";
        QTest::newRow("quoted device") << 0
                                       << "v4l2src do-timestamp=true device=\"/dev/video4\" ! "
                                          "jpegdec ! videoconvert ! appsink"
                                       << "/dev/video4";
        QTest::newRow("other pipeline") << 0 << "videotestsrc ! videoconvert ! appsink"
                                        << "";
        QTest::newRow("video file") << 0 << "/home/me/Videos/clouds.mp4"
                                    << "";
        QTest::newRow("network stream") << 0 << "rtsp://192.168.1.20:554/stream1"
                                        << "";
    }

    void videoDeviceOfEachSource() {
        QFETCH(int, index);
        QFETCH(QString, source);
        QFETCH(QString, device);
        QCOMPARE(QString::fromStdString(V4l2DevicePath(index, source.toStdString())), device);
    }

    // A source without Video4Linux controls goes on as it is, and nothing is asked of a camera
    // when nothing is to be held.
    void sourceWithoutControlsIsLeftAlone() {
        SyntheticCamera camera;
        const auto controls = Camera(kOlderNames);
        camera.SetControls(*controls);
        QVERIFY(!LockCameraSource(camera, {false, std::nullopt}));
        QVERIFY(camera.LocksAtGrabs().empty());
        QVERIFY(controls->Sets().empty());

        // A node that is no Video4Linux device offers no control, and one that is missing none.
        const auto notACamera = OpenV4l2Controls("/dev/null");
        QVERIFY(notACamera);
        QVERIFY(notACamera->List().empty());
        QVERIFY(!LockCamera(*notACamera, {true, 60}));
        QVERIFY(!OpenV4l2Controls("/dev/no-such-video-device"));
    }

    void modelOfACardName_data() {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("model");
        QTest::newRow("product name twice") << "HD Pro Webcam C920: HD Pro Webcam C920"
                                            << "HD Pro Webcam C920";
        QTest::newRow("two different halves") << "UVC Camera: Integrated Webcam"
                                              << "UVC Camera: Integrated Webcam";
        QTest::newRow("second half longer") << "Cam: Cam 2"
                                            << "Cam: Cam 2";
        QTest::newRow("one name") << "Microsoft LifeCam Studio"
                                  << "Microsoft LifeCam Studio";
    }

    void modelOfACardName() {
        QFETCH(QString, card);
        QFETCH(QString, model);
        QCOMPARE(QString::fromStdString(ModelFromCardName(card.toStdString())), model);
    }

    // A node that is no Video4Linux device, or none at all, names no camera.
    void identityOfWhatIsNoCameraIsEmpty() {
        for (const char* path : {"/dev/null", "/dev/no-such-video-device"}) {
            const CameraIdentity identity = QueryV4l2Identity(path);
            QCOMPARE(identity.make, std::string());
            QCOMPARE(identity.model, std::string());
        }
    }
};

QTEST_MAIN(CameraLockTest)
#include "test_camera_lock.moc"
