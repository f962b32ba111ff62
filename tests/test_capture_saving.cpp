
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <chrono>
#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "capture/CaptureLoop.h"
#include "frames/AttemptRecord.h"
#include "frames/FrameFile.h"
#include "res/Strings.h"
#include "res/Version.h"
#include "support/DialogBench.h"
#include "support/FakeFreeSpace.h"
#include "support/LoopBench.h"
#include "support/TimeZoneSet.h"

using namespace std::chrono_literals;

namespace {

// Where the timestamp is drawn: its base line is at y 60 from x 10.
const cv::Rect kTimestampArea(10, 45, 140, 18);

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

}  // namespace

class CaptureSavingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { DropLeftoverKeys(); }

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
        const std::string dir = bench.frameDir.path().toStdString();
        const std::optional<Attempt> paused = ReadAttempt(dir, AttemptKind::Capture);
        QVERIFY(paused);
        QCOMPARE(paused->exitCode, int(ExitCode::LowFreeSpace));
        QCOMPARE(QString::fromStdString(paused->message), bench.answerer.Messages().front());
        freeSpace.SetFreeMb(250);
        QVERIFY(bench.WaitForFrame(10002));
        bench.Stop();
        // The first frame after the pause is recorded at once; the next, a second later, is not.
        const std::optional<Attempt> resumed = ReadAttempt(dir, AttemptKind::Capture);
        QVERIFY(resumed);
        QCOMPARE(resumed->exitCode, 0);
        QCOMPARE(resumed->message, std::string("saved frame pic_10001.jpg"));
        QCOMPARE(bench.answerer.Messages().size(), 1);
        QVERIFY2(bench.answerer.Messages().front().contains("200 MB"),
                 qPrintable(bench.answerer.Messages().front()));
        // Whole frames only, numbered from the first, and the record.
        QStringList files = QDir(bench.frameDir.path()).entryList(QDir::Hidden | QDir::Files);
        QVERIFY(files.removeOne(AttemptFileName(AttemptKind::Capture)));
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
        // The frames, latest.jpg and the record: no temporary file left behind.
        QCOMPARE(QDir(bench.frameDir.path()).entryList(QDir::Hidden | QDir::Files).size(),
                 session.GetFrameCounter() - 10000 + 2);
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
};

QTEST_MAIN(CaptureSavingTest)
#include "test_capture_saving.moc"
