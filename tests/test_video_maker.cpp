#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csignal>

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QDir>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "frames/CaptureTime.h"
#include "panel/CompressorDlg.h"
#include "panel/MakingDlg.h"
#include "panel/VideoOptionsDlg.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/Captions.h"
#include "support/DialogBench.h"
#include "support/FullDisk.h"
#include "support/PageRecorder.h"
#include "support/TestSettings.h"
#include "support/VideoChecks.h"
#include "video/VideoAssembly.h"
#include "video/VideoProbe.h"
#include "widgets/DialogControls.h"

namespace {

const QString kCreated = QStringLiteral("Video (output.avi) created");
const QString kNoFrameTaken = QStringLiteral("No video created: the range holds no frame to take.");
const QByteArray kEarlierVideo = "an earlier video, kept";

// Well apart from one another, so that each survives compression recognisably.
const cv::Scalar kPalette[] = {
    {0, 0, 255},   {0, 255, 0},     {255, 0, 0}, {0, 255, 255},   {255, 0, 255},
    {255, 255, 0}, {255, 255, 255}, {0, 0, 0},   {128, 128, 255}, {0, 128, 128},
};
constexpr int kPaletteSize = std::size(kPalette);

// Gradients and colour, so that a picture's brightness is measured over more than one value.
cv::Mat Scene() {
    cv::Mat scene(120, 160, CV_8UC3);
    for (int y = 0; y < scene.rows; ++y) {
        for (int x = 0; x < scene.cols; ++x) {
            scene.at<cv::Vec3b>(y, x) = {uchar(60 + x / 2), uchar(70 + y / 2), uchar(90)};
        }
    }
    return scene;
}

// The mean coded luma of a BGR picture, as JPEG's Y' holds it.
double LumaOf(const cv::Mat& bgr) {
    const cv::Scalar mean = cv::mean(bgr);
    return 0.114 * mean[0] + 0.587 * mean[1] + 0.299 * mean[2];
}

// Frame files in a temporary folder, each frame number painted in its own colour.
class FrameFolder {
public:
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    QString VideoPath() const { return m_dir.filePath("output.avi"); }

    void Write(int number, cv::Size size = {160, 120}) const {
        const cv::Mat frame(size, CV_8UC3, kPalette[(number - 10001) % kPaletteSize]);
        QVERIFY(cv::imwrite(Dir() + "pic_" + std::to_string(number) + ".jpg", frame));
    }
    void WriteAll(const QList<int>& numbers, cv::Size size = {160, 120}) const {
        for (int number : numbers) {
            Write(number, size);
        }
    }
    // The scene at `brightness` times its own light.
    void WriteLit(int number, double brightness) const {
        cv::Mat lit;
        Scene().convertTo(lit, CV_8UC3, brightness);
        QVERIFY(cv::imwrite(FramePath(number).toStdString(), lit, {cv::IMWRITE_JPEG_QUALITY, 95}));
    }
    QString FramePath(int number) const {
        return m_dir.filePath(QString("pic_%1.jpg").arg(number));
    }
    QByteArray Bytes(int number) const {
        QFile file(FramePath(number));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Spoils a frame file the way `how` says: "cut short", "empty file", "not a picture", a
    // "bad quantisation table" length, a "stray marker" in the picture data, a "pipe" or a file
    // "larger than 256 MB"; or takes it away ("missing"), repeats the frame before it, or paints
    // it "grey N"; or puts EXIF "with its capture time" in.
    void Damage(int number, const QString& how) const {
        QByteArray whole = Bytes(number);
        QFile file(FramePath(number));
        if (how == "missing") {
            QVERIFY(file.remove());
            return;
        }
        if (how == "repeat of the frame before") {
            QVERIFY(file.remove() && QFile::copy(FramePath(number - 1), FramePath(number)));
            return;
        }
        if (how.startsWith("grey ")) {
            const double level = how.mid(5).toDouble();
            QVERIFY(cv::imwrite(file.fileName().toStdString(),
                                cv::Mat(120, 160, CV_8UC3, cv::Scalar::all(level))));
            return;
        }
        if (how == "pipe") {
            QVERIFY(file.remove() && ::mkfifo(QFile::encodeName(file.fileName()), 0600) == 0);
            return;
        }
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (how == "cut short") {
            file.write(whole.left(whole.size() / 2));
        } else if (how == "cut short, ending in an end marker") {
            file.write(whole.left((whole.indexOf("\xFF\xDA") + whole.size()) / 2) + "\xFF\xD9");
        } else if (how == "declaring 16000x16000") {
            const qsizetype frameHeader = whole.indexOf("\xFF\xC0");
            whole.replace(frameHeader + 5, 4, QByteArray("\x3E\x80\x3E\x80", 4));
            file.write(whole);
        } else if (how == "not a picture") {
            file.write("frame 10004 was lost");
        } else if (how == "bad quantisation table") {
            ++whole[whole.indexOf("\xFF\xDB") + 3];
            file.write(whole);
        } else if (how == "stray marker") {
            const qsizetype scan = whole.indexOf("\xFF\xDA");
            whole.replace((scan + whole.size()) / 2, 2, "\xFF\xD8");
            file.write(whole);
        } else if (how == "with its capture time") {
            std::vector<uchar> bytes(whole.begin(), whole.end());
            QVERIFY(AddExif(bytes, {LocalCaptureTime(1774778403003 + number), "Vorn", "Test"}));
            file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else if (how == "padded") {
            file.write(whole + QByteArray(1000, '\0'));
        } else if (how == "progressive") {
            std::vector<uchar> bytes;
            const cv::Mat picture =
                cv::imdecode(std::vector<uchar>(whole.begin(), whole.end()), cv::IMREAD_COLOR);
            QVERIFY(cv::imencode(".jpg", picture, bytes, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}));
            file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        } else if (how.startsWith("larger than")) {
            QVERIFY(file.resize(qint64{257} << 20));  // sparse: no disk is used
        }
    }
    // An output.avi from an earlier run, which a run that makes no video must leave as it was.
    void PlaceEarlierVideo() const {
        QFile file(VideoPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kEarlierVideo);
    }
    bool EarlierVideoKept() const {
        QFile file(VideoPath());
        return file.open(QIODevice::ReadOnly) && file.readAll() == kEarlierVideo;
    }
    // Temporary files left behind (hidden names).
    QStringList Leftovers() const {
        return QDir(m_dir.path()).entryList({".*"}, QDir::Files | QDir::Hidden);
    }

private:
    QTemporaryDir m_dir;
};

// Writes a small file at `path` last changed `hoursOld` hours ago.
void PlaceAged(const QString& path, int hoursOld) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("part") == 4 && file.flush());
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * hoursOld),
                             QFileDevice::FileModificationTime));
}

QList<int> Range(int first, int last) {
    QList<int> numbers;
    for (int number = first; number <= last; ++number) {
        numbers << number;
    }
    return numbers;
}

// The frame number whose colour is nearest to `colour`.
int FrameNumberOf(const cv::Scalar& colour) {
    int nearest = 0;
    for (int i = 1; i < kPaletteSize; ++i) {
        if (cv::norm(colour - kPalette[i]) < cv::norm(colour - kPalette[nearest])) {
            nearest = i;
        }
    }
    return nearest + 10001;
}

