#include <QtTest>
#include <chrono>
#include <functional>
#include <memory>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "app/VornDlg.h"
#include "platform/DialogTemplate.h"
#include "platform/PreviewWindow.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/ManualClock.h"
#include "support/ModalAnswerer.h"
#include "support/SyntheticCamera.h"
#include "support/TestSettings.h"

namespace {

using namespace std::chrono_literals;

// Each pass of the capture sleeps this long on the manual clock: a quarter second is exact in a
// float, so the running time reaches 5.0 exactly after 20 passes and exceeds it after 21.
constexpr auto kPass = 250ms;
// The frame saved: the one grabbed in pass 21, counted from 0.
constexpr int kFirstFrameAfterWarmUp = 21;
constexpr int kNeverQuit = 99;

const cv::Size kCameraSize(320, 240);

QByteArray AutoStartSettings(const QString& dir, int count = 0, int autoStart = 1, int camera = 2) {
    return QStringLiteral(
               "AUTO_START_DIR=%1\nAUTO_START_ON_OFF=%2\nAUTO_START_FRAME_COUNT=%3\n"
               "CAM_REF=%4\nRESOLUTION_REF=0\n")
        .arg(dir)
        .arg(autoStart)
        .arg(count)
        .arg(camera)
        .toUtf8();
}

// Runs `action` inside the application's event loop, as the program runs inside its dialog's, and
// returns the loop's exit code: 0 when the code under test ended the program, kNeverQuit when it
// had not after a minute.
int RunUntilQuit(const std::function<void()>& action) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(kNeverQuit); });
    guard.start(60000);
    if (action) {
        QTimer::singleShot(0, &guard, action);
    }
    return QCoreApplication::exec();
}

QWidget* PreviewWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == QString::fromLatin1(kPreviewWindowName)) {
            return widget;
        }
    }
    return nullptr;
}

// The frame files in `dir`.
QStringList FrameFiles(const QString& dir) {
    return QDir(dir).entryList({"pic_*.jpg"}, QDir::Files, QDir::Name);
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

bool Enabled(const CVornDlg& dlg, int id) {
    return GetDlgItem(dlg, id)->isEnabled();
}

// One launch of the program in auto-start mode, with a synthetic camera and a manual clock.
struct Launch {
    explicit Launch(RecordingOpener::Factory factory = {})
        : opener(factory ? std::move(factory) : ShareCamera(camera)) {
        clock.SetSleepAdvance(kPass);
        dlg.SetCameraOpener(opener.Opener());
        dlg.SetClock(clock);
    }

    // Start-up, then the auto-start timer's tick; the exit code of the event loop.
    int RunFirstTick() {
        dlg.OnInitDialog();
        return RunUntilQuit([this] { dlg.OnTimer(CVornDlg::kAutoStartTimer); });
    }

    std::shared_ptr<SyntheticCamera> camera = std::make_shared<SyntheticCamera>(kCameraSize);
    RecordingOpener opener;
    ManualClock clock;
    CVornDlg dlg;
};

}  // namespace

class AutoStartTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstFrameAfterWarmUpIsSavedAndCounted_data();
    void firstFrameAfterWarmUpIsSavedAndCounted();
    void nextLaunchContinuesTheNumbering();
    void missingCameraShowsMessageAndLeavesCount();
    void runEndedDuringWarmUpSavesNothingButCounts_data();
    void runEndedDuringWarmUpSavesNothingButCounts();
    void timestampIsNeverDrawn();
    void timerStartsTheRunAndItsQuitEndsTheModalRun();
    void autoStartModeOffersNoInteractiveCapture_data();
    void autoStartModeOffersNoInteractiveCapture();

private:
    QString m_oldCurrent;
    std::unique_ptr<QTemporaryDir> m_work;
};

void AutoStartTest::initTestCase() {
    // Only the code under test may end the loops these tests run.
    QApplication::setQuitOnLastWindowClosed(false);
}

void AutoStartTest::init() {
    // Keys left over from an earlier test would end a run at once.
    while (WaitKey(1) != -1) {
    }
    m_oldCurrent = QDir::currentPath();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(m_work->path()));
}

void AutoStartTest::cleanup() {
    QDir::setCurrent(m_oldCurrent);
    m_work.reset();
}

void AutoStartTest::firstFrameAfterWarmUpIsSavedAndCounted_data() {
    QTest::addColumn<QString>("settingsDir");
    QTest::addColumn<QString>("frameDir");
    QTest::addColumn<QString>("savedIn");
    QTest::newRow("folder without separator") << "frames"
                                              << "frames/"
                                              << "frames";
    QTest::newRow("first-run default") << "./"
                                       << "./"
                                       << ".";
    QTest::newRow("empty means the current folder") << ""
                                                    << ""
                                                    << ".";
}

