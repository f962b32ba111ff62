#include <QtTest>
#include <map>
#include <set>

#include "daily/Retention.h"
#include "frames/DayFiles.h"

namespace {

const QDate kDay(2026, 3, 29);
const FileDigest kFrame{354321, "frame digest"};
const FileDigest kVideo{123456789, "video digest"};
constexpr char kName[] = "pic_10001.jpg";

// The files as the decision finds them, and how often it read each video.
struct Disk {
    std::map<std::string, FileDigest> frames;
    std::map<QDate, FileDigest> videos;
    std::set<QDate> picturesMade;
    std::map<QDate, int> videoReads;

    RetentionFiles Files() {
        return {[this](const std::string& name) { return Find(frames, name); },
                [this](const QDate& day) {
                    ++videoReads[day];
                    return Find(videos, day);
                },
                [this](const QDate& day) { return picturesMade.contains(day); }};
    }

    template <typename Key>
    static std::optional<FileDigest> Find(const std::map<Key, FileDigest>& files, const Key& key) {
        const auto found = files.find(key);
        return found == files.end() ? std::nullopt : std::optional(found->second);
    }
};

// The record of `day`'s video listing `frames`.
DatedRecord RecordOf(const QDate& day, std::vector<RecordedFrame> frames) {
    return {day, {DayName(day) + kDayVideoEnding, kVideo, std::move(frames)}};
}

// -1 for a frame proven held, else why it stays.
int VerdictOf(const std::optional<Kept>& kept) {
    return kept ? static_cast<int>(*kept) : -1;
}

}  // namespace

class RetentionTest : public QObject {
    Q_OBJECT
private slots:
    // One record and one frame: only a sound record of its own day's video, listing the frame as
    // it is now, proves it held.
    void frameGoesOnlyOnProof_data() {
        QTest::addColumn<QString>("frameNow");  // "as recorded", "changed" or "unreadable"
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("videoNow");  // "as recorded", "changed" or "missing"
        QTest::addColumn<bool>("picturesMade");
        QTest::addColumn<QString>("videoNamed");  // the day the record's video is named for
        QTest::addColumn<int>("verdict");
        const QString own = DayName(kDay).c_str();
        const auto row = [&](const char* name, const QString& frame, bool listed,
                             const QString& video, bool pictures, const QString& named,
                             int verdict) {
            QTest::newRow(name) << frame << listed << video << pictures << named << verdict;
        };
        row("proven", "as recorded", true, "as recorded", true, own, -1);
        row("changed since", "changed", true, "as recorded", true, own, int(Kept::Changed));
        row("unreadable now", "unreadable", true, "as recorded", true, own, int(Kept::Changed));
        row("in no record", "as recorded", false, "as recorded", true, own, int(Kept::NoRecord));
        row("video differs", "as recorded", true, "changed", true, own,
            int(Kept::VideoNotAsRecorded));
        row("video gone", "as recorded", true, "missing", true, own, int(Kept::VideoNotAsRecorded));
        row("video differs, frame changed", "changed", true, "changed", true, own,
            int(Kept::VideoNotAsRecorded));
        row("day's pictures missing", "as recorded", true, "as recorded", false, own,
            int(Kept::PicturesMissing));
        row("record of another day's video", "as recorded", true, "as recorded", true,
            DayName(kDay.addDays(1)).c_str(), int(Kept::NoRecord));
    }

    void frameGoesOnlyOnProof() {
        QFETCH(QString, frameNow);
        QFETCH(bool, listed);
        QFETCH(QString, videoNow);
        QFETCH(bool, picturesMade);
        QFETCH(QString, videoNamed);
        QFETCH(int, verdict);
        Disk disk;
        if (frameNow != "unreadable") {
            disk.frames[kName] = frameNow == "changed" ? FileDigest{kFrame.size, "other"} : kFrame;
        }
        if (videoNow != "missing") {
            disk.videos[kDay] = videoNow == "changed" ? FileDigest{kVideo.size + 1, "x"} : kVideo;
        }
        if (picturesMade) {
            disk.picturesMade.insert(kDay);
        }
        DatedRecord record = RecordOf(kDay, {{listed ? kName : "pic_10002.jpg", kFrame}});
        record.record.videoName = videoNamed.toStdString() + kDayVideoEnding;
        FrameProofs proofs({record}, disk.Files());
        QCOMPARE(VerdictOf(proofs.Judge(kName)), verdict);
    }

    // A frame in several records goes when any proves it held, else stays for the reason nearest
    // to a proof; each record's video is read once, however many frames it lists.
    void severalRecordsAndFrames() {
        const QDate unsound = kDay.addDays(-1);
        Disk disk;
        disk.frames = {{kName, kFrame}, {"pic_10002.jpg", {1, "changed"}}};
        disk.videos = {{kDay, kVideo}, {unsound, kVideo}};
        disk.picturesMade = {kDay};
        const std::vector<RecordedFrame> both = {{kName, kFrame}, {"pic_10002.jpg", kFrame}};
        FrameProofs proofs({RecordOf(unsound, both), RecordOf(kDay, both)}, disk.Files());
        QCOMPARE(VerdictOf(proofs.Judge(kName)), -1);
        QCOMPARE(VerdictOf(proofs.Judge("pic_10002.jpg")), int(Kept::Changed));
        QCOMPARE(disk.videoReads, (std::map<QDate, int>{{unsound, 1}, {kDay, 1}}));
    }
};

QTEST_MAIN(RetentionTest)
#include "test_retention.moc"
