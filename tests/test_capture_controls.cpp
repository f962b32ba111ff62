#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <opencv2/imgcodecs.hpp>

#include "app/VornDlg.h"
#include "platform/ArrowPair.h"
#include "platform/DialogTemplate.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/ManualClock.h"
#include "support/ModalAnswerer.h"
#include "support/SyntheticCamera.h"
#include "support/TestSettings.h"

using namespace std::chrono_literals;

namespace {

constexpr int kRunTimeoutMs = 60000;

// The main dialog after start-up, with a manual clock and a folder of its own for frames that the
// frame directory edit names (without the trailing separator, as a user might have it). It is not
// shown: its controls take typed keys and clicks all the same, and painting it would bring in Qt's
// own drawing threads, whose locks ThreadSanitizer cannot see.
class CaptureDialog {
public:
    explicit CaptureDialog(int framesCounted = 0) {
        m_settings.WriteValues(QStringLiteral("AUTO_START_DIR=./\nAUTO_START_ON_OFF=0\n"
                                              "AUTO_START_FRAME_COUNT=%1\nCAM_REF=0\n"
                                              "RESOLUTION_REF=1\n")
                                   .arg(framesCounted)
                                   .toUtf8());
        m_dlg = std::make_unique<CVornDlg>();
        m_dlg->SetClock(m_clock);
        m_dlg->OnInitDialog();
        m_dlg->SetFrameDir(m_frames.path().toStdString());
        GetDlgItemAs<QLineEdit>(*m_dlg, IDC_FRAME_DIR)->setText(m_frames.path());
    }
    CVornDlg& operator*() { return *m_dlg; }
    CVornDlg* operator->() { return m_dlg.get(); }
    ManualClock& Clock() { return m_clock; }
    ModalAnswerer& Answerer() { return m_answerer; }
    QString FramePath(int number) const {
        return m_frames.filePath(QStringLiteral("pic_%1.jpg").arg(number));
    }
    // Hands the next runs `camera`; returns it.
    std::shared_ptr<SyntheticCamera> UseCamera(std::shared_ptr<SyntheticCamera> camera) {
        m_dlg->SetCameraOpener(RecordingOpener(ShareCamera(camera)).Opener());
        return camera;
    }

private:
    TestSettings m_settings;  // before the dialog, which reads it
    ModalAnswerer m_answerer;
    ManualClock m_clock;  // outlives the dialog's capture thread
    QTemporaryDir m_frames;
    std::unique_ptr<CVornDlg> m_dlg;  // first to go, with its capture thread
};

QString Text(const CVornDlg& dlg, int id) {
    return GetDlgItemAs<QLineEdit>(dlg, id)->text();
}

QPushButton* Button(const CVornDlg& dlg, int id) {
    return GetDlgItemAs<QPushButton>(dlg, id);
}

void Click(const CVornDlg& dlg, int id) {
    QTest::mouseClick(GetDlgItem(dlg, id), Qt::LeftButton);
}

// Replaces the edit's text by typing, as a user does: select all, delete, type.
void Type(CVornDlg& dlg, int id, const QString& text) {
    auto* edit = GetDlgItemAs<QLineEdit>(dlg, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Presses the delay arrows: 'U' the upper arrow, 'L' the lower one.
void PressDelay(CVornDlg& dlg, const QString& arrows) {
    auto* pair = GetDlgItemAs<ArrowPair>(dlg, IDC_DELAY_SPIN);
    for (QChar arrow : arrows) {
        QTest::mouseClick(arrow == 'U' ? pair->UpperArrow() : pair->LowerArrow(), Qt::LeftButton);
    }
}

// Cameras whose grabs wait while the gate is closed, counting how many are open at once.
class Gate {
public:
    void Close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void WaitUntilOpen() {
        std::unique_lock lock(m_mutex);
        ++m_held;
        m_changed.wait(lock, [this] { return m_open; });
    }
    // How many grabs have come to the gate.
    int Held() const { return m_held; }
    int MostOpenAtOnce() const { return m_mostOpen; }

    class Camera final : public CameraSource {
    public:
        explicit Camera(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {
            std::lock_guard lock(m_gate->m_mutex);
            m_gate->m_mostOpen = std::max(m_gate->m_mostOpen.load(), ++m_gate->m_openCameras);
        }
        ~Camera() override {
            std::lock_guard lock(m_gate->m_mutex);
            --m_gate->m_openCameras;
        }
        bool Grab() override {
            m_gate->WaitUntilOpen();
            return true;
        }
        bool Retrieve(cv::Mat& frame) override {
            frame.release();
            return false;
        }
        bool Set(int, double) override { return true; }

    private:
        std::shared_ptr<Gate> m_gate;
    };

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;     // guarded by m_mutex
    int m_openCameras = 0;  // guarded by m_mutex
    std::atomic<int> m_mostOpen{0};
    std::atomic<int> m_held{0};
};

}  // namespace

class CaptureControlsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void buttonsShowTheRunState_data();
    void buttonsShowTheRunState();
    void timestampFollowsTheCheckBox();
    void delayArrowsWrapAround_data();
    void delayArrowsWrapAround();
    void typedDelayIsTakenAtOnce();
    void delayReadsThePointWhateverTheLocale();
    void stopBeforeAnyFrameShowsNone_data();
    void stopBeforeAnyFrameShowsNone();
    void runOfFramesShowsItsCount_data();
    void runOfFramesShowsItsCount();
    void secondStartNumbersFromTheFirstFrameAgain();
    void noCameraKeepsTheRunShownUntilStop();
    void startWaitsForTheLastRunToFinish();
    void browse_data();
    void browse();
    void userClicksDuringRuns();

private:
    QTemporaryDir m_workDir;  // the capture writes its log into the current folder
    QString m_oldCurrent;
};

void CaptureControlsTest::initTestCase() {
    m_oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void CaptureControlsTest::cleanupTestCase() {
    QDir::setCurrent(m_oldCurrent);
}

void CaptureControlsTest::buttonsShowTheRunState_data() {
    QTest::addColumn<QString>("clicks");  // S: Start/Stop, P: Pause
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("startCaption");
    QTest::addColumn<bool>("pauseEnabled");
    QTest::addColumn<QString>("pauseCaption");
    QTest::newRow("idle") << "" << false << false << "&Start" << false << "&Pause";
    QTest::newRow("capturing") << "S" << true << false << "&Stop" << true << "&Pause";
    QTest::newRow("paused") << "SP" << true << true << "&Stop" << true << "&Unpause";
    QTest::newRow("unpaused") << "SPP" << true << false << "&Stop" << true << "&Pause";
    QTest::newRow("paused, stopped") << "SPS" << false << false << "&Start" << false << "&Pause";
    QTest::newRow("paused, stopped, started")
        << "SPSS" << true << false << "&Stop" << true << "&Pause";
}

void CaptureControlsTest::buttonsShowTheRunState() {
    QFETCH(QString, clicks);
    QFETCH(bool, running);
    QFETCH(bool, paused);
    QFETCH(QString, startCaption);
    QFETCH(bool, pauseEnabled);
    QFETCH(QString, pauseCaption);
    CaptureDialog dlg;
    dlg.UseCamera(std::make_shared<SyntheticCamera>());
    for (QChar click : clicks) {
        Click(*dlg, click == 'S' ? IDC_START_STOP : IDC_PAUSE);
    }
    QCOMPARE(dlg->m_running.load(), running);
    QCOMPARE(dlg->m_paused.load(), paused);
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), startCaption);
    QCOMPARE(Button(*dlg, IDC_PAUSE)->isEnabled(), pauseEnabled);
    QCOMPARE(Button(*dlg, IDC_PAUSE)->text(), pauseCaption);
    // Screen readers hear what the buttons show.
    QCOMPARE(Button(*dlg, IDC_START_STOP)->accessibleName(), QString(startCaption).remove('&'));
    QCOMPARE(Button(*dlg, IDC_PAUSE)->accessibleName(), QString(pauseCaption).remove('&'));
}

void CaptureControlsTest::timestampFollowsTheCheckBox() {
    CaptureDialog dlg;
    auto* box = GetDlgItemAs<QCheckBox>(*dlg, IDC_TIMESTAMP);
    for (bool expected : {true, false, true}) {
        Click(*dlg, IDC_TIMESTAMP);
        QCOMPARE(dlg->m_showTimestamp.load(), expected);
        QCOMPARE(box->isChecked(), expected);
    }
}

void CaptureControlsTest::delayArrowsWrapAround_data() {
    QTest::addColumn<QString>("typed");  // empty: the 1.0 of start-up
    QTest::addColumn<QString>("arrows");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<float>("delay");
    QTest::newRow("1.0 lower wraps to a day") << ""
                                              << "L"
                                              << "86400.0" << 86400.0f;
    QTest::newRow("a day, upper wraps to 0.1") << ""
                                               << "LU"
                                               << "0.1" << 0.1f;
    QTest::newRow("0.1 lower wraps to a day") << ""
                                              << "LUL"
                                              << "86400.0" << 86400.0f;
    QTest::newRow("0.1 upper") << ""
                               << "LUU"
                               << "1.1" << 1.1f;
    QTest::newRow("1.1 lower keeps 0.1") << ""
                                         << "LUUL"
                                         << "0.1" << 0.1f;
    QTest::newRow("2.0 upper") << "2"
                               << "U"
                               << "3.0" << 3.0f;
    QTest::newRow("2.0 lower") << "2"
                               << "L"
                               << "1.0" << 1.0f;
    QTest::newRow("a day typed, upper") << "86400"
                                        << "U"
                                        << "0.1" << 0.1f;
    QTest::newRow("0 typed, upper") << "0"
                                    << "U"
                                    << "1.0" << 1.0f;
}

void CaptureControlsTest::delayArrowsWrapAround() {
    QFETCH(QString, typed);
    QFETCH(QString, arrows);
    QFETCH(QString, shown);
    QFETCH(float, delay);
    CaptureDialog dlg;
    if (!typed.isEmpty()) {
        Type(*dlg, IDC_DELAY, typed);
    }
    PressDelay(*dlg, arrows);
    QCOMPARE(Text(*dlg, IDC_DELAY), shown);
    QCOMPARE(dlg->m_captureDelay.load(), delay);
}

void CaptureControlsTest::typedDelayIsTakenAtOnce() {
    CaptureDialog dlg;
    auto* edit = GetDlgItemAs<QLineEdit>(*dlg, IDC_DELAY);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(dlg->m_captureDelay.load(), 0.0f);  // an empty edit reads as 0
    QTest::keyClicks(edit, "5");
    QCOMPARE(dlg->m_captureDelay.load(), 5.0f);
    QTest::keyClicks(edit, "7");
    QCOMPARE(dlg->m_captureDelay.load(), 57.0f);
}

// The delay edit shows a point, whatever decimal separator the user's locale has.
void CaptureControlsTest::delayReadsThePointWhateverTheLocale() {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            found = true;
            break;
        }
    }
    if (!found) {
        QSKIP("no locale with a decimal comma is installed");
    }
    CaptureDialog dlg;
    PressDelay(*dlg, "LUU");
    std::setlocale(LC_NUMERIC, old.c_str());
    QCOMPARE(Text(*dlg, IDC_DELAY), QString("1.1"));
    QCOMPARE(dlg->m_captureDelay.load(), 1.1f);
}

