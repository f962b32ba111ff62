// The verdict on a frame file that every reader of frames goes by, from real files of each kind;
// the record of the last attempt that a watcher of the folder reads.

#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frames/AttemptRecord.h"
#include "frames/FrameFile.h"
#include "frames/FrameVerdict.h"
#include "frames/ReducedJpeg.h"
#include "platform/AtomicFile.h"

namespace {

// A JPEG of noise around `grey`, so that most of the file is picture data.
QByteArray Jpeg(int grey, int spread = 40) {
    cv::Mat picture(240, 320, CV_8UC3);
    cv::randu(picture, std::max(grey - spread, 0), std::min(grey + spread, 255) + 1);
    std::vector<uchar> bytes;
    cv::imencode(".jpg", picture, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

constexpr int kGood = -1;

}  // namespace

class FramesTest : public QObject {
    Q_OBJECT
private slots:
    void verdictOfEachKind_data() {
        QTest::addColumn<QByteArray>("frame");   // null: no file
        QTest::addColumn<QByteArray>("before");  // the frame before; null: none
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QString>("word");
        const QByteArray good = Jpeg(128);
        const QByteArray cut = good.first(good.size() * 3 / 4);
        QTest::newRow("good") << good << Jpeg(120) << kGood << ""
                              << "";
        QTest::newRow("missing") << QByteArray() << good << int(FrameFault::Missing) << "missing"
                                 << "missing";
        QTest::newRow("zero bytes")
            << QByteArray("") << QByteArray() << int(FrameFault::Empty) << "empty file"
            << "empty";
        QTest::newRow("truncated JPEG")
            << cut << QByteArray() << int(FrameFault::CutShort) << "cut short"
            << "cut short";
        QTest::newRow("garbage") << QByteArray(4000, 'x') << QByteArray()
                                 << int(FrameFault::Damaged) << "not a picture"
                                 << "damaged";
        QTest::newRow("garbage after a JPEG's start")
            << QByteArray("\xFF\xD8") + QByteArray(4000, 'x') << QByteArray()
            << int(FrameFault::Damaged) << "cannot be decoded"
            << "damaged";
        QTest::newRow("repeat") << good << good << int(FrameFault::Repeat)
                                << "a repeat of the frame before it"
                                << "repeated";
        // Its damage is told first, as the video maker tells it.
        QTest::newRow("repeat of a truncated JPEG")
            << cut << cut << int(FrameFault::CutShort) << "cut short"
            << "cut short";
        QTest::newRow("black") << Jpeg(0, 0) << QByteArray() << int(FrameFault::NearlyBlack)
                               << "nearly black (mean luma 0)"
                               << "nearly black";
        QTest::newRow("white") << Jpeg(255, 0) << QByteArray() << int(FrameFault::NearlyWhite)
                               << "nearly white (mean luma 255)"
                               << "nearly white";
    }

    void verdictOfEachKind() {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, before);
        QFETCH(int, fault);
        QFETCH(QString, sentence);
        QFETCH(QString, word);
        QTemporaryDir dir;
        const QString path = dir.filePath("pic_10002.jpg");
        const QString beforePath = dir.filePath("pic_10001.jpg");
        if (!frame.isNull()) {
            Write(path, frame);
        }
        if (!before.isNull()) {
            Write(beforePath, before);
        }
        std::vector<uchar> bytes;
        const FrameVerdict verdict = JudgeFrameFile(
            path.toStdString(), before.isNull() ? std::string() : beforePath.toStdString(), bytes);
        QCOMPARE(verdict.fault ? int(*verdict.fault) : kGood, fault);
        QCOMPARE(QString::fromStdString(verdict.Sentence()), sentence);
        QCOMPARE(verdict.fault ? QString(FaultWord(*verdict.fault)) : QString(), word);
        // The same verdict from the bytes alone, but for what only the file or the frame before
        // can tell.
        if (fault != int(FrameFault::Missing) && fault != int(FrameFault::Repeat)) {
            QCOMPARE(QString::fromStdString(JudgeFrame(bytes).Sentence()), sentence);
        }
    }

    // A record is read back whole or not at all: a damaged record is no record.
    void attemptRecordIsReadWholeOrNotAtAll_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("read");
        QTest::newRow("as written") << "" << true;
        QTest::newRow("missing") << "remove" << false;
        QTest::newRow("cut short") << "cut" << false;
        QTest::newRow("not JSON") << "{\"time_ms\": 1, " << false;
        QTest::newRow("code as text") << R"({"time_ms":1,"exit_code":"4","message":""})" << false;
        QTest::newRow("time not whole") << R"({"time_ms":1.5,"exit_code":4,"message":""})" << false;
        QTest::newRow("code past 255") << R"({"time_ms":1,"exit_code":256,"message":""})" << false;
        QTest::newRow("no message") << R"({"time_ms":1,"exit_code":4})" << false;
        QTest::newRow("link to a record") << "link" << false;
        QTest::newRow("folder in its place") << "folder" << false;
        QTest::newRow("larger than a record") << "large" << false;
    }

