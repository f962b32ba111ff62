#include <sys/stat.h>

#include <QAccessible>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>

#include "frames/FrameFile.h"
#include "panel/FramesDlg.h"
#include "panel/FramesModel.h"
#include "res/Resource.h"
#include "support/DialogBench.h"
#include "widgets/DialogControls.h"
#include "widgets/GroupedIconView.h"

namespace {

// The main dialog after start-up with 50 frames counted in the settings. Not shown: its controls
// take typed keys and clicks all the same.
struct VideoDialog : DialogBench {
    VideoDialog() : DialogBench(SettingsValues(50)) { dlg->OnInitDialog(); }
};

// Six frames over two days (local time), three of them bad, in the folder of a main dialog
// whose project day starts at `dayStartsAt`; the frame browser open over them, its frames read.
struct FramesBench : DialogBench {
    explicit FramesBench(const char* dayStartsAt = "00:00") {
        settings.WriteValues(SettingsValues(6, 0, frameDir.path() + "/") +
                             "DAY_STARTS_AT=" + dayStartsAt + "\n");
        const std::string dir = frameDir.path().toStdString() + "/";
        // Noisy, so that most of the file is picture data.
        cv::Mat grey(240, 320, CV_8UC3);
        cv::randu(grey, 90, 170);
        const cv::Mat black(240, 320, CV_8UC3, cv::Scalar(0, 0, 0));
        Save(dir, 10001, grey, "2026-06-13T10:00");
        Save(dir, 10002, grey, "2026-06-13T12:00");
        Save(dir, 10003, grey, "2026-06-13T23:30");
        Save(dir, 10004, black, "2026-06-14T00:30");
        Save(dir, 10005, grey, "2026-06-14T12:00");
        Save(dir, 10006, grey, "2026-06-14T13:00");
        // Cut short in its picture data; emptied, with only its file time left.
        const std::string cut = FramePath(10003).toStdString();
        std::filesystem::resize_file(cut, std::filesystem::file_size(cut) * 3 / 4);
        const auto emptied = std::filesystem::last_write_time(FramePath(10006).toStdString());
        std::ofstream emptying(FramePath(10006).toStdString(), std::ios::trunc);
        emptying.close();
        std::filesystem::last_write_time(FramePath(10006).toStdString(), emptied);
        dlg->OnInitDialog();
        dlg->OnFrames();
        frames = dlg->findChild<FramesDlg*>();
    }

    static void Save(const std::string& dir, int number, const cv::Mat& picture,
                     const char* local) {
        const QDateTime when = QDateTime::fromString(local, Qt::ISODate);
        int saved = number;
        QCOMPARE(
            SaveFrameAtFirstFree(dir, picture, {LocalCaptureTime(when.toMSecsSinceEpoch()), {}, {}},
                                 saved, [](int) { return true; }),
            FrameSave::Saved);
        QCOMPARE(saved, number);
    }

    // Each row as a screen reader names it, from the grid's accessible items: a day's heading, or
    // a frame's name and time; with the frame's trouble.
    QStringList Rows() const {
        QStringList rows;
        FramesModel& model = frames->Model();
        QAccessibleInterface* grid =
            QAccessible::queryAccessibleInterface(frames->findChild<GroupedIconView*>());
        for (int row = 0; grid != nullptr && row < model.rowCount(); ++row) {
            QAccessibleInterface* item = grid->child(row);
            rows << (item ? item->text(QAccessible::Name) : QString()) +
                        (model.TroubleOf(row).isEmpty() ? "" : ": " + model.TroubleOf(row));
        }
        return rows;
    }

    // Keys in the browser as the window system delivers them.
    void Press(Qt::Key key) { QTest::keyClick(frames->windowHandle(), key); }

    QPointer<FramesDlg> frames;
};

}  // namespace

