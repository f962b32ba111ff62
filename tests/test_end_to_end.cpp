#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <csignal>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <opencv2/imgcodecs.hpp>

#include "frames/AttemptRecord.h"
#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "support/FullDisk.h"
#include "support/ProcessGroups.h"
#include "support/TestSettings.h"

namespace {

using DayFrames = QMap<QString, int>;  // the frames in each day's video

// The codes under each heading of an exit-code list, in their order: the help's "Exit codes
// of ..." lines, the man page's subsections of EXIT STATUS, docs/EXIT-CODES.md's of "Exit codes".
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

// Writes `picture` as frame `number` of `dir` with `when` as its file time and no capture time in
// it, as frames copied from elsewhere may be.
bool AddFrame(const QString& dir, int number, const cv::Mat& picture, const QDateTime& when) {
    const QString path = dir + QString("/pic_%1.jpg").arg(number);
    QFile file(path);
    return cv::imwrite(path.toStdString(), picture) && file.open(QIODevice::ReadWrite) &&
           file.setFileTime(when, QFileDevice::FileModificationTime);
}

QString SourceFile(const QString& path) {
    QFile file(QStringLiteral(VORN_SOURCE_DIR "/") + path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// commandLineIsAnsweredWithoutADisplay's rows of options without their mode, profiles, and the
// daily run's settings.
void AddRowsOfOptionsProfilesAndDailySettings() {
    // An option without its mode would open the window and be passed over.
    for (const QStringList& option :
         {QStringList{"--day", "today"}, QStringList{"--list"}, QStringList{"--every", "10"},
          QStringList{"--fps", "5"}, QStringList{"--start", "3"}}) {
        QTest::addRow("%s without its mode", qPrintable(option.first()))
            << option << 2 << QByteArray()
            << "vorn: " + option.first().toUtf8() + " is an option of --make-video" << QString()
            << QByteArray();
    }
    QTest::newRow("daily videos of a folder that is not there")
        << QStringList{"--daily-videos", "--dir", "/nonexistent/frames"} << 10 << QByteArray()
        << QByteArray("Can't read the folder /nonexistent/frames/ (No such file") << QString()
        << QByteArray();
    QTest::newRow("a profile name that names no file")
        << QStringList{"--take-frame", "--profile", "../sky"} << 2 << QByteArray()
        << QByteArray("--profile takes 1 to 32 letters, digits") << QString() << QByteArray();
    // Another profile's file never stands in for a missing one.
    for (const QStringList& mode :
         {QStringList{"--take-frame"}, QStringList{"--make-video"}, QStringList{"--schedule"},
          QStringList{"--daily-videos"}, QStringList{"--keogram", "k.jpg"}}) {
        QTest::addRow("%s of a profile without its file", qPrintable(mode.first()))
            << QStringList{"--profile", "sky"} + mode << 3 << QByteArray()
            << QByteArray("vorn: the profile sky has no settings file (") << QString()
            << QByteArray(
                   "AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\n"
                   "CAM_REF=0\nRESOLUTION_REF=1\n");
    }
    QTest::newRow("a hook too long to read")
        << QStringList{"--daily-videos"} << 15 << QByteArray()
        << QByteArray("Vorn.conf, ON_DAY is too long to read (at most 4095 bytes)") << QString()
        << "AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
           "RESOLUTION_REF=1\nON_DAY=touch " +
               QByteArray(4096, 'a') + "\n";
    QTest::newRow("bad days of frames kept")
        << QStringList{"--daily-videos"} << 15 << QByteArray()
        << QByteArray("Vorn.conf, KEEP_FRAMES_DAYS=0 is not valid: give") << QString()
        << QByteArray(
               "AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\n"
               "CAM_REF=0\nRESOLUTION_REF=1\nKEEP_FRAMES_DAYS=0\n");
}

// The frames 10001 and 10002, taken two days ago: a closed day for every mode that reads one.
bool AddTwoFramesOfTwoDaysAgo(const QString& dir) {
    const QDateTime before = QDateTime::currentDateTime().addDays(-2);
    for (const int number : {10001, 10002}) {
        if (!AddFrame(dir, number, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                      before.addSecs(number))) {
            return false;
        }
    }
    return true;
}

// Five days of frames in Berlin, D-4 to today, 8 a day (D-2 has one more, late at night) with
// D-3's first frame spoiled, a file of the user's beside them, and settings that keep 2 days and
// write each daily hook's event to daily-hooks.txt in `dir`.
struct FiveDaysOfFrames {
    explicit FiveDaysOfFrames(const QTemporaryDir& dir)
        : hooksRun(dir.filePath("daily-hooks.txt")), notes(frames.filePath("pic_notes.jpg.txt")) {
        made =
            AddFrames() && Spoil() && notes.open(QIODevice::WriteOnly) && notes.write("mine") == 4;
        notes.close();
        folder = "AUTO_START_DIR=" + frames.path().toUtf8() +
                 "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\nRESOLUTION_REF=1\n";
        QFile::remove(hooksRun);
        // Each made day's video, then the day, is handed to its hook, in the launch's folder.
        settings.WriteValues(folder +
                             "KEEP_FRAMES_DAYS=2\n"
                             "ON_VIDEO=sh -c 'echo $VORN_EVENT $VORN_FILE >> daily-hooks.txt'\n"
                             "ON_DAY=sh -c 'echo $VORN_EVENT $VORN_FILE >> daily-hooks.txt'\n");
    }

    QString Day(int back) const { return today.addDays(-back).toString(Qt::ISODate); }
    QString Video(int back) const { return frames.filePath("days/" + Day(back) + ".mp4"); }
    QStringList FramesLeft() const { return QDir(frames.path()).entryList({"pic_*.jpg"}); }
    QStringList NamesOf(std::initializer_list<int> backs) const {
        QStringList all;
        for (const int back : backs) {
            all += names[back];
        }
        all.sort();
        return all;
    }

    QTemporaryDir frames;
    const QTimeZone berlin{"Europe/Berlin"};
    const QDate today = QDateTime::currentDateTime().toTimeZone(berlin).date();
    QMap<int, QStringList> names;  // of each day back
    TestSettings settings;
    QByteArray folder;  // the settings that name the folder
    QString hooksRun;
    QFile notes;
    bool made = false;

private:
    bool AddFrames() {
        int number = 10001;
        for (int back = 4; back >= 0; --back) {
            for (int hour = 1; hour < 24; hour += 3) {
                names[back] << QString("pic_%1.jpg").arg(number);
                if (!AddFrame(frames.path(), number++, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                              QDateTime(today.addDays(-back), QTime(hour, 10), berlin))) {
                    return false;
                }
            }
        }
        names[2] << QString("pic_%1.jpg").arg(number);
        return AddFrame(frames.path(), number, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                        QDateTime(today.addDays(-2), QTime(23, 40), berlin));
    }
    bool Spoil() {
        QFile spoiled(frames.filePath(names[3].first()));  // pic_10009.jpg
        return spoiled.open(QIODevice::ReadWrite) && spoiled.resize(0) &&
               spoiled.setFileTime(QDateTime(today.addDays(-3), QTime(1, 10), berlin),
                                   QFileDevice::FileModificationTime);
    }
};

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

    // Starts vorn with `arguments`; with the folder `fullDisk` on a full disk when it is given.
    void StartVorn(QProcess& vorn, const TestSettings& settings, const QStringList& arguments,
                   const QString& timeZone, const QString& fullDisk = {}) {
        QProcessEnvironment env = settings.BareEnvironment(qEnvironmentVariable("PATH"));
        if (!timeZone.isEmpty()) {
            env.insert("TZ", timeZone);
        }
        vorn.setProcessEnvironment(env);
        vorn.setWorkingDirectory(m_dir.path());
        const QStringList command = QStringList{VORN_EXECUTABLE} + arguments;
        const QStringList started = fullDisk.isEmpty() ? command : OnFullDisk(fullDisk, command);
        vorn.start(started.first(), started.mid(1));
    }

    // Runs vorn with `arguments` for at most `limitMs`.
    Ended RunVorn(const TestSettings& settings, const QStringList& arguments, int limitMs,
                  const QString& timeZone = {}, const QString& fullDisk = {}) {
        QProcess vorn;
        StartVorn(vorn, settings, arguments, timeZone, fullDisk);
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
    Ended RunDaily(const FiveDaysOfFrames& five, const QStringList& arguments) {
        return RunVorn(five.settings, QStringList{"--daily-videos"} + arguments, 120000,
                       "Europe/Berlin");
    }

    // The rest of dailyVideosCatchUpOnceAndDeleteOnlyWhatAVideoHolds, once D-3 has failed.
    void CheckTheMendedDayAndAShortVideo(FiveDaysOfFrames& five) {
        // The spoiled day mended: made, then its frames deleted; a second run makes nothing.
        QVERIFY(AddFrame(five.frames.path(), 10009, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                         QDateTime(five.today.addDays(-3), QTime(1, 10), five.berlin)));
        const Ended mended = RunDaily(five, {});
        QVERIFY2(mended.exitCode == 0, mended.err.constData());
        QVERIFY2(mended.out.startsWith(five.Day(3).toUtf8() + ": 8 frames, 0 left out, 0.3 s\n"),
                 mended.out.constData());
        QCOMPARE(five.FramesLeft(), five.NamesOf({2, 1, 0}));
        const Ended again = RunDaily(five, {});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out, QByteArray());
        const std::optional<Attempt> nothing =
            ReadAttempt(five.frames.path().toStdString(), AttemptKind::DailyRun);
        QVERIFY(nothing);
        QCOMPARE(nothing->message, std::string("nothing to make"));

        // A video with fewer frames than its day keeps the day's frames; a removed one is made
        // again.
        five.settings.WriteValues(five.folder + "KEEP_FRAMES_DAYS=1\n");
        QVERIFY(QFile::remove(five.Video(2)) && QFile::copy(five.Video(1), five.Video(2)));
        QVERIFY(QFile::remove(five.Video(1)));
        const Ended kept = RunDaily(five, {});
        QVERIFY2(kept.exitCode == 0, kept.err.constData());
        QVERIFY2(kept.out.startsWith(five.Day(1).toUtf8() + ": 8 frames, "), kept.out.constData());
        QVERIFY2(kept.err.contains(five.Day(2).toUtf8() +
                                   ": 9 frames kept: 9 whose video is not as its record says"),
                 kept.err.constData());
        QCOMPARE(five.FramesLeft(), five.NamesOf({2, 1, 0}));
        QCOMPARE(FramesInVideo(five.Video(1)), 8);
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
        QTest::newRow("daily videos with another mode")
            << QStringList{"--daily-videos", "--schedule"} << 2 << QByteArray()
            << QByteArray("--daily-videos and --schedule cannot be used together.") << QString()
            << QByteArray();
        QTest::newRow("daily videos with an option of another mode")
            << QStringList{"--daily-videos", "--fps", "30"} << 2 << QByteArray()
            << QByteArray(
                   "vorn: --fps is not an option of --daily-videos: it is one of "
                   "--make-video.\n")
            << QString() << QByteArray();
        AddRowsOfOptionsProfilesAndDailySettings();
    }

    // A camera's profile with hooks: a failing ON_FRAME is told and changes nothing of the frame's
    // launch; ON_VIDEO finds the video complete, with the profile's name.
    void hooksOfAProfileRunOnCompleteFilesAndNeverChangeTheExitCode() {
        TestSettings settings;
        QTemporaryDir frames;
        QFile profile(QFileInfo(settings.FilePath()).path() + "/Vorn-sky.conf");
        QVERIFY(QDir().mkpath(QFileInfo(profile).path()) && profile.open(QIODevice::WriteOnly));
        profile.write("[General]\nAUTO_START_DIR=" + QFile::encodeName(frames.path()) +
                      "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                      "RESOLUTION_REF=1\nCAM_SOURCE=" +
                      QFile::encodeName(m_clip) +
                      "\nON_FRAME=sh -c 'echo no network >&2; exit 4'\n"
                      "ON_VIDEO=sh -c 'test -s \"$VORN_FILE\" && "
                      "echo $VORN_EVENT $VORN_PROFILE $VORN_FILE > \"$VORN_DIR/hook.txt\"'\n");
        profile.close();

        const Ended taken = RunVorn(settings, {"--profile", "sky", "--take-frame"}, 120000);
        QCOMPARE(taken.exitCode, 0);
        QVERIFY2(taken.err.count("vorn: the ON_FRAME hook 'sh -c 'echo no network >&2; exit 4'' "
                                 "exited with status 4: no network\n") == 1,
                 taken.err.constData());
        QVERIFY(QFile::exists(frames.filePath("pic_10001.jpg")));
        QVERIFY(!settings.Exists());

        const Ended made =
            RunVorn(settings, {"--profile", "sky", "--make-video", "--end", "1"}, 120000);
        QVERIFY2(made.exitCode == 0 && made.err.isEmpty(), made.err.constData());
        QFile told(frames.filePath("hook.txt"));
        QVERIFY(told.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(told.readAll()),
                 "video sky " + frames.filePath("output.avi") + "\n");
    }

    // Every mode as a second camera runs it: with --profile (and no Vorn.conf), with --dir, with
    // an option of another mode, and with its folder missing.
    void everyModeTakesTheProfileAndOnlyItsOwnOptions_data() {
        QTest::addColumn<QStringList>("arguments");  // after --profile sky; %1: the frame folder
        QTest::addColumn<bool>("folderThere");       // AUTO_START_DIR of the profile is there
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");  // in standard output for 0, else standard error
        QTest::addColumn<QString>("made");     // a file made in the frame folder; empty: none
        // A mode's rows: `foreign` is an option of the modes `owners`; `missingCode` is 0 for a
        // mode that reads no folder.
        const auto mode = [](const QStringList& arguments, int exitCode, const QByteArray& said,
                             const QString& made, bool takesDir, const QStringList& foreign,
                             const QByteArray& owners, int missingCode,
                             const QByteArray& missingSaid) {
            const QByteArray name = arguments.isEmpty() ? "window" : arguments.join(' ').toUtf8();
            // The window has no mode of its own to name.
            const auto refused = [&](const QString& option, const QByteArray& modes) {
                return "vorn: " + option.toUtf8() +
                       (arguments.isEmpty() ? " is an option of "
                                            : " is not an option of " + arguments.first().toUtf8() +
                                                  ": it is one of ") +
                       modes + ".\n";
            };
            QTest::addRow("%s", name.constData()) << arguments << true << exitCode << said << made;
            QTest::addRow("%s --dir", name.constData())
                << arguments + QStringList{"--dir", "%1"} << true << (takesDir ? exitCode : 2)
                << (takesDir ? said
                             : refused("--dir",
                                       "--make-video, --daily-videos, --serve, "
                                       "--keogram, --startrails and --contact-sheet"))
                << (takesDir ? made : QString());
            QTest::addRow("%s %s", name.constData(), qPrintable(foreign.first()))
                << arguments + foreign << true << 2 << refused(foreign.first(), owners)
                << QString();
            if (missingCode != 0) {
                QTest::addRow("%s of a missing folder", name.constData())
                    << arguments << false << missingCode << missingSaid << QString();
            }
        };
        const QByteArray choosers = "--make-video, --keogram, --startrails and --contact-sheet";
        const QByteArray missing = "vorn: Error. Can't read the folder %1none/ (No such file";
        mode({}, 1, "no display", {}, false, {"--fps", "5"}, "--make-video", 0, {});
        mode({"--take-frame"}, 0, {}, "pic_10003.jpg", false, {"--days", "2"}, "--schedule", 6,
             "vorn: Could not save the frame %1none/pic_10003.jpg");
        mode({"--schedule", "--days", "1"}, 0, " 00:00-24:00\n", {}, false, {"--list"},
             "--make-video and --daily-videos", 0, {});
        mode({"--make-video", "--end", "2"}, 0, {}, "output.avi", true, {"--listen", "127.0.0.1:0"},
             "--serve", 10, missing);
        mode({"--make-video", "--list"}, 0, "2 of 2 frames chosen", {}, true, {"--columns", "2"},
             "--contact-sheet", 10, missing);
        mode({"--daily-videos", "--list"}, 0, ": would make a video of 2 frames", {}, true,
             {"--every", "10"}, choosers, 10, missing);
        mode({"--keogram", "k.jpg"}, 0, "Keogram (k.jpg in ", "k.jpg", true, {"--columns", "2"},
             "--contact-sheet", 10, missing);
        mode({"--startrails", "t.jpg"}, 0, "(t.jpg in ", "t.jpg", true, {"--fps", "5"},
             "--make-video", 10, missing);
        mode({"--contact-sheet", "s.jpg"}, 0, "Contact sheet (s.jpg in ", "s.jpg", true,
             {"--days", "2"}, "--schedule", 10, missing);
        // Any address but this machine's own needs the token of the profile's own file.
        mode({"--serve", "--listen", "192.0.2.1:0"}, 21, "settings file %2/Vorn-sky.conf", {}, true,
             {"--end", "5"}, choosers, 0, {});
    }

    void everyModeTakesTheProfileAndOnlyItsOwnOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, folderThere);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        QFETCH(QString, made);
        TestSettings settings;
        QTemporaryDir frames;
        QVERIFY(AddTwoFramesOfTwoDaysAgo(frames.path()));
        const QString folder = folderThere ? frames.path() : frames.filePath("none");
        QFile profile(QFileInfo(settings.FilePath()).path() + "/Vorn-sky.conf");
        QVERIFY(QDir().mkpath(QFileInfo(profile).path()) && profile.open(QIODevice::WriteOnly));
        profile.write("[General]\nAUTO_START_DIR=" + QFile::encodeName(folder) +
                      "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=2\nCAM_REF=0\n"
                      "RESOLUTION_REF=1\nCAM_SOURCE=" +
                      QFile::encodeName(m_clip) + "\n");
        profile.close();
        arguments.replaceInStrings("%1", frames.path());
        const Ended ended = RunVorn(settings, QStringList{"--profile", "sky"} + arguments, 120000);
        QVERIFY2(ended.exitCode == exitCode, ended.err.constData());
        said.replace("%1", frames.path().toUtf8() + "/")
            .replace("%2", QFileInfo(settings.FilePath()).path().toUtf8());
        QVERIFY2((exitCode == 0 ? ended.out : ended.err).contains(said),
                 (ended.out + ended.err).constData());
        QVERIFY(made.isEmpty() || QFileInfo(frames.filePath(made)).size() > 0);
        QVERIFY(!settings.Exists());
    }

