#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <clocale>
#include <opencv2/imgcodecs.hpp>

#include "capture/CaptureLoop.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/DialogBench.h"
#include "widgets/DialogControls.h"

using namespace std::chrono_literals;

namespace {

constexpr int kRunTimeoutMs = 60000;

// The main dialog after start-up, its frame folder the bench's, given without the trailing
// separator as a user might choose it. Not shown: painting would bring in
// Qt's own drawing threads, whose locks ThreadSanitizer cannot see.
struct CaptureDialog : DialogBench {
    explicit CaptureDialog(int framesCounted = 0)
        : DialogBench(SettingsValues(framesCounted), {640, 480}) {
        dlg->OnInitDialog();
        dlg->Session().SetFrameDir(frameDir.path().toStdString());
    }
    void UseCamera(std::shared_ptr<SyntheticCamera> other) {
        dlg->Session().SetCameraOpener(RecordingOpener(ShareCamera(other)).Opener());
    }
    // Starts a run that ends when the camera fails, and waits for it to end.
    void RunUntilCameraFails() {
        Click(*dlg, IDC_START_STOP);
        WaitForEndedRun();
    }
    // A run that ends by itself shows the stopped state as Stop does, and says why.
    void WaitForEndedRun(const std::string& message = CaptureEndMessage(CaptureEnd::SourceEnded)) {
        QTRY_COMPARE_WITH_TIMEOUT(Caption(*dlg, IDC_START_STOP), QString("&Start"), kRunTimeoutMs);
        QVERIFY(!dlg->Session().m_capture->m_running);
        QVERIFY(!Enabled(*dlg, IDC_PAUSE));
        QVERIFY(answerer.WaitForMessages(1));
        QCOMPARE(answerer.Messages().back(), QString::fromStdString(message));
        answerer.Clear();
    }
    void VerifyFramesSaved(int frames) {
        QCOMPARE(Text(*dlg, IDC_END_FRAME), QString::number(frames));
        QCOMPARE(dlg->Session().m_endFrame, frames);
        for (int number = 10001; number <= 10000 + frames; ++number) {
            QVERIFY2(QFile::exists(FramePath(number)), qPrintable(FramePath(number)));
        }
        QVERIFY(!QFile::exists(FramePath(10001 + frames)));
        QVERIFY(Enabled(*dlg, IDC_MAKE_VIDEO));
    }
};

}  // namespace

class CaptureControlsTest : public QObject {
    Q_OBJECT
private slots:
    void buttonsShowTheRunState_data() {
        QTest::addColumn<QString>("clicks");  // S: Start/Stop, P: Pause
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("startCaption");
        QTest::addColumn<QString>("pauseCaption");  // empty: Pause disabled, showing "&Pause"
        const auto row = [](const char* name, QString clicks, bool running, bool paused,
                            QString start, QString pause) {
            QTest::newRow(name) << clicks << running << paused << start << pause;
        };
        row("idle", "", false, false, "&Start", "");
        row("capturing", "S", true, false, "&Stop", "&Pause");
        row("paused", "SP", true, true, "&Stop", "&Unpause");
        row("unpaused", "SPP", true, false, "&Stop", "&Pause");
        row("paused, stopped", "SPS", false, false, "&Start", "");
        row("paused, stopped, started", "SPSS", true, false, "&Stop", "&Pause");
    }

    void buttonsShowTheRunState() {
        QFETCH(QString, clicks);
        QFETCH(bool, running);
        QFETCH(bool, paused);
        QFETCH(QString, startCaption);
        QFETCH(QString, pauseCaption);
        CaptureDialog dlg;
        for (QChar click : clicks) {
            Click(*dlg, click == 'S' ? IDC_START_STOP : IDC_PAUSE);
        }
        QCOMPARE(dlg->Session().m_capture->m_running.load(), running);
        QCOMPARE(dlg->Session().m_capture->m_paused.load(), paused);
        QCOMPARE(Caption(*dlg, IDC_START_STOP), startCaption);
        QCOMPARE(Enabled(*dlg, IDC_PAUSE), !pauseCaption.isEmpty());
        if (pauseCaption.isEmpty()) {
            pauseCaption = "&Pause";
        }
        QCOMPARE(Caption(*dlg, IDC_PAUSE), pauseCaption);
        // Screen readers hear what the buttons show.
        QCOMPARE(GetDlgItem(*dlg, IDC_START_STOP)->accessibleName(), startCaption.remove('&'));
        QCOMPARE(GetDlgItem(*dlg, IDC_PAUSE)->accessibleName(), pauseCaption.remove('&'));
    }

