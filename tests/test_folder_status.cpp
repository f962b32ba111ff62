#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>
#include <cmath>
#include <ctime>
#include <opencv2/imgcodecs.hpp>

#include "frames/FrameFile.h"
#include "serve/FolderStatus.h"
#include "serve/StatusServer.h"
#include "support/FakeFreeSpace.h"

namespace {

const QTimeZone kBerlin("Europe/Berlin");
// Noon of the test's day, the day after the clocks went forward (+02:00).
const QDate kToday(2026, 3, 30);
const QDateTime kNow(kToday, QTime(11, 59, 45), kBerlin);

QDateTime At(int daysBefore, int hour, int minute, int second = 0) {
    return QDateTime(kToday.addDays(-daysBefore), QTime(hour, minute, second), kBerlin);
}

std::vector<uchar> Jpeg(int grey) {
    std::vector<uchar> bytes;
    cv::imencode(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(grey)), bytes);
    return bytes;
}

void WriteFile(const QString& path, const std::vector<uchar>& bytes, const QDateTime& when) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    // Before the time is set: the write would move it.
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QJsonObject Status(const FolderStatus& status, const QDateTime& now) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(status.StatusJson(now))).object();
}

QStringList Names(const QJsonArray& listed, const char* field = "name") {
    QStringList names;
    for (const QJsonValue entry : listed) {
        names << entry[field].toString();
    }
    return names;
}

}  // namespace

class FolderStatusTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QTemporaryDir m_outside;
    FakeFreeSpace m_freeSpace;
    qint64 m_bytesLastDay = 0;  // of the frames taken in the 24 hours before kNow

    std::string FrameDir() const { return m_dir.path().toStdString() + '/'; }
    QString PathOf(const QString& name) const { return m_dir.filePath(name); }

    void AddFrame(int number, int grey, const QDateTime& when) {
        const std::vector<uchar> bytes = Jpeg(grey);
        WriteFile(PathOf(QString::fromStdString(FrameFileName(number))), bytes, when);
        if (when > kNow.addDays(-1) && when <= kNow) {
            m_bytesLastDay += static_cast<qint64>(bytes.size());
        }
    }

    FolderStatus Made(std::optional<DailyHours> hours = ParseDailyHours("06:00-20:00")) {
        return FolderStatus({FrameDir(), CaptureSchedule(hours, false, 0, 0), DayRules{}},
                            m_freeSpace);
    }

