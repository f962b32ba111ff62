#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "platform/DialogTemplate.h"
#include "res/Resource.h"
#include "res/Strings.h"
#include "support/Captions.h"
#include "support/DialogBench.h"
#include "support/PageRecorder.h"
#include "support/VideoChecks.h"
#include "video/CompressorDlg.h"
#include "video/MakingDlg.h"

namespace {

const QString kCreated = QStringLiteral("Video (output.avi) created");

// Well apart from one another, so that each survives compression recognisably.
const cv::Scalar kPalette[] = {
    {0, 0, 255},   {0, 255, 0},     {255, 0, 0}, {0, 255, 255},   {255, 0, 255},
    {255, 255, 0}, {255, 255, 255}, {0, 0, 0},   {128, 128, 255}, {0, 128, 128},
};
constexpr int kPaletteSize = std::size(kPalette);

// Frame files in a temporary folder, each frame number painted in its own colour.
class FrameFolder {
public:
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    QString VideoPath() const { return m_dir.filePath("output.avi"); }

    void Write(int number, cv::Size size = {160, 120}) const {
        const cv::Mat frame(size, CV_8UC3, kPalette[(number - 10001) % kPaletteSize]);
        QVERIFY(cv::imwrite(Dir() + "pic_" + std::to_string(number) + ".jpg", frame));
    }
    void WriteAll(const QList<int>& numbers) const {
        for (int number : numbers) {
            Write(number);
        }
    }

private:
    QTemporaryDir m_dir;
};

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
        QVERIFY(!dlg.m_writer.isOpened());
        QVERIFY(!PreviewWindow());
    }
};

}  // namespace