void CaptureControlsTest::stopBeforeAnyFrameShowsNone_data() {
    QTest::addColumn<int>("framesCounted");
    QTest::newRow("no frames before") << 0;
    QTest::newRow("37 frames before") << 37;
}

void CaptureControlsTest::stopBeforeAnyFrameShowsNone() {
    QFETCH(int, framesCounted);
    CaptureDialog dlg(framesCounted);
    dlg.UseCamera(std::make_shared<SyntheticCamera>());
    dlg.Clock().SetSleepAdvance(0us);  // no time passes: no frame is ever due
    Click(*dlg, IDC_START_STOP);
    Click(*dlg, IDC_START_STOP);
    QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("0"));
    QCOMPARE(dlg->m_endFrame, 0);
    QCOMPARE(Text(*dlg, IDC_DURATION), QString("0.00"));
    QVERIFY(Button(*dlg, IDC_MAKE_VIDEO)->isEnabled());
    QVERIFY(!QFile::exists(dlg.FramePath(10001)));
}

void CaptureControlsTest::runOfFramesShowsItsCount_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("duration");
    QTest::newRow("none") << 0 << "0.00";
    QTest::newRow("one") << 1 << "0.04";
    QTest::newRow("twelve") << 12 << "0.48";
}

// The run ends by itself when the camera fails; the dialog shows it running until Stop.
void CaptureControlsTest::runOfFramesShowsItsCount() {
    QFETCH(int, frames);
    QFETCH(QString, duration);
    CaptureDialog dlg;
    auto camera = dlg.UseCamera(std::make_shared<SyntheticCamera>());
    // Each pass takes 1.5 s against the delay of 1.0; the first grab has no time behind it, so
    // every later grab saves a frame.
    dlg.Clock().SetSleepAdvance(1500ms);
    camera->FailGrabsAfter(frames + 1);
    Click(*dlg, IDC_START_STOP);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->m_captureThreadDone, kRunTimeoutMs);
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), QString("&Stop"));
    Click(*dlg, IDC_START_STOP);
    QCOMPARE(Text(*dlg, IDC_END_FRAME), QString::number(frames));
    QCOMPARE(dlg->m_endFrame, frames);
    QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    for (int number = 10001; number <= 10000 + frames; ++number) {
        QVERIFY2(QFile::exists(dlg.FramePath(number)), qPrintable(dlg.FramePath(number)));
    }
    QVERIFY(!QFile::exists(dlg.FramePath(10001 + frames)));
    QVERIFY(Button(*dlg, IDC_MAKE_VIDEO)->isEnabled());
    QFile log(QDir::current().filePath("error_log.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("Acquiring capture device...successful\n"
                                       "Attempting to release capture...successful\n"
                                       "Attempting to close window...successful\n"));
}