// The frame numbers of the frames in the video, told by their colours.
QList<int> FramesIn(const QString& path) {
    QList<int> numbers;
    cv::VideoCapture video(path.toStdString(), cv::CAP_FFMPEG);
    cv::Mat frame;
    while (video.read(frame)) {
        numbers << FrameNumberOf(cv::mean(frame));
    }
    return numbers;
}

// The mean luma of each frame of a Motion JPEG video, decoded as the frame files are.
QList<double> LumasIn(const QString& path) {
    QList<double> lumas;
    for (const QByteArray& jpeg : Packets(path)) {
        lumas << LumaOf(
            cv::imdecode(std::vector<uchar>(jpeg.begin(), jpeg.end()), cv::IMREAD_COLOR));
    }
    return lumas;
}

// RMS of the frame-to-frame changes of `lumas` that `truth` does not have.
double Jitter(const QList<double>& lumas, const QList<double>& truth) {
    double sum = 0;
    for (qsizetype i = 1; i < lumas.size(); ++i) {
        const double step = (lumas[i] - truth[i]) - (lumas[i - 1] - truth[i - 1]);
        sum += step * step;
    }
    return std::sqrt(sum / double(lumas.size() - 1));
}

// A video maker over a frame folder, with the progress positions it sends.
struct Maker {
    ModalAnswerer answerer;
    CMakingDlg dlg;
    QList<int> positions;
    // Runs at each position the progress bar is sent, after the position is recorded.
    std::function<void(int)> onPosition;

    Maker(const std::string& dir, int start, int end, int gap) {
        dlg.m_frameDir = dir;
        dlg.m_startFrame = start;
        dlg.m_endFrame = end;
        dlg.m_gap = gap;
        QObject::connect(GetDlgItemAs<QProgressBar>(dlg, IDC_PROGRESS), &QProgressBar::valueChanged,
                         [this](int position) {
                             positions << position;
                             if (onPosition) {
                                 onPosition(position);
                             }
                         });
        AnswerCompressorWith(answerer, PressEnter);
    }

    void Run() {
        dlg.DoModal();
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.m_assembly);
        QVERIFY(!PreviewWindow());
    }
};

}  // namespace

// The desktop's notification service, played on the test's own session bus: it keeps what it is
// asked to show.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        shown << summary + ": " + body;
        return uint(shown.size());
    }
};

