#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frames/FrameFile.h"
#include "pictures/PictureSlots.h"
#include "pictures/Pictures.h"

namespace {

constexpr qint64 kMsPerMinute = 60'000;
constexpr int kTolerance = 6;  // of a JPEG's colours

qint64 LocalMs(const QDate& date, int hour, int minute) {
    return QDateTime(date, QTime(hour, minute)).toMSecsSinceEpoch();
}

// A colour for each hour of the day, none of them nearly black or white.
cv::Vec3b HourColour(int hour) {
    return cv::Vec3b(static_cast<uchar>(40 + hour * 7), static_cast<uchar>(200 - hour * 6),
                     static_cast<uchar>(hour % 2 == 0 ? 60 : 170));
}

bool Near(const cv::Vec3b& a, const cv::Vec3b& b) {
    return std::abs(a[0] - b[0]) <= kTolerance && std::abs(a[1] - b[1]) <= kTolerance &&
           std::abs(a[2] - b[2]) <= kTolerance;
}

QByteArray Shown(const cv::Vec3b& colour) {
    return QByteArray::number(colour[0]) + ',' + QByteArray::number(colour[1]) + ',' +
           QByteArray::number(colour[2]);
}

// A folder of 160x120 frames with the times the test gives them.
class FrameFolder {
public:
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    const std::vector<TimedFrame>& Frames() const { return m_frames; }

    // A frame of one colour, with a mark in its corner that makes its bytes its own.
    void Add(qint64 ms, const cv::Scalar& colour, const cv::Rect& spot = {},
             const cv::Scalar& spotColour = {}) {
        cv::Mat picture(120, 160, CV_8UC3, colour);
        picture(spot) = spotColour;
        const int number = 10001 + static_cast<int>(m_frames.size());
        picture(cv::Rect(0, 0, 8, 8)) = cv::Scalar::all(number * 37 % 256);
        std::vector<uchar> bytes;
        cv::imencode(".jpg", picture, bytes, {cv::IMWRITE_JPEG_QUALITY, 95});
        std::ofstream(Dir() + "pic_" + std::to_string(number) + ".jpg", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        QFile file(QString::fromStdString(Dir()) + QString("pic_%1.jpg").arg(number));
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::fromMSecsSinceEpoch(ms),
                                 QFileDevice::FileModificationTime));
        m_frames.push_back({number, {ms, QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()}});
    }

    // Frames every ten minutes from `first` up to `last`, of their hour's colour, except those
    // `skip` says; nearly black where `black` says.
    void AddRun(qint64 first, qint64 last, const std::function<bool(const QTime&)>& skip,
                const std::function<bool(const QTime&)>& black = {}) {
        for (qint64 ms = first; ms <= last; ms += 10 * kMsPerMinute) {
            const QTime time = QDateTime::fromMSecsSinceEpoch(ms).time();
            if (!skip(time)) {
                Add(ms, black && black(time) ? cv::Scalar(3, 3, 3)
                                             : cv::Scalar(HourColour(time.hour())));
            }
        }
    }

private:
    QTemporaryDir m_dir;
    std::vector<TimedFrame> m_frames;
};