class VideoMakerTest : public QObject {
    Q_OBJECT
private slots:
    void writesTheFramesTheGapTakes_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QList<int>>("written");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("gap 2") << Range(10001, 10005) << 0 << 5 << 2 << QList<int>{10002, 10004}
                               << QList<int>{0, 200, 400, 600, 800, 1000};
        QTest::newRow("thirds") << Range(10001, 10003) << 0 << 3 << 1 << Range(10001, 10003)
                                << QList<int>{0, 333, 666, 1000};
        QTest::newRow("gap 2 aligned to frame 10000, not to the start")
            << Range(10001, 10010) << 2 << 10 << 2 << QList<int>{10004, 10006, 10008, 10010}
            << QList<int>{0, 125, 250, 375, 500, 625, 750, 875, 1000};
        QTest::newRow("gap 2 from an odd start")
            << Range(10001, 10010) << 3 << 10 << 2 << QList<int>{10004, 10006, 10008, 10010}
            << QList<int>{0, 142, 285, 428, 571, 714, 857, 1000};
        QTest::newRow("missing frame inside the range stops there")
            << Range(10001, 10003) << 0 << 10 << 1 << Range(10001, 10003)
            << QList<int>{0, 100, 200, 300, 400};
        QTest::newRow("start equal to end")
            << Range(10001, 10003) << 1 << 1 << 1 << QList<int>{} << QList<int>{0};
        QTest::newRow("gap 0 taken as 1") << Range(10001, 10003) << 0 << 3 << 0
                                          << Range(10001, 10003) << QList<int>{0, 333, 666, 1000};
        QTest::newRow("gap wider than the range")
            << Range(10001, 10003) << 0 << 3 << 5 << QList<int>{} << QList<int>{0, 333, 666, 1000};
    }

    void writesTheFramesTheGapTakes() {
        QFETCH(QList<int>, present);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, gap);
        QFETCH(QList<int>, written);
        QFETCH(QList<int>, positions);
        FrameFolder frames;
        frames.WriteAll(present);
        Maker maker(frames.Dir(), start, end, gap);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList{kCreated});
        QCOMPARE(maker.positions, positions);
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("exit"), QString("0"));
        QCOMPARE(probe.value("nb_read_frames"), QString::number(written.size()));
        QCOMPARE(FramesIn(frames.VideoPath()), written);
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
        const QString previousDir = QDir::currentPath();
        if (emptyDir) {
            QDir::setCurrent(QString::fromStdString(frames.Dir()));
        }
        Maker maker(emptyDir ? std::string() : frames.Dir(), start, 10, 2);
        int choicesAsked = 0;
        AnswerCompressorWith(maker.answerer, [&](CCompressorDlg& choice) {
            ++choicesAsked;
            PressEnter(choice);
        });
        maker.Run();
        QDir::setCurrent(previousDir);
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{message.replace("%1", QString::fromStdString(frames.Dir()))});
        QCOMPARE(choicesAsked, 0);
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(!QFile::exists(frames.VideoPath()));
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
        maker.dlg.m_fps = fps;
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
    }

    void previewShowsEachWrittenFrame() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        Maker maker(frames.Dir(), 0, 3, 1);
        QList<int> shown;
        maker.onPosition = [&](int position) {
            QWidget* preview = PreviewWindow();
            if (position == 0 || !preview) {
                return;
            }
            QCOMPARE(preview->size(), QSize(160, 120));
            const QColor colour = preview->grab().toImage().pixelColor(80, 60);
            shown << FrameNumberOf(cv::Scalar(colour.blue(), colour.green(), colour.red()));
        };
        maker.Run();
        QCOMPARE(shown, Range(10001, 10003));
    }

    void stopsAfterThePassWhenAsked_data() {
        QTest::addColumn<bool>("inPreview");
        QTest::newRow("a key in the preview window") << true;
        QTest::newRow("Escape in the dialog") << false;
    }

    void stopsAfterThePassWhenAsked() {
        QFETCH(bool, inPreview);
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10010));
        Maker maker(frames.Dir(), 0, 10, 1);
        maker.onPosition = [&](int position) {
            if (position == 300) {
                if (inPreview) {
                    QTest::keyClick(PreviewWindow(), Qt::Key_Q);
                } else {
                    QTest::keyClick(&maker.dlg, Qt::Key_Escape);
                }
            }
        };
        maker.Run();
        QCOMPARE(maker.positions, (QList<int>{0, 100, 200, 300}));
        QCOMPARE(maker.answerer.Messages(), QStringList{kCreated});
        QCOMPARE(FramesIn(frames.VideoPath()), Range(10001, 10003));
    }

    void escapeBeforeTheAssemblyLeavesAFinishedEmptyVideo() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.dlg.OnInitDialog();
        QVERIFY(maker.dlg.m_writer.isOpened());
        QTest::keyClick(&maker.dlg, Qt::Key_Escape);
        QCOMPARE(maker.dlg.result(), int(QDialog::Rejected));
        QVERIFY(!maker.dlg.m_writer.isOpened());
        const QMap<QString, QString> probe = Probe(frames.VideoPath());
        QCOMPARE(probe.value("exit"), QString("0"));
        QCOMPARE(probe.value("nb_read_frames"), QString("0"));
        // The assembly's timer went with the dialog: nothing more happens.
        QTest::qWait(300);
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(maker.answerer.Messages().isEmpty());
    }

    void cancelledCompressorChoiceMakesNothing() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        Maker maker(frames.Dir(), 0, 3, 1);
        AnswerCompressorWith(maker.answerer, [](CCompressorDlg& choice) {
            QTest::keyClick(&choice, Qt::Key_Escape);
        });
        maker.Run();
        QCOMPARE(maker.answerer.Messages(), QStringList());
        QCOMPARE(maker.positions, QList<int>{0});
        QVERIFY(!QFile::exists(frames.VideoPath()));
    }

    void unwritableVideoIsReportedNotCreated() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        // A folder where the file should go: the video cannot be written even by root.
        QVERIFY(QDir().mkdir(frames.VideoPath()));
        Maker maker(frames.Dir(), 0, 3, 1);
        maker.Run();
        QCOMPARE(maker.answerer.Messages(),
                 QStringList{
                     QString("Error. Can't create output.avi in %1!").arg(frames.Dir().c_str())});
        QCOMPARE(maker.positions, QList<int>{0});
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
            AnswerCompressorWith(maker.answerer, [&](CCompressorDlg& choice) {
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
            const QMap<QString, QString> probe = Probe(frames.VideoPath());
            QCOMPARE(probe.value("codec_tag_string"), fourcc);
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
        CCompressorDlg choice;
        QCOMPARE(ClippedCaptions(choice).join("; "), QString());
    }

    void makeVideoHandsOverTheMainDialogsParameters() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10005));
        DialogBench bench(SettingsValues(5));
        AnswerCompressorWith(bench.answerer, PressEnter);
        bench->OnInitDialog();
        bench->SetFrameDir(frames.Dir());
        bench->m_startFrame = 1;
        bench->m_gap = 2;
        bench->m_fps = 10.0f;
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        QCOMPARE(bench.answerer.Messages(), QStringList{kCreated});
        QCOMPARE(Probe(frames.VideoPath()).value("r_frame_rate"), QString("10/1"));
        QCOMPARE(FramesIn(frames.VideoPath()), (QList<int>{10002, 10004}));
        QCOMPARE(bench->m_startFrame, 1);
        QCOMPARE(bench->m_endFrame, 5);
        QCOMPARE(bench->m_gap, 2);
        QVERIFY(bench->isVisible());
    }

    void makeVideoIsRefusedDuringCapture() {
        FrameFolder frames;
        frames.WriteAll(Range(10001, 10003));
        DialogBench bench(SettingsValues(3));
        int choicesAsked = 0;
        AnswerCompressorWith(bench.answerer, [&](CCompressorDlg& choice) {
            ++choicesAsked;
            PressEnter(choice);
        });
        bench->OnInitDialog();
        bench->SetFrameDir(frames.Dir());
        bench.camera->HoldGrabs();  // a run that is really going
        bench->m_capture->m_running = true;
        QVERIFY(bench->StartCaptureThread());
        bench->show();
        Click(*bench, IDC_MAKE_VIDEO);
        bench->m_capture->m_running = false;
        bench.camera->ReleaseGrabs();
        QVERIFY(bench->StopCaptureThread());
        QCOMPARE(bench.answerer.Messages(),
                 QStringList{"Please stop the capture before making a video."});
        QCOMPARE(choicesAsked, 0);
        QVERIFY(!QFile::exists(frames.VideoPath()));
    }
};

QTEST_MAIN(VideoMakerTest)
#include "test_video_maker.moc"
