#include <QtTest>
#include <ctime>
#include <functional>

#include "serve/Troubles.h"

namespace {

constexpr std::int64_t kSecond = 1000;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::uint64_t kMb = 1024ULL * 1024;
// 2026-06-01 09:26 UTC.
constexpr std::int64_t kNow = 1780305960000;

using Change = std::function<void(TroubleFacts&)>;

// A capture a minute apart, its last frame half a minute ago, plenty of room.
TroubleFacts Healthy() {
    TroubleFacts facts;
    facts.nowMs = kNow;
    facts.frames = 100;
    facts.lastFrameMs = kNow - 30 * kSecond;
    facts.intervalMs = kMinute;
    facts.freeBytes = 10000 * kMb;
    facts.bytesLastDay = 100 * kMb;
    facts.minFreeMb = 500;
    facts.alertDaysLeft = 3;
    return facts;
}

QStringList Codes(const std::vector<Trouble>& troubles) {
    QStringList codes;
    for (const Trouble& trouble : troubles) {
        codes << TroubleWord(trouble.code);
    }
    return codes;
}

}  // namespace

Q_DECLARE_METATYPE(Change)

namespace {

// One row: the change to a healthy folder's facts, the troubles expected, those raised before.
void Row(const char* name, const Change& change, const QStringList& expected,
         const QStringList& raised = {}) {
    QTest::newRow(name) << change << raised << expected;
}

void StallRows() {
    const auto lastFrame = [](std::int64_t ago) {
        return [ago](TroubleFacts& f) { f.lastFrameMs = kNow - ago; };
    };
    Row("stall: 3 intervals", lastFrame(3 * kMinute), {"stalled"});
    Row("stall: just under 3 intervals", lastFrame(3 * kMinute - 1), {});
    const auto fast = [](std::int64_t ago) {
        return [ago](TroubleFacts& f) {
            f.intervalMs = 10 * kSecond;
            f.lastFrameMs = kNow - ago;
        };
    };
    Row("stall: fast capture under the floor", fast(2 * kMinute - 1), {});
    Row("stall: fast capture at the floor", fast(2 * kMinute), {"stalled"});
    Row("stall: too few frames", [](TroubleFacts& f) { f.frames = 2, f.lastFrameMs = 0; }, {});
    Row("stall: schedule closed",
        [](TroubleFacts& f) { f.scheduleOpen = false, f.lastFrameMs = kNow - kHour; }, {});
    Row("stall: schedule opened lately",
        [](TroubleFacts& f) { f.openedMs = kNow - kMinute, f.lastFrameMs = kNow - kHour; }, {});
    Row("stall: schedule opened long enough",
        [](TroubleFacts& f) { f.openedMs = kNow - 3 * kMinute, f.lastFrameMs = kNow - kHour; },
        {"stalled"});
}

void CameraAndDiskRows() {
    const auto capture = [](int code, std::int64_t ago = 0) {
        return [code, ago](TroubleFacts& f) { f.lastCapture = Attempt{kNow - ago, code, "x"}; };
    };
    Row("camera: no camera", capture(4), {"camera"});
    Row("camera: busy", capture(20), {"camera"});
    Row("camera: outside the schedule", capture(16), {});
    Row("camera: below the floor", capture(17), {});
    Row("camera: succeeded", capture(0), {});
    Row("camera: a newer frame came", capture(4, kMinute), {});
    const auto free = [](std::uint64_t mb) {
        return [mb](TroubleFacts& f) { f.freeBytes = mb * kMb, f.bytesLastDay = 0; };
    };
    Row("disk: below twice the floor", free(999), {"disk"});
    Row("disk: at twice the floor", free(1000), {});
    Row("disk: raised, under 2.2 floors", free(1099), {"disk"}, {"disk"});
    Row("disk: raised, over 2.2 floors", free(1127), {}, {"disk"});
    Row("disk: floor off",
        [](TroubleFacts& f) { f.minFreeMb = 0, f.freeBytes = kMb, f.bytesLastDay = 0; }, {});
    const auto days = [](std::uint64_t mb) {
        return [mb](TroubleFacts& f) { f.freeBytes = mb * kMb, f.minFreeMb = 0; };
    };
    Row("disk: 2.9 days left", days(290), {"disk"});
    Row("disk: 3 days left", days(300), {});
    Row("disk: raised, 3.5 days left", days(350), {"disk"}, {"disk"});
    Row("disk: raised, 3.7 days left", days(370), {}, {"disk"});
    Row("disk: days off",
        [](TroubleFacts& f) { f.alertDaysLeft = 0, f.minFreeMb = 0, f.freeBytes = kMb; }, {});
}

void DailyAndDarkRows() {
    const auto run = [](int code) {
        return [code](TroubleFacts& f) { f.lastDailyRun = Attempt{kNow, code, "x"}; };
    };
    Row("daily: run failed", run(12), {"daily"});
    Row("daily: run found another at work", run(19), {});
    const auto closed = [](std::int64_t ago, bool inUse, bool hasVideo) {
        return [=](TroubleFacts& f) {
            f.dailyVideosInUse = inUse;
            f.lastClosedDay = ClosedDay{QDate(2026, 5, 31), kNow - ago, hasVideo};
        };
    };
    Row("daily: no video half a day on", closed(12 * kHour, true, false), {"daily"});
    Row("daily: no video yet before noon", closed(12 * kHour - 1, true, false), {});
    Row("daily: video made", closed(13 * kHour, true, true), {});
    Row("daily: daily videos not in use", closed(13 * kHour, false, false), {});
    const auto dark = [](int frames, int darkFrames, bool daylight = true) {
        return [=](TroubleFacts& f) {
            f.hourFrames = frames, f.hourDark = darkFrames, f.daylight = daylight;
        };
    };
    Row("dark: over half in daylight", dark(10, 6), {"dark"});
    Row("dark: half", dark(10, 5), {});
    Row("dark: too few frames", dark(4, 4), {});
    Row("dark: at night", dark(10, 10, false), {});
    Row("dark: raised, 30%", dark(10, 3), {"dark"}, {"dark"});
    Row("dark: raised, under 30%", dark(10, 2), {}, {"dark"});
    Row("all at once",
        [](TroubleFacts& f) {
            f.lastFrameMs = kNow - kHour, f.lastCapture = Attempt{kNow, 5, "x"};
            f.freeBytes = kMb, f.lastDailyRun = Attempt{kNow, 12, "x"};
            f.hourFrames = 10, f.hourDark = 10, f.daylight = true;
        },
        {"stalled", "camera", "disk", "daily", "dark"});
}

}  // namespace

class TroublesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    // Each row changes a healthy folder's facts; `raised` are the troubles raised before.
    void factsGiveTroubles_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QStringList>("raised");
        QTest::addColumn<QStringList>("expected");
        Row("healthy", [](TroubleFacts&) {}, {});
        StallRows();
        CameraAndDiskRows();
        DailyAndDarkRows();
    }

    void factsGiveTroubles() {
        QFETCH(const Change, change);
        QFETCH(const QStringList, raised);
        TroubleFacts facts = Healthy();
        change(facts);
        std::vector<TroubleCode> raisedCodes;
        for (const QString& code : raised) {
            raisedCodes.push_back(code == "disk" ? TroubleCode::Disk : TroubleCode::Dark);
        }
        QTEST(Codes(JudgeTroubles(facts, raisedCodes)), "expected");
    }

    void stallIsToldInWords() {
        TroubleFacts facts = Healthy();
        facts.lastFrameMs = kNow - 14 * kMinute;
        const std::vector<Trouble> troubles = JudgeTroubles(facts, {});
        QCOMPARE(troubles.size(), 1U);
        QCOMPARE(troubles[0].message,
                 "No new frame for 14 minutes while the schedule is open: the last came at "
                 "09:12, about every 1 minute before.");
        QCOMPARE(troubles[0].sinceMs, *facts.lastFrameMs + StallThresholdMs(kMinute));
    }

    // Free space hovering at the floor's edges, then a stall and the frame that ends it: each
    // trouble is raised once and resolved once, keeping when it began.
    void bookRaisesOnceAndResolvesOnce() {
        TroubleBook book;
        TroubleFacts facts = Healthy();
        facts.bytesLastDay = 0;
        QStringList told;
        const auto look = [&](std::uint64_t freeMb, std::int64_t lastFrameAgo) {
            facts.nowMs += kSecond;
            facts.freeBytes = freeMb * kMb;
            facts.lastFrameMs = facts.nowMs - lastFrameAgo;
            for (const TroubleEvent& event : book.Look(facts)) {
                told << QString(event.resolved ? "-" : "+") + TroubleWord(event.trouble.code);
            }
        };
        look(999, 0);
        const std::int64_t diskSince = facts.nowMs;
        for (const std::uint64_t mb : {1001, 999, 1050, 1099, 999}) {
            look(mb, 0);
        }
        QCOMPARE(book.Current().size(), 1U);
        QCOMPARE(book.Current()[0].sinceMs, diskSince);
        look(1200, 0);
        look(1120, 0);
        look(1200, 10 * kMinute);
        look(1200, 11 * kMinute);
        look(1200, 0);
        QCOMPARE(told, (QStringList{"+disk", "-disk", "+stalled", "-stalled"}));
        QVERIFY(book.Current().empty());
    }
};

QTEST_GUILESS_MAIN(TroublesTest)
#include "test_troubles.moc"