    // However the box changes: mouse, keyboard, or an accessibility tool's toggle.
    void timestampFollowsTheCheckBox() {
        CaptureDialog dlg;
        auto* box = GetDlgItemAs<QCheckBox>(*dlg, IDC_TIMESTAMP);
        const std::function<void()> toggles[] = {
            [&] { Click(*dlg, IDC_TIMESTAMP); },
            [&] { Click(*dlg, IDC_TIMESTAMP); },
            [&] { QTest::keyClick(box, Qt::Key_Space); },
            [&] { box->toggle(); },
        };
        bool expected = false;
        for (const auto& toggle : toggles) {
            toggle();
            expected = !expected;
            QCOMPARE(box->isChecked(), expected);
            QCOMPARE(dlg->Session().m_capture->m_showTimestamp.load(), expected);
        }
    }

    void delayArrowsWrapAround_data() {
        QTest::addColumn<QString>("typed");  // empty: the 1.0 of start-up
        QTest::addColumn<QString>("arrows");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, QString typed, QString arrows, QString shown) {
            QTest::newRow(name) << typed << arrows << shown;
        };
        row("1.0 lower wraps to a day", "", "L", "86400.0");
        row("a day, upper wraps to 0.1", "", "LU", "0.1");
        row("0.1 lower wraps to a day", "", "LUL", "86400.0");
        row("0.1 upper", "", "LUU", "1.1");
        row("1.1 lower keeps 0.1", "", "LUUL", "0.1");
        row("2.0 upper", "2", "U", "3.0");
        row("2.0 lower", "2", "L", "1.0");
        // A typed 0 is no delay; the arrows step from the last one that was.
        row("0 typed, upper", "0", "U", "2.0");
    }

    void delayArrowsWrapAround() {
        QFETCH(QString, typed);
        QFETCH(QString, arrows);
        QFETCH(QString, shown);
        CaptureDialog dlg;
        if (!typed.isEmpty()) {
            Type(*dlg, IDC_DELAY, typed);
        }
        PressArrows(*dlg, IDC_DELAY_SPIN, arrows);
        QCOMPARE(Text(*dlg, IDC_DELAY), shown);
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), shown.toFloat());
    }

    // While the edit is retyped, a run keeps the last valid delay: it never bursts.
    void typedDelayIsTakenOnceValid() {
        CaptureDialog dlg;
        Type(*dlg, IDC_DELAY, "");
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 1.0f);
        QTest::keyClicks(GetDlgItem(*dlg, IDC_DELAY), "0");
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 1.0f);
        QTest::keyClicks(GetDlgItem(*dlg, IDC_DELAY), "5");
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 5.0f);
        Type(*dlg, IDC_DELAY, "0");
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 5.0f);
        Type(*dlg, IDC_DELAY, "57");
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 57.0f);
        // Under a second, as the arrows reach it; the Up key steps as the upper arrow.
        Type(*dlg, IDC_DELAY, "0.5");
        QCOMPARE(dlg->Session().DelayTenths(), 5);
        QTest::keyClick(GetDlgItem(*dlg, IDC_DELAY), Qt::Key_Up);
        QCOMPARE(Text(*dlg, IDC_DELAY), QString("1.5"));
        QCOMPARE(dlg->Session().DelayTenths(), 15);
    }

    // The delay edit shows a point, whatever decimal separator the user's locale has.
    void delayReadsThePointWhateverTheLocale() {
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
        PressArrows(*dlg, IDC_DELAY_SPIN, "LUU");
        std::setlocale(LC_NUMERIC, old.c_str());
        QCOMPARE(Text(*dlg, IDC_DELAY), QString("1.1"));
        QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 1.1f);
    }

    // With no time passing no frame is due; the frames counted before do not count.
    void stopBeforeAnyFrameShowsNone() {
        CaptureDialog dlg(37);
        dlg.clock.SetSleepAdvance(0us);
        Click(*dlg, IDC_START_STOP);
        Click(*dlg, IDC_START_STOP);
        dlg.VerifyFramesSaved(0);
        QCOMPARE(Text(*dlg, IDC_DURATION), QString("0.00"));
    }

    void runOfFramesShowsItsCount_data() {
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("duration");
        QTest::newRow("none") << 0 << "0.00";
        QTest::newRow("twelve") << 12 << "0.48";
    }

    void runOfFramesShowsItsCount() {
        QFETCH(int, frames);
        QFETCH(QString, duration);
        CaptureDialog dlg;
        // Each pass takes 1.5 s against the delay of 1.0; the first grab has no time behind it,
        // so every later grab saves a frame.
        dlg.clock.SetSleepAdvance(1500ms);
        dlg.camera->FailGrabsAfter(frames + 1);
        dlg.RunUntilCameraFails();
        dlg.VerifyFramesSaved(frames);
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
        QCOMPARE(dlg.Log(), QByteArray("Acquiring capture device...successful\n"
                                       "Attempting to release capture...successful\n"
                                       "Attempting to close window...successful\n"));
    }

    void secondStartNumbersFromTheFirstFrameAgain() {
        CaptureDialog dlg;
        dlg.clock.SetSleepAdvance(1500ms);
        dlg.camera->FailGrabsAfter(5);
        dlg.RunUntilCameraFails();
        QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("4"));

        // The second camera's smaller frames tell its files from the first run's.
        const cv::Size second(320, 240);
        auto camera = std::make_shared<SyntheticCamera>(second);
        camera->FailGrabsAfter(3);
        dlg.UseCamera(camera);
        dlg.RunUntilCameraFails();
        QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("2"));
        QCOMPARE(dlg->Session().GetFrameCounter(), 10002);
        QCOMPARE(cv::imread(dlg.FramePath(10001).toStdString()).size(), second);
        QCOMPARE(cv::imread(dlg.FramePath(10002).toStdString()).size(), second);
        QCOMPARE(cv::imread(dlg.FramePath(10003).toStdString()).size(), cv::Size(640, 480));
    }

    void noCameraShowsTheRunStopped() {
        CaptureDialog dlg;
        dlg->Session().SetCameraOpener(RecordingOpener(NoCamera()).Opener());
        Click(*dlg, IDC_START_STOP);
        dlg.WaitForEndedRun(kNoCameraMessage);
        QCOMPARE(Text(*dlg, IDC_END_FRAME), QString("0"));
    }

    // Stop returns while a hung camera holds the run; the next Start must not begin a second run
    // beside it, which would number frames from the same counter.
    void startRefusesWhileAHungRunHolds() {
        CaptureDialog dlg;
        dlg.camera->HoldGrabs();
        Click(*dlg, IDC_START_STOP);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.camera->GrabsHeld() == 1, kRunTimeoutMs);
        Click(*dlg, IDC_START_STOP);
        QVERIFY(dlg->Session().WaitForCaptureThread(0) == false);  // still held in its grab
        QCOMPARE(Caption(*dlg, IDC_START_STOP), QString("&Start"));

        Click(*dlg, IDC_START_STOP);
        QVERIFY(dlg.answerer.WaitForMessages(1));
        QVERIFY2(dlg.answerer.Messages().back().contains("still ending"),
                 qPrintable(dlg.answerer.Messages().back()));
        QVERIFY(!dlg->Session().m_capture->m_running);
        QCOMPARE(Caption(*dlg, IDC_START_STOP), QString("&Start"));

        dlg.camera->ReleaseGrabs();
        QVERIFY(dlg->Session().WaitForCaptureThread(kRunTimeoutMs));
        Click(*dlg, IDC_START_STOP);
        QVERIFY(dlg->Session().m_capture->m_running);
        Click(*dlg, IDC_START_STOP);
        QCOMPARE(dlg.camera->MostSharesOpen(), 1);
    }

    // The window runs without a modal loop of its own: a key that the window system delivers to
    // the preview window reaches it beside the shown main window, and ends the run.
    void keyInThePreviewEndsARunOfTheShownWindow() {
        DialogBench bench(SettingsValues(), {640, 480});
        bool besideTheShownWindow = false;
        bool ended = false;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!bench->isVisible()) {
                return;
            }
            user.stop();
            Click(*bench, IDC_START_STOP);
            if (QTest::qWaitFor([] { return PreviewWindow() && PreviewWindow()->isVisible(); },
                                kRunTimeoutMs)) {
                besideTheShownWindow =
                    bench->isVisible() && QApplication::activeModalWidget() == nullptr;
                PressKeyFromWindowSystem(PreviewWindow(), Qt::Key_Q);
                ended = QTest::qWaitFor([&] { return Caption(*bench, IDC_START_STOP) == "&Start"; },
                                        kRunTimeoutMs);
            }
            Click(*bench, IDOK);
        });
        user.start(10);
        bench->Run();
        QVERIFY(besideTheShownWindow);
        QVERIFY(ended);
        QVERIFY(bench.answerer.Messages().isEmpty());
    }

    // Frames of an earlier run or of the unattended mode are not replaced without asking.
    // A folder whose frames cannot be listed is not started in: they would be replaced unasked.
    void startOverExistingFramesAsks_data() {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("no") << false << false;
        QTest::newRow("yes") << true << false;
        QTest::newRow("folder cannot be listed") << false << true;
    }

    void startOverExistingFramesAsks() {
        QFETCH(bool, replace);
        QFETCH(bool, unreadable);
        CaptureDialog dlg;
        if (unreadable) {
            dlg->Session().SetFrameDir(dlg.FramePath(10001).toStdString());  // a file, not a folder
        }
        for (int number : {10001, 10002}) {
            QFile file(dlg.FramePath(number));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier");
        }
        dlg.answerer.SetQuestionAnswer(replace ? QMessageBox::Yes : QMessageBox::No);
        Click(*dlg, IDC_START_STOP);
        QCOMPARE(dlg.answerer.Messages().size(), 1);
        QVERIFY2(
            dlg.answerer.Messages().front().contains(unreadable ? "cannot be read" : "2 frame"),
            qPrintable(dlg.answerer.Messages().front()));
        QCOMPARE(dlg->Session().m_capture->m_running.load(), replace);
        Click(*dlg, IDC_START_STOP);
        QCOMPARE(dlg.opener.Requests().size(), replace ? 1u : 0u);
        if (!replace) {
            QCOMPARE(FrameFiles(dlg.frameDir.path()).size(), 2);
            QFile file(dlg.FramePath(10001));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("earlier"));
        }
    }

    void browse_data() {
        QTest::addColumn<QString>("chosen");  // empty: cancelled; "<temp>": a temporary folder
        QTest::addColumn<QString>("shown");
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("a folder") << "<temp>" << QString("<temp>/");
        QTest::newRow("the root") << "/" << QString("/");
    }

    void browse() {
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        QTemporaryDir folder;
        chosen.replace("<temp>", folder.path());
        shown.replace("<temp>", folder.path());
        CaptureDialog dlg;
        QString title;
        bool directoriesOnly = false;
        dlg.answerer.SetDialogHandler([&](QWidget* modal) {
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
        const QString shownBefore = Text(*dlg, IDC_FRAME_DIR);
        const QString dirBefore = QString::fromStdString(dlg->Session().GetFrameDir());
        Click(*dlg, IDC_BROWSE);
        QCOMPARE(title, QString("Select folder to store frames"));
        QVERIFY(directoriesOnly);
        // Cancelled, the folder stays as it was.
        QCOMPARE(Text(*dlg, IDC_FRAME_DIR), shown.isEmpty() ? shownBefore : shown);
        QCOMPARE(QString::fromStdString(dlg->Session().GetFrameDir()),
                 shown.isEmpty() ? dirBefore : shown);
    }

    // Everything a user can click during a run, over and over; the runs must stay whole.
    void userClicksDuringRuns() {
        CaptureDialog dlg;
        dlg.clock.SetSleepAdvance(700ms);
        int framesTaken = 0;
        for (int round = 0; round < 15; ++round) {
            Click(*dlg, IDC_START_STOP);
            QVERIFY(dlg->Session().m_capture->m_running);
            const int grabs = dlg.camera->GrabCount();
            Click(*dlg, IDC_TIMESTAMP);
            PressArrows(*dlg, IDC_DELAY_SPIN, "U");
            Click(*dlg, IDC_PAUSE);
            QTRY_VERIFY_WITH_TIMEOUT(dlg.camera->GrabCount() > grabs + 2, kRunTimeoutMs);
            Type(*dlg, IDC_DELAY, "5");
            QCOMPARE(dlg->Session().m_capture->m_captureDelay.load(), 5.0f);
            PressArrows(*dlg, IDC_DELAY_SPIN, "LLLL");
            Click(*dlg, IDC_PAUSE);
            QTRY_VERIFY_WITH_TIMEOUT(dlg.camera->GrabCount() > grabs + 6, kRunTimeoutMs);
            if (round % 3 == 2) {
                Click(*dlg, IDC_PAUSE);  // stopped while paused
            }
            Click(*dlg, IDC_START_STOP);
            QVERIFY(!dlg->Session().m_capture->m_running);
            QVERIFY(!dlg->Session().m_capture->m_paused);
            QCOMPARE(Caption(*dlg, IDC_PAUSE), QString("&Pause"));
            QVERIFY(!Enabled(*dlg, IDC_PAUSE));
            const int frames = dlg->Session().m_endFrame;
            QCOMPARE(Text(*dlg, IDC_END_FRAME), QString::number(frames));
            for (int number = 10001; number <= 10000 + frames; ++number) {
                QVERIFY2(QFile::exists(dlg.FramePath(number)), qPrintable(dlg.FramePath(number)));
            }
            framesTaken += frames;
        }
        QVERIFY(framesTaken > 0);
    }
};

QTEST_MAIN(CaptureControlsTest)
#include "test_capture_controls.moc"