void CaptureControlsTest::secondStartNumbersFromTheFirstFrameAgain() {
    CaptureDialog dlg;
    dlg.Clock().SetSleepAdvance(1500ms);
    dlg.UseCamera(std::make_shared<SyntheticCamera>(cv::Size(640, 480)))->FailGrabsAfter(5);
    Click(*dlg, IDC_START_STOP);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->m_captureThreadDone, kRunTimeoutMs);
    Click(*dlg, IDC_START_STOP);
    QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("4"));

    // The second camera's smaller frames tell its files from the first run's.
    dlg.UseCamera(std::make_shared<SyntheticCamera>(cv::Size(320, 240)))->FailGrabsAfter(3);
    Click(*dlg, IDC_START_STOP);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->m_captureThreadDone, kRunTimeoutMs);
    Click(*dlg, IDC_START_STOP);
    QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("2"));
    QCOMPARE(dlg->GetFrameCounter(), 10002);
    const cv::Size second(320, 240);
    const cv::Size first(640, 480);
    QCOMPARE(cv::imread(dlg.FramePath(10001).toStdString()).size(), second);
    QCOMPARE(cv::imread(dlg.FramePath(10002).toStdString()).size(), second);
    QCOMPARE(cv::imread(dlg.FramePath(10003).toStdString()).size(), first);
}