class VideoControlsTest : public QObject {
    Q_OBJECT
private slots:
    void durationFollowsTypedValues_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("gap");
        QTest::addColumn<QString>("duration");
        const auto row = [](const char* name, const QString& start, const QString& end,
                            const QString& gap, const QString& duration) {
            QTest::newRow(name) << start << end << gap << duration;
        };
        row("50 frames at 25 fps", "0", "50", "1", "2.00");
        row("from 25, every other", "25", "50", "2", "0.50");
        row("one frame", "49", "50", "1", "0.04");
        row("empty range", "10", "10", "3", "0.00");
    }

    void durationFollowsTypedValues() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, gap);
        QFETCH(QString, duration);
        VideoDialog dlg;
        Type(*dlg, IDC_END_FRAME, end);
        Type(*dlg, IDC_START_FRAME, start);
        Type(*dlg, IDC_GAP, gap);
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
        QCOMPARE(dlg->Session().m_startFrame, start.toInt());
        QCOMPARE(dlg->Session().m_endFrame, end.toInt());
        QCOMPARE(dlg->Session().m_gap, gap.toInt());
    }

    void typedFramesOutsideTheirLimits_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("duration");
        QTest::newRow("end beyond the frames taken") << IDC_END_FRAME << "80" << 0 << 50 << "2.00";
        QTest::newRow("start beyond the end") << IDC_START_FRAME << "70" << 50 << 50 << "0.00";
        QTest::newRow("end emptied") << IDC_END_FRAME << "" << 0 << 0 << "0.00";
        QTest::newRow("start emptied") << IDC_START_FRAME << "" << 0 << 50 << "2.00";
        QTest::newRow("end beyond int") << IDC_END_FRAME << "99999999999" << 0 << 50 << "2.00";
    }

    // The member keeps to its limits; the edit keeps what was typed.
    void typedFramesOutsideTheirLimits() {
        QFETCH(int, edit);
        QFETCH(QString, typed);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, duration);
        VideoDialog dlg;
        Type(*dlg, edit, typed);
        QCOMPARE(Text(*dlg, edit), typed);
        QCOMPARE(dlg->Session().m_startFrame, start);
        QCOMPARE(dlg->Session().m_endFrame, end);
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    }

    // The start and gap arrows step the typed value and keep it within its limits.
    void startAndGapArrows_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("arrows");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("duration");
        const auto row = [](const char* name, int edit, const QString& typed, const QString& arrows,
                            int value, const QString& duration) {
            QTest::newRow(name) << edit << typed << arrows << value << duration;
        };
        row("start: upper raises", IDC_START_FRAME, "10", "U", 11, "1.56");
        row("start: lower lowers", IDC_START_FRAME, "10", "L", 9, "1.64");
        row("start: at 0 the lower keeps 0", IDC_START_FRAME, "0", "L", 0, "2.00");
        row("start: at the end the upper keeps it", IDC_START_FRAME, "50", "U", 50, "0.00");
        row("start: typed beyond the end, lower", IDC_START_FRAME, "70", "L", 49, "0.04");
        row("gap: at 1, lower keeps 1", IDC_GAP, "1", "L", 1, "2.00");
        row("gap: at 1, upper", IDC_GAP, "1", "U", 2, "1.00");
        row("gap: at 10, upper keeps 10", IDC_GAP, "10", "U", 10, "0.20");
        row("gap: at 10, lower", IDC_GAP, "10", "L", 9, "0.22");
        row("gap: 15 typed, upper", IDC_GAP, "15", "U", 10, "0.20");
        row("gap: 15 typed, lower", IDC_GAP, "15", "L", 10, "0.20");
        row("gap: 0 typed, lower", IDC_GAP, "0", "L", 1, "2.00");
        row("gap: beyond int typed, upper", IDC_GAP, "99999999999", "U", 10, "0.20");
    }

    void startAndGapArrows() {
        QFETCH(int, edit);
        QFETCH(QString, typed);
        QFETCH(QString, arrows);
        QFETCH(int, value);
        QFETCH(QString, duration);
        VideoDialog dlg;
        Type(*dlg, edit, typed);
        PressArrows(*dlg, edit == IDC_GAP ? IDC_GAP_SPIN : IDC_START_SPIN, arrows);
        QCOMPARE(edit == IDC_GAP ? dlg->Session().m_gap : dlg->Session().m_startFrame, value);
        QCOMPARE(Text(*dlg, edit), QString::number(value));
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    }

    void endArrowsAroundTheLimit_data() {
        QTest::addColumn<QString>("startAndEnd");
        QTest::addColumn<int>("framesTaken");
        QTest::addColumn<QString>("arrows");
        QTest::addColumn<int>("member");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("duration");
        const auto row = [](const char* name, const QString& startAndEnd, int framesTaken,
                            const QString& arrows, int member, const QString& shown,
                            const QString& duration) {
            QTest::newRow(name) << startAndEnd << framesTaken << arrows << member << shown
                                << duration;
        };
        row("at the limit, upper", "0 50", 50, "U", 50, "50", "2.00");
        row("at the limit, lower", "0 50", 50, "L", 49, "49", "1.96");
        row("at the start, lower", "20 20", 50, "L", 20, "20", "0.00");
        // The start lies above the frames taken: it comes down with the end.
        row("start above the limit, upper", "5 5", 3, "U", 3, "3", "0.00");
        row("start above the limit, upper then lower", "5 5", 3, "UL", 3, "3", "0.00");
        row("start above the limit, lower", "5 9", 3, "LL", 3, "3", "0.00");
    }

    void endArrowsAroundTheLimit() {
        QFETCH(QString, startAndEnd);
        QFETCH(int, framesTaken);
        QFETCH(QString, arrows);
        QFETCH(int, member);
        QFETCH(QString, shown);
        QFETCH(QString, duration);
        VideoDialog dlg;
        Type(*dlg, IDC_END_FRAME, startAndEnd.section(' ', 1));
        Type(*dlg, IDC_START_FRAME, startAndEnd.section(' ', 0, 0));
        // As a later run that took fewer frames leaves the counter.
        dlg->Session().m_capture->m_frameCounter = 10000 + framesTaken;
        PressArrows(*dlg, IDC_END_SPIN, arrows);
        QCOMPARE(dlg->Session().m_endFrame, member);
        QCOMPARE(Text(*dlg, IDC_END_FRAME), shown);
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
        QVERIFY(dlg->Session().m_startFrame <= dlg->Session().m_endFrame);
    }

    // A gap below 1 would give no finite duration and no frames to step through; it counts as 1
    // while the edit keeps what was typed.
    void gapBelowOneCountsAsOne_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("0") << "0";
        QTest::newRow("emptied") << "";
    }

    void gapBelowOneCountsAsOne() {
        QFETCH(QString, typed);
        VideoDialog dlg;
        Type(*dlg, IDC_GAP, "3");
        Type(*dlg, IDC_GAP, typed);
        QCOMPARE(Text(*dlg, IDC_GAP), typed);
        QCOMPARE(dlg->Session().m_gap, 1);
        QVERIFY(std::isfinite(dlg->Session().Duration()));
        QCOMPARE(Text(*dlg, IDC_DURATION), QString("2.00"));
    }

    void fpsArrows_data() {
        QTest::addColumn<int>("upper");
        QTest::addColumn<int>("lower");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("duration");
        QTest::newRow("25.0 upper") << 1 << 0 << "25.1" << QString("1.99");
        QTest::newRow("25.0 lower") << 0 << 1 << "24.9" << QString("2.01");
        QTest::newRow("held at 50.0") << 260 << 0 << "50.0" << QString("1.00");
        QTest::newRow("held at 10.0") << 0 << 160 << "10.0" << QString("5.00");
    }

    void fpsArrows() {
        QFETCH(int, upper);
        QFETCH(int, lower);
        QFETCH(QString, shown);
        QFETCH(QString, duration);
        VideoDialog dlg;
        PressArrows(*dlg, IDC_FPS_SPIN, QString(upper, 'U') + QString(lower, 'L'));
        QCOMPARE(Text(*dlg, IDC_FPS), shown);
        QCOMPARE(Text(*dlg, IDC_DURATION), duration);
    }

    // The rate is kept in exact tenths: what the edit shows is what the video gets, however many
    // steps led there.
    void fpsStepsAreExactTenths() {
        VideoDialog dlg;
        PressArrows(*dlg, IDC_FPS_SPIN, QString(39, 'U'));
        QCOMPARE(Text(*dlg, IDC_FPS), QString("28.9"));
        QCOMPARE(dlg->Session().Rate().num, 289);
        QCOMPARE(dlg->Session().Rate().den, 10);
        PressArrows(*dlg, IDC_FPS_SPIN, QString(260, 'U') + QString(400, 'L'));
        QCOMPARE(dlg->Session().m_fpsTenths, 100);
        // Without a mouse: Page Up in the edit is ten presses of its upper arrow.
        QTest::keyClick(GetDlgItem(*dlg, IDC_FPS), Qt::Key_PageUp);
        QCOMPARE(Text(*dlg, IDC_FPS), QString("11.0"));
    }

    // Each frame under its project day's heading, named by its file and the wall-clock time it
    // was taken at; bad frames carry what the video maker would leave them out for, once their
    // thumbnails are in sight.
    void framesWindowShowsFramesByDay_data() {
        QTest::addColumn<QString>("dayStartsAt");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("days from midnight")
            << "00:00"
            << QStringList{"2026-06-13, Saturday: 3 frames",
                           "pic_10001.jpg 10:00",
                           "pic_10002.jpg 12:00",
                           "pic_10003.jpg 23:30: cut short",
                           "2026-06-14, Sunday: 3 frames",
                           "pic_10004.jpg 00:30: nearly black (mean luma 0)",
                           "pic_10005.jpg 12:00",
                           "pic_10006.jpg 13:00: empty file"};
        QTest::newRow("days from 01:00")
            << "01:00"
            << QStringList{"2026-06-13, Saturday: 4 frames",
                           "pic_10001.jpg 10:00",
                           "pic_10002.jpg 12:00",
                           "pic_10003.jpg 23:30: cut short",
                           "pic_10004.jpg 00:30: nearly black (mean luma 0)",
                           "2026-06-14, Sunday: 2 frames",
                           "pic_10005.jpg 12:00",
                           "pic_10006.jpg 13:00: empty file"};
    }

    void framesWindowShowsFramesByDay() {
        QFETCH(QString, dayStartsAt);
        QFETCH(QStringList, rows);
        FramesBench bench(qPrintable(dayStartsAt));
        QVERIFY(bench.frames);
        QCOMPARE(bench.frames->windowTitle(), QString("Frames"));
        QTRY_VERIFY(bench.frames->Model().IsLoaded());
        QTRY_COMPARE(bench.Rows(), rows);
        // The heading is no frame: it cannot be chosen.
        QVERIFY(!(bench.frames->Model().flags(bench.frames->Model().index(0, 0)) &
                  Qt::ItemIsSelectable));
    }

    // Home, End and the arrows move among the frames, passing over the days' headings; the
    // First frame and Last frame keys (F, L) choose, and Enter hands the range to the main window
    // as if it had been typed.
    void framesWindowSetsTheRangeFromTheKeyboard_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("duration");
        const int f = Qt::Key_F;
        const int l = Qt::Key_L;
        QTest::newRow("second to fifth")
            << QList<int>{Qt::Key_Home, Qt::Key_Right, f, Qt::Key_End, Qt::Key_Left, l} << "1"
            << "5"
            << "0.16";
        QTest::newRow("over the day's heading")
            << QList<int>{Qt::Key_Home, Qt::Key_Right, Qt::Key_Right, f, Qt::Key_Right, l} << "2"
            << "4"
            << "0.08";
        QTest::newRow("last before first: one frame")
            << QList<int>{Qt::Key_End, f, Qt::Key_Home, l} << "0"
            << "1"
            << "0.04";
        QTest::newRow("back over the heading")
            << QList<int>{Qt::Key_End, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, f, Qt::Key_End, l}
            << "2"
            << "6"
            << "0.16";
    }

    void framesWindowSetsTheRangeFromTheKeyboard() {
        QFETCH(QList<int>, keys);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, duration);
        FramesBench bench;
        Type(*bench, IDC_START_FRAME, "3");
        QVERIFY(QTest::qWaitForWindowExposed(bench.frames));
        QTRY_VERIFY(bench.frames->Model().IsLoaded());
        for (const int key : keys) {
            bench.Press(Qt::Key(key));
        }
        bench.Press(Qt::Key_Return);
        QTRY_VERIFY(!bench.frames);  // closed, and gone
        QCOMPARE(Text(*bench, IDC_START_FRAME), start);
        QCOMPARE(Text(*bench, IDC_END_FRAME), end);
        QCOMPARE(bench->Session().m_startFrame, start.toInt());
        QCOMPARE(bench->Session().m_endFrame, end.toInt());
        QCOMPARE(Text(*bench, IDC_DURATION), duration);
    }

    // Cancel leaves the range as it was; the browser opens again with it.
    void framesWindowCancelledKeepsTheRange() {
        FramesBench bench;
        QTRY_VERIFY(bench.frames->Model().IsLoaded());
        bench.Press(Qt::Key_End);
        bench.Press(Qt::Key_F);
        bench.Press(Qt::Key_Escape);
        QTRY_VERIFY(!bench.frames);
        QCOMPARE(Text(*bench, IDC_START_FRAME), QString("0"));
        QCOMPARE(Text(*bench, IDC_END_FRAME), QString("6"));
        bench->OnFrames();
        QVERIFY(bench->findChild<FramesDlg*>());
    }
};

QTEST_MAIN(VideoControlsTest)
#include "test_video_controls.moc"