private slots:
    // Yesterday two frames (one black), today four taken 30 s apart (one black), the latest one
    // kept as latest.jpg; videos beside them and in days/, with the day's pictures, among files
    // the page must never give.
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        QVERIFY(m_dir.isValid() && m_outside.isValid());
        m_freeSpace.SetFreeMb(100);
        AddFrame(10001, 128, At(1, 10, 0));
        AddFrame(10002, 0, At(1, 18, 0));
        AddFrame(10003, 128, At(0, 11, 58, 0));
        AddFrame(10004, 0, At(0, 11, 58, 30));
        AddFrame(10005, 128, At(0, 11, 59, 0));
        AddFrame(10006, 130, At(0, 11, 59, 30));
        QVERIFY(::link(PathOf("pic_10006.jpg").toUtf8(), PathOf("latest.jpg").toUtf8()) == 0);
        QVERIFY(QDir(m_dir.path()).mkdir("days"));
        const std::vector<uchar> some(1000, 'x');
        WriteFile(PathOf("my clip.mp4"), some, At(0, 9, 0));
        WriteFile(PathOf("days/2026-03-29.mp4"), std::vector<uchar>(10, 'x'), At(0, 1, 0));
        WriteFile(PathOf("days/2026-03-29-keogram.jpg"), Jpeg(50), At(0, 1, 1));
        WriteFile(PathOf("days/2026-03-29-sheet.jpg"), Jpeg(60), At(0, 1, 2));
        for (const char* name :
             {".hidden.mp4", ".vorn-tmp-Ab12Cd", ".vorn-capture.json", "Vorn.conf", "notes.txt",
              "days/2026-02-30.mp4", "days/notes.mp4", "days/.x.mp4"}) {
            WriteFile(PathOf(name), some, At(0, 9, 0));
        }
        WriteFile(m_outside.filePath("secret.mp4"), some, At(0, 9, 0));
        QVERIFY(QFile::link(m_outside.filePath("secret.mp4"), PathOf("outside.mp4")));
        QVERIFY(QFile::link(m_outside.filePath("secret.mp4"), PathOf("days/2026-03-28.mp4")));
    }

    void statusTellsTheFolder() {
        FolderStatus status = Made();
        status.Refresh(kNow);
        const QJsonObject json = Status(status, kNow);
        QCOMPARE(json["frames"].toInt(), 6);
        QCOMPARE(json["latest"]["file"].toString(), "pic_10006.jpg");
        QCOMPARE(json["latest"]["time"].toString(), "2026-03-30T11:59:30+02:00");
        QCOMPARE(json["free_mb"].toInteger(), qint64{100});
        QCOMPARE(json["days_left"].toDouble(),
                 std::round(100.0 * FakeFreeSpace::kMegabyte / m_bytesLastDay * 10) / 10);
        QCOMPARE(json["left_out_today"].toInt(), 1);
        QCOMPARE(json["frames_today"].toInt(), 4);
        QCOMPARE(Names(json["videos"].toArray()),
                 QStringList({"my clip.mp4", "days/2026-03-29.mp4"}));
        QCOMPARE(Names(json["videos"].toArray(), "url"),
                 QStringList({"/videos/my%20clip.mp4", "/videos/days/2026-03-29.mp4"}));
        QCOMPARE(json["videos"][0]["size"].toInt(), 1000);
        QCOMPARE(json["videos"][0]["time"].toString(), "2026-03-30T09:00:00+02:00");
        QCOMPARE(Names(json["pictures"].toArray()),
                 QStringList({"days/2026-03-29-sheet.jpg", "days/2026-03-29-keogram.jpg"}));
        QCOMPARE(Names(json["pictures"].toArray(), "url"),
                 QStringList({"/days/2026-03-29-sheet.jpg", "/days/2026-03-29-keogram.jpg"}));
        QCOMPARE(json["updated"].toString(), "2026-03-30T11:59:45+02:00");
        QCOMPARE(QString::fromStdString(status.LatestFrame()->path), PathOf("latest.jpg"));
        // What the watcher judges by: the last hour's frames, one black; yesterday, with its video.
        const TroubleFacts facts = status.Facts();
        QCOMPARE(facts.hourFrames, 4);
        QCOMPARE(facts.hourDark, 1);
        QCOMPARE(facts.lastFrameMs, At(0, 11, 59, 30).toMSecsSinceEpoch());
        QVERIFY(facts.lastClosedDay && facts.dailyVideosInUse);
        QCOMPARE(facts.lastClosedDay->date, QDate(2026, 3, 29));
        QCOMPARE(facts.lastClosedDay->endMs,
                 QDateTime(kToday, QTime(0, 0), kBerlin).toMSecsSinceEpoch());
        QVERIFY(facts.lastClosedDay->hasVideo);
        // The troubles the watcher hands over, with their local time.
        QCOMPARE(json["troubles"].toArray(), QJsonArray());
        status.SetTroubles(
            {{TroubleCode::Stalled, "No frame.", At(0, 11, 50).toMSecsSinceEpoch()}});
        QCOMPARE(Status(status, kNow)["troubles"].toArray(),
                 QJsonArray({QJsonObject{{"code", "stalled"},
                                         {"message", "No frame."},
                                         {"since", "2026-03-30T11:50:00+02:00"}}}));
    }

    // What the schedule and the capture's pace of 30 s tell at `now`.
    void scheduleFigures_data() {
        QTest::addColumn<QString>("hours");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("capturing");
        QTest::addColumn<QString>("next");  // empty: null
        QTest::addColumn<QStringList>("today");
        const QStringList daytime = {"2026-03-30T06:00:00+02:00", "2026-03-30T20:00:00+02:00"};
        QTest::newRow("open, the next frame at the pace")
            << "06:00-20:00" << kNow << true << "2026-03-30T12:00:00+02:00" << daytime;
        QTest::newRow("open, the next frame overdue")
            << "06:00-20:00" << At(0, 12, 5) << true << "" << daytime;
        QTest::newRow("closed, the next opening")
            << "06:00-20:00" << At(0, 21, 0) << false << "2026-03-31T06:00:00+02:00" << daytime;
        QTest::newRow("all day") << "" << kNow << true << "2026-03-30T12:00:00+02:00"
                                 << QStringList(
                                        {"2026-03-30T00:00:00+02:00", "2026-03-31T00:00:00+02:00"});
    }
    void scheduleFigures() {
        QFETCH(QString, hours);
        QFETCH(QDateTime, now);
        FolderStatus status =
            Made(hours.isEmpty() ? std::nullopt : ParseDailyHours(hours.toStdString()));
        status.Refresh(now);
        const QJsonObject json = Status(status, now);
        QTEST(json["capturing"].toBool(), "capturing");
        QFETCH(QString, next);
        QCOMPARE(json["next_capture"].isNull(), next.isEmpty());
        QCOMPARE(json["next_capture"].toString(), next);
        QStringList today;
        for (const QJsonValue range : json["today"].toArray()) {
            today << range["start"].toString() << range["end"].toString();
        }
        QTEST(today, "today");
    }

    // Only a name status.json lists is given, and only as the kind it is listed as.
    void onlyListedFilesAreGiven_data() {
        QTest::addColumn<bool>("video");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");  // -1: refused
        const auto row = [](bool video, const char* name, qint64 size) {
            QTest::addRow("%s %s", video ? "video" : "picture", name) << video << name << size;
        };
        row(true, "my clip.mp4", 1000);
        row(true, "days/2026-03-29.mp4", 10);
        for (const char* name :
             {"../x", "Vorn.conf", "outside.mp4", "days/2026-03-28.mp4", ".vorn-tmp-Ab12Cd",
              ".hidden.mp4", "days/2026-02-30.mp4", "days/notes.mp4", "days/.x.mp4", "/my clip.mp4",
              "./my clip.mp4", "days/../my clip.mp4", "my%20clip.mp4", "pic_10001.jpg",
              "latest.jpg", "days/2026-03-29-keogram.jpg", ""}) {
            row(true, name, -1);
        }
        row(false, "days/2026-03-29-keogram.jpg", static_cast<qint64>(Jpeg(50).size()));
        row(false, "days/2026-03-29-sheet.jpg", static_cast<qint64>(Jpeg(60).size()));
        for (const char* name :
             {"2026-03-29-keogram.jpg", "days/2026-03-29.mp4", "days/../Vorn.conf",
              "days//2026-03-29-sheet.jpg", "my clip.mp4"}) {
            row(false, name, -1);
        }
    }
    void onlyListedFilesAreGiven() {
        QFETCH(bool, video);
        QFETCH(QString, name);
        QFETCH(qint64, size);
        FolderStatus status = Made();
        status.Refresh(kNow);
        const std::string asked = name.toStdString();
        const std::optional<ServedFile> file =
            video ? status.Video(asked) : status.DayPicture(asked);
        QCOMPARE(file.has_value(), size >= 0);
        if (file) {
            QCOMPARE(file->name, asked);
            QCOMPARE(QString::fromStdString(file->path), PathOf(name));
            QCOMPARE(static_cast<qint64>(file->size), size);
        }
    }

    void emptyFolderHasNoLatestFrame() {
        QTemporaryDir empty;
        FolderStatus status({empty.path().toStdString() + '/', {}, {}}, m_freeSpace);
        status.Refresh(kNow);
        const QJsonObject json = Status(status, kNow);
        QCOMPARE(json["frames"].toInt(), 0);
        QVERIFY(json["latest"].isNull());
        QVERIFY(json["days_left"].isNull());
        QVERIFY(json["next_capture"].isNull());
        QVERIFY(!status.LatestFrame());
    }

    // Last: it changes the folder.
    void refreshFollowsTheFolder() {
        FolderStatus status = Made();
        status.Refresh(kNow);
        // A frame after a skipped number shows at the next Refresh, and outdates latest.jpg; it
        // repeats the frame before it, so it counts as left out, as the video maker and the
        // frame browser judge it.
        AddFrame(10008, 130, At(0, 11, 59, 50));
        status.Refresh(kNow.addSecs(10));
        const QJsonObject added = Status(status, kNow.addSecs(10));
        QCOMPARE(added["frames"].toInt(), 7);
        QCOMPARE(added["latest"]["file"].toString(), "pic_10008.jpg");
        QCOMPARE(added["left_out_today"].toInt(), 2);
        QCOMPARE(QString::fromStdString(status.LatestFrame()->path), PathOf("pic_10008.jpg"));
        QCOMPARE(status.LatestFrame()->name, std::string(kLatestFrameName));
        // Yesterday's frames deleted are gone once the folder is listed again.
        for (const char* name : {"pic_10001.jpg", "pic_10002.jpg", "pic_10008.jpg"}) {
            QVERIFY(QFile::remove(PathOf(name)));
        }
        status.Refresh(kNow.addSecs(70));
        const QJsonObject deleted = Status(status, kNow.addSecs(70));
        QCOMPARE(deleted["frames"].toInt(), 4);
        QCOMPARE(deleted["left_out_today"].toInt(), 1);
        QCOMPARE(deleted["latest"]["file"].toString(), "pic_10006.jpg");
        // An hour on, the first of today's frames has left the last hour.
        status.Refresh(At(0, 12, 58, 15));
        QCOMPARE(status.Facts().hourFrames, 3);
        QCOMPARE(status.Facts().hourDark, 1);
        QCOMPARE(Status(status, At(0, 12, 58, 15))["frames_today"].toInt(), 4);
    }
    // --listen's address: a numeric IPv4 address, an IPv6 one in brackets or localhost, and a
    // port of five digits at most up to 65535; only this machine's own addresses count as
    // loopback, which alone may go without a token.
    void listenAddressIsParsedOrRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");  // empty: refused
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("IPv4 loopback") << "127.0.0.1:8765"
                                       << "127.0.0.1" << 8765 << true;
        QTest::newRow("all of 127/8") << "127.3.2.1:80"
                                      << "127.3.2.1" << 80 << true;
        QTest::newRow("localhost") << "localhost:1"
                                   << "127.0.0.1" << 1 << true;
        QTest::newRow("a LAN address") << "192.168.1.5:8765"
                                       << "192.168.1.5" << 8765 << false;
        QTest::newRow("any address, port 0") << "0.0.0.0:0"
                                             << "0.0.0.0" << 0 << false;
        QTest::newRow("IPv6 loopback") << "[::1]:65535"
                                       << "::1" << 65535 << true;
        QTest::newRow("IPv6 any") << "[::]:8765"
                                  << "::" << 8765 << false;
        QTest::newRow("no port") << "127.0.0.1"
                                 << "" << 0 << false;
        QTest::newRow("empty port") << "127.0.0.1:"
                                    << "" << 0 << false;
        QTest::newRow("port too high") << "127.0.0.1:65536"
                                       << "" << 0 << false;
        QTest::newRow("port of six digits") << "127.0.0.1:008765"
                                            << "" << 0 << false;
        QTest::newRow("signed port") << "127.0.0.1:+80"
                                     << "" << 0 << false;
        QTest::newRow("a name") << "example.org:80"
                                << "" << 0 << false;
        QTest::newRow("IPv6 without brackets") << "::1:8765"
                                               << "" << 0 << false;
        QTest::newRow("empty brackets") << "[]:8765"
                                        << "" << 0 << false;
        QTest::newRow("IPv4 in brackets") << "[127.0.0.1]:8765"
                                          << "" << 0 << false;
        QTest::newRow("short IPv4") << "127.1:8765"
                                    << "" << 0 << false;
        QTest::newRow("nothing") << ""
                                 << "" << 0 << false;
    }

    void listenAddressIsParsedOrRefused() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, loopback);
        const std::optional<ListenAddress> address = ParseListenAddress(text.toStdString());
        QCOMPARE(address.has_value(), !host.isEmpty());
        if (address) {
            QCOMPARE(QString::fromStdString(address->host), host);
            QCOMPARE(address->port, port);
            QCOMPARE(address->loopback, loopback);
        }
    }
};

QTEST_GUILESS_MAIN(FolderStatusTest)
#include "test_folder_status.moc"
