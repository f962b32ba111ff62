
#include <algorithm>
#include <cmath>
#include <csignal>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include "frames/CaptureTime.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/FrameFolder.h"
#include "support/FullDisk.h"
#include "support/TestSettings.h"
#include "support/VideoChecks.h"
#include "video/VideoProbe.h"

namespace {

// makeVideoCommandEndsWithItsExitCode's rows of the output: its name, path, size and disk.
void AddOutputRows() {
    const QSize size(160, 120);
    const QStringList dir{"--dir", "%1"};
    QTest::newRow("width of one pixel") << dir + QStringList{"--end", "3", "--width", "1"}
                                        << QByteArray() << size << false << 2 << "--width" << -1;
    for (const char* name :
         {"sub/.clip.mp4", "sub/", ".clip.mp4", "clip.mkv", ".mp4", "two\nlines.mp4"}) {
        QTest::newRow(name) << dir + QStringList{"--end", "3", "--output", name} << QByteArray()
                            << size << false << 2 << "--output" << -1;
    }
    QTest::newRow("path into a folder that does not exist")
        << dir + QStringList{"--end", "3", "--output", "%1none/clip.mp4"} << QByteArray() << size
        << false << 12 << "none/clip.mp4 (No such file or directory)!" << -1;
    // %1full/ is a folder on a full disk: what could not be written is named, and why.
    QTest::newRow("MP4 on a full disk")
        << dir + QStringList{"--end", "3", "--output", "%1full/clip.mp4"} << QByteArray() << size
        << false << 12
        << "Can't create %1full/clip.mp4 (cannot write the file: No space left on device)!" << -1;
    QTest::newRow("AVI on a full disk")
        << dir + QStringList{"--end", "3", "--output", "%1full/clip.avi"} << QByteArray() << size
        << false << 12
        << "Can't write %1full/clip.avi (cannot write the file: No space left on device)!" << -1;
    QTest::newRow("longest file name")
        << dir + QStringList{"--end", "3", "--output", QString(251, 'v') + ".avi"} << QByteArray()
        << size << false << 0 << QString() << -1;
    for (int length : {256, 300}) {
        QTest::newRow(qPrintable(QString("name of %1 bytes").arg(length)))
            << dir + QStringList{"--end", "3", "--output", QString(length - 4, 'v') + ".avi"}
            << QByteArray() << size << false << 2
            << QString("--output: the video's name is too long (%1 bytes").arg(length) << -1;
    }
    QTest::newRow("video cannot be put in place")
        << dir + QStringList{"--end", "3"} << QByteArray() << size << true << 12
        << "Can't write output.avi" << -1;
    QTest::newRow("frames larger than players play")
        << dir + QStringList{"--end", "3"} << QByteArray() << QSize(8200, 16) << false << 13
        << "8192 on a side" << -1;
    QTest::newRow("H.264 refusal names the compressor")
        << dir + QStringList{"--end", "3", "--compressor", "H264"} << QByteArray()
        << QSize(4100, 16) << false << 13
        << "vorn: Error. The H264 compressor can't make this video" << -1;
    QTest::newRow("frames per second too small to store")
        << dir + QStringList{"--end", "3", "--fps", "1e-300"} << QByteArray() << size << false << 2
        << "--fps" << -1;
}

// makeVideoCommandEndsWithItsExitCode's rows of the settings it reads, and of a folder that is not
// there.
void AddSettingsRows() {
    const QSize size(160, 120);
    const QStringList dir{"--dir", "%1"};
    QTest::newRow("settings value too long to read")
        << QStringList{"--end", "3"} << "AUTO_START_DIR=/" + QByteArray(300, 'a') + "\n"
        << size << false << 3 << "AUTO_START_DIR" << -1;
    QTest::newRow("hook too long to read")
        << QStringList{"--end", "3"}
        << "AUTO_START_DIR=%1\nAUTO_START_FRAME_COUNT=3\nON_VIDEO=touch " + QByteArray(4096, 'a') +
               "\n"
        << size << false << 15 << "ON_VIDEO is too long to read (at most 4095 bytes)" << -1;
    QTest::newRow("even deflicker window")
        << dir + QStringList{"--end", "3", "--deflicker-window", "14"} << QByteArray() << size
        << false << 2 << "--deflicker-window takes an odd" << -1;
    QTest::newRow("deflicker window of one frame")
        << dir + QStringList{"--end", "3", "--deflicker", "--deflicker-window", "1"} << QByteArray()
        << size << false << 2 << "--deflicker-window" << -1;
    QTest::newRow("two modes at once")
        << dir + QStringList{"--end", "3", "--take-frame"} << QByteArray() << size << false << 2
        << "cannot be used together" << -1;
    // A value of the right form says what is wrong with it.
    QTest::newRow("a name without its stem")
        << dir + QStringList{"--end", "3", "--output", ".avi"} << QByteArray() << size << false << 2
        << "vorn: --output: the video's name is empty (nothing before .avi)\n"
        << -1;
    QTest::newRow("a start past the last frame number")
        << dir + QStringList{"--start", "2147483647"} << QByteArray() << size << false << 2
        << "vorn: --start 2147483647 is too large (at most 2147473646)\n"
        << -1;
    // The keys it reads are judged as every mode judges them.
    const QByteArray folder = "AUTO_START_DIR=%1\nAUTO_START_FRAME_COUNT=3\n";
    for (const char* timeout : {"abc", "0", "86401"}) {
        QTest::addRow("hook time limit %s", timeout)
            << QStringList() << folder + "ON_VIDEO_TIMEOUT=" + timeout + "\n"
            << size << false << 15
            << QString("Vorn.conf, ON_VIDEO_TIMEOUT=%1 is not valid: give").arg(timeout) << -1;
    }
    QTest::newRow("day start") << QStringList() << folder + "DAY_STARTS_AT=25:00\n"
                               << size << false << 15 << "DAY_STARTS_AT=25:00 is not valid" << -1;
    QTest::newRow("solar noon without a longitude")
        << QStringList{"--daily-at", "solar-noon"} << folder << size << false << 15
        << "Vorn.conf, LONGITUDE is missing: --daily-at solar-noon needs it; give decimal "
           "degrees"
        << -1;
    QTest::newRow("solar noon at a longitude that is none")
        << QStringList{"--daily-at", "solar-noon", "--list"} << folder + "LONGITUDE=east\n"
        << size << false << 15 << "LONGITUDE=east is not valid" << -1;
    // A missing folder is told as missing, whatever the frames are chosen by.
    for (const QStringList& choice : {QStringList{"--list"}, QStringList{"--day", "2026-06-01"}}) {
        QTest::addRow("missing folder %s", qPrintable(choice.first()))
            << QStringList{"--dir", "%1none"} + choice << QByteArray() << size << false << 10
            << "vorn: Error. Can't read the folder %1none/ (No such file or directory)!\n"
            << -1;
    }
}

}  // namespace

