
#include <algorithm>
#include <cmath>

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QDir>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <opencv2/imgcodecs.hpp>

#include "frames/CaptureTime.h"
#include "panel/CompressorDlg.h"
#include "panel/MakingDlg.h"
#include "panel/VideoOptionsDlg.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/Captions.h"
#include "support/DialogBench.h"
#include "support/FrameFolder.h"
#include "support/PageRecorder.h"
#include "support/VideoChecks.h"
#include "video/VideoAssembly.h"
#include "video/VideoProbe.h"
#include "widgets/DialogControls.h"

namespace {

const QString kCreated = QStringLiteral("Video (output.avi) created");

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

class VideoAssemblyTest : public QObject {
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
        QVERIFY(QAbstractEventDispatcher::instance()->registeredTimers(&maker.dlg).isEmpty());
        QCoreApplication::processEvents();
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

private:
    QProcess m_sessionBus;
};

QTEST_MAIN(VideoAssemblyTest)
#include "test_video_assembly.moc"
