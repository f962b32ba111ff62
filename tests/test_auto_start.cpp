#include <linux/videodev2.h>
#include <sys/resource.h>

#include <QMessageBox>
#include <QScopeGuard>
#include <QtTest>
#include <chrono>
#include <climits>
#include <csignal>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "capture/BoundedCamera.h"
#include "capture/DeviceLock.h"
#include "frames/AttemptRecord.h"
#include "frames/CaptureTime.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "session/AutoStart.h"
#include "support/DialogBench.h"
#include "support/FakeFreeSpace.h"
#include "widgets/MessageBox.h"

namespace {

using namespace std::chrono_literals;

// Each pass of the capture sleeps this long on the manual clock: a quarter second is exact in a
// float, so the running time reaches 5.0 exactly after 20 passes and exceeds it after 21.
constexpr auto kPass = 250ms;
// The frame saved: the one grabbed in pass 21, counted from 0.
constexpr int kFirstFrameAfterWarmUp = 21;
constexpr int kNeverQuit = 99;

// Runs `action` inside the application's event loop, as the program runs inside its dialog's, and
// returns the loop's exit code: 0 when the code under test ended the program, kNeverQuit when it
// had not after a minute.
int RunUntilQuit(const std::function<void()>& action) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(kNeverQuit); });
    guard.start(60000);
    QTimer::singleShot(0, &guard, action);
    return QCoreApplication::exec();
}

// True when every pixel of `image` is `colour`, within what JPEG changes in a plain picture.
bool FilledWith(const cv::Mat& image, const cv::Scalar& colour) {
    if (image.empty()) {
        return false;
    }
    cv::Mat difference;
    cv::absdiff(image, colour, difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    return largest <= 6;
}

// The program launched in auto-start mode (camera 2, 320x240) with `count` frames counted.
struct Launch : DialogBench {
    explicit Launch(int count = 0, const QString& dir = "./", int autoStart = 1)
        : DialogBench(SettingsValues(count, autoStart, dir, 2, 0)) {
        clock.SetSleepAdvance(kPass);
    }
    // Start-up, then the auto-start timer's tick; the exit code of the event loop.
    int RunFirstTick() {
        dlg->OnInitDialog();
        return RunUntilQuit([this] { dlg->OnTimer(CVornDlg::kAutoStartTimer); });
    }
    QString FrameCount() const { return settings.Value("AUTO_START_FRAME_COUNT"); }
};

// Limits the size of every file the process writes for the object's life, as a full disk does:
// a write past it fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldSignal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldSignal)(int) = nullptr;
};

// One frame taken as `vorn --take-frame` takes it, into the bench's frame folder, with `count`
// frames counted so far.
struct TakeFrame : DialogBench {
    explicit TakeFrame(int count = 0) {
        settings.WriteValues(SettingsValues(count, 0, frameDir.path()));
        clock.SetSleepAdvance(kPass);
    }
    // The camera's calls bounded as the real camera's are, with short limits.
    ExitCode Take() {
        return TakeCountedFrame(BoundedOpener(opener.Opener(), 2s, 2s), clock, {}, nullptr,
                                freeSpace);
    }
    // Adds a line to the settings file.
    void AddSetting(const QByteArray& line) { settings.Write(settings.Read() + line + "\n"); }
    FakeFreeSpace freeSpace;
    QString FrameCount() const { return settings.Value("AUTO_START_FRAME_COUNT"); }
};

