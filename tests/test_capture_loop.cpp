#include <linux/videodev2.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <chrono>
#include <fstream>
#include <semaphore>
#include <thread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "capture/CaptureLoop.h"
#include "capture/DeviceLock.h"
#include "capture/ThreadCount.h"
#include "frames/FrameFile.h"
#include "res/Strings.h"
#include "res/Version.h"
#include "support/DialogBench.h"
#include "support/FakeFreeSpace.h"

using namespace std::chrono_literals;

namespace {

const QString kSourceEnded = QString::fromStdString(CaptureEndMessage(CaptureEnd::SourceEnded));
const QString kSourceLost = QString::fromStdString(CaptureEndMessage(CaptureEnd::SourceLost));

// A camera that cannot be opened is told as such, never as a success.
constexpr char kNoCameraLog[] = "Acquiring capture device...failed\n";
constexpr char kFullLog[] =
    "Acquiring capture device...successful\n"
    "Attempting to release capture...successful\n"
    "Attempting to close window...successful\n";

// Where the timestamp is drawn: its base line is at y 60 from x 10.
const cv::Rect kTimestampArea(10, 45, 140, 18);

// How many pixels of `area` are more than `tolerance` away from `colour` in some channel.
int PixelsAway(const cv::Mat& image, const cv::Rect& area, const cv::Scalar& colour,
               int tolerance) {
    int away = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            const cv::Vec3b pixel = image.at<cv::Vec3b>(y, x);
            for (int channel = 0; channel < 3; ++channel) {
                if (std::abs(pixel[channel] - colour[channel]) > tolerance) {
                    ++away;
                    break;
                }
            }
        }
    }
    return away;
}

// True when the JPEG at `path` shows frame `index` of the synthetic camera (its centre, where no
// timestamp is drawn).
bool ShowsFrame(const QString& path, int index) {
    const cv::Mat image = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    if (image.empty()) {
        return false;
    }
    const cv::Rect centre(image.cols / 2 - 4, image.rows / 2 - 4, 8, 8);
    return PixelsAway(image, centre, SyntheticCamera::FrameColour(index), 10) == 0;
}

// The tags exiftool reads from the file at `path`, by name.
QJsonObject ExifToolTags(const QString& path) {
    QProcess exiftool;
    exiftool.start("exiftool", {"-j", "-DateTimeOriginal", "-OffsetTimeOriginal",
                                "-SubSecTimeOriginal", "-Software", "-Make", "-Model", path});
    if (!exiftool.waitForFinished(30000) || exiftool.exitCode() != 0) {
        return {};
    }
    return QJsonDocument::fromJson(exiftool.readAllStandardOutput()).array().at(0).toObject();
}

// A tag as text, whether exiftool wrote it as a string or a number.
QString TagText(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString();
}

qint64 FileTimeMs(const QString& path) {
    return QFileInfo(path).lastModified().toMSecsSinceEpoch();
}

qint64 UtcMs(int year, int month, int day, int hour, int minute, int second, int ms) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC)
        .toMSecsSinceEpoch();
}

// Sets the process's time zone for the object's life.
class TimeZoneSet {
public:
    explicit TimeZoneSet(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")) {
        m_before = qgetenv("TZ");
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneSet() {
        if (m_had) {
            qputenv("TZ", m_before);
        } else {
            qunsetenv("TZ");
        }
        ::tzset();
    }
    TimeZoneSet(const TimeZoneSet&) = delete;
    TimeZoneSet& operator=(const TimeZoneSet&) = delete;

private:
    bool m_had;
    QByteArray m_before;
};

// A dialog whose runs are started and stopped as the Start/Stop button does.
struct LoopBench : DialogBench {
    explicit LoopBench(cv::Size frameSize = {320, 240}) : DialogBench(QByteArray(), frameSize) {}

    void Start(std::vector<int> agreedFrames = {}) {
        dlg->Session().m_capture->m_frameCounter = 10000;
        dlg->Session().m_capture->m_running = true;
        QVERIFY(dlg->Session().StartCaptureThread(std::move(agreedFrames)));
    }
    void Stop() {
        dlg->Session().m_capture->m_running = false;
        dlg->Session().StopCaptureThread();
        QVERIFY(dlg->Session().WaitForCaptureThread(10000));
    }
    // A whole run that ends when the camera fails after `grabs` grabs, each pass 0.25 s long.
    void RunToCameraFailure(int grabs, float delay = 0.5f) {
        clock.SetSleepAdvance(250ms);
        camera->FailGrabsAfter(grabs);
        dlg->Session().m_capture->m_captureDelay = delay;
        Start();
        QVERIFY(dlg->Session().WaitForCaptureThread(10000));
        Stop();
        QVERIFY(answerer.WaitForMessages(1));  // the end of the source is told
    }
    // Waits until the loop has made `passes` more grabs. After two, a whole pass has seen what
    // was set before the call; after three, that pass has also finished saving.
    bool WaitForPasses(int passes) {
        const int target = camera->GrabCount() + passes;
        return QTest::qWaitFor([&] { return camera->GrabCount() >= target; }, 10000);
    }
    // Waits until frame `number` has been saved and its pass is over.
    bool WaitForFrame(int number) {
        return QTest::qWaitFor([&] { return dlg->Session().GetFrameCounter() >= number; }, 10000) &&
               WaitForPasses(2);
    }
};

}  // namespace

class CaptureLoopTest : public QObject {
    Q_OBJECT

private slots:
    // Other tests tell frames apart by their colours.
    void initTestCase() {
        for (int index = 0; index < 300; ++index) {
            const cv::Scalar a = SyntheticCamera::FrameColour(index);
            const cv::Scalar b = SyntheticCamera::FrameColour(index + 1);
            for (int channel = 0; channel < 3; ++channel) {
                QVERIFY(std::abs(a[channel] - b[channel]) >= 32);
            }
        }
    }

