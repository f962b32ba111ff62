#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <opencv2/imgcodecs.hpp>

#include "support/TestSettings.h"

namespace {

// The codes under each heading of an exit-code list, in their order: the help's "Exit codes
// of ..." lines, the man page's subsections of EXIT STATUS, the README's of "Exit codes".
QList<QList<int>> CodesUnderHeadings(const QString& text, const QString& from, const QString& to,
                                     const QString& heading, const QString& code) {
    QList<QList<int>> lists;
    const qsizetype start = text.indexOf(from);
    const qsizetype end = to.isEmpty() ? text.size() : text.indexOf(to, start + from.size());
    const QRegularExpression headingLine(heading);
    const QRegularExpression codeLine(code);
    for (const QString& line : text.mid(start, end - start).split('\n')) {
        if (headingLine.match(line).hasMatch()) {
            lists.append(QList<int>());
        } else if (const auto row = codeLine.match(line); row.hasMatch() && !lists.isEmpty()) {
            lists.last().append(row.captured(1).toInt());
        }
    }
    return lists;
}

// The frames ffprobe counts in the video at `path`; -1 when it cannot read one.
int FramesInVideo(const QString& path) {
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                              "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path});
    const bool read = ffprobe.waitForFinished(60000) && ffprobe.exitCode() == 0;
    return read ? ffprobe.readAllStandardOutput().trimmed().toInt() : -1;
}

QString SourceFile(const QString& path) {
    QFile file(QStringLiteral(VORN_SOURCE_DIR "/") + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

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
    Ended RunVorn(const TestSettings& settings, const QStringList& arguments, int limitMs,
                  const QString& timeZone = {}) {
        QProcessEnvironment env;
        if (!timeZone.isEmpty()) {
            env.insert("TZ", timeZone);
        }
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
        QTest::addColumn<QByteArray>("err");  // empty: nothing on standard error
        QTest::addColumn<QString>("timeZone");
        QTest::addColumn<QByteArray>("lines");  // the settings file's values; empty: no file
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("--take-frame")
                              << QByteArray() << QString() << QByteArray();
        QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("Vorn 3.6\n")
                                 << QByteArray() << QString() << QByteArray();
        QTest::newRow("Qt's own option kept")
            << QStringList{"-platform", "offscreen", "--version"} << 0 << QByteArray("Vorn 3.6\n")
            << QByteArray() << QString() << QByteArray();
        QTest::newRow("unknown option")
            << QStringList{"--tkae-frame"} << 2 << QByteArray()
            << QByteArray("Unknown option 'tkae-frame'") << QString() << QByteArray();
        QTest::newRow("stray argument") << QStringList{"now"} << 2 << QByteArray()
                                        << QByteArray("Usage:") << QString() << QByteArray();
        // The window would wait where nobody sees it.
        QTest::newRow("window") << QStringList() << 1 << QByteArray() << QByteArray("no display")
                                << QString() << QByteArray();
        // A zone the C library does not know would put every time at UTC without a word.
        QTest::newRow("unknown time zone")
            << QStringList{"--schedule", "--days", "1"} << 0 << QByteArray("00:00-24:00")
            << QByteArray(
                   "vorn: TZ=Mars/Olympus is not a time zone this machine knows, so local "
                   "times are in UTC.\n")
            << QString("Mars/Olympus") << QByteArray();
        QTest::newRow("zone file") << QStringList{"--version"} << 0 << QByteArray("Vorn 3.6\n")
                                   << QByteArray() << QString("Europe/Berlin") << QByteArray();
        QTest::newRow("zone rule")
            << QStringList{"--version"} << 0 << QByteArray("Vorn 3.6\n") << QByteArray()
            << QString("CET-1CEST,M3.5.0,M10.5.0/3") << QByteArray();
        // A bad value is told in the settings file's one wording, before any camera opens.
        QTest::newRow("bad camera lock")
            << QStringList{"--take-frame"} << 15 << QByteArray()
            << QByteArray("Vorn.conf, CAMERA_LOCK=2 is not valid: give 1") << QString()
            << QByteArray(
                   "AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\n"
                   "CAM_REF=0\nRESOLUTION_REF=1\nCAMERA_LOCK=2\n");
    }

    void commandLineIsAnsweredWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QString, timeZone);
        QFETCH(QByteArray, lines);
        TestSettings settings;
        if (!lines.isEmpty()) {
            settings.WriteValues(lines);
        }
        const Ended ended = RunVorn(settings, arguments, 60000, timeZone);
        QCOMPARE(ended.exitCode, exitCode);
        QVERIFY2(out.isEmpty() ? ended.out.isEmpty() : ended.out.contains(out),
                 ended.out.constData());
        QVERIFY2(err.isEmpty() ? ended.err.isEmpty() : ended.err.count(err) == 1,
                 ended.err.constData());
    }