class VideoMakerTest : public QObject {
    Q_OBJECT
private slots:
    // A session bus of the test's own, so that no notification reaches the desktop of whoever
    // runs the tests.
    void initTestCase() {
        m_sessionBus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_sessionBus.waitForStarted(10000) && m_sessionBus.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_sessionBus.readLine().trimmed());
    }

    void cleanupTestCase() {
        m_sessionBus.terminate();
        m_sessionBus.waitForFinished(10000);
    }

    // Only a user who went on with something else is told by the desktop; without a
    // notification service the video is made and reported all the same.
    void desktopIsToldOnlyWhenTheWindowIsInactive() {
        FakeNotifications service;
        QDBusConnection bus = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "notifications");
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots));
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        const auto makeVideo = [&](bool active) {
            Maker maker(frames.Dir(), 0, 3, 1);
            maker.dlg.m_options.outputName = active ? "active.avi" : "inactive.avi";
            maker.onPosition = [&](int position) {
                if (position == 1000) {
                    QApplication::setActiveWindow(active ? &maker.dlg : nullptr);
                }
            };
            maker.Run();
            QCOMPARE(
                maker.answerer.Messages(),
                QStringList{
                    QString("Video (%1) created").arg(active ? "active.avi" : "inactive.avi")});
        };
        makeVideo(true);
        makeVideo(false);
        // In the order sent: one from the active window would come first.
        QTRY_COMPARE(service.shown, QStringList{"Video finished: Video (inactive.avi) created"});
        QVERIFY(bus.unregisterService("org.freedesktop.Notifications"));
        makeVideo(false);
        QDBusConnection::disconnectFromBus("notifications");
    }

    void writesTheFramesTheGapTakes_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QList<int>>("written");
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QString>("message");
        QTest::newRow("gap 2") << Range(10001, 10005) << 0 << 5 << 2 << QList<int>{10002, 10004}
                               << QList<int>{0, 200, 400, 600, 800, 1000} << kCreated;
        QTest::newRow("thirds") << Range(10001, 10003) << 0 << 3 << 1 << Range(10001, 10003)
                                << QList<int>{0, 333, 666, 1000} << kCreated;
        QTest::newRow("gap 2 aligned to frame 10000, not to the start")
            << Range(10001, 10010) << 2 << 10 << 2 << QList<int>{10004, 10006, 10008, 10010}
            << QList<int>{0, 125, 250, 375, 500, 625, 750, 875, 1000} << kCreated;
        QTest::newRow("gap 2 from an odd start")
            << Range(10001, 10010) << 3 << 10 << 2 << QList<int>{10004, 10006, 10008, 10010}
            << QList<int>{0, 142, 285, 428, 571, 714, 857, 1000} << kCreated;
        QTest::newRow("missing frame inside the range stops there")
            << Range(10001, 10003) << 0 << 10 << 1 << Range(10001, 10003)
            << QList<int>{0, 100, 200, 300, 400}
            << "Video (output.avi) created with 3 frames: it stops before pic_10004.jpg, which is "
               "missing.";
        QTest::newRow("missing first frame the gap takes")
            << QList<int>{10001, 10003} << 0 << 4 << 2 << QList<int>{} << QList<int>{0, 250, 500}
            << "No video created: pic_10002.jpg is missing.";
        QTest::newRow("start equal to end")
            << Range(10001, 10003) << 1 << 1 << 1 << QList<int>{} << QList<int>{0} << kNoFrameTaken;
        QTest::newRow("gap 0 taken as 1")
            << Range(10001, 10003) << 0 << 3 << 0 << Range(10001, 10003)
            << QList<int>{0, 333, 666, 1000} << kCreated;
        QTest::newRow("gap wider than the range")
            << Range(10001, 10003) << 0 << 3 << 5 << QList<int>{} << QList<int>{0, 333, 666, 1000}
            << kNoFrameTaken;
    }

    void writesTheFramesTheGapTakes() {
        QFETCH(QList<int>, present);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, gap);
        QFETCH(QList<int>, written);
        QFETCH(QList<int>, positions);
        QFETCH(QString, message);
        FrameFolder frames;
        frames.WriteAll(present);
        frames.PlaceEarlierVideo();
        Maker maker(frames.Dir(), start, end, gap);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList{message});
        QCOMPARE(maker.positions, positions);
        QCOMPARE(frames.Leftovers(), QStringList());
        if (written.isEmpty()) {
            QVERIFY(frames.EarlierVideoKept());
            return;
        }
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("exit"), QString("0"));
        QCOMPARE(probe.value("nb_read_frames"), QString::number(written.size()));
        QCOMPARE(VideoFrameCount(frames.VideoPath().toStdString()), written.size());
        QCOMPARE(FramesIn(frames.VideoPath()), written);
        // Motion JPEG keeps each frame file as it is.
        QList<QByteArray> files;
        for (int number : written) {
            files << frames.Bytes(number);
        }
        QCOMPARE(Packets(frames.VideoPath()), files);
    }

    // Only what every Motion JPEG player decodes goes in as it is: a progressive frame is
    // encoded again as baseline; a padded one is whole and goes in without its padding.
    void framesPlayersCannotDecodeAreEncodedAgain() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        const QByteArray unpadded = frames.Bytes(10002);
        frames.Damage(10002, "padded");
        frames.Damage(10003, "progressive");
        QVERIFY(frames.Bytes(10003).contains("\xFF\xC2"));
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList{kCreated});
        const QList<QByteArray> packets = Packets(frames.VideoPath());
        QCOMPARE(packets.size(), 3);
        QCOMPARE(packets[1], unpadded);
        QVERIFY(!packets[2].contains("\xFF\xC2"));  // a baseline frame header instead
        QVERIFY(packets[2].contains("\xFF\xC0"));
        QCOMPARE(FramesIn(frames.VideoPath()), Range(10001, 10003));
    }

    void damagedFrameStopsTheVideoNamingIt_data() {
        QTest::addColumn<int>("damaged");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QList<int>>("written");
        QTest::addColumn<QString>("message");
        QTest::newRow("cut short inside the range")
            << 10003 << "cut short" << 1 << Range(10001, 10002)
            << "Video (output.avi) created with 2 frames: it stops before pic_10003.jpg, which is "
               "damaged (cut short).";
        QTest::newRow("zero bytes inside the range")
            << 10004 << "empty file" << 1 << Range(10001, 10003)
            << "Video (output.avi) created with 3 frames: it stops before pic_10004.jpg, which is "
               "damaged (empty file).";
        QTest::newRow("not a picture inside the range")
            << 10002 << "not a picture" << 1 << QList<int>{10001}
            << "Video (output.avi) created with 1 frame: it stops before pic_10002.jpg, which is "
               "damaged (not a picture).";
        QTest::newRow("first frame cut short")
            << 10001 << "cut short" << 1 << QList<int>{}
            << "Error. pic_10001.jpg in %1 is damaged (cut short)!";
        QTest::newRow("first frame of zero bytes")
            << 10001 << "empty file" << 1 << QList<int>{}
            << "Error. pic_10001.jpg in %1 is damaged (empty file)!";
        QTest::newRow("first frame the gap takes of zero bytes")
            << 10002 << "empty file" << 2 << QList<int>{}
            << "No video created: pic_10002.jpg is damaged (empty file).";
        // Whole in its first and last bytes, yet no player could decode it.
        for (const char* how : {"bad quantisation table", "stray marker"}) {
            QTest::newRow(how) << 10003 << how << 1 << Range(10001, 10002)
                               << QString(
                                      "Video (output.avi) created with 2 frames: it stops "
                                      "before pic_10003.jpg, which is damaged (%1).")
                                      .arg(how);
        }
        // Never waited on, never read into memory.
        for (const char* how : {"pipe", "larger than 256 MB"}) {
            QTest::newRow(how) << 10002 << how << 1 << QList<int>{10001}
                               << QString(
                                      "Video (output.avi) created with 1 frame: it stops "
                                      "before pic_10002.jpg, which is damaged (%1).")
                                      .arg(how == QString("pipe") ? "not a regular file" : how);
        }
    }

    void damagedFrameStopsTheVideoNamingIt() {
        QFETCH(int, damaged);
        QFETCH(QString, how);
        QFETCH(int, gap);
        QFETCH(QList<int>, written);
        QFETCH(QString, message);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        frames.Damage(damaged, how);
        frames.PlaceEarlierVideo();
        Maker maker(frames.Dir(), 0, 5, gap);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{message.replace("%1", QString::fromStdString(frames.Dir()))});
        QCOMPARE(frames.Leftovers(), QStringList());
        if (written.isEmpty()) {
            QVERIFY(frames.EarlierVideoKept());
        } else {
            QCOMPARE(Probe(frames.VideoPath()).value("nb_read_frames"),
                     QString::number(written.size()));
            QCOMPARE(FramesIn(frames.VideoPath()), written);
        }
    }

    // Left out instead of stopping the video: each bad frame is named with its reason, and the
    // video is complete with every other frame of the range, in order.
    void badFramesAreLeftOutNamingThem_data() {
        QTest::addColumn<int>("damaged");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");  // empty: the frame is good and kept
        QTest::addColumn<bool>("deflicker");
        const QList<std::pair<const char*, const char*>> kinds = {
            {"missing", "missing"},
            {"empty file", "empty file"},
            {"cut short", "cut short"},
            {"cut short, ending in an end marker", "cut short"},
            {"stray marker", "stray marker"},
            {"not a picture", "not a picture"},
            {"repeat of the frame before", "a repeat of the frame before it"},
            {"grey 6", "nearly black (mean luma 6)"},
            {"grey 250", "nearly white (mean luma 250)"},
            {"grey 14", ""},
            {"grey 240", ""},
        };
        for (const auto& [how, why] : kinds) {
            QTest::newRow(how) << 10003 << how << why << false;
        }
        QTest::newRow("first frame missing") << 10001 << "missing"
                                             << "missing" << false;
        QTest::newRow("first frame nearly black") << 10001 << "grey 2"
                                                  << "nearly black (mean luma 2)" << false;
        // Refused from its header: decoded, it would be most of a gigabyte of grey.
        QTest::newRow("declaring 16000x16000, deflickered")
            << 10003 << "declaring 16000x16000"
            << "declares 16000x16000 pixels, more than a video holds" << true;
    }

    void badFramesAreLeftOutNamingThem() {
        QFETCH(int, damaged);
        QFETCH(QString, how);
        QFETCH(QString, why);
        QFETCH(bool, deflicker);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        frames.Damage(damaged, how);
        Maker maker(frames.Dir(), 0, 5, 1);
        maker.dlg.m_options.skipBad = true;
        maker.dlg.m_options.deflicker = deflicker;
        maker.Run();
        QCOMPARE(frames.Leftovers(), QStringList());
        if (why.isEmpty()) {
            QCOMPARE(maker.answerer.Messages(), QStringList{kCreated});
            QCOMPARE(Packets(frames.VideoPath()).at(damaged - 10001), frames.Bytes(damaged));
            return;
        }
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{QString("Video (output.avi) created, complete with 4 frames; 1 frame "
                                     "left out.\npic_%1.jpg: %2")
                                 .arg(damaged)
                                 .arg(why)});
        QList<int> kept = Range(10001, 10005);
        kept.removeOne(damaged);
        if (deflicker) {
            // Corrected frames are no longer told apart by their colours.
            QCOMPARE(Packets(frames.VideoPath()).size(), kept.size());
        } else {
            QCOMPARE(FramesIn(frames.VideoPath()), kept);
        }
    }

    // The closing message counts every frame left out and lists the first ten.
    void manyFramesLeftOutAreCountedAndTheFirstListed() {
        FrameFolder frames;
        frames.WriteAll({10001, 10014});
        Maker maker(frames.Dir(), 0, 14, 1);
        maker.dlg.m_options.skipBad = true;
        maker.Run();
        QStringList lines{
            "Video (output.avi) created, complete with 2 frames; 12 frames left out."};
        for (int number = 10002; number <= 10011; ++number) {
            lines << QString("pic_%1.jpg: missing").arg(number);
        }
        lines << "... and 2 more";
        QCOMPARE(maker.answerer.Messages(), QStringList{lines.join('\n')});
        QCOMPARE(Packets(frames.VideoPath()),
                 (QList<QByteArray>{frames.Bytes(10001), frames.Bytes(10014)}));
    }

    void missingFirstFrameFailsNamingIt_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("emptyDir");
        QTest::addColumn<QString>("message");
        QList<int> all = Range(10001, 10010);
        all.removeOne(10003);
        QTest::newRow("probe of a frame the gap leaves out")
            << all << 2 << false << "Error. Can't find pic_10003.jpg in %1!";
        QTest::newRow("empty folder")
            << QList<int>{} << 0 << false << "Error. Can't find pic_10001.jpg in %1!";
        QTest::newRow("empty frame directory: the current folder")
            << QList<int>{} << 0 << true << "Error. Can't find pic_10001.jpg in !";
    }

    void missingFirstFrameFailsNamingIt() {
        QFETCH(QList<int>, present);
        QFETCH(int, start);
        QFETCH(bool, emptyDir);
        QFETCH(QString, message);
        FrameFolder frames;
        frames.WriteAll(present);
        frames.PlaceEarlierVideo();
        const QString previousDir = QDir::currentPath();
        if (emptyDir) {
            QDir::setCurrent(QString::fromStdString(frames.Dir()));
        }
        Maker maker(emptyDir ? std::string() : frames.Dir(), start, 10, 2);
        int choicesAsked = 0;
        AnswerCompressorWith(maker.answerer, [&](CompressorDlg& choice) {
            ++choicesAsked;
            PressEnter(choice);
        });
        maker.Run();
        QDir::setCurrent(previousDir);
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{message.replace("%1", QString::fromStdString(frames.Dir()))});
        QCOMPARE(choicesAsked, 0);
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(frames.EarlierVideoKept());
        QCOMPARE(frames.Leftovers(), QStringList());
    }

    void videoHasFpsAndSizeOfFirstFrame_data() {
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QString>("rate");
        QTest::newRow("25 fps") << 25.0 << 1 << "25/1";
        QTest::newRow("12.5 fps") << 12.5 << 1 << "25/2";
        QTest::newRow("1 fps, first frame left out by the gap") << 1.0 << 2 << "1/1";
    }

    void videoHasFpsAndSizeOfFirstFrame() {
        QFETCH(double, fps);
        QFETCH(int, gap);
        QFETCH(QString, rate);
        FrameFolder frames;
        frames.Write(10003, {200, 150});
        frames.Write(10004, {200, 150});
        frames.Write(10005, {200, 150});
        Maker maker(frames.Dir(), 2, 5, gap);
        maker.dlg.m_fps = NearestFrameRate(fps);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList{kCreated});
        QCOMPARE(maker.dlg.m_frameWidth, 200);
        QCOMPARE(maker.dlg.m_frameHeight, 150);
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("width"), QString("200"));
        QCOMPARE(probe.value("height"), QString("150"));
        QCOMPARE(probe.value("r_frame_rate"), rate);
        QCOMPARE(probe.value("codec_tag_string"), QString("MJPG"));
    }

    void framesOfAnotherSizeAreFittedNotDropped() {
        FrameFolder frames;
        frames.Write(10001, {160, 120});
        frames.Write(10002, {320, 240});
        frames.Write(10003, {80, 60});
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.Run();
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("width"), QString("160"));
        QCOMPARE(probe.value("height"), QString("120"));
        QCOMPARE(FramesIn(frames.VideoPath()), Range(10001, 10003));
        // The first is copied as it is; the others are encoded at the video's size.
        const QList<QByteArray> packets = Packets(frames.VideoPath());
        QCOMPARE(packets.size(), 3);
        QCOMPARE(packets[0], frames.Bytes(10001));
        for (const QByteArray& packet : packets) {
            const cv::Mat decoded = cv::imdecode(
                cv::Mat(1, int(packet.size()), CV_8UC1, const_cast<char*>(packet.data())),
                cv::IMREAD_COLOR);
            QCOMPARE(decoded.cols, 160);
            QCOMPARE(decoded.rows, 120);
        }
    }

    void previewShowsTheFrameBeingWrittenAtMost640By480_data() {
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("previewSize");
        QTest::newRow("small frames as they are") << QSize(160, 120) << QSize(160, 120);
        QTest::newRow("1280x960 at half size") << QSize(1280, 960) << QSize(640, 480);
        QTest::newRow("1920x1080 at a quarter") << QSize(1920, 1080) << QSize(480, 270);
    }

    void previewShowsTheFrameBeingWrittenAtMost640By480() {
        QFETCH(QSize, frameSize);
        QFETCH(QSize, previewSize);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003), {frameSize.width(), frameSize.height()});
        Maker maker(frames.Dir(), 0, 3, 1);
        QList<int> shown;
        QList<int> writing;
        maker.onPosition = [&](int position) {
            QWidget* preview = PreviewWindow();
            if (position == 0 || !preview) {
                return;
            }
            QCOMPARE(preview->size(), previewSize);
            const QColor colour = preview->grab().toImage().pixelColor(previewSize.width() / 2,
                                                                       previewSize.height() / 2);
            shown << FrameNumberOf(cv::Scalar(colour.blue(), colour.green(), colour.red()));
            writing << 10000 + (position * 3 + 999) / 1000;
        };
        maker.Run();
        // At most 25 previews a second: the first frame is shown at once, and the preview never
        // runs ahead of the video nor goes back.
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown.first(), 10001);
        for (int i = 1; i < shown.size(); ++i) {
            QVERIFY(shown[i] <= writing[i] && shown[i] >= shown[i - 1]);
        }
    }

    // A video that did not finish never replaces a complete earlier one: it goes beside it.
    void stopsAfterThePassWhenAsked_data() {
        QTest::addColumn<bool>("inPreview");
        QTest::addColumn<bool>("earlierVideo");
        QTest::newRow("a key in the preview window") << true << false;
        QTest::newRow("Escape in the dialog") << false << false;
        QTest::newRow("Escape beside an earlier video") << false << true;
    }

    void stopsAfterThePassWhenAsked() {
        QFETCH(bool, inPreview);
        QFETCH(bool, earlierVideo);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10010));
        if (earlierVideo) {
            frames.PlaceEarlierVideo();
        }
        Maker maker(frames.Dir(), 0, 10, 1);
        maker.onPosition = [&](int position) {
            if (position == 300) {
                if (inPreview) {
                    PressKeyFromWindowSystem(PreviewWindow(), Qt::Key_Q);
                } else {
                    QTest::keyClick(&maker.dlg, Qt::Key_Escape);
                }
            }
        };
        maker.Run();
        QCOMPARE(maker.positions, (QList<int>{0, 100, 200, 300}));
        const QString name = earlierVideo ? "output.partial.avi" : "output.avi";
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{"Video (" + name +
                             ") created with 3 frames: cancelled before the end of the range." +
                             (earlierVideo ? " The earlier output.avi is left as it was." : "")});
        QCOMPARE(FramesIn(QFileInfo(frames.VideoPath()).dir().filePath(name)), Range(10001, 10003));
        QVERIFY(!earlierVideo || frames.EarlierVideoKept());
    }

    // Temporary files of killed runs go once they are a day old; one being written stays, and so
    // does every hidden file of the user's, also one named like the temporary files of old.
    void onlyOldTemporaryFilesAreCleared_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("hoursOld");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("killed run's") << ".vorn-tmp-a1B2c3" << 25 << true;
        QTest::newRow("still being written") << ".vorn-tmp-k4L5m6" << 1 << false;
        QTest::newRow("backup of a video") << ".holiday.mp4.backup" << 48 << false;
        QTest::newRow("old notes") << ".notes.avi.old123" << 48 << false;
        QTest::newRow("backup of a frame") << ".pic_10001.jpg.backup" << 48 << false;
        QTest::newRow("old naming of a temporary") << ".output.avi.Zz9yX8" << 30 << false;
    }

    void onlyOldTemporaryFilesAreCleared() {
        QFETCH(QString, name);
        QFETCH(int, hoursOld);
        QFETCH(bool, cleared);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10002));
        PlaceAged(QDir(QString::fromStdString(frames.Dir())).filePath(name), hoursOld);
        Maker maker(frames.Dir(), 0, 2, 1);
        maker.Run();
        QCOMPARE(frames.Leftovers(), cleared ? QStringList() : QStringList{name});
    }

    // Whatever the video's name, its temporary file has a short name of the program's own, which
    // the clean-up takes once a killed writer left it a day ago.
    void videoOfAnyNameHasATemporaryOfOurs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("compressor");
        QTest::addColumn<QList<int>>("kept");  // by a cancel after the first frame
        // H.264 still holds the only frame it was given, which a cancel does not wait for.
        QTest::newRow("upper-case extension")
            << QString("V.MP4") << QString("H264") << QList<int>();
        QTest::newRow("longest file name")
            << QString(251, 'v') + ".avi" << QString("MJPG") << QList<int>{10001};
    }

    void videoOfAnyNameHasATemporaryOfOurs() {
        QFETCH(QString, name);
        QFETCH(QString, compressor);
        QFETCH(QList<int>, kept);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10002));
        VideoRange range{frames.Dir(), 0, 2, 1, {}, {}};
        range.options.outputName = name.toStdString();
        const QDir dir(QString::fromStdString(frames.Dir()));
        VideoAssembly assembly(range);
        QVERIFY(!assembly.ProbeFirstFrame());
        QVERIFY(!assembly.Open(*FindCompressor(compressor.toStdString())));
        const QStringList leftovers = frames.Leftovers();
        QCOMPARE(leftovers.size(), 1);
        QVERIFY2(QRegularExpression("^\\.vorn-tmp-[A-Za-z0-9]{6}$").match(leftovers[0]).hasMatch(),
                 qPrintable(leftovers[0]));
        PlaceAged(dir.filePath(leftovers[0]), 25);
        RemoveStaleTemporaries(frames.Dir());
        QCOMPARE(frames.Leftovers(), QStringList());
        // Cancelled beside an earlier video of that name: a partial one that is a file name too.
        PlaceAged(dir.filePath(name), 0);
        AssemblyResult result;
        {
            VideoAssembly cancelled(range);
            QVERIFY(!cancelled.ProbeFirstFrame());
            QVERIFY(!cancelled.Open(*FindCompressor(compressor.toStdString())));
            result = cancelled.Run([](const VideoAssembly::Pass&) { return false; });
        }
        QCOMPARE(result.end, AssemblyEnd::Cancelled);
        QCOMPARE(result.framesWritten, kept.size());
        if (kept.isEmpty()) {
            QCOMPARE(frames.Leftovers(), QStringList());  // nothing made, nothing left behind
            return;
        }
        QVERIFY(result.videoName.size() <= 255 &&
                result.videoName.find(".partial.") != std::string::npos);
        QCOMPARE(FramesIn(dir.filePath(QString::fromStdString(result.videoName))), kept);
    }

    void escapeBeforeTheAssemblyLeavesTheEarlierVideo() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        frames.PlaceEarlierVideo();
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.dlg.OnInitDialog();
        QVERIFY(maker.dlg.m_assembly);
        QCOMPARE(frames.Leftovers().size(), 1);  // the video under its temporary name
        QTest::keyClick(&maker.dlg, Qt::Key_Escape);
        QCOMPARE(maker.dlg.result(), int(QDialog::Rejected));
        QVERIFY(!maker.dlg.m_assembly);
        QVERIFY(frames.EarlierVideoKept());
        QCOMPARE(frames.Leftovers(), QStringList());
        // The assembly's timer went with the dialog: nothing more happens.
        QTest::qWait(300);
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(maker.answerer.Messages().isEmpty());
    }

    void cancelledCompressorChoiceMakesNothing() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        Maker maker(frames.Dir(), 0, 3, 1);
        AnswerCompressorWith(maker.answerer, [](CompressorDlg& choice) {
            QTest::keyClick(&choice, Qt::Key_Escape);
        });
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList());
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(!QFile::exists(frames.VideoPath()));
        QCOMPARE(frames.Leftovers(), QStringList());
    }

    void videoThatCannotBePutInPlaceIsReported() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        // A folder where the file should go: the video cannot replace it, even as root.
        QVERIFY(QDir().mkdir(frames.VideoPath()));
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.Run();
        QCOMPARE(
            maker.answerer.Messages(),
            QStringList{
                QString(
                    "Error. Can't write output.avi in %1 (cannot put it in place: Is a directory)!")
                    .arg(frames.Dir().c_str())});
        QCOMPARE(maker.positions.last(), 1000);
        QVERIFY(QFileInfo(frames.VideoPath()).isDir());
        QCOMPARE(frames.Leftovers(), QStringList());
    }

    void compressorChoiceReachesTheFile() {
        const std::vector<Compressor>& available = AvailableCompressors();
        QVERIFY(!available.empty());
        QCOMPARE(available.front().fourcc, "MJPG");
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        for (int index = 0; index < int(available.size()); ++index) {
            Maker maker(frames.Dir(), 0, 3, 1);
            QString listed;
            AnswerCompressorWith(maker.answerer, [&](CompressorDlg& choice) {
                auto* list = choice.findChild<QComboBox*>();
                QCOMPARE(list->count(), int(available.size()));
                QCOMPARE(list->currentIndex(), 0);
                for (int step = 0; step < index; ++step) {
                    QTest::keyClick(list, Qt::Key_Down);
                }
                listed = list->currentText();
                QTest::mouseClick(
                    choice.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                    Qt::LeftButton);
            });
            maker.Run();
            const QString fourcc = available[index].fourcc;
            QVERIFY2(listed.endsWith("(" + fourcc + ")"), qPrintable(listed));
            QCOMPARE(listed.contains("frames kept as they are"), index == 0);
            const QMap<QString, QString> probe = Probe(frames.VideoPath());
            QCOMPARE(probe.value("codec_tag_string"), fourcc);
            QCOMPARE(probe.value("width"), QString("160"));
            QCOMPARE(probe.value("height"), QString("120"));
            QCOMPARE(probe.value("r_frame_rate"), QString("25/1"));
            QCOMPARE(probe.value("nb_read_frames"), QString("3"));
            QCOMPARE(FramesIn(frames.VideoPath()), Range(10001, 10003));
        }
    }

    void linkOpensUserGroupPageDuringAssembly() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        PageRecorder pages;
        Maker maker(frames.Dir(), 0, 5, 1);
        bool openAfterClick = false;
        maker.onPosition = [&](int position) {
            if (position == 400) {
                QTest::mouseClick(GetDlgItemAs<QPushButton>(maker.dlg, IDC_USER_GROUP),
                                  Qt::LeftButton);
                openAfterClick = maker.dlg.isVisible();
            }
        };
        maker.Run();
        QCOMPARE(pages.Pages(), QStringList{kUserGroupUrl});
        QVERIFY(openAfterClick);
        QCOMPARE(maker.positions.last(), 1000);
        QCOMPARE(FramesIn(frames.VideoPath()), Range(10001, 10005));
    }

    void dialogLooksAsDesigned() {
        CMakingDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("Creating video..."));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowSystemMenuHint));
        QCOMPARE(GetDlgItemAs<QPushButton>(dlg, IDC_USER_GROUP)->text(), QString(kUserGroupUrl));
        QCOMPARE(ClippedCaptions(dlg).join("; "), QString());
        CompressorDlg choice;
        QCOMPARE(ClippedCaptions(choice).join("; "), QString());
    }

    // ON_VIDEO runs beside the window once the video is complete.
    void makeVideoHandsOverTheMainDialogsParameters() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        DialogBench bench(SettingsValues(5) +
                          "ON_VIDEO=sh -c 'test -s \"$VORN_FILE\" && echo $VORN_EVENT $VORN_FILE "
                          "> video-hook.txt'\n");
        AnswerCompressorWith(bench.answerer, PressEnter);
        bench->OnInitDialog();
        bench->Session().SetFrameDir(frames.Dir());
        bench->Session().m_startFrame = 1;
        bench->Session().m_gap = 2;
        bench->Session().m_fpsTenths = 289;
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        QCOMPARE(bench.answerer.Messages(), QStringList{kCreated});
        QCOMPARE(Probe(frames.VideoPath()).value("r_frame_rate"), QString("289/10"));
        QCOMPARE(FramesIn(frames.VideoPath()), (QList<int>{10002, 10004}));
        QCOMPARE(bench->Session().m_startFrame, 1);
        QCOMPARE(bench->Session().m_endFrame, 5);
        QCOMPARE(bench->Session().m_gap, 2);
        QVERIFY(bench->isVisible());
        const auto hookRun = [&] {
            QFile told(bench.workDir.filePath("video-hook.txt"));
            return told.open(QIODevice::ReadOnly) ? QString::fromUtf8(told.readAll()) : QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(hookRun(), "video " + frames.VideoPath() + "\n", 10000);
    }

    // Chosen from the compressor choice, the options make this video and the next: kept in the
    // settings file, each under its own key, every other line as it was.
    void videoOptionsChosenOnTheWayAreUsedAndKept() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        frames.Damage(10003, "empty file");
        DialogBench bench(SettingsValues(5));
        const QByteArray before = bench.settings.Read();
        QString compressorShown;
        AnswerCompressorWith(bench.answerer, [&](CompressorDlg& choice) {
            QTimer::singleShot(0, [] {
                auto* options = qobject_cast<VideoOptionsDlg*>(QApplication::activeModalWidget());
                QVERIFY(options);
                SetDlgItemText(*options, IDC_VIDEO_OUTPUT, "clip.mp4");
                GetDlgItemAs<QCheckBox>(*options, IDC_SKIP_BAD)->setChecked(true);
                SetDlgItemText(*options, IDC_VIDEO_WIDTH, "80");
                Click(*options, IDOK);
            });
            for (QPushButton* button : choice.findChildren<QPushButton*>()) {
                if (button->text() == IDS_VIDEO_OPTIONS) {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
            }
            compressorShown = choice.findChild<QComboBox*>()->currentText();
            PressEnter(choice);
        });
        bench->OnInitDialog();
        bench->Session().SetFrameDir(frames.Dir());
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        QVERIFY2(compressorShown.endsWith("(H264)"), qPrintable(compressorShown));
        QCOMPARE(bench.answerer.Messages(),
                 QStringList{"Video (clip.mp4) created, complete with 4 frames; 1 frame left "
                             "out.\npic_10003.jpg: empty file"});
        const QMap<QString, QString> probe =
            Probe(QString::fromStdString(frames.Dir()) + "clip.mp4");
        QCOMPARE(probe.value("codec_name"), QString("h264"));
        QCOMPARE(probe.value("width"), QString("80"));
        QCOMPARE(probe.value("height"), QString("60"));
        QCOMPARE(bench.settings.Read(), before +
                                            "VIDEO_OUTPUT=clip.mp4\nVIDEO_DEFLICKER=0\n"
                                            "VIDEO_DEFLICKER_WINDOW=15\nVIDEO_SKIP_BAD=1\n"
                                            "VIDEO_WIDTH=80\nVIDEO_LENGTH=0\n");
        bench.Relaunch();
        bench->OnInitDialog();
        const VideoOptions kept = bench->Session().MakeVideoRange().options;
        QCOMPARE(kept.outputName, std::string("clip.mp4"));
        QVERIFY(kept.skipBad);
        QCOMPARE(kept.width, 80);
    }

    // Chosen by time, the video holds the frames the time fields take among all those of the
    // folder, whatever Start, End and Gap say; frames without a capture time in them are placed
    // by their file times, and the user is told so.
    void framesChosenByTimeMakeTheVideo_data() {
        QTest::addColumn<QString>("dailyAt");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QList<int>>("inVideo");
        QTest::newRow("noon of each day") << "12:00" << kCreated << QList<int>{10002, 10005};
        QTest::newRow("nothing near") << "03:00"
                                      << "Error. No frame of DIR was taken within 30 minutes of "
                                         "03:00!"
                                      << QList<int>{};
    }

    void framesChosenByTimeMakeTheVideo() {
        QFETCH(QString, dailyAt);
        QFETCH(QString, told);
        QFETCH(QList<int>, inVideo);
        FrameFolder frames;
        const QDate first = QDate::currentDate().addDays(-3);
        int number = 10001;
        for (int day = 0; day < 2; ++day) {
            for (const int hour : {8, 12, 16}) {
                frames.Write(number);
                QFile file(frames.FramePath(number++));
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.setFileTime(QDateTime(first.addDays(day), QTime(hour, 2)),
                                         QFileDevice::FileModificationTime));
            }
        }
        DialogBench bench(SettingsValues(1));
        AnswerCompressorWith(bench.answerer, PressEnter);
        bench->OnInitDialog();
        bench->Session().SetFrameDir(frames.Dir());
        VideoOptions options;
        options.framesByTime.on = true;
        options.framesByTime.texts[static_cast<std::size_t>(FrameTimeField::DailyAt)] =
            dailyAt.toStdString();
        QVERIFY(bench->Session().SetVideoOptions(options));
        QVERIFY(!GetDlgItem(*bench, IDC_END_FRAME)->isEnabled());
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        QCOMPARE(bench.answerer.Messages(),
                 (QStringList{"6 frames have no capture time in them; their file times were used",
                              told.replace("DIR", QString::fromStdString(frames.Dir()))}));
        if (inVideo.isEmpty()) {
            QVERIFY(!QFile::exists(frames.VideoPath()));
        } else {
            QCOMPARE(FramesIn(frames.VideoPath()), inVideo);
        }
    }

    void videoOptionsRefuseBadValuesNamingTheField_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("another container")
            << IDC_VIDEO_OUTPUT << "clip.mkv"
            << "Video file name: the video's name must end in .avi or .mp4";
        QTest::newRow("a name in another folder")
            << IDC_VIDEO_OUTPUT << "night/clip.mp4"
            << "Video file name: the video's name is a file name in the frame folder, without "
               "'/' or a leading '.' or blank";
        for (const char* window : {"1", "16"}) {
            QTest::addRow("deflicker window %s", window)
                << IDC_DEFLICKER_WINDOW << window
                << "Deflicker window: please enter an odd whole number of "
                   "frames from 3 to 999.";
        }
        for (const char* width : {"1", "8193"}) {
            QTest::newRow(width) << IDC_VIDEO_WIDTH << width
                                 << "Width: please enter 0 for the frames' own width, or a number "
                                    "of pixels from 2 to 8192.";
        }
        QTest::newRow("no length") << IDC_VIDEO_LENGTH << ""
                                   << "Length: please enter 0 to keep the frame rate, or a number "
                                      "of seconds.";
        QTest::newRow("no such day") << IDC_FRAME_TIME_FIRST << "2026-02-30"
                                     << "Day: takes a date as YYYY-MM-DD, today or yesterday";
        QTest::newRow("hours without minutes")
            << IDC_FRAME_TIME_FIRST + 3 << "7-19"
            << "Hours of each day: takes times of day as HH:MM-HH:MM, such as 06:00-20:00";
    }

    void videoOptionsRefuseBadValuesNamingTheField() {
        QFETCH(int, id);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        ModalAnswerer answerer;
        VideoOptionsDlg dlg;
        dlg.DoDataExchange(false);
        dlg.show();
        SetDlgItemText(dlg, id, typed);
        Click(dlg, IDOK);
        QCOMPARE(answerer.Messages(), QStringList{message});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(dlg.m_options, VideoOptions());
        QCOMPARE(ClippedCaptions(dlg).join("; "), QString());
    }

    void makeVideoIsRefusedDuringCapture() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        DialogBench bench(SettingsValues(3));
        int choicesAsked = 0;
        AnswerCompressorWith(bench.answerer, [&](CompressorDlg& choice) {
            ++choicesAsked;
            PressEnter(choice);
        });
        bench->OnInitDialog();
        bench->Session().SetFrameDir(frames.Dir());
        bench.camera->HoldGrabs();  // a run that is really going
        bench->Session().m_capture->m_running = true;
        QVERIFY(bench->Session().StartCaptureThread());
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        bench->Session().m_capture->m_running = false;
        bench.camera->ReleaseGrabs();
        QVERIFY(bench->Session().StopCaptureThread());
        QCOMPARE(bench.answerer.Messages(),
                 QStringList{"Please stop the capture before making a video."});
        QCOMPARE(choicesAsked, 0);
        QVERIFY(!QFile::exists(frames.VideoPath()));
    }

    // Brightness flickering by a few per cent around a slow ramp (a sunrise), also with one frame
    // the camera got wrong: the video follows the ramp, without the flicker, and the wrong frame
    // pulls none of its neighbours. Progress runs through both passes.
    void deflickerKeepsTheRampWithoutTheFlicker_data() {
        QTest::addColumn<int>("darkFrame");     // at a third of its brightness; -1 for none
        QTest::addColumn<bool>("progressive");  // decoded, corrected and encoded by the writer
        QTest::newRow("flicker on a ramp") << -1 << false;
        QTest::newRow("one frame at a third") << 20 << false;
        QTest::newRow("first frame at a third") << 0 << false;
        QTest::newRow("progressive frames, one at a third") << 20 << true;
    }

    void deflickerKeepsTheRampWithoutTheFlicker() {
        QFETCH(int, darkFrame);
        QFETCH(bool, progressive);
        constexpr int kFrames = 40;
        constexpr double kFlicker[] = {0.04, -0.03, 0.01, -0.04, 0.03, -0.01};
        constexpr double kTolerance = 1.5;  // luma levels; the flicker moves frames by up to 6
        FrameFolder frames;
        QList<double> truth, measured;
        for (int i = 0; i < kFrames; ++i) {
            const double ramp = 0.8 + 0.4 * i / (kFrames - 1);
            truth << LumaOf(Scene()) * ramp;
            frames.WriteLit(10001 + i, ramp * (1 + kFlicker[i % std::size(kFlicker)]) /
                                           (i == darkFrame ? 3 : 1));
            if (progressive) {
                frames.Damage(10001 + i, "progressive");
            }
            measured << LumaOf(cv::imread(frames.FramePath(10001 + i).toStdString()));
        }
        VideoRange range{frames.Dir(), 0, kFrames, 1, {}, {}};
        range.options.deflicker = true;
        QList<int> positions;
        {
            VideoAssembly assembly(range);
            QVERIFY(!assembly.ProbeFirstFrame());
            QVERIFY(!assembly.Open(AvailableCompressors().front()));
            const AssemblyResult result = assembly.Run([&](const VideoAssembly::Pass& pass) {
                positions << pass.position;
                return true;
            });
            QCOMPARE(result.end, AssemblyEnd::Complete);
        }
        QCOMPARE(positions.size(), 2 * kFrames);
        QVERIFY(std::is_sorted(positions.begin(), positions.end()));
        QCOMPARE(positions.back(), VideoAssembly::kProgressRange);
        const QList<double> lumas = LumasIn(frames.VideoPath());
        QCOMPARE(lumas.size(), kFrames);
        for (int i = 0; i < kFrames; ++i) {
            QVERIFY2(
                std::abs(lumas[i] - truth[i]) < kTolerance,
                qPrintable(QString("frame %1: %2, not %3").arg(i).arg(lumas[i]).arg(truth[i])));
        }
        QVERIFY(Jitter(lumas, truth) < 0.2 * Jitter(measured, truth));
    }

    // A cancel ends at once: the encoder is not drained, and what is in the file is what the
    // result counts. Stopped while the brightness is measured: nothing written, nothing left.
    void cancelKeepsWhatIsInTheFile_data() {
        QTest::addColumn<bool>("deflicker");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("compressor");
        QTest::addColumn<int>("frameCount");
        QTest::addColumn<int>("passes");       // before the cancel
        QTest::addColumn<int>("mostWritten");  // the frames the result may count
        QTest::newRow("while the deflicker measures")
            << true << "output.avi" << QByteArray("MJPG") << 10 << 3 << 0;
        // Fewer than the frames given: the rest were in the encoder's look-ahead.
        QTest::newRow("H.264 with frames in its look-ahead")
            << false << "clip.mp4" << QByteArray("H264") << 100 << 80 << 79;
    }

    void cancelKeepsWhatIsInTheFile() {
        QFETCH(bool, deflicker);
        QFETCH(QString, output);
        QFETCH(QByteArray, compressor);
        QFETCH(int, frameCount);
        QFETCH(int, passes);
        QFETCH(int, mostWritten);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10000 + frameCount));
        VideoRange range{frames.Dir(), 0, frameCount, 1, {}, {}};
        range.options.deflicker = deflicker;
        range.options.outputName = output.toStdString();
        const QString video = QString::fromStdString(frames.Dir()) + output;
        {
            VideoAssembly assembly(range);
            QVERIFY(!assembly.ProbeFirstFrame());
            QVERIFY(!assembly.Open(*FindCompressor(compressor.toStdString())));
            int passed = 0;
            const AssemblyResult result =
                assembly.Run([&](const VideoAssembly::Pass&) { return ++passed < passes; });
            QCOMPARE(result.end, AssemblyEnd::Cancelled);
            QVERIFY2(result.framesWritten <= mostWritten,
                     qPrintable(QString::number(result.framesWritten)));
            QList<int> shown;  // from the first, without a gap; the palette repeats
            for (int k = 0; k < result.framesWritten; ++k) {
                shown << 10001 + k % kPaletteSize;
            }
            QCOMPARE(FramesIn(video), shown);
            QCOMPARE(QFile::exists(video), result.framesWritten > 0);
        }
        QCOMPARE(frames.Leftovers(), QStringList());
    }

    // A list of frames is walked as it is, in its order, through the same reading, judging,
    // deflicker and rate as a range.
    void writesTheListedFramesInTheirOrder_data() {
        QTest::addColumn<QList<int>>("listed");
        QTest::addColumn<bool>("skipBad");
        QTest::addColumn<bool>("deflicker");
        QTest::addColumn<double>("lengthSeconds");
        QTest::addColumn<QList<int>>("written");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("rate");
        const QString created = "Video (output.avi) created";
        QTest::newRow("in the list's order")
            << QList<int>{10005, 10002, 10004} << false << false << 0.0
            << QList<int>{10005, 10002, 10004} << created << "25/1";
        QTest::newRow("a frame that vanished stops the video")
            << QList<int>{10001, 10007, 10002} << false << false << 0.0 << QList<int>{10001}
            << "Video (output.avi) created with 1 frame: it stops before pic_10007.jpg, which is "
               "missing."
            << "25/1";
        QTest::newRow("a frame that vanished is left out")
            << QList<int>{10007, 10001, 10003} << true << false << 0.0 << QList<int>{10001, 10003}
            << "Video (output.avi) created, complete with 2 frames; 1 frame left out."
            << "25/1";
        QTest::newRow("deflickered") << QList<int>{10004, 10001, 10002} << false << true << 0.0
                                     << QList<int>{10004, 10001, 10002} << created << "25/1";
        QTest::newRow("length counts the listed frames")
            << QList<int>{10001, 10003, 10005} << false << false << 2.0
            << QList<int>{10001, 10003, 10005} << created << "3/2";
    }

    void writesTheListedFramesInTheirOrder() {
        QFETCH(QList<int>, listed);
        QFETCH(bool, skipBad);
        QFETCH(bool, deflicker);
        QFETCH(double, lengthSeconds);
        QFETCH(QList<int>, written);
        QFETCH(QString, message);
        QFETCH(QString, rate);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        VideoRange range{frames.Dir(), 0, 0, 1, {}, {}};
        range.frameNumbers.assign(listed.begin(), listed.end());
        range.options.skipBad = skipBad;
        range.options.deflicker = deflicker;
        range.options.lengthSeconds = lengthSeconds;
        QList<int> positions;
        {
            VideoAssembly assembly(range);
            QVERIFY(!assembly.ProbeFirstFrame());
            QVERIFY(!assembly.Open(AvailableCompressors().front()));
            const AssemblyResult result = assembly.Run([&](const VideoAssembly::Pass& pass) {
                positions << pass.position;
                return true;
            });
            QCOMPARE(QString::fromStdString(ClosingMessage(result, frames.Dir())), message);
        }
        QVERIFY(std::is_sorted(positions.begin(), positions.end()));
        QCOMPARE(positions.last() == VideoAssembly::kProgressRange,
                 !message.contains("stops before"));
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("nb_read_frames"), QString::number(written.size()));
        QCOMPARE(probe.value("r_frame_rate"), rate);
        if (!deflicker) {
            QCOMPARE(FramesIn(frames.VideoPath()), written);
        }
        QCOMPARE(frames.Leftovers(), QStringList());
    }

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
        QTest::newRow("width of one pixel")
            << dir + QStringList{"--end", "3", "--width", "1"} << QByteArray() << size << false << 2
            << "--width" << -1;
        for (const char* name :
             {"sub/.clip.mp4", "sub/", ".clip.mp4", "clip.mkv", ".mp4", "two\nlines.mp4"}) {
            QTest::newRow(name) << dir + QStringList{"--end", "3", "--output", name} << QByteArray()
                                << size << false << 2 << "--output" << -1;
        }
        QTest::newRow("path into a folder that does not exist")
            << dir + QStringList{"--end", "3", "--output", "%1none/clip.mp4"} << QByteArray()
            << size << false << 12 << "none/clip.mp4 (No such file or directory)!" << -1;
        // %1full/ is a folder on a full disk: what could not be written is named, and why.
        QTest::newRow("MP4 on a full disk")
            << dir + QStringList{"--end", "3", "--output", "%1full/clip.mp4"} << QByteArray()
            << size << false << 12
            << "Can't create %1full/clip.mp4 (cannot write the file: No space left on device)!"
            << -1;
        QTest::newRow("AVI on a full disk")
            << dir + QStringList{"--end", "3", "--output", "%1full/clip.avi"} << QByteArray()
            << size << false << 12
            << "Can't write %1full/clip.avi (cannot write the file: No space left on device)!"
            << -1;
        QTest::newRow("longest file name")
            << dir + QStringList{"--end", "3", "--output", QString(251, 'v') + ".avi"}
            << QByteArray() << size << false << 0 << QString() << -1;
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
            << dir + QStringList{"--end", "3", "--fps", "1e-300"} << QByteArray() << size << false
            << 2 << "--fps" << -1;
        QTest::newRow("settings value too long to read")
            << QStringList{"--end", "3"} << "AUTO_START_DIR=/" + QByteArray(300, 'a') + "\n"
            << size << false << 3 << "AUTO_START_DIR" << -1;
        QTest::newRow("hook too long to read")
            << QStringList{"--end", "3"}
            << "AUTO_START_DIR=%1\nAUTO_START_FRAME_COUNT=3\nON_VIDEO=touch " +
                   QByteArray(4096, 'a') + "\n"
            << size << false << 15 << "ON_VIDEO is too long to read (at most 4095 bytes)" << -1;
        QTest::newRow("even deflicker window")
            << dir + QStringList{"--end", "3", "--deflicker-window", "14"} << QByteArray() << size
            << false << 2 << "--deflicker-window takes an odd" << -1;
        QTest::newRow("deflicker window of one frame")
            << dir + QStringList{"--end", "3", "--deflicker", "--deflicker-window", "1"}
            << QByteArray() << size << false << 2 << "--deflicker-window" << -1;
        QTest::newRow("two modes at once")
            << dir + QStringList{"--end", "3", "--take-frame"} << QByteArray() << size << false << 2
            << "cannot be used together" << -1;
        // A value of the right form says what is wrong with it.
        QTest::newRow("a name without its stem")
            << dir + QStringList{"--end", "3", "--output", ".avi"} << QByteArray() << size << false
            << 2 << "vorn: --output: the video's name is empty (nothing before .avi)\n"
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
        QTest::newRow("day start")
            << QStringList() << folder + "DAY_STARTS_AT=25:00\n"
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
        for (const QStringList& choice :
             {QStringList{"--list"}, QStringList{"--day", "2026-06-01"}}) {
            QTest::addRow("missing folder %s", qPrintable(choice.first()))
                << QStringList{"--dir", "%1none"} + choice << QByteArray() << size << false << 10
                << "vorn: Error. Can't read the folder %1none/ (No such file or directory)!\n"
                << -1;
        }
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

private:
    QProcess m_sessionBus;
};

QTEST_MAIN(VideoMakerTest)
#include "test_video_maker.moc"