void AutoStartTest::firstFrameAfterWarmUpIsSavedAndCounted() {
    QFETCH(QString, settingsDir);
    QFETCH(QString, frameDir);
    QFETCH(QString, savedIn);
    QVERIFY(QDir().mkpath(savedIn));
    TestSettings settings;
    settings.WriteValues(AutoStartSettings(settingsDir));
    ModalAnswerer answerer;
    Launch launch;

    QCOMPARE(launch.RunFirstTick(), 0);

    QVERIFY(!launch.dlg.IsTimerActive(CVornDlg::kAutoStartTimer));
    QCOMPARE(launch.opener.Requests(), (std::vector<OpenRequest>{{2, ""}}));
    QCOMPARE(launch.camera->PropertySets(),
             (std::vector<PropertySet>{{cv::CAP_PROP_FRAME_WIDTH, 320},
                                       {cv::CAP_PROP_FRAME_HEIGHT, 240}}));
    QCOMPARE(launch.dlg.GetFrameDir(), frameDir.toStdString());
    // Nothing at exactly 5.0 seconds; the frame of the next pass, and then the run ends.
    QCOMPARE(FrameFiles(savedIn), QStringList{"pic_10001.jpg"});
    QCOMPARE(launch.camera->GrabCount(), kFirstFrameAfterWarmUp + 1);
    QCOMPARE(launch.clock.SleepCount(), kFirstFrameAfterWarmUp + 1);
    const cv::Mat saved = cv::imread(QDir(savedIn).filePath("pic_10001.jpg").toStdString());
    QCOMPARE(saved.size(), kCameraSize);
    QVERIFY(FilledWith(saved, SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("1"));
    QCOMPARE(launch.dlg.GetFrameCounter(), 10001);
    QVERIFY(!Enabled(launch.dlg, IDC_START_STOP));
    QVERIFY(!Enabled(launch.dlg, IDC_MAKE_VIDEO));
    QVERIFY(!PreviewWindow());
    QVERIFY(answerer.Messages().isEmpty());
}

void AutoStartTest::nextLaunchContinuesTheNumbering() {
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./"));
    {
        Launch first;
        QCOMPARE(first.RunFirstTick(), 0);
    }
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("1"));
    {
        Launch second;
        QCOMPARE(second.RunFirstTick(), 0);
    }
    QCOMPARE(FrameFiles("."), (QStringList{"pic_10001.jpg", "pic_10002.jpg"}));
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("2"));
}

void AutoStartTest::missingCameraShowsMessageAndLeavesCount() {
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./", 5, 1, 7));
    ModalAnswerer answerer;
    Launch launch(NoCamera());

    QCOMPARE(launch.RunFirstTick(), 0);

    QCOMPARE(answerer.Messages(), QStringList{kNoCameraMessage});
    QCOMPARE(launch.opener.Requests(), (std::vector<OpenRequest>{{7, ""}}));
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("5"));
    QVERIFY(FrameFiles(".").isEmpty());
    QVERIFY(!Enabled(launch.dlg, IDC_START_STOP));
}

void AutoStartTest::runEndedDuringWarmUpSavesNothingButCounts_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("key in the preview window") << true;
    QTest::newRow("failed grab") << false;
}

void AutoStartTest::runEndedDuringWarmUpSavesNothingButCounts() {
    QFETCH(bool, byKey);
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./", 3));
    Launch launch;
    // The user presses a key in the preview window as soon as it is up.
    QTimer user;
    QSize shownSize;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (QWidget* preview = PreviewWindow()) {
            user.stop();
            shownSize = preview->size();
            QTest::keyClick(preview, Qt::Key_Q);
        }
    });
    if (byKey) {
        user.start(1);
    } else {
        launch.camera->FailGrabsAfter(3);
    }

    QCOMPARE(launch.RunFirstTick(), 0);

    QVERIFY(FrameFiles(".").isEmpty());
    QCOMPARE(launch.dlg.GetFrameCounter(), 10003);
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("4"));
    QVERIFY(!PreviewWindow());
    if (byKey) {
        // Shown at the camera's own size.
        QCOMPARE(shownSize, QSize(kCameraSize.width, kCameraSize.height));
    } else {
        QCOMPARE(launch.camera->GrabCount(), 4);
    }
}

void AutoStartTest::timestampIsNeverDrawn() {
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./"));
    Launch launch;
    launch.dlg.OnInitDialog();
    launch.dlg.m_showTimestamp = true;

    QCOMPARE(RunUntilQuit([&] { launch.dlg.OnTimer(CVornDlg::kAutoStartTimer); }), 0);

    QVERIFY(FilledWith(cv::imread("pic_10001.jpg"),
                       SyntheticCamera::FrameColour(kFirstFrameAfterWarmUp)));
}

void AutoStartTest::timerStartsTheRunAndItsQuitEndsTheModalRun() {
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./"));
    Launch launch;
    bool modalRunEnded = false;

    QCOMPARE(RunUntilQuit([&] {
                 launch.dlg.DoModal();
                 modalRunEnded = true;
             }),
             0);

    QVERIFY(modalRunEnded);
    QCOMPARE(FrameFiles("."), QStringList{"pic_10001.jpg"});
    QCOMPARE(settings.Value("AUTO_START_FRAME_COUNT"), QString("1"));
    QVERIFY(!launch.dlg.IsTimerActive(CVornDlg::kAutoStartTimer));
}

void AutoStartTest::autoStartModeOffersNoInteractiveCapture_data() {
    QTest::addColumn<int>("autoStart");
    QTest::addColumn<bool>("startOffered");
    QTest::newRow("on") << 1 << false;
    QTest::newRow("off") << 0 << true;
    QTest::newRow("negative") << -1 << true;
}

void AutoStartTest::autoStartModeOffersNoInteractiveCapture() {
    QFETCH(int, autoStart);
    QFETCH(bool, startOffered);
    TestSettings settings;
    settings.WriteValues(AutoStartSettings("./", 0, autoStart));
    Launch launch;
    launch.dlg.OnInitDialog();

    // Start is never offered while the auto-start capture is due, so no interactive run can be
    // started beside it in the second before the timer fires.
    QCOMPARE(Enabled(launch.dlg, IDC_START_STOP), startOffered);
    QCOMPARE(launch.dlg.IsTimerActive(CVornDlg::kAutoStartTimer), autoStart > 0);
}

QTEST_MAIN(AutoStartTest)
#include "test_auto_start.moc"
