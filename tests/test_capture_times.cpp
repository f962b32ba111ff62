#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "frames/CaptureTime.h"
#include "frames/FrameFile.h"
#include "platform/Clock.h"
#include "support/ManualClock.h"
#include "support/TimeZoneSet.h"

using namespace std::chrono_literals;

class CaptureTimesTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(CaptureTimesTest)
#include "test_capture_times.moc"
