#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

#include "support/TestSettings.h"

// The real program, started as cron or a systemd timer starts it: no display, an environment of
// PATH, HOME and XDG_CONFIG_HOME only, and a video file standing in for the camera.
class EndToEndTest : public QObject {
    Q_OBJECT
private:
    static constexpr int kClipWidth = 352;
    static constexpr int kClipHeight = 288;

    QTemporaryDir m_dir;
    QString m_clip;

    // Long enough to outlast the warm-up, which takes the file at its own pace.
    bool MakeClip() {
        m_clip = m_dir.filePath("clip.avi");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-loglevel", "error", "-f", "lavfi", "-i",
                      QStringLiteral("testsrc=size=%1x%2:rate=25").arg(kClipWidth).arg(kClipHeight),
                      "-frames:v", "1500", "-y", m_clip});
        return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
    }

    struct Ended {
        int exitCode = -1;  // -1: crashed, or still running after the time limit
        QByteArray out;
        QByteArray err;
    };

    // Runs vorn with `arguments` for at most `limitMs`.
    Ended RunVorn(const TestSettings& settings, const QStringList& arguments, int limitMs) {
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("HOME", settings.Dir());
        env.insert("XDG_CONFIG_HOME", settings.Dir() + "/config");
        // The sanitizer builds' settings, which make no display.
        for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(name)) {
                env.insert(name, qEnvironmentVariable(name));
            }
        }
        QProcess vorn;
        vorn.setProcessEnvironment(env);
        vorn.setWorkingDirectory(m_dir.path());
        vorn.start(VORN_EXECUTABLE, arguments);
        Ended ended;
        if (vorn.waitForFinished(limitMs) && vorn.exitStatus() == QProcess::NormalExit) {
            ended.exitCode = vorn.exitCode();
        } else {
            vorn.kill();
            vorn.waitForFinished();
        }
        ended.out = vorn.readAllStandardOutput();
        ended.err = vorn.readAllStandardError();
        return ended;
    }

    // Whether every line on standard error is one of the program's own: Qt's, OpenCV's and
    // FFmpeg's notes stay out of the logs cron and systemd keep.
    static bool OnlyOwnLines(const QByteArray& err) {
        for (const QByteArray& line : err.split('\n')) {
            if (!line.isEmpty() && !line.startsWith("vorn: ")) {
                return false;
            }
        }
        return true;
    }

    void WriteSettings(const TestSettings& settings, const QString& frames, int autoStart,
                       const QString& source) {
        settings.WriteValues(
            "AUTO_START_DIR=" + frames.toUtf8() +
            "\nAUTO_START_ON_OFF=" + QByteArray::number(autoStart) +
            "\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\nRESOLUTION_REF=1\nCAM_SOURCE=" +
            source.toUtf8() + "\n");
    }

private slots:
    void initTestCase() { QVERIFY(MakeClip()); }

    // Both ways of taking a frame unattended: the settings switch and --take-frame.
    void eachLaunchSavesOneFrameAndCountsIt_data() {
        QTest::addColumn<int>("autoStart");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("auto-start mode") << 1 << QStringList();
        QTest::newRow("--take-frame") << 0 << QStringList{"--take-frame"};
    }

    void eachLaunchSavesOneFrameAndCountsIt() {
        QFETCH(int, autoStart);
        QFETCH(QStringList, arguments);
        TestSettings settings;
        QTemporaryDir frames;
        WriteSettings(settings, frames.path(), autoStart, m_clip);

        const Ended first = RunVorn(settings, arguments, 120000);
        QVERIFY2(first.exitCode == 0, first.err.constData());
        QVERIFY2(OnlyOwnLines(first.err), first.err.constData());
        const cv::Mat saved = cv::imread(frames.filePath("pic_10001.jpg").toStdString());
        QCOMPARE(saved.cols, kClipWidth);
        QCOMPARE(saved.rows, kClipHeight);
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("1"));

        QCOMPARE(RunVorn(settings, arguments, 120000).exitCode, 0);
        QVERIFY(!cv::imread(frames.filePath("pic_10002.jpg").toStdString()).empty());
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("2"));

        // The source gone: the launch ends by itself, says why, and counts nothing.
        WriteSettings(settings, frames.path(), autoStart, m_dir.filePath("gone.avi"));
        settings.Write(settings.Read().replace("FRAME_COUNT=0", "FRAME_COUNT=2"));
        const Ended missing = RunVorn(settings, arguments, 15000);
        QCOMPARE(missing.exitCode, 4);
        QVERIFY2(missing.err.contains("Could not find camera!"), missing.err.constData());
        QVERIFY2(OnlyOwnLines(missing.err), missing.err.constData());
        // The video of those frames, and one of a frame that is not a picture.
        const Ended made = RunVorn(settings, {"--make-video", "--end", "2"}, 120000);
        QVERIFY2(made.exitCode == 0 && made.err.isEmpty(), made.err.constData());
        QFile spoiled(frames.filePath("pic_10002.jpg"));
        QVERIFY(spoiled.open(QIODevice::WriteOnly) && spoiled.write("lost") == 4);
        spoiled.close();
        const Ended stopped = RunVorn(settings, {"--make-video", "--end", "2"}, 120000);
        QCOMPARE(stopped.exitCode, 11);
        QVERIFY2(OnlyOwnLines(stopped.err), stopped.err.constData());
        QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("2"));
        QCOMPARE(QDir(frames.path()).entryList({"pic_*.jpg"}).size(), 2);
    }

    void commandLineIsAnsweredWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<QByteArray>("lines");  // the settings file's values; empty: no file
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("--take-frame")
                              << QByteArray() << QByteArray();
        QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("Vorn 3.6\n")
                                 << QByteArray() << QByteArray();
        QTest::newRow("Qt's own option kept")
            << QStringList{"-platform", "offscreen", "--version"} << 0 << QByteArray("Vorn 3.6\n")
            << QByteArray() << QByteArray();
        QTest::newRow("unknown option")
            << QStringList{"--tkae-frame"} << 2 << QByteArray()
            << QByteArray("Unknown option 'tkae-frame'") << QByteArray();
        QTest::newRow("stray argument")
            << QStringList{"now"} << 2 << QByteArray() << QByteArray("Usage:") << QByteArray();
        // The window would wait where nobody sees it.
        QTest::newRow("window") << QStringList() << 1 << QByteArray() << QByteArray("no display")
                                << QByteArray();
        // A bad value is told in the settings file's one wording, before any camera opens.
        QTest::newRow("bad camera lock")
            << QStringList{"--take-frame"} << 15 << QByteArray()
            << QByteArray("Vorn.conf, CAMERA_LOCK=2 is not valid: give 1")
            << QByteArray(
                   "AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\n"
                   "CAM_REF=0\nRESOLUTION_REF=1\nCAMERA_LOCK=2\n");
    }

    void commandLineIsAnsweredWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArray, lines);
        TestSettings settings;
        if (!lines.isEmpty()) {
            settings.WriteValues(lines);
        }
        const Ended ended = RunVorn(settings, arguments, 60000);
        QCOMPARE(ended.exitCode, exitCode);
        QVERIFY2(out.isEmpty() ? ended.out.isEmpty() : ended.out.contains(out),
                 ended.out.constData());
        QVERIFY2(ended.err.contains(err), ended.err.constData());
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