    // A profile that gives the frame folder alone is enough for every mode that reads only the
    // folder; without it, the mode names that key and no other.
    void aProfileOfTheFolderAloneServesEachMode_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("withFolder");  // the profile holds AUTO_START_DIR
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");  // in standard output for 0, else standard error
        for (const bool withFolder : {true, false}) {
            const auto row = [&](const QStringList& arguments, const QByteArray& said) {
                QTest::addRow("%s%s", qPrintable(arguments.join(' ')),
                              withFolder ? "" : " without a folder")
                    << arguments << withFolder << (withFolder ? 0 : 3)
                    << (withFolder ? said : "lacks a readable AUTO_START_DIR");
            };
            row({"--daily-videos", "--list"}, ": would make a video of 2 frames");
            row({"--make-video", "--list"}, "2 of 2 frames chosen");
            row({"--keogram", "k.jpg"}, "Keogram (k.jpg in ");
        }
    }

    void aProfileOfTheFolderAloneServesEachMode() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, withFolder);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        TestSettings settings;
        QTemporaryDir frames;
        QVERIFY(AddTwoFramesOfTwoDaysAgo(frames.path()));
        QFile profile(QFileInfo(settings.FilePath()).path() + "/Vorn-sky.conf");
        QVERIFY(QDir().mkpath(QFileInfo(profile).path()) && profile.open(QIODevice::WriteOnly));
        profile.write("[General]\n" +
                      (withFolder ? "AUTO_START_DIR=" + QFile::encodeName(frames.path()) + "\n"
                                  : QByteArray("DAY_STARTS_AT=00:00\n")));
        profile.close();
        const Ended ended = RunVorn(settings, QStringList{"--profile", "sky"} + arguments, 120000);
        QVERIFY2(ended.exitCode == exitCode, ended.err.constData());
        QVERIFY2((exitCode == 0 ? ended.out : ended.err).contains(said),
                 (ended.out + ended.err).constData());
        QVERIFY2(!ended.err.contains("CAM_REF"), ended.err.constData());
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
                QVERIFY(AddFrame(frames.path(), number++, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                                 QDateTime(day, QTime(hour, 10), berlin)));
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

    // Days before today in Berlin, each with a frame at 01:10, 04:10, ... 22:10 (D-2 one more, at
    // 23:40), and today; D-3's first frame spoiled, and a file of the user's among them.
    void dailyVideosCatchUpOnceAndDeleteOnlyWhatAVideoHolds() {
        FiveDaysOfFrames five(m_dir);
        QVERIFY(five.made);

        const Ended listed = RunDaily(five, {"--list"});
        QCOMPARE(listed.exitCode, 0);
        const QString andPictures = " frames, its keogram and contact sheet";
        QCOMPARE(listed.out, (QStringList{five.Day(4) + ": would make a video of 8" + andPictures,
                                          five.Day(3) + ": would make a video of 8" + andPictures,
                                          five.Day(2) + ": would make a video of 9" + andPictures,
                                          five.Day(1) + ": would make a video of 8" + andPictures,
                                          five.Day(4) + ": would delete 8 frames, 0.0 MB, once its "
                                                        "video holds them all",
                                          five.Day(3) + ": would delete 8 frames, 0.0 MB, once its "
                                                        "video holds them all",
                                          ""})
                                 .join('\n')
                                 .toUtf8());
        QVERIFY(!QFileInfo::exists(five.frames.filePath("days")));
        QVERIFY(!QFileInfo::exists(five.hooksRun));
        const std::string frameDir = five.frames.path().toStdString();
        QVERIFY(!ReadAttempt(frameDir, AttemptKind::DailyRun));  // a listing makes nothing

        // D-3 fails, the others are made; only D-4 is old enough and whole in its video.
        const Ended first = RunDaily(five, {});
        QCOMPARE(first.exitCode, 10);
        QFile hooks(five.hooksRun);
        QVERIFY(hooks.open(QIODevice::ReadOnly));
        QStringList expectedHooks;
        for (const int back : {4, 2, 1}) {
            expectedHooks << "video " + five.Video(back) << "day " + five.Video(back);
        }
        QCOMPARE(QString::fromUtf8(hooks.readAll()).split('\n', Qt::SkipEmptyParts), expectedHooks);
        QVERIFY2(OnlyOwnLines(first.err) && first.err.contains(five.Day(3).toUtf8() + ": "),
                 first.err.constData());
        // The first failure is the run's record, whatever the days after it came to.
        const std::optional<Attempt> failed = ReadAttempt(frameDir, AttemptKind::DailyRun);
        QVERIFY(failed);
        QCOMPARE(failed->exitCode, 10);
        // Not the notice before it, nor the day's kept frames told after it.
        const QByteArray message = QByteArray::fromStdString(failed->message);
        QVERIFY2(first.err.contains("\nvorn: " + message + "\n") &&
                     message.startsWith(five.Day(3).toUtf8() + ": Error. "),
                 message.constData());
        for (const int back : {4, 2, 1}) {
            QVERIFY2(first.out.contains(five.Day(back).toUtf8() + ": "), first.out.constData());
        }
        QVERIFY2(first.out.contains(five.Day(4).toUtf8() + ": deleted 8 frames, "),
                 first.out.constData());
        QCOMPARE(FramesInVideo(five.Video(4)), 8);
        QCOMPARE(FramesInVideo(five.Video(2)), 9);
        QCOMPARE(FramesInVideo(five.Video(1)), 8);
        QVERIFY(!QFileInfo::exists(five.Video(3)));
        QVERIFY(!QFileInfo::exists(five.Video(0)));
        // Each video made has its day's pictures beside it; a day without a video has none.
        const auto picture = [&](int back, const QString& ending) {
            return cv::imread(
                five.frames.filePath("days/" + five.Day(back) + ending).toStdString());
        };
        for (const int back : {4, 2, 1}) {
            QCOMPARE(picture(back, "-keogram.jpg").rows, 48 + 28);
            QVERIFY(!picture(back, "-sheet.jpg").empty());
            QVERIFY2(first.out.contains(five.Day(back).toUtf8() + ": keogram of "),
                     first.out.constData());
        }
        QVERIFY(QDir(five.frames.filePath("days")).entryList({five.Day(3) + "*"}).isEmpty());
        QCOMPARE(five.FramesLeft(), five.NamesOf({3, 2, 1, 0}));
        QVERIFY(QFileInfo::exists(five.notes.fileName()));

        CheckTheMendedDayAndAShortVideo(five);
    }

    // A frame goes only on a record's proof that a video made by the daily run holds that very
    // file. The first run makes the video of three days ago and its record, deleting nothing;
    // between the runs, each row does what once lost frames; the second run keeps 1 day.
    void retentionDeletesOnlyWhatARecordProves_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QList<int>>("kept");  // of the frames 10001 to 10008, and those added
        QTest::addColumn<QString>("told");     // on standard error; empty: no frame kept
        QTest::newRow("a normal day") << "normal" << QList<int>{} << QString();
        QTest::newRow("the day starts at noon from then on")
            << "noon" << QList<int>{10009, 10010, 10011, 10012}
            << "4 frames kept: 4 in no video's record";
        QTest::newRow("a video put there by hand")
            << "by hand" << QList<int>{10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008}
            << "8 frames kept: 8 in no video's record";
        QTest::newRow("the video a link to a copy of itself")
            << "link" << QList<int>{10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008}
            << "8 frames kept: 8 whose video is not as its record says";
        QTest::newRow("its record cut short")
            << "cut" << QList<int>{10001, 10002, 10003, 10004, 10005, 10006, 10007, 10008}
            << "8 frames kept: 8 in no video's record";
        QTest::newRow("a frame replaced since")
            << "replaced" << QList<int>{10003}
            << "1 frame kept: 1 changed since their video was made";
    }

    void retentionDeletesOnlyWhatARecordProves() {
        QFETCH(QString, how);
        QFETCH(QList<int>, kept);
        QFETCH(QString, told);
        QTemporaryDir frames;
        const QTimeZone berlin("Europe/Berlin");
        const QDate day = QDateTime::currentDateTime().toTimeZone(berlin).date().addDays(-3);
        const QString days = frames.filePath("days/");
        const QString video = days + day.toString(Qt::ISODate) + ".mp4";
        const auto add = [&](int number, const QDateTime& when, int grey) {
            return AddFrame(frames.path(), number, cv::Mat(48, 64, CV_8UC3, cv::Scalar(grey)),
                            when);
        };
        for (int i = 0; i < 8; ++i) {
            QVERIFY(add(10001 + i, QDateTime(day, QTime(1 + 3 * i, 10), berlin), 90));
        }
        if (how == "by hand") {
            // Another video of as many frames, with its pictures, before any run made one.
            QVERIFY(QDir().mkpath(days));
            QVERIFY(QFile::copy(m_clip, video));
            for (const QString ending : {"-keogram.jpg", "-sheet.jpg"}) {
                QVERIFY(QFile::copy(frames.filePath("pic_10001.jpg"),
                                    days + day.toString(Qt::ISODate) + ending));
            }
        }
        TestSettings settings;
        const QByteArray folder = "AUTO_START_DIR=" + frames.path().toUtf8() +
                                  "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                                  "RESOLUTION_REF=1\n";
        settings.WriteValues(folder);
        const Ended made = RunVorn(settings, {"--daily-videos"}, 120000, "Europe/Berlin");
        QVERIFY2(made.exitCode == 0, made.err.constData());
        QCOMPARE(QFileInfo::exists(days + day.toString(Qt::ISODate) + ".record"), how != "by hand");

        QByteArray dayStartsAt;
        if (how == "noon") {
            // The next morning's frames now fall on the day whose video was made before.
            for (int i = 0; i < 4; ++i) {
                QVERIFY(
                    add(10009 + i, QDateTime(day.addDays(1), QTime(1 + 3 * i, 10), berlin), 90));
            }
            dayStartsAt = "DAY_STARTS_AT=12:00\n";
        } else if (how == "link") {
            const QString elsewhere = frames.filePath("elsewhere.mp4");
            QVERIFY(QFile::rename(video, elsewhere) && QFile::link(elsewhere, video));
        } else if (how == "cut") {
            QFile record(days + day.toString(Qt::ISODate) + ".record");
            QVERIFY(record.resize(record.size() - 10));
        } else if (how == "replaced") {
            QVERIFY(add(10003, QDateTime(day, QTime(7, 10), berlin), 200));
        }
        settings.WriteValues(folder + "KEEP_FRAMES_DAYS=1\n" + dayStartsAt);
        const Ended cleared = RunVorn(settings, {"--daily-videos"}, 120000, "Europe/Berlin");
        QVERIFY2(cleared.exitCode == 0, cleared.err.constData());
        QVERIFY2(told.isEmpty() ? !cleared.err.contains("kept")
                                : cleared.err.contains(told.toUtf8() + "\n"),
                 cleared.err.constData());
        const int last = how == "noon" ? 10012 : 10008;
        for (int number = 10001; number <= last; ++number) {
            const QString name = QString("pic_%1.jpg").arg(number);
            QVERIFY2(QFileInfo::exists(frames.filePath(name)) == kept.contains(number),
                     qPrintable(name));
        }
    }

    // A day of Berlin's change to summer time lasts 23 hours: a frame at half past each of them.
    void dailyVideoOfADayAcrossTheClockChange_data() {
        QTest::addColumn<QByteArray>("dayStartsAt");
        QTest::addColumn<DayFrames>("framesOfDays");
        QTest::newRow("midnight") << QByteArray("00:00")
                                  << DayFrames{
                                         {"2026-03-28", 1}, {"2026-03-29", 23}, {"2026-03-30", 1}};
        QTest::newRow("noon") << QByteArray("12:00")
                              << DayFrames{{"2026-03-28", 12}, {"2026-03-29", 13}};
    }

    void dailyVideoOfADayAcrossTheClockChange() {
        QFETCH(QByteArray, dayStartsAt);
        QFETCH(DayFrames, framesOfDays);
        QTemporaryDir frames;
        const QTimeZone berlin("Europe/Berlin");
        int number = 10001;
        const auto add = [&](const QDateTime& when) {
            return AddFrame(frames.path(), number++, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                            when);
        };
        QVERIFY(add(QDateTime(QDate(2026, 3, 28), QTime(23, 30), berlin)));
        for (int hour = 0; hour < 24; ++hour) {
            if (hour != 2) {  // the hour the clocks skip
                QVERIFY(add(QDateTime(QDate(2026, 3, 29), QTime(hour, 30), berlin)));
            }
        }
        QVERIFY(add(QDateTime(QDate(2026, 3, 30), QTime(0, 30), berlin)));
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=" + frames.path().toUtf8() +
                             "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                             "RESOLUTION_REF=1\nDAY_STARTS_AT=" +
                             dayStartsAt + "\n");
        const Ended ended = RunVorn(settings, {"--daily-videos"}, 120000, "Europe/Berlin");
        QVERIFY2(ended.exitCode == 0, ended.err.constData());
        DayFrames made;
        for (const QString& name : QDir(frames.filePath("days")).entryList({"*.mp4"})) {
            made[name.chopped(4)] = FramesInVideo(frames.filePath("days/" + name));
        }
        QCOMPARE(made, framesOfDays);
    }

    // A run stopped while it encodes: no day's video is there in part, and the next run makes it.
    void dailyRunStoppedHalfWayCountsNoDay_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");  // -1: killed
        QTest::newRow("killed") << int(SIGKILL) << -1;
        QTest::newRow("terminated") << int(SIGTERM) << 14;
    }

    void dailyRunStoppedHalfWayCountsNoDay() {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        constexpr int kFrames = 150;
        QTemporaryDir frames;
        const QTimeZone berlin("Europe/Berlin");
        const QDate yesterday = QDateTime::currentDateTime().toTimeZone(berlin).date().addDays(-1);
        cv::Mat noise(480, 640, CV_8UC3);
        for (int i = 0; i < kFrames; ++i) {
            cv::randu(noise, 0, 256);  // slow to encode, so that the run is caught at it
            QVERIFY(AddFrame(frames.path(), 10001 + i, noise,
                             QDateTime(yesterday, QTime(8, 0), berlin).addSecs(qint64{i} * 60)));
        }
        const QString dayVideo =
            frames.filePath("days/" + yesterday.toString(Qt::ISODate) + ".mp4");
        TestSettings settings;
        QProcess vorn;
        StartVorn(vorn, settings, {"--daily-videos", "--dir", frames.path()}, "Europe/Berlin");
        QVERIFY(vorn.waitForStarted());
        // Its temporary file there: the video is being written.
        const auto writing = [&] {
            return !QDir(frames.filePath("days"))
                        .entryList(QDir::Hidden | QDir::Files)
                        .filter(".vorn-tmp-")
                        .isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(writing(), 60000);
        QVERIFY(::kill(static_cast<pid_t>(vorn.processId()), signal) == 0);
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.exitStatus() == QProcess::NormalExit ? vorn.exitCode() : -1, exitCode);
        QVERIFY(!QFileInfo::exists(dayVideo));
        QCOMPARE(writing(), signal == SIGKILL);  // a caught signal leaves no temporary file

        const Ended next =
            RunVorn(settings, {"--daily-videos", "--dir", frames.path()}, 240000, "Europe/Berlin");
        QVERIFY2(next.exitCode == 0, next.err.constData());
        QCOMPARE(FramesInVideo(dayVideo), kFrames);
    }

    // SIGTERM or Ctrl+C while a command-line mode waits for its hook: the hook's group is ended
    // and the launch ends with 14 at once, never after the hook's 600 s; the video made is kept.
    void interruptEndsTheHookRunning_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("video");  // in the frame folder; DAY: yesterday
        QTest::newRow("--make-video, ON_VIDEO, SIGTERM")
            << QStringList{"--make-video", "--end", "1"} << QByteArray("ON_VIDEO") << int(SIGTERM)
            << "output.avi";
        QTest::newRow("--daily-videos, ON_VIDEO, SIGINT")
            << QStringList{"--daily-videos"} << QByteArray("ON_VIDEO") << int(SIGINT)
            << "days/DAY.mp4";
        QTest::newRow("--daily-videos, ON_DAY, SIGTERM")
            << QStringList{"--daily-videos"} << QByteArray("ON_DAY") << int(SIGTERM)
            << "days/DAY.mp4";
    }

    void interruptEndsTheHookRunning() {
        QFETCH(QStringList, mode);
        QFETCH(QByteArray, key);
        QFETCH(int, signal);
        QFETCH(QString, video);
        QTemporaryDir frames;
        const QDate yesterday = QDate::currentDate().addDays(-1);
        QVERIFY(AddFrame(frames.path(), 10001, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                         QDateTime(yesterday, QTime(12, 0))));
        const QByteArray hook = "sh -c 'echo $$ > \"$VORN_DIR/hook.pid\"; sleep 600 & wait'";
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=" + frames.path().toUtf8() +
                             "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=1\nCAM_REF=0\n"
                             "RESOLUTION_REF=1\n" +
                             key + "=" + hook + "\n");
        QProcess vorn;
        StartVorn(vorn, settings, mode, {});
        QFile pidFile(frames.filePath("hook.pid"));
        const auto hookGroup = [&] {
            pidFile.close();
            return pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toInt() : 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(hookGroup() > 0, 120000);
        QVERIFY(::kill(static_cast<pid_t>(vorn.processId()), signal) == 0);
        // A bound far below the hook's 600 s, not a measure of speed.
        QVERIFY(vorn.waitForFinished(10000));
        QCOMPARE(vorn.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vorn.exitCode(), 14);
        const QByteArray err = vorn.readAllStandardError();
        QVERIFY2(err.contains("vorn: the " + key + " hook '" + hook +
                              "' did not run to its end: vorn was interrupted"),
                 err.constData());
        QTRY_COMPARE_WITH_TIMEOUT(LiveMembers(hookGroup()), 0, 10000);
        QVERIFY(QFileInfo::exists(
            frames.filePath(video.replace("DAY", yesterday.toString(Qt::ISODate)))));
    }

    // A full disk is told by what could not be written and why; no frame is taken uncounted.
    void fullDiskIsToldWithWhatAndWhy_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");  // %1: the frame folder, %2: the settings file, %3: a day
        QTest::newRow("--take-frame, the settings file's disk")
            << "--take-frame" << 8
            << "vorn: Cannot store the frame count in %2 (cannot make its lock %2.lock: No space "
               "left on device), so no frame was taken.\n";
        QTest::newRow("--daily-videos, the disk of days/")
            << "--daily-videos" << 12
            << "vorn: %3: Error. Can't create %1/days/%3.mp4 (cannot write the file: No space "
               "left on device)!\n";
    }

    void fullDiskIsToldWithWhatAndWhy() {
        QFETCH(QString, mode);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        if (!FullDiskTrouble().isEmpty()) {
            QSKIP(qPrintable(FullDiskTrouble()));
        }
        TestSettings settings;
        QTemporaryDir frames;
        WriteSettings(settings, frames.path(), 0, m_clip);
        const QTimeZone berlin("Europe/Berlin");
        const QDate yesterday = QDateTime::currentDateTime().toTimeZone(berlin).date().addDays(-1);
        // As Vorn saves it, with its capture time.
        const FrameStamp stamp{
            LocalCaptureTime(QDateTime(yesterday, QTime(12, 0), berlin).toMSecsSinceEpoch()),
            "Vorn", "Test"};
        int number = 10001;
        QCOMPARE(SaveFrameAtFirstFree(frames.path().toStdString() + "/",
                                      cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)), stamp, number,
                                      [](int) { return false; }),
                 FrameSave::Saved);
        QVERIFY(QDir(frames.path()).mkdir("days"));
        const QString full = mode == "--daily-videos" ? frames.filePath("days")
                                                      : QFileInfo(settings.FilePath()).path();
        const Ended ended = RunVorn(settings, {mode}, 120000, "Europe/Berlin", full);
        QCOMPARE(ended.exitCode, exitCode);
        err.replace("%1", frames.path())
            .replace("%2", settings.FilePath())
            .replace("%3", yesterday.toString(Qt::ISODate));
        QCOMPARE(QString::fromUtf8(ended.err), err);
        QCOMPARE(QDir(frames.path()).entryList({"pic_*.jpg"}), QStringList{"pic_10001.jpg"});
        // The frame folder keeps the outcome as it was told.
        const std::optional<Attempt> record =
            ReadAttempt(frames.path().toStdString(),
                        mode == "--daily-videos" ? AttemptKind::DailyRun : AttemptKind::Capture);
        QVERIFY(record);
        QCOMPARE(record->exitCode, exitCode);
        QCOMPARE("vorn: " + QString::fromStdString(record->message) + "\n", err);
    }

    // A second run on a folder stops at once while the first holds it.
    void dailyRunsOneAtATimePerFolder() {
        QTemporaryDir frames;
        QVERIFY(AddFrame(frames.path(), 10001, cv::Mat(48, 64, CV_8UC3, cv::Scalar(90)),
                         QDateTime(QDate::currentDate().addDays(-1), QTime(12, 0))));
        QVERIFY(QDir(frames.path()).mkdir("days"));
        const int held = ::open(QFile::encodeName(frames.filePath("days/.vorn-daily.lock")),
                                O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
        TestSettings settings;
        const QStringList arguments{"--daily-videos", "--dir", frames.path()};
        const Ended busy = RunVorn(settings, arguments, 60000);
        ::close(held);
        QCOMPARE(busy.exitCode, 19);
        QVERIFY2(busy.err.startsWith("vorn: another --daily-videos run is at work on ") &&
                     busy.err.count('\n') == 1,
                 busy.err.constData());
        QCOMPARE(QDir(frames.filePath("days")).entryList({"*.mp4"}), QStringList());
        // The run at work records its own outcome; the one refused records none.
        const std::string frameDir = frames.path().toStdString();
        QVERIFY(!ReadAttempt(frameDir, AttemptKind::DailyRun));
        QCOMPARE(RunVorn(settings, arguments, 60000).exitCode, 0);
        QCOMPARE(QDir(frames.filePath("days")).entryList({"*.mp4"}).size(), 1);
        const std::optional<Attempt> made = ReadAttempt(frameDir, AttemptKind::DailyRun);
        QVERIFY(made);
        QCOMPARE(made->exitCode, 0);
        QCOMPARE(made->message, std::string("made 1 day"));
    }

    void exitCodesOfTheHelpManPageAndReadmeAgree() {
        TestSettings settings;
        const Ended help = RunVorn(settings, {"--help"}, 60000);
        QCOMPARE(help.exitCode, 0);
        const auto helpCodes = CodesUnderHeadings(QString::fromUtf8(help.out), "Exit codes of", {},
                                                  "^Exit codes of ", R"(^  (\d+) )");
        // The window, --take-frame, --make-video, --schedule, --daily-videos, the pictures,
        // --serve.
        QCOMPARE(helpCodes.size(), 7);
        QCOMPARE(CodesUnderHeadings(SourceFile("docs/vorn.1"), ".SH EXIT STATUS", "\n.SH ",
                                    R"(^\.SS )", R"(^\.B (\d+)$)"),
                 helpCodes);
        QCOMPARE(CodesUnderHeadings(SourceFile("docs/EXIT-CODES.md"), "\n## Exit codes", {},
                                    "^### ", R"(^\| (\d+) \|)"),
                 helpCodes);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