// Sets up the launch's `fault` (a row of launchEndsWithItsCauseAndCountsOnlyASavedFrame); `kept`
// receives the files already there that the launch must keep. False when a step fails.
bool ApplyFault(TakeFrame& launch, const QString& fault, const RecordingOpener& noCamera,
                QStringList& kept) {
    if (fault.contains('=')) {
        launch.AddSetting(fault.toUtf8());
    }
    if (fault == "no settings") {
        return QFile::remove(launch.settings.FilePath());
    } else if (fault == "no CAM_REF") {
        launch.settings.Write(launch.settings.Read().replace("CAM_REF=0\n", ""));
    } else if (fault == "long CAM_SOURCE") {
        launch.settings.Write(launch.settings.Read() + "CAM_SOURCE=" + QByteArray(4096, 's'));
    } else if (fault.startsWith("add ")) {
        launch.settings.Write(launch.settings.Read() + fault.mid(4).toUtf8() + "\n");
    } else if (fault == "read-only settings") {
        return QFile::setPermissions(launch.settings.FilePath(), QFile::ReadOwner);
    } else if (fault == "no camera") {
        launch.opener = noCamera;
    } else if (fault == "source ends") {
        launch.camera->FailGrabsAfter(3);
    } else if (fault == "empty frames") {
        for (int frame = 0; frame < 40; ++frame) {
            launch.camera->DropFrame(frame);
        }
    } else if (fault == "no folder") {
        return launch.frameDir.remove();
    } else if (fault == "frame exists") {
        kept = QStringList{launch.FramePath(10005)};
    } else if (fault == "close at 12:00") {
        launch.AddSetting("CAPTURE_HOURS=11:00-12:00");
        launch.clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(11, 59, 58)).toMSecsSinceEpoch());
    } else if (fault == "199 MB free") {
        launch.freeSpace.SetFreeMb(199);
    } else if (fault == "space used up" || fault == "MIN_FREE_MB=0") {
        launch.freeSpace.SetFreeMbFromProbe(2, 10);
    } else if (fault == "frames exist") {
        kept =
            QStringList{launch.FramePath(10001), launch.FramePath(10002), launch.FramePath(10003)};
    }
    return true;
}

}  // namespace

class AutoStartTest : public QObject {
    Q_OBJECT
private slots:
    // Only the code under test may end the loops these tests run.
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { DropLeftoverKeys(); }

    void firstFrameAfterWarmUpIsSavedAndCounted_data() {
        QTest::addColumn<QString>("settingsDir");
        QTest::addColumn<QString>("frameDir");
        QTest::addColumn<QString>("savedIn");
        const auto row = [](const char* name, QString settingsDir, QString frameDir,
                            QString savedIn) {
            QTest::newRow(name) << settingsDir << frameDir << savedIn;
        };
        row("folder without separator", "frames", "frames/", "frames");
        row("first-run default", "./", "./", ".");
        row("empty means the current folder", "", "", ".");
    }