void CaptureControlsTest::noCameraKeepsTheRunShownUntilStop() {
    CaptureDialog dlg;
    dlg->SetCameraOpener(RecordingOpener(NoCamera()).Opener());
    Click(*dlg, IDC_START_STOP);
    QVERIFY(dlg.Answerer().WaitForMessages(1, kRunTimeoutMs));
    QCOMPARE(dlg.Answerer().Messages(), QStringList{kNoCameraMessage});
    QTRY_VERIFY_WITH_TIMEOUT(dlg->m_captureThreadDone, kRunTimeoutMs);
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), QString("&Stop"));
    QVERIFY(Button(*dlg, IDC_PAUSE)->isEnabled());
    Click(*dlg, IDC_START_STOP);
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), QString("&Start"));
    QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("0"));
}

// Stop gives up waiting after a second; a thread still in its pass then must end before the
// next Start begins a run, or two runs would number frames from the same counter.
void CaptureControlsTest::startWaitsForTheLastRunToFinish() {
    CaptureDialog dlg;
    auto gate = std::make_shared<Gate>();
    dlg->SetCameraOpener([gate](int, const std::string&) -> std::unique_ptr<CameraSource> {
        return std::make_unique<Gate::Camera>(gate);
    });
    gate->Close();
    Click(*dlg, IDC_START_STOP);
    QTRY_VERIFY_WITH_TIMEOUT(gate->Held() == 1, kRunTimeoutMs);
    Click(*dlg, IDC_START_STOP);
    QVERIFY(!dlg->m_captureThreadDone);  // held in its grab
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), QString("&Start"));

    QTimer::singleShot(100, [gate] { gate->Open(); });
    Click(*dlg, IDC_START_STOP);
    QVERIFY(dlg->m_running);
    QCOMPARE(Button(*dlg, IDC_START_STOP)->text(), QString("&Stop"));
    Click(*dlg, IDC_START_STOP);
    QTRY_VERIFY_WITH_TIMEOUT(dlg->m_captureThreadDone, kRunTimeoutMs);
    QCOMPARE(gate->MostOpenAtOnce(), 1);
}

