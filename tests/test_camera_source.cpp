#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>

#include <opencv2/videoio.hpp>

#include "capture/BoundedCamera.h"
#include "capture/CameraSource.h"
#include "capture/ThreadCount.h"
#include "support/SyntheticCamera.h"

class CameraSourceTest : public QObject {
    Q_OBJECT

private:
    static constexpr int kClipFrames = 5;

    QTemporaryDir m_dir;
    QString m_clip;  // empty when ffmpeg is not installed

    // A 320x240 AVI of kClipFrames frames made by ffmpeg; empty when ffmpeg failed.
    QString MakeClip(const QString& ffmpegPath) {
        const QString clip = m_dir.filePath("clip.avi");
        QProcess ffmpeg;
        ffmpeg.start(ffmpegPath,
                     {"-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=10",
                      "-frames:v", QString::number(kClipFrames), "-y", clip});
        const bool made = ffmpeg.waitForFinished(-1) &&
                          ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
        return made ? clip : QString();
    }

    std::unique_ptr<CameraSource> OpenClip() { return OpenVideoCapture(0, m_clip.toStdString()); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Made before OpenCV starts threads of its own: ThreadSanitizer forbids forking after.
        const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
        if (!ffmpeg.isEmpty()) {
            m_clip = MakeClip(ffmpeg);
            QVERIFY(!m_clip.isEmpty());
        }
    }

    void onlyASourceEndingInAppsinkIsAPipeline_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("pipeline");
        QTest::newRow("test pattern") << "videotestsrc ! videoconvert ! appsink" << true;
        QTest::newRow("sink with properties") << "v4l2src ! appsink drop=true  " << true;
        QTest::newRow("stream whose path holds the word") << "http://cam/appsink/video" << false;
        QTest::newRow("stream ending in the word") << "http://cam/appsink" << false;
        QTest::newRow("pipeline ending elsewhere") << "videotestsrc ! appsink ! fakesink" << false;
    }

    void onlyASourceEndingInAppsinkIsAPipeline() {
        QFETCH(QString, source);
        QFETCH(bool, pipeline);
        QCOMPARE(IsGStreamerPipeline(source.toStdString()), pipeline);
    }

    void missingFileOpensNoCamera() {
        QVERIFY(!OpenVideoCapture(0, m_dir.filePath("missing.avi").toStdString()));
    }

    void indexWithoutDeviceOpensNoCamera() { QVERIFY(!OpenVideoCapture(99, "")); }

    void videoFileGivesEachFrameThenStops() {
        if (m_clip.isEmpty()) {
            QSKIP("ffmpeg is not installed");
        }
        const std::unique_ptr<CameraSource> camera = OpenClip();
        QVERIFY(camera);
        cv::Mat frame;
        for (int index = 0; index < kClipFrames; ++index) {
            QVERIFY2(camera->Grab(), qPrintable(QString("frame %1").arg(index)));
            QVERIFY(camera->Retrieve(frame));
            QCOMPARE(frame.cols, 320);
            QCOMPARE(frame.rows, 240);
            QCOMPARE(frame.type(), CV_8UC3);
        }
        QVERIFY(!camera->Grab());
        QVERIFY(!camera->Retrieve(frame));
        QVERIFY(frame.empty());
    }

    void propertyReachesTheCapture() {
        if (m_clip.isEmpty()) {
            QSKIP("ffmpeg is not installed");
        }
        const std::unique_ptr<CameraSource> camera = OpenClip();
        QVERIFY(camera);
        while (camera->Grab()) {
        }

        // Rewinding the file makes its frames available again.
        QVERIFY(camera->Set(cv::CAP_PROP_POS_FRAMES, 0));
        QVERIFY(camera->Grab());
        cv::Mat frame;
        QVERIFY(camera->Retrieve(frame));
    }

    void boundedCameraGivesUpAHeldGrab_data() {
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("reopenable");
        QTest::newRow("held grab") << true << true;
        QTest::newRow("answering camera") << false << false;
    }

    // A grab over the limit fails, so does every later call without reaching the camera, and the
    // camera stays open on its thread until the grab returns; otherwise the camera closes with
    // its wrapper.
    void boundedCameraGivesUpAHeldGrab() {
        QFETCH(bool, held);
        QFETCH(bool, reopenable);
        QVERIFY(QTest::qWaitFor([] { return CaptureThreadsAlive() == 0; }));
        auto camera = std::make_shared<SyntheticCamera>(cv::Size(32, 24));
        camera->SetReopenable(reopenable);
        RecordingOpener opener(ShareCamera(camera));
        using std::chrono::milliseconds;
        auto bounded =
            BoundedOpener(opener.Opener(), milliseconds(2000), milliseconds(2000))(0, "");
        QVERIFY(bounded);
        QCOMPARE(bounded->Reopenable(), reopenable);
        if (held) {
            camera->HoldGrabs();
        }

        QCOMPARE(bounded->Grab(), !held);
        cv::Mat frame;
        QCOMPARE(bounded->Retrieve(frame), !held);
        QCOMPARE(frame.empty(), held);
        QCOMPARE(bounded->Set(cv::CAP_PROP_FRAME_WIDTH, 32), !held);
        QCOMPARE(camera->PropertySets().size(), held ? 0u : 1u);
        QCOMPARE(CaptureThreadsAlive(), 1);
        bounded.reset();
        QCOMPARE(camera->SharesOpen(), held ? 1 : 0);

        camera->ReleaseGrabs();
        QVERIFY(QTest::qWaitFor([&] { return camera->SharesOpen() == 0; }));
        QVERIFY(QTest::qWaitFor([] { return CaptureThreadsAlive() == 0; }));
        QCOMPARE(camera->GrabCount(), 1);
    }
};

QTEST_GUILESS_MAIN(CameraSourceTest)
#include "test_camera_source.moc"