    void firstFrameAfterWarmUpIsSavedAndCounted() {
        QFETCH(QString, settingsDir);
        QFETCH(QString, frameDir);
        QFETCH(QString, savedIn);
        Launch launch(0, settingsDir);
        QVERIFY(QDir().mkpath(savedIn));

        QCOMPARE(launch.RunFirstTick(), 0);

        QVERIFY(!launch->IsTimerActive(CVornDlg::kAutoStartTimer));
        QCOMPARE(launch.opener.Requests(), (std::vector<OpenRequest>{{2, ""}}));
        QCOMPARE(launch.camera->PropertySets(),
                 (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, 320},
                                           {cv::CAP_PROP_FRAME_HEIGHT, 240}}));
        QCOMPARE(launch->Session().GetFrameDir(), frameDir.toStdString());
        // Nothing at exactly 5.0 seconds; the frame of the next pass, and then the run ends.
        QCOMPARE(FrameFiles(savedIn), QStringList{"pic_10001.jpg"});
        QCOMPARE(launch.camera->GrabCount(), kFirstFrameAfterWarmUp + 1);
        QCOMPARE(launch.clock.SleepCount(), kFirstFrameAfterWarmUp + 1);
        const cv::Mat saved = cv::imread(QDir(savedIn).filePath("pic_10001.jpg").toStdString());
        QCOMPARE(saved.size(), cv::Size(320, 240));
        QVERIFY(FilledWith(saved, SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
        QCOMPARE(launch.FrameCount(), QString("1"));
        QCOMPARE(launch->Session().GetFrameCounter(), 10001);
        QVERIFY(!Enabled(*launch, IDC_START_STOP));
        QVERIFY(!Enabled(*launch, IDC_MAKE_VIDEO));
        QVERIFY(!PreviewWindow());
        QVERIFY(launch.answerer.Messages().isEmpty());
    }

    void nextLaunchContinuesTheNumbering() {
        Launch launch;
        QCOMPARE(launch.RunFirstTick(), 0);
        QCOMPARE(launch.FrameCount(), QString("1"));
        launch.Relaunch();
        QCOMPARE(launch.RunFirstTick(), 0);
        QCOMPARE(FrameFiles("."), (QStringList{"pic_10001.jpg", "pic_10002.jpg"}));
        QCOMPARE(launch.FrameCount(), QString("2"));
    }

    // Without a display nobody could answer a box: the launch tells its failure on standard error
    // only and ends with the failure's code.
    void missingCameraEndsWithoutABoxAndLeavesCount() {
        Launch launch(5);
        RecordingOpener noCamera(NoCamera());
        launch->Session().SetCameraOpener(noCamera.Opener());

        QCOMPARE(launch.RunFirstTick(), int(ExitCode::NoCamera));

        QVERIFY(launch.answerer.Messages().isEmpty());
        QCOMPARE(noCamera.Requests(), (std::vector<OpenRequest>{{2, ""}}));
        QCOMPARE(launch.FrameCount(), QString("5"));
        QVERIFY(FrameFiles(".").isEmpty());
        QVERIFY(!Enabled(*launch, IDC_START_STOP));
    }

    // Beside standard error, a failure goes to the box the window handed in, which shows it
    // where someone may see it.
    void failureIsHandedToTheUnattendedBox() {
        TakeFrame take;
        QStringList shown;
        const UnattendedBox previous =
            SetUnattendedBox([&](const QString& text) { shown << text; });
        RecordingOpener noCamera(NoCamera());
        const ExitCode result =
            TakeCountedFrame(noCamera.Opener(), take.clock, {}, nullptr, take.freeSpace);
        SetUnattendedBox(previous);

        QCOMPARE(result, ExitCode::NoCamera);
        QCOMPARE(shown, QStringList{QString::fromLatin1(kNoCameraMessage)});
        QVERIFY(take.answerer.Messages().isEmpty());
    }

    void runEndedDuringWarmUpSavesAndCountsNothing_data() {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("key in the preview window") << true;
        QTest::newRow("failed grab") << false;
    }

    void runEndedDuringWarmUpSavesAndCountsNothing() {
        QFETCH(bool, byKey);
        Launch launch(3);
        // The user presses a key in the preview window as soon as it is up.
        QTimer user;
        QSize shownSize;
        bool besideTheShownWindow = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (QWidget* preview = PreviewWindow(); preview && preview->isVisible()) {
                user.stop();
                shownSize = preview->size();
                besideTheShownWindow =
                    launch->isVisible() && QApplication::activeModalWidget() == nullptr;
                PressKeyFromWindowSystem(preview, Qt::Key_Q);
            }
        });
        if (byKey) {
            user.start(1);
        } else {
            launch.camera->FailGrabsAfter(3);
        }

        // The whole window, as the program runs it: not modal, so a key the window system
        // delivers to the preview reaches it.
        QCOMPARE(RunUntilQuit([&] { launch->Run(); }), int(ExitCode::NoFrame));

        QVERIFY(FrameFiles(".").isEmpty());
        QCOMPARE(besideTheShownWindow, byKey);
        QCOMPARE(launch->Session().GetFrameCounter(), 10003);
        QCOMPARE(launch.FrameCount(), QString("3"));
        QVERIFY(!PreviewWindow());
        if (byKey) {
            QCOMPARE(shownSize, QSize(320, 240));  // the camera's own size
        } else {
            QCOMPARE(launch.camera->GrabCount(), 4);
        }
    }

    // Each cause of a launch without a counted frame has its own exit code, and only a frame saved
    // completely moves the count.
    void launchEndsWithItsCauseAndCountsOnlyASavedFrame_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("countAfter");  // null: no settings file
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<bool>("cameraOpened");
        const auto row = [](const char* name, int count, QString fault, ExitCode result,
                            QString countAfter, QStringList frames, bool cameraOpened = true) {
            QTest::newRow(name) << count << fault << int(result) << countAfter << frames
                                << cameraOpened;
        };
        using R = ExitCode;
        row("saved and counted", 0, "", R::Success, "1", {"pic_10001.jpg"});
        row("last number there is", INT_MAX - 10001, "", R::Success,
            QString::number(INT_MAX - 10000), {"pic_2147483647.jpg"});
        row("count at the int limit", INT_MAX, "", R::CountOutOfRange, "2147483647", {}, false);
        row("count past the last number", INT_MAX - 10000, "", R::CountOutOfRange,
            QString::number(INT_MAX - 10000), {}, false);
        row("negative count", -1, "", R::CountOutOfRange, "-1", {}, false);
        row("no settings file", 0, "no settings", R::SettingsMissing, QString(), {}, false);
        row("camera value missing", 4, "no CAM_REF", R::SettingsMissing, "4", {}, false);
        row("camera source too long", 4, "long CAM_SOURCE", R::SettingsMissing, "4", {}, false);
        row("read-only settings file", 4, "read-only settings", R::CountNotStored, "4", {}, false);
        row("camera lock neither 0 nor 1", 4, "add CAMERA_LOCK=yes", R::BadSetting, "4", {}, false);
        row("power line neither 50 nor 60", 4, "add POWER_LINE_HZ=55", R::BadSetting, "4", {},
            false);
        row("no camera", 4, "no camera", R::NoCamera, "4", {}, false);
        row("source ends in the warm-up", 4, "source ends", R::NoFrame, "4", {});
        row("source sends only empty frames", 4, "empty frames", R::NoFrame, "4", {});
        row("frame folder missing", 4, "no folder", R::NotSaved, "4", {});
        // A launch killed between saving and counting, or a count set back by hand: the frames
        // there are kept and the count moves past them.
        row("next frame exists", 4, "frame exists", R::Success, "6",
            {"pic_10005.jpg", "pic_10006.jpg"});
        row("count set back", 0, "frames exist", R::Success, "4",
            {"pic_10001.jpg", "pic_10002.jpg", "pic_10003.jpg", "pic_10004.jpg"});
        row("disk full at the count", 4, "disk full", R::CountNotStored, "4", {});
        // A season's capture: the launch is at noon.
        row("bad capture hours", 4, "CAPTURE_HOURS=25:00-26:00", R::BadSetting, "4", {}, false);
        row("daylight without a place", 4, "CAPTURE_DAYLIGHT=1", R::BadSetting, "4", {}, false);
        row("bad free-space floor", 4, "MIN_FREE_MB=lots", R::BadSetting, "4", {}, false);
        row("outside the hours", 4, "CAPTURE_HOURS=22:00-04:00", R::OutsideSchedule, "4", {},
            false);
        row("inside the hours", 4, "CAPTURE_HOURS=11:00-13:00", R::Success, "5", {"pic_10005.jpg"});
        row("hours close during the warm-up", 4, "close at 12:00", R::OutsideSchedule, "4", {});
        row("below the default floor of 200 MB", 4, "199 MB free", R::LowFreeSpace, "4", {}, false);
        row("space used up in the warm-up", 4, "space used up", R::LowFreeSpace, "4", {});
        row("floor switched off", 4, "MIN_FREE_MB=0", R::Success, "5", {"pic_10005.jpg"});
    }

    void launchEndsWithItsCauseAndCountsOnlyASavedFrame() {
        QFETCH(int, count);
        QFETCH(QString, fault);
        QFETCH(int, result);
        QFETCH(QString, countAfter);
        QFETCH(QStringList, frames);
        QFETCH(bool, cameraOpened);
        TakeFrame launch(count);
        launch.clock.SetWallMs(QDateTime(QDate(2024, 6, 1), QTime(12, 0)).toMSecsSinceEpoch());
        QStringList kept;
        RecordingOpener noCamera(NoCamera());
        QVERIFY(ApplyFault(launch, fault, noCamera, kept));
        for (const QString& path : kept) {
            QFile existing(path);
            QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("kept") == 4);
        }
        // The file system fills up between the frame and the count: the settings file, made
        // larger than what is left, cannot be written whole.
        std::optional<FileSizeLimit> diskFull;
        const QByteArray settingsBefore =
            launch.settings.Read() + (fault == "disk full" ? "; " + QByteArray(64000, 'x') : "");
        if (fault == "disk full") {
            launch.settings.Write(settingsBefore);
            diskFull.emplace(32000);
        }

        QStringList told;
        const UnattendedBox box = SetUnattendedBox([&](const QString& text) { told << text; });
        const auto restoreBox = qScopeGuard([&] { SetUnattendedBox(box); });
        QCOMPARE(int(launch.Take()), result);
        diskFull.reset();

        QCOMPARE(launch.FrameCount(), countAfter);
        QCOMPARE(FrameFiles(launch.frameDir.path()), frames);
        QStringList files = QDir(launch.frameDir.path()).entryList(QDir::Hidden | QDir::Files);
        // The launch's outcome, once it knew its folder: its code and the line it told.
        const std::optional<Attempt> record =
            ReadAttempt(launch.frameDir.path().toStdString(), AttemptKind::Capture);
        QCOMPARE(record.has_value(), fault != "no settings" && fault != "no folder");
        QCOMPARE(files.removeOne(AttemptFileName(AttemptKind::Capture)), record.has_value());
        QCOMPARE(files.size(), frames.size());  // no temporary file left behind
        if (record) {
            QCOMPARE(record->exitCode, result);
            QCOMPARE(record->timeMs, launch.clock.WallMs());
            const QString message = QString::fromStdString(record->message);
            if (result == 0) {
                QCOMPARE(message, "saved frame " + frames.last());
            } else if (told.isEmpty()) {  // told on standard error alone
                QVERIFY2(message.startsWith("outside the capture schedule, so no frame was taken; "
                                            "it opens next at "),
                         qPrintable(message));
            } else {
                QCOMPARE(message, told.last());
            }
        }
        QCOMPARE(launch.camera->GrabCount() > 0, cameraOpened);
        for (const QString& path : kept) {
            QFile existing(path);
            QVERIFY(existing.open(QIODevice::ReadOnly));
            QCOMPARE(existing.readAll(), QByteArray("kept"));
        }
        if (fault == "disk full") {
            QCOMPARE(told,
                     QStringList{"Cannot store the frame count in " + launch.settings.FilePath() +
                                 " (File too large), so no frame was taken."});
            QCOMPARE(launch.settings.Read(), settingsBefore);
            QCOMPARE(
                QFileInfo(launch.settings.FilePath()).dir().entryList(QDir::Hidden | QDir::Files),
                QStringList{"Vorn.conf"});
        }
    }

    // The camera meters its scene in the warm-up (three automatics on) and is held (seven calls)
    // before the frame is grabbed.
    void lockedLaunchHoldsTheCameraBeforeItsFrame() {
        TakeFrame launch;
        launch.settings.Write(launch.settings.Read() + "CAMERA_LOCK=1\nPOWER_LINE_HZ=50\n");
        const auto controls = FakeCameraControls::FromListing(
            VORN_SOURCE_DIR "/tests/support/v4l2-ctl-L_c920_linux5.10.txt");
        QVERIFY(controls);
        launch.camera->SetControls(*controls);

        QCOMPARE(int(launch.Take()), int(ExitCode::Success));

        QCOMPARE(launch.camera->LocksAtGrabs(), std::vector<int>{kFirstFrameAfterWarmUp});
        QCOMPARE(launch.camera->GrabCount(), kFirstFrameAfterWarmUp + 1);
        QCOMPARE(controls->Sets().size(), std::size_t(10));
        QCOMPARE(controls->Get(V4L2_CID_EXPOSURE_AUTO),
                 std::optional<std::int32_t>(V4L2_EXPOSURE_MANUAL));
        QCOMPARE(controls->Get(V4L2_CID_POWER_LINE_FREQUENCY),
                 std::optional<std::int32_t>(V4L2_CID_POWER_LINE_FREQUENCY_50HZ));
        QCOMPARE(launch.FrameCount(), QString("1"));
    }

    // LATEST_FRAME=1: latest.jpg is each launch's frame, and no temporary file stays beside it.
    // Each frame carries the time it was grabbed and the camera's name.
    void latestFrameFollowsEachLaunch() {
        TakeFrame launch;
        launch.AddSetting("LATEST_FRAME=1");
        launch.camera->SetIdentity({"Microsoft", "LifeCam Studio"});
        const QString latest = QDir(launch.frameDir.path()).filePath("latest.jpg");
        for (int number : {10001, 10002}) {
            const std::int64_t grabbedAtMs =
                launch.clock.WallMs() + kFirstFrameAfterWarmUp * kPass.count();
            QCOMPARE(int(launch.Take()), int(ExitCode::Success));
            QFile frame(launch.FramePath(number));
            QFile copy(latest);
            QVERIFY(frame.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
            const QByteArray bytes = frame.readAll();
            QCOMPARE(copy.readAll(), bytes);
            QCOMPARE(ReadExifCaptureTime(launch.FramePath(number).toStdString()),
                     std::optional<CaptureTime>(LocalCaptureTime(grabbedAtMs)));
            QCOMPARE(QFileInfo(frame).lastModified().toMSecsSinceEpoch(), grabbedAtMs);
            QVERIFY(bytes.contains(QByteArray("Microsoft\0", 10)) &&
                    bytes.contains(QByteArray("LifeCam Studio\0", 15)));
        }
        QCOMPARE(
            QDir(launch.frameDir.path()).entryList(QDir::Hidden | QDir::Files),
            (QStringList{".vorn-capture.json", "latest.jpg", "pic_10001.jpg", "pic_10002.jpg"}));
    }

    // A source that never answers (a GStreamer pipeline whose camera went away blocks in its open
    // or its grab) ends the launch all the same.
    void silentSourceEndsTheLaunch_data() {
        QTest::addColumn<bool>("inOpen");
        QTest::addColumn<int>("result");
        QTest::newRow("open never returns") << true << int(ExitCode::NoCamera);
        QTest::newRow("grab never returns") << false << int(ExitCode::NoFrame);
    }

    void silentSourceEndsTheLaunch() {
        QFETCH(bool, inOpen);
        QFETCH(int, result);
        TakeFrame launch(4);
        std::promise<void> answer;
        if (inOpen) {
            launch.opener = RecordingOpener(
                [answered = answer.get_future().share(), open = ShareCamera(launch.camera)] {
                    answered.wait();
                    return open();
                });
        } else {
            launch.camera->HoldGrabs();
        }

        QCOMPARE(int(launch.Take()), result);

        QCOMPARE(launch.FrameCount(), QString("4"));
        // What was left behind goes on once the source answers, and closes its camera.
        answer.set_value();
        launch.camera->ReleaseGrabs();
        QTRY_VERIFY_WITH_TIMEOUT(
            launch.camera->MostSharesOpen() == 1 && launch.camera->SharesOpen() == 0, 10000);
    }

    // A video file stands in for a camera at its own pace: a clip of six seconds outlasts the
    // warm-up, where it would be used up in well under a second if read as fast as the loop asks.
    void videoFileIsTakenAtItsOwnPace() {
        TakeFrame launch;
        launch.clock.SleepAsAsked();
        launch.camera->SetFileFramesPerSecond(10.0);
        launch.camera->FailGrabsAfter(60);
        QCOMPARE(int(launch.Take()), int(ExitCode::Success));
        // The first frame after five seconds at ten a second.
        QVERIFY2(launch.camera->GrabCount() >= 50 && launch.camera->GrabCount() <= 53,
                 qPrintable(QString::number(launch.camera->GrabCount())));
        QCOMPARE(launch.FrameCount(), QString("1"));
    }

    void launchesAtTheSameTimeEachGetTheirOwnNumber() {
        TakeFrame launch;
        auto otherCamera = std::make_shared<SyntheticCamera>(cv::Size(320, 240));
        RecordingOpener otherOpener(ShareCamera(otherCamera));
        ManualClock otherClock;
        otherClock.SetSleepAdvance(kPass);
        ExitCode otherResult{};
        std::thread other(
            [&] { otherResult = TakeCountedFrame(otherOpener.Opener(), otherClock, {}); });
        const ExitCode result = launch.Take();
        other.join();
        QCOMPARE(int(result), int(ExitCode::Success));
        QCOMPARE(int(otherResult), int(ExitCode::Success));
        QCOMPARE(FrameFiles(launch.frameDir.path()),
                 (QStringList{"pic_10001.jpg", "pic_10002.jpg"}));
        QCOMPARE(launch.FrameCount(), QString("2"));
    }

    // Another profile's launch holds camera 0's device: this one waits through its warm-up, then
    // ends with a code of its own and takes nothing. A launch of its own profile shares it.
    void cameraDeviceOfAnotherProfileIsWaitedForThenBusy_data() {
        QTest::addColumn<QString>("holder");  // the profile of the launch that holds it
        QTest::addColumn<int>("result");
        QTest::newRow("another profile") << "garden" << int(ExitCode::CameraBusy);
        QTest::newRow("the same profile") << "" << int(ExitCode::Success);
    }

    void cameraDeviceOfAnotherProfileIsWaitedForThenBusy() {
        QFETCH(QString, holder);
        QFETCH(int, result);
        TakeFrame launch;
        ManualClock holderClock;
        std::optional<DeviceLock> held =
            DeviceLock::Take("/dev/video0", holder.toStdString(), holderClock, Seconds(0.0f));
        QVERIFY(held);
        const std::int64_t start = launch.clock.Counter();
        QCOMPARE(int(launch.Take()), result);
        if (result == int(ExitCode::CameraBusy)) {
            QVERIFY(SecondsFrom(launch.clock, start) >= Seconds(5.0f));
            QVERIFY(launch.opener.Requests().empty());
            QCOMPARE(launch.FrameCount(), QString("0"));
            held.reset();
            QCOMPARE(int(launch.Take()), int(ExitCode::Success));
        }
        QCOMPARE(launch.FrameCount(), QString("1"));
    }

    // ON_FRAME runs once the frame is complete under its name and counted, and the launch waits
    // for it; a hook that fails or cannot start changes nothing of how the launch ends.
    void frameHookRunsOnTheCountedFrameAndNeverChangesTheExitCode_data() {
        QTest::addColumn<QByteArray>("hook");
        QTest::addColumn<QStringList>("recorded");
        QTest::newRow("succeeds")
            << QByteArray(
                   "sh -c 'grep -q \"^AUTO_START_FRAME_COUNT=1$\" \"$1\" && "
                   "test -s \"$VORN_FILE\" && echo $VORN_FRAME $VORN_EVENT > hook.out' "
                   "hook ")
            << QStringList{"1 frame"};
        QTest::newRow("fails") << QByteArray("sh -c 'echo failed > hook.out; exit 4'")
                               << QStringList{"failed"};
        QTest::newRow("cannot start") << QByteArray("/nonexistent/upload") << QStringList();
    }

    void frameHookRunsOnTheCountedFrameAndNeverChangesTheExitCode() {
        QFETCH(QByteArray, hook);
        QFETCH(QStringList, recorded);
        TakeFrame launch;
        if (hook.endsWith("hook ")) {
            hook += QFile::encodeName(launch.settings.FilePath());
        }
        launch.AddSetting("ON_FRAME=" + hook);
        QCOMPARE(int(launch.Take()), int(ExitCode::Success));
        QCOMPARE(launch.FrameCount(), QString("1"));
        QFile out(launch.workDir.filePath("hook.out"));
        QStringList lines;
        if (out.open(QIODevice::ReadOnly)) {
            lines = QString::fromUtf8(out.readAll()).split('\n', Qt::SkipEmptyParts);
        }
        QCOMPARE(lines, recorded);
    }

    // Closed before the timer took its frame: the launch says no frame, never "saved".
    void windowClosedBeforeTheFrameExitsWithNoFrame() {
        Launch launch(2);
        int code = -1;
        QTimer::singleShot(100, [&] { launch->close(); });
        RunUntilQuit([&] {
            code = launch->Run();
            QCoreApplication::exit(0);
        });
        QCOMPARE(code, int(ExitCode::NoFrame));
        QCOMPARE(launch.FrameCount(), QString("2"));
        QVERIFY(FrameFiles(".").isEmpty());
    }

    void countAtTheIntLimitIsRefusedInTheWindowToo() {
        Launch launch(INT_MAX);
        QCOMPARE(launch.RunFirstTick(), int(ExitCode::CountOutOfRange));
        QCOMPARE(launch.FrameCount(), QString::number(INT_MAX));
        QCOMPARE(launch.camera->GrabCount(), 0);
    }

    // With a display, an unattended launch's box goes away by itself, so launches never pile up
    // behind one nobody answers.
    void unattendedBoxClosesItself() {
        QString shown;
        QTimer::singleShot(20, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
            }
        });
        ShowMessageBox("Nobody is here.", 300ms);
        QCOMPARE(shown, QString("Nobody is here."));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void timestampIsNeverDrawn() {
        Launch launch;
        launch->OnInitDialog();
        launch->Session().m_capture->m_showTimestamp = true;

        QCOMPARE(RunUntilQuit([&] { launch->OnTimer(CVornDlg::kAutoStartTimer); }), 0);

        QVERIFY(FilledWith(cv::imread("pic_10001.jpg"),
                           SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
    }

    void timerStartsTheRunAndItsQuitEndsTheModalRun() {
        Launch launch;
        bool modalRunEnded = false;

        QCOMPARE(RunUntilQuit([&] {
                     launch->Run();
                     modalRunEnded = true;
                 }),
                 0);

        QVERIFY(modalRunEnded);
        QCOMPARE(FrameFiles("."), QStringList{"pic_10001.jpg"});
        QCOMPARE(launch.FrameCount(), QString("1"));
        QVERIFY(!launch->IsTimerActive(CVornDlg::kAutoStartTimer));
    }

    // Start is never offered while the auto-start capture is due, so no interactive run can be
    // started beside it in the second before the timer fires.
    void autoStartModeOffersNoInteractiveCapture_data() {
        QTest::addColumn<int>("autoStart");
        QTest::newRow("on") << 1;
        QTest::newRow("off") << 0;
        QTest::newRow("negative") << -1;
    }

    void autoStartModeOffersNoInteractiveCapture() {
        QFETCH(int, autoStart);
        Launch launch(0, "./", autoStart);
        launch->OnInitDialog();
        QCOMPARE(Enabled(*launch, IDC_START_STOP), autoStart <= 0);
        QCOMPARE(launch->IsTimerActive(CVornDlg::kAutoStartTimer), autoStart > 0);
    }
};

QTEST_MAIN(AutoStartTest)
#include "test_auto_start.moc"
