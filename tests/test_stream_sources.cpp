#include <QTcpServer>
#include <QTest>
#include <QThread>

#include "capture/CameraSource.h"
#include "capture/CaptureLoop.h"
#include "panel/CaptureControls.h"
#include "session/VornSession.h"
#include "support/ModalAnswerer.h"
#include "support/TestSettings.h"

// Sources other than a camera index: GStreamer pipelines and network streams that fail.
class StreamSourcesTest : public QObject {
    Q_OBJECT
private slots:
    void testPatternPipelineGivesFrames();
    void refusedStreamOpensNoCamera();
    void silentStreamGivesUpAndShowsNoCameraMessage();
};

void StreamSourcesTest::testPatternPipelineGivesFrames() {
    // An address inside a pipeline does not make it a network stream.
    const auto camera = OpenVideoCapture(
        0,
        "videotestsrc name=rtsp://cam ! video/x-raw,width=320,height=240 ! videoconvert ! "
        "appsink");
    QVERIFY(camera);
    // The capture asks for its size; a pipeline keeps the one it was written with.
    SetCaptureSize(*camera, 640480);
    cv::Mat frame;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(camera->Grab());
        QVERIFY(camera->Retrieve(frame));
        QCOMPARE(frame.cols, 320);
        QCOMPARE(frame.rows, 240);
        QCOMPARE(frame.channels(), 3);
    }
}

void StreamSourcesTest::refusedStreamOpensNoCamera() {
    // Listen, learn a free port, then close it: nothing answers there.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    QVERIFY(!OpenVideoCapture(
        0, QStringLiteral("http://127.0.0.1:%1/cam.mjpg").arg(port).toStdString()));
    QVERIFY(
        !OpenVideoCapture(0, QStringLiteral("rtsp://127.0.0.1:%1/cam").arg(port).toStdString()));
}

void StreamSourcesTest::silentStreamGivesUpAndShowsNoCameraMessage() {
    // A server that takes the connection and never says a word, as a hung network camera does.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TestSettings settings;
    QTemporaryDir workDir;
    QVERIFY(QDir::setCurrent(workDir.path()));
    ModalAnswerer answerer;
    VornSession dlg;
    dlg.SetCaptureView(WindowCaptureView());
    dlg.m_camSource =
        QStringLiteral("http://127.0.0.1:%1/video.mjpg").arg(server.serverPort()).toStdString();
    dlg.m_capture->m_running = true;
    QVERIFY(dlg.StartCaptureThread());
    // The CTest time limit is what fails this test if the open never gives up.
    QVERIFY(answerer.WaitForMessages(1, 120000));
    QCOMPARE(answerer.Messages(),
             QStringList{"Could not find camera! Please plug a camera in and try again."});
    QVERIFY(dlg.WaitForCaptureThread(120000));
    dlg.m_capture->m_running = false;
}

QTEST_MAIN(StreamSourcesTest)
#include "test_stream_sources.moc"
