#include <QProcess>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

#include "support/TestSettings.h"

// The real program, started as a user's scheduler would start it in auto-start mode, with a video
// file standing in for the camera.
class EndToEndTest : public QObject {
    Q_OBJECT
private:
    static constexpr int kClipWidth = 352;
    static constexpr int kClipHeight = 288;

    QTemporaryDir m_dir;
    QString m_clip;

    // Long enough to outlast the warm-up: the file is read as fast as the loop asks.
    bool MakeClip() {
        m_clip = m_dir.filePath("clip.avi");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-loglevel", "error", "-f", "lavfi", "-i",
                      QStringLiteral("testsrc=size=%1x%2:rate=25").arg(kClipWidth).arg(kClipHeight),
                      "-frames:v", "1500", "-y", m_clip});
        return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
    }

    // Runs vorn to its end; false when it did not end by itself.
    bool RunVorn(const TestSettings& settings) {
        QProcess vorn;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", settings.Dir() + "/config");
        env.insert("HOME", settings.Dir());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        vorn.setProcessEnvironment(env);
        vorn.setWorkingDirectory(m_dir.path());
        vorn.start(VORN_EXECUTABLE, {});
        const bool ended = vorn.waitForFinished(180000);
        if (!ended) {
            vorn.kill();
            vorn.waitForFinished();
        }
        return ended && vorn.exitStatus() == QProcess::NormalExit && vorn.exitCode() == 0;
    }

private slots:
    void initTestCase() { QVERIFY(MakeClip()); }

    void eachLaunchSavesOneFrameAndCountsIt() {
        TestSettings settings;
        const QString frames = m_dir.filePath("frames");
        QVERIFY(QDir().mkpath(frames));
        settings.WriteValues("AUTO_START_DIR=" + frames.toUtf8() +
                             "\nAUTO_START_ON_OFF=1\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                             "RESOLUTION_REF=1\nCAM_SOURCE=" +
                             m_clip.toUtf8() + "\n");

        QVERIFY(RunVorn(settings));
        const cv::Mat first = cv::imread((frames + "/pic_10001.jpg").toStdString());
        QVERIFY(!first.empty());
        QCOMPARE(first.cols, kClipWidth);
        QCOMPARE(first.rows, kClipHeight);
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("1"));

        QVERIFY(RunVorn(settings));
        QVERIFY(!cv::imread((frames + "/pic_10002.jpg").toStdString()).empty());
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("2"));
        QCOMPARE(QDir(frames).entryList({"pic_*.jpg"}).size(), 2);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