    void init() { DropLeftoverKeys(); }

    void savesOnceTheAccountExceedsTheDelay_data() {
        QTest::addColumn<float>("delay");
        QTest::addColumn<int>("grabs");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<QList<int>>("savedFrames");
        // Each pass adds 0.25 s; the first adds nothing, as no time passes before it.
        QTest::newRow("account equal to the delay") << 0.5f << 3 << -1 << QList<int>{};
        QTest::newRow("first frame once the account is over") << 0.5f << 4 << -1 << QList<int>{3};
        QTest::newRow("time beyond the delay carries over") << 0.5f << 6 << -1 << QList<int>{3, 5};
        QTest::newRow("delay 0 saves on every pass") << 0.0f << 4 << -1 << QList<int>{1, 2, 3};
        QTest::newRow("missing frame saves nothing") << 0.5f << 6 << 3 << QList<int>{4, 5};
    }

    void savesOnceTheAccountExceedsTheDelay() {
        QFETCH(float, delay);
        QFETCH(int, grabs);
        QFETCH(int, dropped);
        QFETCH(QList<int>, savedFrames);
        LoopBench bench;
        if (dropped >= 0) {
            bench.camera->DropFrame(dropped);
        }
        bench.RunToCameraFailure(grabs, delay);

        QCOMPARE(FrameFiles(bench.frameDir.path()).size(), savedFrames.size());
        for (int i = 0; i < savedFrames.size(); ++i) {
            QVERIFY2(ShowsFrame(bench.FramePath(10001 + i), savedFrames[i]),
                     qPrintable(bench.FramePath(10001 + i)));
        }
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000 + savedFrames.size());
        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(), QStringList{kSourceEnded});
    }

    void sleepsASecondOnlyForDelaysAboveAThousandSeconds_data() {
        QTest::addColumn<float>("delay");
        QTest::addColumn<int>("sleepMs");
        QTest::newRow("exactly 1000") << 1000.0f << 10;
        QTest::newRow("1000.1") << 1000.1f << 1000;
    }

    void sleepsASecondOnlyForDelaysAboveAThousandSeconds() {
        QFETCH(float, delay);
        QFETCH(int, sleepMs);
        LoopBench bench;
        bench.camera->FailGrabsAfter(3);
        bench.dlg->Session().m_capture->m_captureDelay = delay;

        bench.Start();
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        bench.Stop();
        QVERIFY(bench.answerer.WaitForMessages(1));

        // Only the sleeps move the clock: one for each pass that grabbed a frame.
        QCOMPARE(bench.clock.SleepCount(), 3);
        QCOMPARE(bench.clock.Counter(), 3 * sleepMs * ManualClock::kFrequency / 1000);
    }

    // Two seconds piled up under a delay of 10; lowering the delay to 0.5 makes the next passes
    // save one frame each until the account is down to the delay. Pause does not hold that back.
    void loweredDelaySavesTheBacklogOnePerPass_data() {
        QTest::addColumn<bool>("paused");
        QTest::newRow("running") << false;
        QTest::newRow("paused") << true;
    }

    void loweredDelaySavesTheBacklogOnePerPass() {
        QFETCH(bool, paused);
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 10.0f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.clock.Advance(2s);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);

        bench.dlg->Session().m_capture->m_paused = paused;
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        QVERIFY(bench.WaitForFrame(10003));
        QVERIFY(bench.WaitForPasses(3));
        bench.Stop();

        QCOMPARE(FrameFiles(bench.frameDir.path()).size(), 3);
        int first = 0;
        while (first < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10001), first)) {
            ++first;
        }
        QVERIFY(ShowsFrame(bench.FramePath(10002), first + 1));
        QVERIFY(ShowsFrame(bench.FramePath(10003), first + 2));
    }

    // A source that stalls for less than the stall limit: one frame stands for the time missed,
    // and the next follows a full delay later.
    void noBurstAfterAStall() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 1.0f;
        bench.Start();
        QVERIFY(bench.WaitForFrame(10001));
        const int before = bench.dlg->Session().GetFrameCounter();
        bench.clock.Advance(3s);
        // The pass that saw the stall, then four of 0.25 s: one frame, the next not yet due.
        QVERIFY(bench.WaitForPasses(4));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), before + 1);
        QVERIFY(bench.WaitForPasses(4));
        bench.Stop();
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), before + 2);
    }

    // Outside the schedule the run stays on and saves nothing, and the window learns when the next
    // frame is due; the schedule opens by itself, with one frame for the time it was closed and
    // the next a full delay later.
    void scheduleHoldsFramesUntilItOpens() {
        LoopBench bench;
        VornSession& session = bench.dlg->Session();
        bench.clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(21, 59, 50)).toMSecsSinceEpoch());
        bench.clock.SetSleepAdvance(250ms);
        session.m_saveConditions.schedule =
            CaptureSchedule(DailyHours{22 * 60, 23 * 60}, false, 0, 0);
        session.m_capture->m_captureDelay = 1.0f;
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return session.WaitingFor() == "22:00"; }, 10000));
        QVERIFY2(bench.dlg->windowTitle().endsWith("next frame at 22:00"),
                 qPrintable(bench.dlg->windowTitle()));
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(bench.clock.WallMs() >=
                QDateTime(QDate(2024, 6, 1), QTime(22, 0)).toMSecsSinceEpoch());
        QVERIFY(QTest::qWaitFor([&] { return session.WaitingFor().isEmpty(); }, 10000));
        QVERIFY(!bench.dlg->windowTitle().contains("schedule"));
        QVERIFY(bench.WaitForFrame(10002));
        bench.Stop();
        // The second frame is the fourth pass (a second) after the first, not the next one.
        int first = 0;
        while (first < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10001), first)) {
            ++first;
        }
        QVERIFY(first >= 40);  // ten seconds of passes before 22:00
        int second = first;
        while (second < bench.camera->GrabCount() && !ShowsFrame(bench.FramePath(10002), second)) {
            ++second;
        }
        QCOMPARE(second, first + 4);
        QVERIFY(bench.answerer.Messages().isEmpty());
    }

    // A run started from the window reads the schedule afresh, and a bad value is refused with
    // its key before anything starts.
    void badSettingKeepsTheRunFromStarting() {
        LoopBench bench;
        bench.settings.WriteValues(SettingsValues() + "CAPTURE_HOURS=7-19\n");
        QVERIFY(!bench.dlg->Session().StartRun({}));
        QVERIFY(!bench.dlg->Session().IsRunning());
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages().front().contains("CAPTURE_HOURS=7-19"),
                 qPrintable(bench.answerer.Messages().front()));
    }

    // Below the free-space floor saving pauses with one message, however many frames fall due,
    // and resumes by itself once there is space again.
    void freeSpaceFloorPausesSavingWithOneMessage() {
        FakeFreeSpace freeSpace;  // outlives the run
        LoopBench bench;
        VornSession& session = bench.dlg->Session();
        session.SetFreeSpaceProbe(freeSpace);
        session.m_saveConditions.minFreeMb = 200;
        freeSpace.SetFreeMb(150);
        bench.clock.SetSleepAdvance(250ms);
        session.m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.answerer.WaitForMessages(1));
        QVERIFY(QTest::qWaitFor([&] { return freeSpace.Probes() >= 4; }, 10000));
        QCOMPARE(session.GetFrameCounter(), 10000);
        freeSpace.SetFreeMb(250);
        QVERIFY(bench.WaitForFrame(10002));
        bench.Stop();
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages().front().contains("200 MB"),
                 qPrintable(bench.answerer.Messages().front()));
        // Whole frames only, numbered from the first.
        const QStringList files = QDir(bench.frameDir.path()).entryList(QDir::Hidden | QDir::Files);
        QCOMPARE(files, FrameFiles(bench.frameDir.path()));
        QCOMPARE(files.size(), session.GetFrameCounter() - 10000);
    }

    // latest.jpg is replaced after every frame; a reader at any moment finds a whole JPEG.
    void latestFrameIsAlwaysWhole() {
        LoopBench bench;
        VornSession& session = bench.dlg->Session();
        session.m_saveConditions.latestFrame = true;
        bench.clock.SetSleepAdvance(250ms);
        session.m_capture->m_captureDelay = 0.0f;
        const std::string latest = QDir(bench.frameDir.path()).filePath("latest.jpg").toStdString();
        std::atomic<bool> reading{true};
        std::atomic<int> reads{0};
        std::atomic<int> broken{0};
        std::thread reader([&] {
            std::vector<uchar> bytes;
            while (reading) {
                if (ReadFrameBytes(latest, bytes)) {
                    ++reads;
                    broken += WalkJpeg(bytes).state != JpegLayout::State::Whole;
                }
            }
        });
        bench.Start();
        QVERIFY(bench.WaitForFrame(10030));
        bench.Stop();
        reading = false;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(broken.load(), 0);
        QFile last(bench.FramePath(session.GetFrameCounter()));
        QFile copy(QString::fromStdString(latest));
        QVERIFY(last.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), last.readAll());
        QCOMPARE(QDir(bench.frameDir.path()).entryList(QDir::Hidden | QDir::Files).size(),
                 session.GetFrameCounter() - 10000 + 1);
    }

    // Frames there at Start that the user agreed to replace are replaced; a file under any other
    // number is kept, the run goes on with the next free number and says so once.
    void filesNotAgreedToAreKept() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.0f;
        for (int number : {10001, 10003, 10005}) {
            QFile file(bench.FramePath(number));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier") == 7);
        }
        bench.Start({10001});
        QVERIFY(bench.WaitForFrame(10006));
        bench.Stop();

        QVERIFY(ShowsFrame(bench.FramePath(10001), 1));
        for (int number : {10003, 10005}) {
            QFile file(bench.FramePath(number));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("earlier"));
        }
        QVERIFY(ShowsFrame(bench.FramePath(10004), 3));
        QVERIFY(ShowsFrame(bench.FramePath(10006), 4));
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages().front().contains("pic_10003.jpg"),
                 qPrintable(bench.answerer.Messages().front()));
    }

    void pauseKeepsTimeOutOfTheAccount() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.dlg->Session().m_capture->m_paused = true;
        bench.clock.Advance(5s);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);

        bench.dlg->Session().m_capture->m_paused = false;
        bench.clock.Advance(250ms);
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);
        bench.clock.Advance(300ms);
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(bench.WaitForPasses(3));
        bench.Stop();

        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QCOMPARE(FrameFiles(bench.frameDir.path()), QStringList{"pic_10001.jpg"});
    }

    void timestampMarksTheTextAreaOfSavedFrames_data() {
        QTest::addColumn<bool>("showTimestamp");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }

    void timestampMarksTheTextAreaOfSavedFrames() {
        QFETCH(bool, showTimestamp);
        LoopBench bench;
        bench.dlg->Session().m_capture->m_showTimestamp = showTimestamp;
        bench.RunToCameraFailure(4);

        // The one frame saved is frame 3, dark enough for white text to stand out.
        const cv::Mat saved = cv::imread(bench.FramePath(10001).toStdString());
        QVERIFY(!saved.empty());
        const cv::Scalar colour = SyntheticCamera::FrameColour(3);
        const int marked = PixelsAway(saved, kTimestampArea, colour, 64);
        QVERIFY2(showTimestamp ? marked > 50 : PixelsAway(saved, kTimestampArea, colour, 16) == 0,
                 qPrintable(QString::number(marked)));
        // Nothing is drawn below the text.
        const cv::Rect below(0, 70, saved.cols, saved.rows - 70);
        QCOMPARE(PixelsAway(saved, below, colour, 16), 0);
    }

    // A saved frame tells when it was grabbed by the program's clock, in its EXIF (read back by
    // another program) and in its file time; the camera's maker and model when it names them.
    void savedFrameCarriesItsCaptureTime_data() {
        QTest::addColumn<qint64>("grabbedAtMs");
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("dateTime");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("winter, a camera that names itself")
            << UtcMs(2026, 1, 15, 7, 30, 0, 3) << "Logitech"
            << "HD Pro Webcam C920"
            << "2026:01:15 08:30:00"
            << "+01:00" << QByteArray("Europe/Berlin");
        QTest::newRow("the first moment of summer time, a source without a name")
            << UtcMs(2026, 3, 29, 1, 0, 0, 3) << ""
            << ""
            << "2026:03:29 03:00:00"
            << "+02:00" << QByteArray("Europe/Berlin");
        // EXIF's offset has no seconds: the local time is written in the offset as written.
        QTest::newRow("a zone whose offset has seconds") << UtcMs(2026, 1, 15, 7, 30, 0, 3) << ""
                                                         << ""
                                                         << "2026:01:15 08:23:00"
                                                         << "+00:53" << QByteArray("XST-0:53:28");
    }

    void savedFrameCarriesItsCaptureTime() {
        QFETCH(qint64, grabbedAtMs);
        QFETCH(QString, make);
        QFETCH(QString, model);
        QFETCH(QString, dateTime);
        QFETCH(QString, offset);
        QFETCH(QByteArray, zone);
        const TimeZoneSet zoneSet(zone.constData());
        LoopBench bench;
        bench.camera->SetIdentity({make.toStdString(), model.toStdString()});
        // The one frame saved is grabbed in the fourth pass, three passes of 0.25 s on.
        bench.clock.SetWallMs(grabbedAtMs - 750);
        bench.dlg->Session().m_saveConditions.latestFrame = true;
        bench.RunToCameraFailure(4);

        for (const QString& path :
             {bench.FramePath(10001), bench.frameDir.filePath(kLatestFrameName)}) {
            const QJsonObject tags = ExifToolTags(path);
            QCOMPARE(TagText(tags, "DateTimeOriginal"), dateTime);
            QCOMPARE(TagText(tags, "OffsetTimeOriginal"), offset);
            QCOMPARE(TagText(tags, "SubSecTimeOriginal"), QString("003"));
            QCOMPARE(TagText(tags, "Software"), QString("Vorn " VORN_VERSION));
            QCOMPARE(TagText(tags, "Make"), make);
            QCOMPARE(TagText(tags, "Model"), model);
            QCOMPARE(FileTimeMs(path), grabbedAtMs);
        }
        const std::optional<CaptureTime> read =
            ReadExifCaptureTime(bench.FramePath(10001).toStdString());
        QVERIFY(read);
        QCOMPARE(read->ms, grabbedAtMs);
        QCOMPARE(read->utcOffsetSeconds,
                 offset.mid(1, 2).toInt() * 3600 + offset.mid(4, 2).toInt() * 60);
    }

    // The time of each frame of a folder: its EXIF's; the file time of a frame without (and the
    // zone's offset then); a time without an offset is read in the zone of this machine. A frame
    // that is not there is left out.
    void framesAreTimedByTheirExifElseTheirFileTimes() {
        const TimeZoneSet berlin("Europe/Berlin");
        QTemporaryDir folder;
        const std::string dir = folder.path().toStdString() + "/";
        const cv::Mat picture(48, 64, CV_8UC3, cv::Scalar(40, 80, 120));
        const CaptureTime stamped{UtcMs(2026, 10, 25, 0, 59, 59, 999), 7200};
        int number = 10001;
        QCOMPARE(SaveFrameAtFirstFree(dir, picture, {stamped, "", ""}, number,
                                      [](int) { return false; }),
                 FrameSave::Saved);
        for (int plain : {10002, 10003}) {
            QVERIFY(cv::imwrite(FramePath(dir, plain), picture));
        }
        const qint64 fileTimeMs = UtcMs(2026, 10, 25, 1, 0, 0, 250);  // 02:00 CET, again
        QFile plainFile(QString::fromStdString(FramePath(dir, 10002)));
        QVERIFY(plainFile.open(QIODevice::ReadWrite) &&
                plainFile.setFileTime(QDateTime::fromMSecsSinceEpoch(fileTimeMs),
                                      QFileDevice::FileModificationTime));
        plainFile.close();
        QProcess exiftool;
        exiftool.start("exiftool",
                       {"-q", "-overwrite_original", "-DateTimeOriginal=2026:07:01 12:00:00",
                        QString::fromStdString(FramePath(dir, 10003))});
        QVERIFY(exiftool.waitForFinished(30000) && exiftool.exitCode() == 0);

        const FrameTimes times = ReadFrameTimes(dir, {10001, 10002, 10003, 10004});
        QCOMPARE(times.frames, (std::vector<TimedFrame>{
                                   {10001, stamped},
                                   {10002, {fileTimeMs, 3600}},
                                   {10003, {UtcMs(2026, 7, 1, 10, 0, 0, 0), 7200}},
                               }));
        QCOMPARE(times.fromFileTimes, 1);
        QCOMPARE(QString::fromStdString(FileTimesNotice(times)),
                 QString("1 frame has no capture time in it; its file time was used"));
        QCOMPARE(QString::fromStdString(FileTimesNotice({{}, 312})),
                 QString("312 frames have no capture time in them; their file times were used"));
        QCOMPARE(FileTimesNotice({times.frames, 0}), std::string());

        // A season's folder is read in parts: each frame keeps its own time, in order.
        std::vector<uchar> plain;
        QVERIFY(cv::imencode(".jpg", picture, plain));
        std::vector<int> numbers;
        for (int number = 20001; number <= 22500; ++number) {
            std::vector<uchar> bytes = plain;
            QVERIFY(number % 2 == 0 || AddExif(bytes, {LocalCaptureTime(number * 1000LL), "", ""}));
            std::ofstream(FramePath(dir, number), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            numbers.push_back(number);
        }
        const FrameTimes season = ReadFrameTimes(dir, numbers);
        QCOMPARE(season.frames.size(), numbers.size());
        QCOMPARE(season.fromFileTimes, 1250);
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            QCOMPARE(season.frames[i].number, numbers[i]);
            QVERIFY(numbers[i] % 2 == 0 || season.frames[i].time.ms == numbers[i] * 1000LL);
        }
    }

    // An EXIF date that is no real date, or lies outside the years 1970 to 2200 (a camera clock
    // never set), is no capture time: the file time is used, and counted.
    void exifDateIsACaptureTimeOnlyWhenItCanBe_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<qint64>("timeMs");  // -1: the file time
        QTest::newRow("a leap day") << "2028:02:29 12:00:00" << UtcMs(2028, 2, 29, 11, 0, 0, 0);
        QTest::newRow("the first year") << "1970:01:01 01:00:00" << qint64(0);
        QTest::newRow("the last year")
            << "2200:12:31 23:59:59" << UtcMs(2200, 12, 31, 22, 59, 59, 0);
        QTest::newRow("February 30") << "2026:02:30 12:00:00" << qint64(-1);
        QTest::newRow("February 29 of a common year") << "2100:02:29 12:00:00" << qint64(-1);
        QTest::newRow("month 13") << "2026:13:01 12:00:00" << qint64(-1);
        QTest::newRow("before 1893") << "1892:12:31 23:59:59" << qint64(-1);
        QTest::newRow("year 0000") << "0000:01:01 00:00:00" << qint64(-1);
        QTest::newRow("after 2200") << "2201:01:01 00:00:00" << qint64(-1);
    }

    void exifDateIsACaptureTimeOnlyWhenItCanBe() {
        QFETCH(QString, written);
        QFETCH(qint64, timeMs);
        const TimeZoneSet berlin("Europe/Berlin");
        QTemporaryDir folder;
        const std::string dir = folder.path().toStdString() + "/";
        const QString path = QString::fromStdString(FramePath(dir, 10001));
        QVERIFY(cv::imwrite(path.toStdString(), cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 80, 120))));
        QProcess exiftool;  // as written, unchecked
        exiftool.start("exiftool",
                       {"-q", "-overwrite_original", "-DateTimeOriginal#=" + written, path});
        QVERIFY(exiftool.waitForFinished(30000) && exiftool.exitCode() == 0);
        const qint64 fileTimeMs = UtcMs(2026, 6, 1, 10, 0, 0, 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::fromMSecsSinceEpoch(fileTimeMs),
                                 QFileDevice::FileModificationTime));
        file.close();

        const FrameTimes times = ReadFrameTimes(dir, {10001});
        QCOMPARE(times.frames.size(), std::size_t{1});
        QCOMPARE(times.frames[0].time.ms, timeMs < 0 ? fileTimeMs : timeMs);
        QCOMPARE(times.fromFileTimes, timeMs < 0 ? 1 : 0);
    }

    void localTimeTextIsMonthDayYearAnd24HourTimeOfTheProgramsClock() {
        ManualClock clock;
        clock.SetWallMs(QDateTime(QDate(2010, 12, 31), QTime(23, 59, 59, 999)).toMSecsSinceEpoch());
        QCOMPARE(QString::fromStdString(LocalTimeText(clock)), QStringLiteral("12/31/10 23:59:59"));
        clock.Advance(1ms);
        QCOMPARE(QString::fromStdString(LocalTimeText(clock)), QStringLiteral("01/01/11 00:00:00"));
    }

    void keyInThePreviewEndsTheLoopAndKeepsTheFrames() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.clock.Advance(750ms);
        QVERIFY(bench.WaitForFrame(10001));
        QVERIFY(QTest::qWaitFor([] { return PreviewWindow() && PreviewWindow()->isVisible(); }));
        QTRY_COMPARE(PreviewWindow()->size(), QSize(640, 480));

        QTest::keyClick(PreviewWindow(), Qt::Key_Q);
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        QTRY_VERIFY(
            !bench.dlg->Session().m_capture->m_running);  // shown stopped, without a message
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QTRY_VERIFY(!PreviewWindow());
        bench.Stop();

        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10001);
        QVERIFY(QFile::exists(bench.FramePath(10001)));
        QCOMPARE(bench.Log(), QByteArray(kFullLog));
        QVERIFY(bench.answerer.Messages().isEmpty());
    }

    // A link planted where the log goes (a shared folder) is never followed.
    void runEndsWithTheReleaseSteps_data() {
        QTest::addColumn<bool>("grabFails");
        QTest::addColumn<bool>("plantedLink");
        QTest::newRow("stopped") << false << false;
        QTest::newRow("grab failed") << true << false;
        QTest::newRow("log is a planted link") << false << true;
    }

    void runEndsWithTheReleaseSteps() {
        QFETCH(bool, grabFails);
        QFETCH(bool, plantedLink);
        LoopBench bench;
        const QString target = bench.frameDir.filePath("precious.txt");
        if (plantedLink) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("precious") == 8);
            QVERIFY(QFile::link(target, "error_log.txt"));
        }
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        if (grabFails) {
            bench.camera->FailGrabsAfter(5);
        }
        bench.Start();
        if (grabFails) {
            // The loop ends by itself, and the window shows it stopped.
            QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
            QTRY_VERIFY(!bench.dlg->Session().m_capture->m_running);
            QCOMPARE(bench.camera->GrabCount(), 6);
            QVERIFY(bench.answerer.WaitForMessages(1));
        } else {
            QVERIFY(bench.WaitForFrame(10003));
        }
        bench.Stop();

        QCOMPARE(bench.Log(), plantedLink ? QByteArray("precious") : QByteArray(kFullLog));
        QTRY_VERIFY(!PreviewWindow());
        QCOMPARE(bench.answerer.Messages(), grabFails ? QStringList{kSourceEnded} : QStringList{});
    }

    // The run's camera is held once, when the run has gone five seconds: in the pass of the 21st
    // grab, at a quarter second a pass. What it did not take is told once.
    void runLocksTheCameraOnceAfterFiveSeconds_data() {
        QTest::addColumn<bool>("refuses");
        QTest::newRow("all taken") << false;
        QTest::newRow("autofocus refused") << true;
    }

    void runLocksTheCameraOnceAfterFiveSeconds() {
        QFETCH(bool, refuses);
        LoopBench bench;
        const auto controls = FakeCameraControls::FromListing(
            VORN_SOURCE_DIR "/tests/support/v4l2-ctl-L_lifecam-studio_linux6.1.txt");
        QVERIFY(controls);
        if (refuses) {
            controls->Refuse(V4L2_CID_FOCUS_AUTO);
        }
        bench.camera->SetControls(*controls);
        bench.dlg->Session().m_cameraLock = {true, 60};

        bench.RunToCameraFailure(40);

        QCOMPARE(bench.camera->LocksAtGrabs(), std::vector<int>{21});
        // Metered from the start: three automatics on, then the lock's seven calls.
        QCOMPARE(controls->Sets().size(), std::size_t(10));
        QCOMPARE(controls->Sets().front(),
                 (ControlSetting{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY}));
        QCOMPARE(controls->Get(V4L2_CID_EXPOSURE_AUTO),
                 std::optional<std::int32_t>(V4L2_EXPOSURE_MANUAL));
        QStringList told{kSourceEnded};
        if (refuses) {
            told.append(
                "The camera did not take every value of its lock: continuous autofocus 0 "
                "(refused).");
        }
        // Both boxes are up at once in simulated time; the later is answered first.
        QVERIFY(bench.answerer.WaitForMessages(told.size()));
        QStringList messages = bench.answerer.Messages();
        messages.sort();
        told.sort();
        QCOMPARE(messages, told);
    }

    // A camera or stream that stops sending is opened again for a while; frames taken after it
    // came back go on with the next number.
    void lostCameraIsReopenedForAWhile_data() {
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("comes back") << true;
        QTest::newRow("stays away") << false;
    }

    void lostCameraIsReopenedForAWhile() {
        QFETCH(bool, comesBack);
        LoopBench bench;
        bench.camera->SetReopenable(true);
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.0f;
        bench.camera->FailGrabsAfter(4);
        // The first reopen waits until the test has brought the camera back.
        std::binary_semaphore cameraBack{0};
        int opens = 0;  // capture thread only
        if (comesBack) {
            bench.dlg->Session().SetCameraOpener(
                [&, factory = ShareCamera(bench.camera)](int, const std::string&) {
                    if (++opens == 2) {
                        cameraBack.acquire();
                    }
                    return factory();
                });
        }
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabCount() >= 5; }));
        if (comesBack) {
            bench.camera->FailGrabsAfter(-1);
            cameraBack.release();
            QVERIFY(bench.WaitForFrame(10006));
            bench.Stop();
            QVERIFY(bench.answerer.Messages().isEmpty());
            QCOMPARE(FrameFiles(bench.frameDir.path()).size(),
                     bench.dlg->Session().GetFrameCounter() - 10000);
            QVERIFY(ShowsFrame(bench.FramePath(10003), 3));
            QVERIFY(ShowsFrame(bench.FramePath(10004), 4));  // the first after the gap
        } else {
            QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
            QVERIFY(bench.answerer.WaitForMessages(1));
            QCOMPARE(bench.answerer.Messages(), QStringList{kSourceLost});
            QTRY_VERIFY(!bench.dlg->Session().m_capture->m_running);
            QCOMPARE(FrameFiles(bench.frameDir.path()).size(), 3);
            // Every two seconds for a minute, on the run's clock, after the first open.
            const auto opens = bench.opener.Requests().size();
            QVERIFY2(opens >= 29 && opens <= 32, qPrintable(QString::number(opens)));
        }
    }

    // A grab that never returns holds neither Stop nor the window's end: the run is left to end
    // by itself once its source lets go.
    void hungGrabHoldsNeitherStopNorTheDestructor() {
        LoopBench bench;
        bench.camera->HoldGrabs();
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabsHeld() == 1; }));
        bench.dlg->Session().m_capture->m_running = false;
        QVERIFY(!bench.dlg->Session().StopCaptureThread());
        bench.dlg.reset();
        QCOMPARE(CaptureThreadsAlive(), 1);
        bench.camera->ReleaseGrabs();
        QVERIFY(QTest::qWaitFor([] { return CaptureThreadsAlive() == 0; }));
        QVERIFY(FrameFiles(bench.frameDir.path()).isEmpty());  // a grab after Stop saves nothing
    }

    void noCameraTellsTheUserAndLogsTheFirstLineOnly_data() {
        QTest::addColumn<bool>("destroyDialog");
        QTest::newRow("stopped") << false;
        QTest::newRow("dialog destroyed") << true;
    }

    // The message box is shown by the capture thread, which waits for it while the UI thread
    // waits for the thread: the wait must let the box be answered.
    void noCameraTellsTheUserAndLogsTheFirstLineOnly() {
        QFETCH(bool, destroyDialog);
        LoopBench bench;
        RecordingOpener noCamera(NoCamera());
        bench.dlg->Session().SetCameraOpener(noCamera.Opener());

        bench.Start();
        if (destroyDialog) {
            bench.dlg.reset();
        } else {
            bench.Stop();
        }

        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(), QStringList{kNoCameraMessage});
        QCOMPARE(bench.Log(), QByteArray(kNoCameraLog));
        QCOMPARE(noCamera.Requests(), (std::vector<OpenRequest>{{0, ""}}));
        QCoreApplication::processEvents();
        QVERIFY(!PreviewWindow());
    }

    // Another profile holds camera 0's device: the run waits for it a while, then tells why it
    // never began, without opening the camera.
    void cameraDeviceOfAnotherProfileKeepsTheRunFromStarting() {
        LoopBench bench;
        ManualClock holderClock;
        const std::optional<DeviceLock> held =
            DeviceLock::Take("/dev/video0", "garden", holderClock, Seconds(0.0f));
        QVERIFY(held);
        bench.Start();
        QVERIFY(bench.dlg->Session().WaitForCaptureThread(10000));
        bench.Stop();
        QVERIFY(bench.answerer.WaitForMessages(1));
        QCOMPARE(bench.answerer.Messages(),
                 QStringList{QString::fromStdString(CaptureEndMessage(CaptureEnd::CameraBusy))});
        QCOMPARE(bench.Log(), QByteArray(kNoCameraLog));
        QVERIFY(bench.opener.Requests().empty());
    }

    // A slow ON_FRAME never holds the run, and runs one frame at a time: for the first frame, then
    // for the newest of those saved meanwhile, not for each.
    void slowFrameHookRunsForTheFirstAndTheNewestFrame() {
        LoopBench bench;
        // Each run writes its frame's number, then waits until the file "go" is there.
        bench.settings.WriteValues(
            SettingsValues() +
            "ON_FRAME=sh -c 'echo $VORN_FRAME >> hook.log; i=0; while [ ! -e go ] && "
            "[ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done'\n");
        const auto hookRuns = [&] {
            QFile log(bench.workDir.filePath("hook.log"));
            return log.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        bench.clock.SetSleepAdvance(250ms);
        QVERIFY(bench.dlg->Session().SetDelayTenths(5));
        QVERIFY(bench.dlg->Session().StartRun({}));
        QTRY_COMPARE_WITH_TIMEOUT(hookRuns(), QStringList{"1"}, 10000);
        QVERIFY(bench.WaitForFrame(10005));
        bench.dlg->Session().StopRun();
        const int newest = bench.dlg->Session().GetFrameCounter() - 10000;
        QFile go(bench.workDir.filePath("go"));
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        const QStringList expected{"1", QString::number(newest)};
        QTRY_COMPARE_WITH_TIMEOUT(hookRuns(), expected, 10000);
        bench.dlg.reset();  // waits for a hook still running; nothing else was waiting
        QCOMPARE(hookRuns(), expected);
    }

    // A failing ON_FRAME is told in the window once, with its status and its last words, and the
    // run goes on saving.
    void failingFrameHookIsToldOnceAndTheRunGoesOn() {
        LoopBench bench;
        bench.settings.WriteValues(SettingsValues() +
                                   "ON_FRAME=sh -c 'echo no network >&2; exit 4'\n");
        bench.clock.SetSleepAdvance(250ms);
        QVERIFY(bench.dlg->Session().SetDelayTenths(5));
        QVERIFY(bench.dlg->Session().StartRun({}));
        QVERIFY(bench.answerer.WaitForMessages(1));
        QVERIFY(bench.WaitForFrame(10004));
        bench.dlg->Session().StopRun();
        bench.dlg.reset();  // the hook that runs ends; any other is dropped
        QCoreApplication::processEvents();
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages()[0].contains(
                     "the ON_FRAME hook 'sh -c 'echo no network >&2; exit 4'' exited with status "
                     "4: no network"),
                 qPrintable(bench.answerer.Messages()[0]));
    }

    void resolutionCodeSetsWidthThenHeight_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640x480") << 640480 << 640 << 480;
        QTest::newRow("1600x1200") << 16001200 << 1600 << 1200;
        QTest::newRow("below 1000") << 999 << 0 << 999;
        QTest::newRow("10000000") << 10000000 << 10000 << 0;
        QTest::newRow("10000001") << 10000001 << 1000 << 1;
    }

    void resolutionCodeSetsWidthThenHeight() {
        QFETCH(int, code);
        QFETCH(int, width);
        QFETCH(int, height);
        LoopBench bench;
        bench.dlg->Session().m_resolution = code;
        bench.dlg->Session().m_cameraIndex = 2;  // for the auto-start capture only

        bench.RunToCameraFailure(0);

        QCOMPARE(bench.camera->PropertySets(),
                 (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, double(width)},
                                           {cv::CAP_PROP_FRAME_HEIGHT, double(height)}}));
        QCOMPARE(bench.opener.Requests(), (std::vector<OpenRequest>{{0, ""}}));
    }

    void frameWithoutFolderIsAJpegInTheCurrentFolder() {
        LoopBench bench({352, 288});
        bench.dlg->Session().SetFrameDir({});
        bench.RunToCameraFailure(4);

        const QString frame = bench.workDir.filePath("pic_10001.jpg");
        QVERIFY(QFile::exists(frame));
        const QString identify = QStandardPaths::findExecutable("identify");
        if (identify.isEmpty()) {
            QSKIP("ImageMagick's identify is not installed");
        }
        QProcess process;
        process.start(identify, {"-format", "%m %w %h", frame});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromLatin1(process.readAllStandardOutput()), QString("JPEG 352 288"));
    }

    // A failed save uses up no number, so the files have no holes; the user is told when saving
    // starts to fail, and again when it fails anew after it had recovered.
    void failedSaveKeepsItsNumberAndIsToldEachTimeItStarts() {
        LoopBench bench;
        const QString gone = bench.workDir.filePath("gone");
        const std::string goneDir = WithTrailingSeparator(gone.toStdString());
        const std::string goodDir = WithTrailingSeparator(bench.frameDir.path().toStdString());
        bench.dlg->Session().SetFrameDir(goneDir);
        bench.clock.SetSleepAdvance(0us);
        bench.dlg->Session().m_capture->m_captureDelay = 0.5f;
        bench.Start();
        QVERIFY(bench.WaitForPasses(1));
        bench.clock.Advance(750ms);
        QVERIFY(bench.answerer.WaitForMessages(1));
        QVERIFY(bench.WaitForPasses(3));
        bench.clock.Advance(500ms);  // fails again, untold
        QVERIFY(bench.WaitForPasses(3));
        QCOMPARE(bench.dlg->Session().GetFrameCounter(), 10000);

        bench.dlg->Session().SetFrameDir(goodDir);
        bench.clock.Advance(500ms);
        QVERIFY(bench.WaitForFrame(10001));
        bench.dlg->Session().SetFrameDir(goneDir);
        bench.clock.Advance(500ms);
        QVERIFY(bench.answerer.WaitForMessages(2));
        bench.dlg->Session().SetFrameDir(goodDir);
        bench.clock.Advance(500ms);
        QVERIFY(bench.WaitForFrame(10002));
        bench.Stop();

        QCOMPARE(FrameFiles(bench.frameDir.path()),
                 (QStringList{"pic_10001.jpg", "pic_10002.jpg"}));
        const QStringList messages = bench.answerer.Messages();
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].contains("pic_10001.jpg") && messages[0].contains(gone),
                 qPrintable(messages[0]));
        QVERIFY2(messages[1].contains("pic_10002.jpg"), qPrintable(messages[1]));
    }

    // Stop's wait gave up on a thread stuck in a grab, and Start came at once: the old thread ends
    // before the new one opens the camera, saves nothing after its stop, and the new run's frames
    // still count from 10001.
    void newRunWaitsForTheLastPassOfTheOldOne() {
        LoopBench bench;
        bench.clock.SetSleepAdvance(250ms);
        bench.dlg->Session().m_capture->m_captureDelay = 0.0f;
        bench.Start();
        QVERIFY(bench.WaitForFrame(10002));

        bench.camera->HoldGrabs();
        QVERIFY(QTest::qWaitFor([&] { return bench.camera->GrabsHeld() == 1; }));
        const int heldFrame = bench.camera->GrabCount();
        bench.dlg->Session().m_capture->m_running = false;
        QVERIFY(!bench.dlg->Session().WaitForCaptureThread(20));

        QTemporaryDir newFrameDir;
        std::jthread release([camera = bench.camera] {
            std::this_thread::sleep_for(50ms);
            camera->ReleaseGrabs();
        });
        bench.dlg->Session().SetFrameDir(WithTrailingSeparator(newFrameDir.path().toStdString()));
        bench.Start();
        QVERIFY(QTest::qWaitFor([&] { return bench.dlg->Session().GetFrameCounter() >= 10002; }));
        bench.Stop();

        QCOMPARE(bench.camera->MostSharesOpen(), 1);
        QCOMPARE(bench.camera->SharesOpen(), 0);
        QVERIFY(ShowsFrame(newFrameDir.filePath("pic_10001.jpg"), heldFrame + 2));
        QCOMPARE(FrameFiles(newFrameDir.path()).size(),
                 bench.dlg->Session().GetFrameCounter() - 10000);
    }

    // Runs started, changed and stopped from the UI thread as fast as it goes, some dialogs
    // destroyed mid-run; for the sanitizers to find races and use after free.
    void startsStopsAndChangesDuringRuns() {
        LoopBench bench({64, 48});
        bench.clock.SetSleepAdvance(40ms);
        QTemporaryDir otherFrameDir;
        const std::string frameDirs[] = {WithTrailingSeparator(bench.frameDir.path().toStdString()),
                                         WithTrailingSeparator(otherFrameDir.path().toStdString())};
        const float delays[] = {0.0f, 0.05f, 2000.0f, 0.1f};

        for (int round = 0; round < 8; ++round) {
            bench.Relaunch();
            CVornDlg* dlg = bench.dlg.get();
            for (int run = 0; run < 3; ++run) {
                dlg->Session().m_capture->m_frameCounter = 10000;
                dlg->Session().SetFrameDir(frameDirs[0]);
                dlg->Session().m_capture->m_running = true;
                dlg->Session().StartCaptureThread();
                for (int change = 0; change < 10; ++change) {
                    dlg->Session().m_capture->m_paused = change % 3 == 0;
                    dlg->Session().m_capture->m_showTimestamp = change % 2 == 0;
                    dlg->Session().m_capture->m_captureDelay = delays[change % 4];
                    dlg->Session().SetFrameDir(frameDirs[change / 4 % 2]);
                    QVERIFY(bench.WaitForPasses(3));
                }
                if (round % 3 == 2 && run == 2) {
                    break;  // left running for the destructor
                }
                dlg->Session().m_capture->m_running = false;
                if (run == 1) {
                    QVERIFY(dlg->Session().StopCaptureThread());
                }
            }
            bench.dlg.reset();
            QCOMPARE(bench.camera->SharesOpen(), 0);
        }

        QCOMPARE(bench.camera->MostSharesOpen(), 1);
        // Delay 0 unpaused (change 4 in the other folder, change 8 in the first) saves frames.
        QVERIFY(!FrameFiles(bench.frameDir.path()).isEmpty());
        QVERIFY(!FrameFiles(otherFrameDir.path()).isEmpty());
        // Runs that come back to a folder of earlier frames keep them, and say so; nothing fails.
        for (const QString& message : bench.answerer.Messages()) {
            QVERIFY2(message.contains("It is kept"), qPrintable(message));
        }
    }
};

QTEST_MAIN(CaptureLoopTest)
#include "test_capture_loop.moc"