struct Ended {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs vorn for at most a minute, in this process's time zone unless `timeZone` names one.
Ended RunVorn(const QStringList& arguments, const QString& workingDir,
              const QString& timeZone = {}) {
    QProcess vorn;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", workingDir + "/config");  // no settings file
    if (!timeZone.isEmpty()) {
        env.insert("TZ", timeZone);
    }
    vorn.setProcessEnvironment(env);
    vorn.setWorkingDirectory(workingDir);
    vorn.start(VORN_EXECUTABLE, arguments);
    Ended ended;
    if (vorn.waitForFinished(60000) && vorn.exitStatus() == QProcess::NormalExit) {
        ended.exitCode = vorn.exitCode();
    }
    ended.out = vorn.readAllStandardOutput();
    ended.err = vorn.readAllStandardError();
    return ended;
}

}  // namespace

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
    }

    // Which slots of a row a keogram fills from its neighbours, and which stay grey.
    void shortGapsAreFilledLongOnesGrey_data() {
        QTest::addColumn<QString>("filled");   // '#' a frame, '.' none
        QTest::addColumn<QString>("sources");  // the frame, 'b' blended, 'c' copied, 'g' grey
        QTest::newRow("gaps of 1 and 3") << "#.#...#"
                                         << "#b#bbb#";
        QTest::newRow("gap of 4") << "#....#"
                                  << "#gggg#";
        QTest::newRow("ends") << "..#...."
                              << "cc#gggg";
    }
    void shortGapsAreFilledLongOnesGrey() {
        QFETCH(QString, filled);
        QFETCH(QString, sources);
        std::vector<bool> hasFrame;
        for (const QChar c : filled) {
            hasFrame.push_back(c == '#');
        }
        QString shown;
        for (const ColumnSource& source : KeogramColumns(hasFrame)) {
            const int slot = static_cast<int>(shown.size());
            shown += source.left == slot ? '#'
                     : source.left < 0   ? 'g'
                     : source.right < 0  ? 'c'
                                         : 'b';
        }
        QCOMPARE(shown, sources);
    }

    // The dark limit: a still night keeps its frames; a spread night keeps those near its median;
    // no night goes above 35 % of full scale.
    void darkLimitFollowsTheNight_data() {
        QTest::addColumn<QList<double>>("means");
        QTest::addColumn<double>("limit");
        QTest::newRow("still") << QList<double>{20, 20, 20, 20.2} << 26.0;
        QTest::newRow("moonlit") << QList<double>{60, 62, 64, 66, 68, 200} << 65 + 3 * 1.4826 * 3;
        QTest::newRow("day") << QList<double>{150, 160, 170} << 0.35 * 255;
    }
    void darkLimitFollowsTheNight() {
        QFETCH(QList<double>, means);
        QFETCH(double, limit);
        QCOMPARE(DarkLimit({means.begin(), means.end()}), limit);
    }

    // The hour ticks of a night from 22:00, one slot every ten minutes: the date at midnight,
    // labelled before the hours, and no label that would run past the end.
    void ticksShowHoursAndTheDateAtMidnight() {
        const qint64 first = LocalMs({2026, 6, 1}, 22, 0);
        const auto ticks = HourTicks(first, 10 * kMsPerMinute, 37, [](const std::string& label) {
            return 2 * int(label.size());
        });
        QStringList shown;
        for (const TimeTick& tick : ticks) {
            shown << QString("%1 %2%3").arg(tick.x).arg(QString::fromStdString(tick.label),
                                                        tick.labelled ? "" : " -");
        }
        QCOMPARE(shown.join(", "),
                 QString("0 22, 6 23, 12 2026-06-02, 18 01 -, 24 02 -, 30 03 -, 36 04 -"));
    }

    // Local hours start where the clock reads a whole hour, whatever its offset: one with seconds
    // (Berlin's before 1893, a TZ rule), a change of clocks to another time, forward, back.
    void hourSlotsStartOnTheLocalHour_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("first");  // local
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("starts");  // of the sheet's slots, local
        QTest::addColumn<QString>("ticks");   // of a keogram with a column every ten minutes
        QTest::newRow("Berlin before 1893") << QByteArray("Europe/Berlin") << "1850-06-01T06:10"
                                            << "1850-06-01T08:50"
                                            << "06:00:00 07:00:00 08:00:00"
                                            << "07 08";
        QTest::newRow("a TZ rule with seconds") << QByteArray("XST-0:53:28") << "2026-06-01T06:10"
                                                << "2026-06-01T08:50"
                                                << "06:00:00 07:00:00 08:00:00"
                                                << "07 08";
        QTest::newRow("Berlin takes CET") << QByteArray("Europe/Berlin") << "1893-03-31T23:10"
                                          << "1893-04-01T01:50"
                                          << "23:00:00 01:00:00"
                                          << "01";
        QTest::newRow("clocks forward") << QByteArray("Europe/Berlin") << "2026-03-29T01:10"
                                        << "2026-03-29T04:50"
                                        << "01:00:00 03:00:00 04:00:00"
                                        << "03 04";
        QTest::newRow("clocks back") << QByteArray("Europe/Berlin") << "2026-10-25T01:10"
                                     << "2026-10-25T03:50"
                                     << "01:00:00 02:00:00 02:00:00 03:00:00"
                                     << "02 02 03";
    }
    void hourSlotsStartOnTheLocalHour() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, starts);
        QFETCH(QString, ticks);
        qputenv("TZ", zone);
        ::tzset();
        const qint64 firstMs = QDateTime::fromString(first, Qt::ISODate).toMSecsSinceEpoch();
        const qint64 lastMs = QDateTime::fromString(last, Qt::ISODate).toMSecsSinceEpoch();
        const auto local = [](qint64 ms) {
            return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss");
        };
        QStringList shownStarts;
        for (const TimeSlot& slot : SheetSlots(firstMs, lastMs, 0)) {
            shownStarts << local(slot.start);
        }
        QStringList shownTicks;
        const int columns = int((lastMs - firstMs) / (10 * kMsPerMinute)) + 1;
        for (const TimeTick& tick :
             HourTicks(firstMs, 10 * kMsPerMinute, columns, [](const std::string&) { return 1; })) {
            shownTicks << QString::fromStdString(tick.label);
        }
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        QCOMPARE(shownStarts.join(' '), starts);
        QCOMPARE(shownTicks.join(' '), ticks);
    }

    // A night from 21:00 to 03:00, a frame every ten minutes in its hour's colour: 22:20 and 22:30
    // missing (filled), 01:00 to 01:50 missing (grey), 02:30 nearly black (left out, filled).
    void keogramColumnsFollowTheClock() {
        FrameFolder folder;
        const QDate night(2026, 6, 1);
        folder.AddRun(
            LocalMs(night, 21, 0), LocalMs(night.addDays(1), 3, 0),
            [](const QTime& t) {
                return t == QTime(22, 20) || t == QTime(22, 30) || t.hour() == 1;
            },
            [](const QTime& t) { return t == QTime(2, 30); });
        const MadePicture made = MakeKeogram(folder.Dir(), folder.Frames());
        QCOMPARE(made.image.cols, 37);
        QCOMPARE(made.image.rows, 120 + 28);
        QCOMPARE(made.framesUsed, 37 - 2 - 6 - 1);
        QCOMPARE(made.leftOut, (std::map<std::string, int>{{"nearly black", 1}}));
        const auto column = [&](int slot) { return made.image.at<cv::Vec3b>(60, slot); };
        for (const int slot : {0, 5, 6, 8, 9, 10, 30, 33, 36}) {  // filled: 22:20, 22:30, 02:30
            const cv::Vec3b expected = HourColour((21 + slot / 6) % 24);
            QVERIFY2(Near(column(slot), expected),
                     QByteArray::number(slot) + ": " + Shown(column(slot)));
        }
        for (int slot = 24; slot < 30; ++slot) {  // 01:00 to 01:50
            QVERIFY2(Near(column(slot), cv::Vec3b(128, 128, 128)), Shown(column(slot)));
        }
        // Each column is one frame's centre, however the frame's corner was marked.
        QVERIFY(Near(made.image.at<cv::Vec3b>(0, 0), HourColour(21)));
    }

    // Six dark frames each with a star of its own, two bright ones and one with a lit patch:
    // the trails are the dark frames' maximum.
    void starTrailsTakeOnlyTheDarkFrames() {
        FrameFolder folder;
        const qint64 first = LocalMs({2026, 6, 1}, 23, 0);
        cv::Mat expected;
        for (int i = 0; i < 6; ++i) {
            folder.Add(first + i * kMsPerMinute, cv::Scalar::all(16 + 2 * i),
                       cv::Rect(8 + 16 * i, 16 + 8 * i, 8, 8), cv::Scalar::all(250));
        }
        for (const TimedFrame& frame : folder.Frames()) {
            const cv::Mat picture =
                cv::imread(folder.Dir() + "pic_" + std::to_string(frame.number) + ".jpg");
            expected = expected.empty() ? picture : cv::max(expected, picture);
        }
        folder.Add(first + 6 * kMsPerMinute, cv::Scalar::all(200));
        folder.Add(first + 7 * kMsPerMinute, cv::Scalar::all(210));
        folder.Add(first + 8 * kMsPerMinute, cv::Scalar::all(20), cv::Rect(64, 48, 32, 32),
                   cv::Scalar::all(255));
        const MadePicture made = MakeStarTrails(folder.Dir(), folder.Frames());
        QCOMPARE(made.framesUsed, 6);
        QCOMPARE(made.leftOut, (std::map<std::string, int>{{"too bright", 2},
                                                           {"with too many bright pixels", 1}}));
        QVERIFY(made.darkestFrame.empty());
        QCOMPARE(made.image.size(), expected.size());
        QVERIFY2(cv::norm(made.image, expected, cv::NORM_INF) <= 2,
                 QByteArray::number(cv::norm(made.image, expected, cv::NORM_INF)));

        // A night with no dark frame gives its darkest.
        FrameFolder bright;
        bright.Add(first, cv::Scalar::all(210));
        bright.Add(first + kMsPerMinute, cv::Scalar::all(190));
        const MadePicture darkest = MakeStarTrails(bright.Dir(), bright.Frames());
        QCOMPARE(darkest.darkestFrame, std::string("pic_10002.jpg"));
        QCOMPARE(darkest.framesUsed, 0);
        QVERIFY(std::abs(cv::mean(darkest.image)[0] - 190) < 2);
    }

    // Frames from 06:00 to 09:50 without 08:xx: a tile an hour, 08:00 a grey "no frame".
    void contactSheetHasATileForEachSlot_data() {
        QTest::addColumn<int>("tiles");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("emptyTiles");
        QTest::addColumn<int>("tilesMade");
        QTest::newRow("hourly, 3 across") << 0 << 3 << QList<int>{2} << 4;
        QTest::newRow("8 slots, 6 across") << 8 << 6 << QList<int>{4, 5} << 8;
        QTest::newRow("8 slots, 1 across") << 8 << 1 << QList<int>{4, 5} << 8;
        QTest::newRow("2 slots") << 2 << 6 << QList<int>{} << 2;
    }
    void contactSheetHasATileForEachSlot() {
        QFETCH(int, tiles);
        QFETCH(int, columns);
        QFETCH(QList<int>, emptyTiles);
        QFETCH(int, tilesMade);
        FrameFolder folder;
        const QDate day(2026, 6, 1);
        folder.AddRun(LocalMs(day, 6, 0), LocalMs(day, 9, 50),
                      [](const QTime& t) { return t.hour() == 8; });
        const MadePicture made = MakeContactSheet(folder.Dir(), folder.Frames(), tiles, columns);
        const int across = std::min(columns, tilesMade);
        const int rows = (tilesMade + across - 1) / across;
        constexpr int kTileHeight = 240;  // 320 wide at 4:3
        QCOMPARE(made.image.cols, 8 + across * (kTileWidth + 8));
        QCOMPARE(made.image.rows, 8 + rows * (kTileHeight + 24 + 8));
        QCOMPARE(made.framesUsed, tilesMade - emptyTiles.size());
        for (int tile = 0; tile < tilesMade; ++tile) {
            const cv::Point inside(8 + (tile % across) * (kTileWidth + 8) + 40,
                                   8 + (tile / across) * (kTileHeight + 24 + 8) + 40);
            const cv::Vec3b seen = made.image.at<cv::Vec3b>(inside);
            QVERIFY2(emptyTiles.contains(tile) ? Near(seen, cv::Vec3b(128, 128, 128))
                                               : !Near(seen, cv::Vec3b(128, 128, 128)),
                     QByteArray::number(tile) + ": " + Shown(seen));
        }
        if (tiles == 0) {  // the frame nearest 06:30 is its hour's
            QVERIFY(Near(made.image.at<cv::Vec3b>(48, 48), HourColour(6)));
        }
    }

    // A contact sheet is made, in a bounded time, of frames timed by their files, whatever the
    // clock: an EXIF date before 1893 (Berlin's offset had seconds then) or of year 0000 is none
    // (else 3 frames would be counted), and a TZ rule's offset may have seconds.
    void contactSheetIsMadeWhateverTheClock_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<qint64>("firstExifMs");  // the first frame's EXIF time; 0: none
        QTest::newRow("EXIF before 1893")
            << "Europe/Berlin"
            << QDateTime(QDate(1850, 6, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
        QTest::newRow("EXIF of year 0000") << "Europe/Berlin" << qint64(-62'167'219'200'000);
        QTest::newRow("an offset with seconds") << "XST-0:53:28" << qint64(0);
    }
    void contactSheetIsMadeWhateverTheClock() {
        QFETCH(QString, zone);
        QFETCH(qint64, firstExifMs);
        const QDate day(2026, 6, 1);
        QTemporaryDir work;
        FrameFolder folder;
        folder.AddRun(LocalMs(day, 6, 0), LocalMs(day, 6, 30), [](const QTime&) { return false; });
        if (firstExifMs != 0) {
            QFile file(QString::fromStdString(folder.Dir()) + "pic_10001.jpg");
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray plain = file.readAll();
            std::vector<unsigned char> bytes(plain.begin(), plain.end());
            QVERIFY(AddExif(bytes, {{firstExifMs, 0}, "", ""}));
            QVERIFY(file.seek(0) &&
                    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
                        qint64(bytes.size()) &&
                    file.flush() &&
                    file.setFileTime(QDateTime::fromMSecsSinceEpoch(LocalMs(day, 6, 0)),
                                     QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(QString::fromStdString(folder.Dir()), work.filePath("frames")));
        const Ended ended =
            RunVorn({"--contact-sheet", "./sheet.jpg", "--dir", "frames"}, work.path(), zone);
        QVERIFY2(ended.exitCode == 0, ended.err.constData());
        QCOMPARE(ended.err,
                 QByteArray("vorn: 4 frames have no capture time in them; their file times were "
                            "used\n"));
        QVERIFY(!cv::imread(work.filePath("sheet.jpg").toStdString()).empty());
    }

    // The commands as a user runs them: a bad FILE or option is refused with exit code 2, and a
    // picture goes into the frame folder unless FILE has a path. No run changes a frame: a FILE
    // that names one, however it is reached, is refused. "{frames}" is the frame folder's own
    // path, which the working folder's "frames" links to, as is "link.jpg" to pic_10003.jpg.
    void picturesCommandsEndWithTheirExitCode_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("made");  // the file made, relative to the working folder
        QTest::addColumn<QSize>("size");    // its size, when it matters
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("keogram .gif")
            << QStringList{"--keogram", "k.gif"} << 2 << QString() << QSize()
            << QByteArray("vorn: --keogram: the file's name must end in .jpg or .png\n");
        QTest::newRow("keogram .png")
            << QStringList{"--keogram", ".png"} << 2 << QString() << QSize()
            << QByteArray(
                   "vorn: --keogram: the picture's name is empty: .png is only its ending\n");
        QTest::newRow("keogram into a folder")
            << QStringList{"--keogram", "pictures/"} << 2 << QString() << QSize()
            << QByteArray("vorn: --keogram: the picture's name is empty\n");
        QTest::newRow("columns without a sheet")
            << QStringList{"--keogram", "k.jpg", "--columns", "3"} << 2 << QString() << QSize()
            << QByteArray(
                   "vorn: --columns is not an option of --keogram: it is one of "
                   "--contact-sheet.\n");
        QTest::newRow("no columns")
            << QStringList{"--contact-sheet", "s.jpg", "--columns", "0"} << 2 << QString()
            << QSize() << QByteArray("vorn: --columns takes a whole number from 1");
        QTest::newRow("a video's option")
            << QStringList{"--startrails", "t.jpg", "--fps", "5"} << 2 << QString() << QSize()
            << QByteArray(
                   "vorn: --fps is not an option of --startrails: it is one of "
                   "--make-video.\n");
        QTest::newRow("two pictures")
            << QStringList{"--keogram", "k.jpg", "--startrails", "t.jpg"} << 2 << QString()
            << QSize() << QByteArray("cannot be used together");
        QTest::newRow("keogram over a frame")
            << QStringList{"--keogram", "pic_10001.jpg"} << 2 << QString() << QSize()
            << QByteArray(
                   "vorn: --keogram: pic_10001.jpg would replace frame pic_10001.jpg in "
                   "frames/: give the picture another name\n");
        QTest::newRow("sheet over a frame by the folder's path")
            << QStringList{"--contact-sheet", "{frames}pic_10002.jpg"} << 2 << QString() << QSize()
            << QByteArray("pic_10002.jpg would replace frame pic_10002.jpg in frames/");
        QTest::newRow("trails over a frame to come")
            << QStringList{"--startrails", "./frames/pic_10099.jpg", "--day", "2020-01-01"} << 2
            << QString() << QSize()
            << QByteArray("vorn: --startrails: ./frames/pic_10099.jpg would replace frame");
        QTest::newRow("keogram over latest.jpg")
            << QStringList{"--keogram", "frames/latest.jpg"} << 2 << QString() << QSize()
            << QByteArray("would replace latest.jpg, the latest frame, in frames/");
        QTest::newRow("keogram over a frame it reads")
            << QStringList{"--keogram", "./link.jpg"} << 2 << QString() << QSize()
            << QByteArray(
                   "vorn: --keogram: ./link.jpg is frame pic_10003.jpg in frames/, which "
                   "the picture is made of: give the picture another name\n");
        QTest::newRow("no frame that day")
            << QStringList{"--keogram", "k.jpg", "--day", "2020-01-01"} << 10 << QString()
            << QSize() << QByteArray("vorn: no frame of ");
        QTest::newRow("sheet in the frame folder")
            << QStringList{"--contact-sheet", "sheet.png", "--tiles", "4"} << 0
            << QString("frames/sheet.png") << QSize(8 + 4 * 328, 8 + 272)
            << QByteArray("Contact sheet (sheet.png in ");
        QTest::newRow("sheet too tall for a JPEG")
            << QStringList{"--contact-sheet", "s.jpg", "--tiles", "300", "--columns", "1"} << 2
            << QString() << QSize()
            << QByteArray(
                   "vorn: Contact sheet not made: it would be 81,608 pixels tall, and a "
                   "JPEG holds at most 65,500 pixels a side; use more --columns or fewer "
                   "--tiles, or a .png name\n");
        QTest::newRow("as tall a sheet as a PNG")
            << QStringList{"--contact-sheet", "s.png", "--tiles", "300", "--columns", "1"} << 0
            << QString("frames/s.png") << QSize(336, 81608)
            << QByteArray("Contact sheet (s.png in ");
        QTest::newRow("keogram at a path")
            << QStringList{"--keogram", "./k.jpg"} << 0 << QString("k.jpg") << QSize(4, 148)
            << QByteArray("Keogram (./k.jpg) made of 4 frames; none left out.\n");
        QTest::newRow("unwritable path")
            << QStringList{"--keogram", "/nonexistent/k.jpg"} << 12 << QString() << QSize()
            << QByteArray("vorn: cannot write ");
    }
    void picturesCommandsEndWithTheirExitCode() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, made);
        QFETCH(QSize, size);
        QFETCH(QByteArray, said);
        QTemporaryDir work;
        FrameFolder folder;
        folder.AddRun(LocalMs({2026, 6, 1}, 6, 0), LocalMs({2026, 6, 1}, 6, 30),
                      [](const QTime&) { return false; });
        const QString frameDir = QString::fromStdString(folder.Dir());
        QVERIFY(QFile::link(frameDir, work.filePath("frames")));
        QVERIFY(QFile::link(frameDir + "pic_10003.jpg", work.filePath("link.jpg")));
        const auto frameBytes = [&] {
            QList<QByteArray> frames;
            for (const TimedFrame& frame : folder.Frames()) {
                QFile file(frameDir + QString::fromStdString(FrameFileName(frame.number)));
                frames << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
            }
            return frames;
        };
        const QList<QByteArray> before = frameBytes();
        arguments.replaceInStrings("{frames}", frameDir);
        const Ended ended = RunVorn(arguments + QStringList{"--dir", "frames"}, work.path());
        QVERIFY2(ended.exitCode == exitCode, ended.err.constData());
        QVERIFY2((exitCode == 0 ? ended.out : ended.err).contains(said),
                 (ended.out + ended.err).constData());
        QVERIFY(frameBytes() == before);
        QVERIFY(!QFile::exists(frameDir + "pic_10099.jpg") &&
                !QFile::exists(frameDir + "latest.jpg"));
        if (!made.isEmpty()) {
            const cv::Mat picture = cv::imread(work.filePath(made).toStdString());
            QVERIFY(!picture.empty());
            QVERIFY(size.isEmpty() || size == QSize(picture.cols, picture.rows));
        }
    }
};

QTEST_GUILESS_MAIN(PicturesTest)
#include "test_pictures.moc"