    void attemptRecordIsReadWholeOrNotAtAll() {
        QFETCH(QString, change);
        QFETCH(bool, read);
        QTemporaryDir dir;
        const std::string frameDir = dir.path().toStdString();
        const QString path = dir.filePath(AttemptFileName(AttemptKind::DailyRun));
        const Attempt written{1717300000123, 12,
                              "2024-06-01: cannot write days/ (No space left) é"};
        RecordAttempt(frameDir, AttemptKind::DailyRun, written);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        if (change == "remove" || change == "link" || change == "folder") {
            QVERIFY(file.rename(dir.filePath("elsewhere.json")));
        }
        if (change == "cut") {
            Write(path, bytes.left(bytes.size() - 8));
        } else if (change == "link") {
            QVERIFY(QFile::link(dir.filePath("elsewhere.json"), path));
        } else if (change == "folder") {
            QVERIFY(QDir(dir.path()).mkdir(AttemptFileName(AttemptKind::DailyRun)));
        } else if (change == "large") {
            Write(path,
                  R"({"time_ms":1,"exit_code":4,"message":")" + QByteArray(70000, 'x') + R"("})");
        } else if (change.startsWith('{')) {
            Write(path, change.toUtf8());
        }
        const std::optional<Attempt> got = ReadAttempt(frameDir, AttemptKind::DailyRun);
        QCOMPARE(got.has_value(), read);
        if (read) {
            QCOMPARE(got->timeMs, written.timeMs);
            QCOMPARE(got->exitCode, written.exitCode);
            QCOMPARE(got->message, written.message);
        }
        // The other kind has a file of its own.
        QVERIFY(!ReadAttempt(frameDir, AttemptKind::Capture));
    }

    // The records are no frames and no temporaries: listing and clearing the folder leave them.
    void attemptRecordsStayOutOfTheFrames() {
        QTemporaryDir dir;
        const std::string frameDir = dir.path().toStdString() + "/";
        RecordAttempt(frameDir, AttemptKind::Capture, {1, 0, "saved frame pic_10001.jpg"});
        RecordAttempt(frameDir, AttemptKind::DailyRun, {2, 0, "nothing to make"});
        QCOMPARE(ListFrameNumbers(frameDir), std::optional<std::vector<int>>(std::vector<int>{}));
        RemoveStaleTemporaries(frameDir, std::chrono::seconds(0));
        QVERIFY(ReadAttempt(frameDir, AttemptKind::Capture));
        QVERIFY(ReadAttempt(frameDir, AttemptKind::DailyRun));
    }

    // The latest frame made at most 640 wide, aspect kept; a narrower one sent as it is.
    void reducedJpeg_data() {
        QTest::addColumn<cv::Size>("size");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("kind");      // "jpg", "png", or "cut" (a JPEG cut short)
        QTest::addColumn<cv::Size>("reduced");  // 0x0: nothing; -1x-1: the same bytes
        const cv::Size same(-1, -1);
        QTest::newRow("full HD") << cv::Size(1920, 1080) << 3 << "jpg" << cv::Size(640, 360);
        QTest::newRow("twice as wide") << cv::Size(1280, 960) << 3 << "jpg" << cv::Size(640, 480);
        QTest::newRow("beyond an eighth") << cv::Size(6000, 400) << 3 << "jpg" << cv::Size(640, 43);
        QTest::newRow("grey") << cv::Size(1280, 720) << 1 << "jpg" << cv::Size(640, 360);
        QTest::newRow("as wide") << cv::Size(640, 480) << 3 << "jpg" << same;
        QTest::newRow("narrower") << cv::Size(320, 240) << 3 << "jpg" << same;
        QTest::newRow("cut short") << cv::Size(1280, 720) << 3 << "cut" << cv::Size();
        QTest::newRow("not a JPEG") << cv::Size(1280, 720) << 3 << "png" << cv::Size();
    }
    void reducedJpeg() {
        QFETCH(const cv::Size, size);
        QFETCH(const int, channels);
        QFETCH(const QString, kind);
        QFETCH(const cv::Size, reduced);
        cv::Mat picture(size, CV_8UC(channels));
        cv::randu(picture, 0, 256);
        std::vector<uchar> bytes;
        QVERIFY(cv::imencode(kind == "png" ? ".png" : ".jpg", picture, bytes));
        if (kind == "cut") {
            bytes.resize(bytes.size() / 2);
        }
        QTemporaryDir dir;
        const QString path = dir.filePath("latest.jpg");
        Write(path, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                               static_cast<qsizetype>(bytes.size())));
        const std::optional<std::string> jpeg = ReducedJpeg(path.toStdString(), 640);
        QCOMPARE(jpeg.has_value(), reduced != cv::Size());
        if (reduced == cv::Size(-1, -1)) {
            QVERIFY(*jpeg == std::string(bytes.begin(), bytes.end()));
        } else if (jpeg) {
            const JpegLayout layout = WalkJpeg(std::vector<uchar>(jpeg->begin(), jpeg->end()));
            QCOMPARE(layout.state, JpegLayout::State::Whole);
            QCOMPARE(layout.size, reduced);
        }
    }
};

QTEST_GUILESS_MAIN(FramesTest)
#include "test_frames.moc"