class MakeVideoCommandTest : public QObject {
    Q_OBJECT
private slots:
    // --output with a '/' is a path, absolute or from the current folder; the temporary file is
    // made beside the video, and nothing goes into the frame folder.
    void videoGoesWhereTheOutputPathSays_data() {
        QTest::addColumn<QString>("output");  // %1 stands for the working folder
        QTest::addColumn<QString>("video");   // relative to the working folder
        QTest::newRow("absolute") << "%1/clip.mp4"
                                  << "clip.mp4";
        QTest::newRow("relative, into a folder") << "videos/clip.avi"
                                                 << "videos/clip.avi";
        QTest::newRow("relative, here") << "./clip.avi"
                                        << "clip.avi";
    }

    void videoGoesWhereTheOutputPathSays() {
        QFETCH(QString, output);
        QFETCH(QString, video);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkdir("videos"));
        // A killed writer's leftover there is cleared as in the frame folder.
        const QDir videoFolder = QFileInfo(work.filePath(video)).dir();
        PlaceAged(videoFolder.filePath(".vorn-tmp-AbCdEf"), 48);
        QProcess vorn;
        vorn.setWorkingDirectory(work.path());
        vorn.start(VORN_EXECUTABLE, {"--make-video", "--dir", QString::fromStdString(frames.Dir()),
                                     "--end", "3", "--output", output.arg(work.path())});
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.readAllStandardError(), QByteArray());
        QCOMPARE(vorn.exitCode(), 0);
        QCOMPARE(FramesIn(work.filePath(video)), Range(10001, 10003));
        QCOMPARE(QDir(QString::fromStdString(frames.Dir())).entryList({"*.avi", "*.mp4"}),
                 QStringList());
        QCOMPARE(videoFolder.entryList({".*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void makeVideoCommandEndsWithItsExitCode_data() {
        QTest::addColumn<QStringList>("arguments");  // %1 stands for the frame folder
        QTest::addColumn<QByteArray>("settings");    // none when empty
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<bool>("videoIsFolder");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("framesInVideo");  // -1: the earlier video is kept
        const QSize size(160, 120);
        const QStringList dir{"--dir", "%1"};
        QTest::newRow("complete") << dir + QStringList{"--end", "3"} << QByteArray() << size
                                  << false << 0 << QString() << 3;
        QTest::newRow("folder and end from the settings file")
            << QStringList{"--fps", "12.5"}
            << QByteArray("AUTO_START_DIR=%1\nAUTO_START_FRAME_COUNT=3\n") << size << false << 0
            << QString() << 3;
        QTest::newRow("no settings file for the folder")
            << QStringList{"--end", "3"} << QByteArray() << size << false << 3
            << "Error! Cannot find settings." << -1;
        QTest::newRow("settings count below 0")
            << QStringList() << QByteArray("AUTO_START_DIR=%1\nAUTO_START_FRAME_COUNT=-1\n") << size
            << false << 3 << "Vorn.conf, AUTO_START_FRAME_COUNT=-1 is not valid: give the number"
            << -1;
        QTest::newRow("unknown option")
            << dir + QStringList{"--end", "3", "--colour"} << QByteArray() << size << false << 2
            << "Unknown option 'colour'." << -1;
        QTest::newRow("gap below 1") << dir + QStringList{"--end", "3", "--gap", "0"}
                                     << QByteArray() << size << false << 2 << "--gap" << -1;
        QTest::newRow("frames per second not a number")
            << dir + QStringList{"--end", "3", "--fps", "fast"} << QByteArray() << size << false
            << 2 << "--fps" << -1;
        QTest::newRow("unknown compressor")
            << dir + QStringList{"--end", "3", "--compressor", "XVID"} << QByteArray() << size
            << false << 2 << "unknown compressor XVID" << -1;
        QTest::newRow("first frame missing")
            << dir + QStringList{"--start", "5", "--end", "8"} << QByteArray() << size << false
            << 10 << "Can't find pic_10006.jpg" << -1;
        QTest::newRow("empty range") << dir + QStringList{"--start", "1", "--end", "1"}
                                     << QByteArray() << size << false << 10 << kNoFrameTaken << -1;
        QTest::newRow("stops at a missing frame")
            << dir + QStringList{"--end", "5"} << QByteArray() << size << false << 11
            << "it stops before pic_10004.jpg, which is missing." << 3;
        QTest::newRow("Motion JPEG into MP4")
            << dir + QStringList{"--end", "3", "--output", "clip.mp4", "--compressor", "MJPG"}
            << QByteArray() << size << false << 13 << "MP4 players do not play Motion JPEG" << -1;
        QTest::newRow("bad frames left out, each named")
            << dir + QStringList{"--end", "5", "--skip-bad"} << QByteArray() << size << false << 0
            << "vorn: left out pic_10004.jpg: missing\nvorn: left out pic_10005.jpg: missing\n"
               "vorn: Video (output.avi) created, complete with 3 frames; 2 frames left out."
            << 3;
        QTest::newRow("length that needs a rate out of range")
            << dir + QStringList{"--end", "3", "--length", "0.002"} << QByteArray() << size << false
            << 2 << "1500 frames a second, and the rate goes from 0.01 to 1000" << -1;
        QTest::newRow("length and rate at once")
            << dir + QStringList{"--end", "3", "--length", "2", "--fps", "5"} << QByteArray()
            << size << false << 2 << "--length and --fps" << -1;
        AddOutputRows();
        AddSettingsRows();
    }

    // An MP4 that phones and browsers play: H.264 (unless another compressor is asked for) in
    // 4:2:0 with even sides, its index before the pictures; at the width and length asked for.
    void mp4PlaysEverywhere_data() {
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QSize>("videoSize");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("duration");
        const QSize size(160, 120);
        QTest::newRow("H.264 by default") << size << QStringList{} << "h264" << size << "25/1"
                                          << "0.120000";
        QTest::newRow("odd sides made even")
            << QSize(1921, 1081) << QStringList{} << "h264" << QSize(1920, 1080) << "25/1"
            << "0.120000";
        QTest::newRow("width keeps the aspect, both sides even")
            << size << QStringList{"--width", "101"} << "h264" << QSize(100, 76) << "25/1"
            << "0.120000";
        QTest::newRow("length chooses the rate")
            << size << QStringList{"--length", "2"} << "h264" << size << "3/2"
            << "2.000000";
        QTest::newRow("MPEG-4 Part 2 asked for")
            << size << QStringList{"--compressor", "FMP4"} << "mpeg4" << size << "25/1"
            << "0.120000";
    }

    void mp4PlaysEverywhere() {
        QFETCH(QSize, frameSize);
        QFETCH(QStringList, options);
        QFETCH(QString, codec);
        QFETCH(QSize, videoSize);
        QFETCH(QString, rate);
        QFETCH(QString, duration);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003), {frameSize.width(), frameSize.height()});
        QProcess vorn;
        vorn.start(VORN_EXECUTABLE,
                   QStringList{"--make-video", "--dir", QString::fromStdString(frames.Dir()),
                               "--end", "3", "--output", "clip.mp4"} +
                       options);
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.readAllStandardError(), QByteArray());
        QCOMPARE(vorn.exitCode(), 0);
        const QString video = QString::fromStdString(frames.Dir()) + "clip.mp4";
        const QMap<QString, QString> probe = Probe(video);
        QCOMPARE(probe.value("codec_name"), codec);
        QCOMPARE(probe.value("pix_fmt"), QString("yuv420p"));
        QCOMPARE(probe.value("width"), QString::number(videoSize.width()));
        QCOMPARE(probe.value("height"), QString::number(videoSize.height()));
        QCOMPARE(probe.value("r_frame_rate"), rate);
        QCOMPARE(probe.value("duration"), duration);
        QCOMPARE(probe.value("nb_read_frames"), QString("3"));
        QCOMPARE(VideoFrameCount(video.toStdString()), 3);
        const QStringList boxes = TopLevelBoxes(video);
        QVERIFY2(boxes.contains("moov") && boxes.indexOf("moov") < boxes.indexOf("mdat"),
                 qPrintable(boxes.join(' ')));
        QCOMPARE(FramesIn(video), Range(10001, 10003));
        QCOMPARE(frames.Leftovers(), QStringList());
        QVERIFY(!QFile::exists(frames.VideoPath()));
    }

    // A video's frame count is read back only from a whole video file: one cut short, even by
    // its last byte, or a picture bearing a video's name gives none.
    void frameCountComesOnlyFromAWholeVideo_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("count");  // -1 for none
        QTest::newRow("MP4 whole") << "clip.mp4"
                                   << "" << 3;
        QTest::newRow("AVI whole") << "clip.avi"
                                   << "" << 3;
        QTest::newRow("MP4 short of its last byte") << "clip.mp4"
                                                    << "last byte off" << -1;
        QTest::newRow("MP4 cut before its last frame") << "clip.mp4"
                                                       << "cut before the last frame" << -1;
        QTest::newRow("MP4 cut in its index") << "clip.mp4"
                                              << "cut to 300 bytes" << -1;
        QTest::newRow("AVI cut in its frames") << "clip.avi"
                                               << "cut in half" << -1;
        QTest::newRow("a frame named as a video") << "clip.mp4"
                                                  << "a frame instead" << -1;
        QTest::newRow("no file") << "clip.avi"
                                 << "removed" << -1;
    }

    void frameCountComesOnlyFromAWholeVideo() {
        QFETCH(QString, output);
        QFETCH(QString, damage);
        QFETCH(int, count);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        QProcess vorn;
        vorn.start(VORN_EXECUTABLE, {"--make-video", "--dir", QString::fromStdString(frames.Dir()),
                                     "--end", "3", "--output", output});
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.exitCode(), 0);
        const QString video = QString::fromStdString(frames.Dir()) + output;
        QFile file(video);
        const qint64 size = file.size();
        if (damage == "last byte off") {
            QVERIFY(file.resize(size - 1));
        } else if (damage == "cut before the last frame") {
            QVERIFY(file.open(QIODevice::ReadOnly));
            const qint64 lastFrameAt = file.readAll().lastIndexOf(Packets(video).last());
            file.close();
            QVERIFY(lastFrameAt > 0 && file.resize(lastFrameAt));
        } else if (damage == "cut to 300 bytes") {
            QVERIFY(file.resize(300));
        } else if (damage == "cut in half") {
            QVERIFY(file.resize(size / 2));
        } else if (damage == "a frame instead") {
            QVERIFY(file.remove() && QFile::copy(frames.FramePath(10001), video));
        } else if (damage == "removed") {
            QVERIFY(file.remove());
        }
        const std::optional<int> read = VideoFrameCount(video.toStdString());
        QCOMPARE(read, count < 0 ? std::nullopt : std::optional<int>(count));
    }

    // Frames that carry their capture time make every kind of video, which a player decodes
    // without a complaint; the Motion JPEG copy keeps each frame, its EXIF with it, as it is.
    void framesWithCaptureTimesMakeEveryVideo_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QList<int>>("framesInVideo");
        QTest::addColumn<bool>("copied");
        QTest::newRow("Motion JPEG copy")
            << QStringList{} << "output.avi" << Range(10001, 10004) << true;
        QTest::newRow("bad frame left out")
            << QStringList{"--skip-bad"} << "output.avi" << QList<int>{10001, 10002, 10004} << true;
        QTest::newRow("deflicker")
            << QStringList{"--deflicker"} << "output.avi" << Range(10001, 10004) << false;
        QTest::newRow("H.264 MP4")
            << QStringList{"--output", "clip.mp4"} << "clip.mp4" << Range(10001, 10004) << false;
    }

    void framesWithCaptureTimesMakeEveryVideo() {
        QFETCH(QStringList, options);
        QFETCH(QString, video);
        QFETCH(QList<int>, framesInVideo);
        QFETCH(bool, copied);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10004));
        for (int number : Range(10001, 10004)) {
            frames.Damage(number, "with its capture time");
        }
        if (!framesInVideo.contains(10003)) {
            frames.Damage(10003, "cut short");
        }
        QProcess vorn;
        vorn.start(VORN_EXECUTABLE,
                   QStringList{"--make-video", "--dir", QString::fromStdString(frames.Dir()),
                               "--end", "4"} +
                       options);
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.exitCode(), 0);
        const QString path = QString::fromStdString(frames.Dir()) + video;
        QCOMPARE(Probe(path).value("nb_read_frames"), QString::number(framesInVideo.size()));
        if (!options.contains("--deflicker")) {
            QCOMPARE(FramesIn(path), framesInVideo);
        }
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "null", "-"});
        QVERIFY(ffmpeg.waitForFinished(60000));
        QCOMPARE(ffmpeg.exitCode(), 0);
        QCOMPARE(ffmpeg.readAllStandardError(), QByteArray());
        if (copied) {
            const QList<QByteArray> packets = Packets(path);
            QCOMPARE(packets.size(), framesInVideo.size());
            for (int i = 0; i < packets.size(); ++i) {
                QCOMPARE(packets[i], frames.Bytes(framesInVideo[i]));
            }
        }
    }

    // Ctrl+C at any moment from the start: never a temporary file left behind, also while the
    // deflicker measures.
    void interruptedAtOnceLeavesNoTemporaryFile_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("frames as they are") << QStringList();
        QTest::newRow("deflicker") << QStringList{"--deflicker"};
    }

    void interruptedAtOnceLeavesNoTemporaryFile() {
        QFETCH(QStringList, options);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        for (int waitMs : {0, 10, 30, 60, 120}) {
            QProcess vorn;
            vorn.start(VORN_EXECUTABLE,
                       QStringList{"--make-video", "--dir", QString::fromStdString(frames.Dir()),
                                   "--end", "3"} +
                           options);
            QVERIFY(vorn.waitForStarted());
            QThread::msleep(waitMs);
            ::kill(static_cast<pid_t>(vorn.processId()), SIGINT);
            QVERIFY(vorn.waitForFinished(60000));
            QCOMPARE(frames.Leftovers(), QStringList());
        }
    }

    // A folder name is a file name, never an address for FFmpeg: nothing goes to standard output
    // or anywhere else.
    void folderNamesThatLookLikeAddresses_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("pipe:") << "pipe:";
        QTest::newRow("with a colon") << "garden:2024";
        QTest::newRow("http:") << "http:";
    }

    void folderNamesThatLookLikeAddresses() {
        QFETCH(QString, folder);
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkdir(folder));
        const QString frameDir = work.filePath(folder);
        for (int number : Range(10001, 10003)) {
            QVERIFY(cv::imwrite(
                QDir(frameDir).filePath(QString("pic_%1.jpg").arg(number)).toStdString(),
                cv::Mat(120, 160, CV_8UC3, kPalette[number - 10001])));
        }
        QProcess vorn;
        vorn.setWorkingDirectory(work.path());
        vorn.start(VORN_EXECUTABLE, {"--make-video", "--dir", folder, "--end", "3"});
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.exitCode(), 0);
        QCOMPARE(vorn.readAllStandardOutput(), QByteArray());
        QCOMPARE(FramesIn(QDir(frameDir).filePath("output.avi")), Range(10001, 10003));
    }

    void makeVideoCommandEndsWithItsExitCode() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, settings);
        QFETCH(QSize, frameSize);
        QFETCH(bool, videoIsFolder);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(int, framesInVideo);
        const bool fullDisk = !arguments.filter("%1full/").isEmpty();
        if (fullDisk && !FullDiskTrouble().isEmpty()) {
            QSKIP(qPrintable(FullDiskTrouble()));
        }
        TestSettings settingsFile;
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003), {frameSize.width(), frameSize.height()});
        const QString dir = QString::fromStdString(frames.Dir());
        if (fullDisk) {
            QVERIFY(QDir(dir).mkdir("full"));
            // As the frames Vorn saves.
            for (const int number : Range(10001, 10003)) {
                frames.Damage(number, "with its capture time");
            }
        }
        error.replace("%1", dir);
        if (!settings.isEmpty()) {
            settingsFile.WriteValues(QString::fromUtf8(settings).replace("%1", dir).toUtf8());
        }
        if (videoIsFolder) {
            QVERIFY(QDir().mkdir(frames.VideoPath()));
        } else {
            frames.PlaceEarlierVideo();
        }
        for (QString& argument : arguments) {
            argument.replace("%1", dir);
        }
        QStringList command = QStringList{VORN_EXECUTABLE, "--make-video"} + arguments;
        if (fullDisk) {
            command = OnFullDisk(dir + "full", command);
        }
        QProcess vorn;
        vorn.start(command.first(), command.mid(1));
        QVERIFY(vorn.waitForFinished(60000));
        const QString standardError = QString::fromUtf8(vorn.readAllStandardError());
        QCOMPARE(vorn.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vorn.exitCode(), code);
        if (error.isEmpty()) {
            QVERIFY2(!standardError.contains("vorn:"), qPrintable(standardError));
        } else {
            QVERIFY2(standardError.contains("vorn: ") &&
                         standardError.contains(QString(error).replace("%1", dir)),
                     qPrintable(standardError));
        }
        QCOMPARE(frames.Leftovers(), QStringList());
        if (framesInVideo < 0) {
            QVERIFY(videoIsFolder ? QFileInfo(frames.VideoPath()).isDir()
                                  : frames.EarlierVideoKept());
        } else {
            QCOMPARE(Probe(frames.VideoPath()).value("nb_read_frames"),
                     QString::number(framesInVideo));
            QCOMPARE(Packets(frames.VideoPath()).first(), frames.Bytes(10001));
        }
    }
};

QTEST_MAIN(MakeVideoCommandTest)
#include "test_make_video_command.moc"