void CaptureControlsTest::browse_data() {
    QTest::addColumn<QString>("chosen");  // empty: the browser is cancelled
    QTest::addColumn<QString>("shown");   // "<temp>" stands for the chosen temporary folder
    QTest::newRow("cancelled") << ""
                               << "";
    QTest::newRow("a folder") << "<temp>"
                              << "<temp>/";
    QTest::newRow("the root") << "/"
                              << "/";
}

void CaptureControlsTest::browse() {
    QFETCH(QString, chosen);
    QFETCH(QString, shown);
    QTemporaryDir folder;
    chosen.replace("<temp>", folder.path());
    shown.replace("<temp>", folder.path());
    CaptureDialog dlg;
    QString title;
    bool directoriesOnly = false;
    dlg.Answerer().SetDialogHandler([&](QWidget* modal) {
        auto* browser = qobject_cast<QFileDialog*>(modal);
        if (browser == nullptr) {
            return;
        }
        title = browser->windowTitle();
        directoriesOnly = browser->fileMode() == QFileDialog::Directory &&
                          browser->testOption(QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty()) {
            browser->reject();
        } else {
            browser->setDirectory(chosen);
            static_cast<QDialog*>(browser)->accept();  // as the Choose button does
        }
    });
    Click(*dlg, IDC_BROWSE);
    QCOMPARE(title, QString("Select folder to store frames"));
    QVERIFY(directoriesOnly);
    QCOMPARE(Text(*dlg, IDC_FRAME_DIR), shown);
    QCOMPARE(QString::fromStdString(dlg->GetFrameDir()), shown);
}

// Everything a user can click during a run, over and over; the runs must stay whole.
void CaptureControlsTest::userClicksDuringRuns() {
    CaptureDialog dlg;
    auto camera = dlg.UseCamera(std::make_shared<SyntheticCamera>(cv::Size(160, 120)));
    dlg.Clock().SetSleepAdvance(700ms);
    int framesTaken = 0;
    for (int round = 0; round < 15; ++round) {
        Click(*dlg, IDC_START_STOP);
        QVERIFY(dlg->m_running);
        const int grabs = camera->GrabCount();
        Click(*dlg, IDC_TIMESTAMP);
        PressDelay(*dlg, "U");
        Click(*dlg, IDC_PAUSE);
        QTRY_VERIFY_WITH_TIMEOUT(camera->GrabCount() > grabs + 2, kRunTimeoutMs);
        Type(*dlg, IDC_DELAY, "5");
        QCOMPARE(dlg->m_captureDelay.load(), 5.0f);
        PressDelay(*dlg, "LLLL");
        Click(*dlg, IDC_PAUSE);
        QTRY_VERIFY_WITH_TIMEOUT(camera->GrabCount() > grabs + 6, kRunTimeoutMs);
        if (round % 3 == 2) {
            Click(*dlg, IDC_PAUSE);  // stopped while paused
        }
        Click(*dlg, IDC_START_STOP);
        QVERIFY(!dlg->m_running);
        QVERIFY(!dlg->m_paused);
        QCOMPARE(Button(*dlg, IDC_PAUSE)->text(), QString("&Pause"));
        QVERIFY(!Button(*dlg, IDC_PAUSE)->isEnabled());
        const int frames = dlg->m_endFrame;
        QCOMPARE(Text(*dlg, IDC_END_FRAME), QString::number(frames));
        for (int number = 10001; number <= 10000 + frames; ++number) {
            QVERIFY2(QFile::exists(dlg.FramePath(number)), qPrintable(dlg.FramePath(number)));
        }
        framesTaken += frames;
    }
    QVERIFY(framesTaken > 0);
}

QTEST_MAIN(CaptureControlsTest)
#include "test_capture_controls.moc"