    // Three days in Berlin around the change to summer time, a frame at 01:10, 04:10, ... 22:10
    // of each (the 13:10 of the last day lost), placed by their file times alone.
    void framesChosenByTheirTimes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");     // all of standard output
        QTest::addColumn<QByteArray>("err");     // a line on standard error
        QTest::addColumn<int>("framesInVideo");  // -1: no video
        const QByteArray placed =
            "vorn: 23 frames have no capture time in them; their file times were used\n";
        QTest::newRow("one frame a day near a time, listed")
            << QStringList{"--daily-at", "13:00", "--list"} << 0
            << QByteArray(
                   "pic_10005.jpg 2026-03-28T13:10:00+01:00\n"
                   "pic_10013.jpg 2026-03-29T13:10:00+02:00\n"
                   "2 of 23 frames chosen; no frame near 13:00 on 2026-03-30; 0.1 s at 25 "
                   "frames a second\n")
            << placed << -1;
        QTest::newRow("a span of hours, listed at the rate of a length")
            << QStringList{"--from", "2026-03-29T00:00", "--to", "2026-03-29T08:00",
                           "--list", "--length",         "6"}
            << 0
            << QByteArray(
                   "pic_10009.jpg 2026-03-29T01:10:00+01:00\n"
                   "pic_10010.jpg 2026-03-29T04:10:00+02:00\n"
                   "pic_10011.jpg 2026-03-29T07:10:00+02:00\n"
                   "3 of 23 frames chosen; 6.0 s at 0.5 frames a second\n")
            << placed << -1;
        QTest::newRow("the frames of a 23-hour day, within a range")
            << QStringList{"--day", "2026-03-29", "--start", "9"} << 0 << QByteArray()
            << QByteArray("vorn: 14 frames have no capture time") << 7;
        QTest::newRow("a day without frames")
            << QStringList{"--day", "2026-04-01", "--between", "06:00-20:00"} << 10 << QByteArray()
            << QByteArray(" was taken on 2026-04-01 between 06:00 and 20:00\n") << -1;
        QTest::newRow("hours that are no times")
            << QStringList{"--between", "6-20", "--list"} << 2 << QByteArray()
            << QByteArray("vorn: --between takes times of day") << -1;
        QTest::newRow("a date that is none")
            << QStringList{"--day", "2026-02-30"} << 2 << QByteArray() << QByteArray("--day") << -1;
    }

    void framesChosenByTheirTimes() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(int, framesInVideo);
        QTemporaryDir frames;
        const QTimeZone berlin("Europe/Berlin");
        int number = 10001;
        for (const QDate day : {QDate(2026, 3, 28), QDate(2026, 3, 29), QDate(2026, 3, 30)}) {
            for (int hour = 1; hour < 24; hour += 3) {
                if (day.day() == 30 && hour == 13) {
                    continue;
                }
                const QString path = frames.filePath(QString("pic_%1.jpg").arg(number++));
                QVERIFY(cv::imwrite(path.toStdString(), cv::Mat(48, 64, CV_8UC3, cv::Scalar(90))));
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadWrite) &&
                        file.setFileTime(QDateTime(day, QTime(hour, 10), berlin),
                                         QFileDevice::FileModificationTime));
            }
        }
        TestSettings settings;
        const Ended ended =
            RunVorn(settings, QStringList{"--make-video", "--dir", frames.path()} + arguments,
                    60000, "Europe/Berlin");
        QCOMPARE(ended.exitCode, exitCode);
        QCOMPARE(ended.out, out);
        QVERIFY2(ended.err.count(err) == 1 && OnlyOwnLines(ended.err), ended.err.constData());
        QCOMPARE(FramesInVideo(frames.filePath("output.avi")), framesInVideo);
    }

    void exitCodesOfTheHelpManPageAndReadmeAgree() {
        TestSettings settings;
        const Ended help = RunVorn(settings, {"--help"}, 60000);
        QCOMPARE(help.exitCode, 0);
        const auto helpCodes = CodesUnderHeadings(QString::fromUtf8(help.out), "Exit codes of", {},
                                                  "^Exit codes of ", R"(^  (\d+) )");
        QCOMPARE(helpCodes.size(), 4);  // the window, --take-frame, --make-video, --schedule
        QCOMPARE(CodesUnderHeadings(SourceFile("docs/vorn.1"), ".SH EXIT STATUS", "\n.SH ",
                                    R"(^\.SS )", R"(^\.B (\d+)$)"),
                 helpCodes);
        QCOMPARE(CodesUnderHeadings(SourceFile("README.md"), "\n## Exit codes", "\n## ", "^### ",
                                    R"(^\| (\d+) \|)"),
                 helpCodes);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
