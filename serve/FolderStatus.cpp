#include "serve/FolderStatus.h"

#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <unordered_map>
#include <utility>
#include <vector>

#include "frames/CaptureTime.h"
#include "frames/DayFiles.h"
#include "frames/FrameFile.h"
#include "frames/FrameVerdict.h"
#include "platform/PosixFiles.h"
#include "platform/TimeZone.h"
#include "timeline/LocalDays.h"

namespace {

// Deletions (the daily run's retention) and videos made beside the frames are found by listing
// the whole folder, which costs a stat a frame: at most this often.
constexpr std::int64_t kFullListingEveryMs = 60'000;
// Frame numbers a capture may skip (one taken by a file that is not a frame) before the frames
// after the last one known are taken to end.
constexpr int kLargestGap = 16;
// Today's frames judged in one Refresh at most (a 1080p frame takes a few milliseconds), so that
// a folder met in the evening of a long day does not hold the first snapshot for long; the rest
// are judged by the Refreshes after it.
constexpr int kJudgedPerRefresh = 100;
// The frames whose intervals tell the capture's pace.
constexpr std::size_t kPaceFrames = 11;
constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;
// The span whose dark frames tell a covered or blinded camera.
constexpr std::int64_t kHourMs = 60LL * 60 * 1000;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr std::array<std::string_view, 5> kVideoEndings = {".mp4", ".avi", ".mkv", ".mov", ".webm"};

struct FileStat {
    std::uint64_t size = 0;
    std::int64_t modifiedMs = 0;
};

// The regular file `name` in the folder open as `dirFd`, not followed when it is a link; nothing
// for anything else.
std::optional<FileStat> RegularFileAt(int dirFd, const char* name) {
    struct stat status {};
    if (!IsRegularFileAt(dirFd, name, status)) {
        return std::nullopt;
    }
    return FileStat{static_cast<std::uint64_t>(status.st_size), ModifiedMs(status)};
}

// A video the user made beside the frames: a visible file with a video's ending, named in UTF-8
// (JSON carries only that).
bool IsFolderVideoName(std::string_view name) {
    const bool video = std::ranges::any_of(
        kVideoEndings, [name](std::string_view ending) { return name.ends_with(ending); });
    return video && !name.starts_with('.') &&
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toUtf8() ==
               QByteArray(name.data(), static_cast<qsizetype>(name.size()));
}

std::string IsoTime(const QDateTime& time) {
    return IsoTimeWithOffset(time.toMSecsSinceEpoch(), time.offsetFromUtc());
}

QJsonValue Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The URL path of a listed name below `route`, each byte outside the unreserved ones and '/'
// escaped.
std::string UrlOf(std::string_view route, const std::string& name) {
    return std::string(route) +
           QUrl::toPercentEncoding(QString::fromStdString(name), "/").toStdString();
}

struct Frame {
    int number = 0;
    FileStat file;
};

// The middle one of the positive intervals between the last frames, or nothing without one.
std::optional<std::int64_t> MedianInterval(const std::vector<Frame>& frames) {
    std::vector<std::int64_t> intervals;
    const std::size_t from = frames.size() > kPaceFrames ? frames.size() - kPaceFrames : 0;
    for (std::size_t i = from + 1; i < frames.size(); ++i) {
        const std::int64_t interval = frames[i].file.modifiedMs - frames[i - 1].file.modifiedMs;
        if (interval > 0) {
            intervals.push_back(interval);
        }
    }
    if (intervals.empty()) {
        return std::nullopt;
    }
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return *middle;
}

// A file that status.json lists, with what its entry shows.
struct ListedFile {
    ServedFile file;
    std::string time;  // ISO
    std::string url;
};

}  // namespace

struct FolderStatus::Snapshot {
    QDateTime taken;  // invalid before the first Refresh
    int frames = 0;
    std::string latestName;  // as status.json names it
    std::optional<ServedFile> latest;
    CaptureTime latestTime;
    std::optional<std::uint64_t> freeBytes;
    std::uint64_t bytesLastDay = 0;  // of the frames taken in the 24 hours before `taken`
    std::optional<std::int64_t> interval;
    int framesToday = 0;
    int leftOutToday = 0;
    int hourFrames = 0;  // judged, of the hour before `taken`
    int hourDark = 0;    // nearly black or nearly white among them
    std::optional<ClosedDay> lastClosedDay;
    std::vector<ListedFile> videos;  // newest first
    std::vector<ListedFile> pictures;
    std::vector<QDate> dayVideos;  // the days with a video in days/
};

struct FolderStatus::Listing {
    explicit Listing(MinuteOfDay dayStartsAt) : days(dayStartsAt) {}

    std::vector<Frame> frames;  // ascending numbers
    std::optional<std::int64_t> fullListingMs;
    std::vector<std::string> folderVideos;  // found by the last full listing
    LocalDays days;
    // The verdict of each judged frame of the project day `verdictDay`: a frame is read and
    // judged once.
    struct Judged {
        bool bad = false;
        bool dark = false;  // nearly black or nearly white
        std::int64_t modifiedMs = 0;
    };
    std::int64_t verdictDay = 0;
    std::unordered_map<int, Judged> judged;
    // The capture time of the latest frame, read once for each file and time it has.
    std::pair<std::string, std::int64_t> latestKey;
    CaptureTime latestTime;
};

FolderStatus::FolderStatus(FolderStatusInputs inputs, const FreeSpaceProbe& freeSpace)
    : m_inputs(std::move(inputs)),
      m_freeSpace(freeSpace),
      m_snapshot(std::make_shared<const Snapshot>()),
      m_listing(std::make_unique<Listing>(m_inputs.dayRules.dayStartsAt)) {}

FolderStatus::~FolderStatus() = default;

std::shared_ptr<const FolderStatus::Snapshot> FolderStatus::Current() const {
    const std::lock_guard lock(m_mutex);
    return m_snapshot;
}

std::vector<Trouble> FolderStatus::CurrentTroubles() const {
    const std::lock_guard lock(m_mutex);
    return m_troubles;
}

void FolderStatus::SetTroubles(std::vector<Trouble> troubles) {
    const std::lock_guard lock(m_mutex);
    m_troubles = std::move(troubles);
}

TroubleFacts FolderStatus::Facts() const {
    const std::shared_ptr<const Snapshot> snapshot = Current();
    TroubleFacts facts;
    facts.frames = snapshot->frames;
    if (snapshot->latest) {
        facts.lastFrameMs = snapshot->latest->time.toMSecsSinceEpoch();
    }
    facts.intervalMs = snapshot->interval;
    facts.freeBytes = snapshot->freeBytes;
    facts.bytesLastDay = snapshot->bytesLastDay;
    facts.dailyVideosInUse = !snapshot->dayVideos.empty();
    facts.lastClosedDay = snapshot->lastClosedDay;
    facts.hourFrames = snapshot->hourFrames;
    facts.hourDark = snapshot->hourDark;
    return facts;
}

namespace {

// Every frame and video directly in the folder.
void ListWholeFolder(const UniqueFd& folder, std::vector<Frame>& frames,
                     std::vector<std::string>& videos) {
    frames.clear();
    videos.clear();
    ForEachNameIn(folder.Get(), [&](std::string_view name) {
        const std::string text(name);
        if (const std::optional<int> number = FrameNumberOf(name)) {
            if (const std::optional<FileStat> file = RegularFileAt(folder.Get(), text.c_str())) {
                frames.push_back({*number, *file});
            }
        } else if (IsFolderVideoName(name)) {
            videos.push_back(text);
        }
    });
    std::ranges::sort(frames, {}, &Frame::number);
}

// The frames numbered after the last one known, up to the first gap wider than kLargestGap.
void AddNewFrames(int dirFd, std::vector<Frame>& frames) {
    int number = frames.empty() ? kNoFrames : frames.back().number;
    for (int missed = 0; missed < kLargestGap && number < INT_MAX;) {
        ++number;
        if (const std::optional<FileStat> file =
                RegularFileAt(dirFd, FrameFileName(number).c_str())) {
            frames.push_back({number, *file});
            missed = 0;
        } else {
            ++missed;
        }
    }
}

std::optional<ListedFile> ListedAt(int dirFd, const std::string& shownName, const char* fileName,
                                   const std::string& path, std::string_view route) {
    const std::optional<FileStat> file = RegularFileAt(dirFd, fileName);
    if (!file) {
        return std::nullopt;
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(file->modifiedMs);
    return ListedFile{{shownName, path, file->size, time},
                      LocalIsoTime(file->modifiedMs),
                      UrlOf(route, shownName)};
}

// The bytes of the frames taken in the 24 hours before `nowMs`.
std::uint64_t BytesOfLastDay(const std::vector<Frame>& frames, std::int64_t nowMs) {
    std::uint64_t bytes = 0;
    for (const Frame& frame : frames) {
        if (frame.file.modifiedMs > nowMs - kDayMs && frame.file.modifiedMs <= nowMs) {
            bytes += frame.file.size;
        }
    }
    return bytes;
}

}  // namespace

void FolderStatus::Refresh(const QDateTime& now) {
    const std::int64_t nowMs = now.toMSecsSinceEpoch();
    const UniqueFd folder = OpenFolder(m_inputs.frameDir);
    UpdateListing(folder, nowMs);
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->taken = now;
    snapshot->frames = static_cast<int>(m_listing->frames.size());
    snapshot->freeBytes = m_freeSpace.FreeBytes(m_inputs.frameDir);
    snapshot->interval = MedianInterval(m_listing->frames);
    snapshot->bytesLastDay = BytesOfLastDay(m_listing->frames, nowMs);
    JudgeToday(nowMs, *snapshot);
    FindLatest(folder, *snapshot);
    ListVideosAndPictures(folder, *snapshot);
    FindLastClosedDay(nowMs, *snapshot);
    const std::lock_guard lock(m_mutex);
    m_snapshot = std::move(snapshot);
}

void FolderStatus::UpdateListing(const UniqueFd& folder, std::int64_t nowMs) {
    Listing& listing = *m_listing;
    if (!listing.fullListingMs || nowMs - *listing.fullListingMs >= kFullListingEveryMs ||
        nowMs < *listing.fullListingMs) {
        ListWholeFolder(folder, listing.frames, listing.folderVideos);
        listing.fullListingMs = nowMs;
    } else {
        AddNewFrames(folder.Get(), listing.frames);
    }
}

void FolderStatus::JudgeToday(std::int64_t nowMs, Snapshot& snapshot) {
    Listing& listing = *m_listing;
    const std::string& dir = m_inputs.frameDir;
    // Today's frames are judged as they come; yesterday's verdicts are no longer asked for.
    const LocalDay& today = listing.days.Containing(nowMs);
    if (today.julianDay != listing.verdictDay) {
        listing.judged.clear();
        listing.verdictDay = today.julianDay;
    }
    std::unordered_map<int, Listing::Judged> verdicts;
    std::vector<unsigned char> bytes;
    int judged = 0;
    for (std::size_t i = 0; i < listing.frames.size(); ++i) {
        const Frame& frame = listing.frames[i];
        if (frame.file.modifiedMs < today.startMs || frame.file.modifiedMs >= today.endMs) {
            continue;
        }
        ++snapshot.framesToday;
        const auto known = listing.judged.find(frame.number);
        if (known != listing.judged.end()) {
            verdicts.insert(*known);
        } else if (judged < kJudgedPerRefresh) {
            // As the browser and the video maker judge it, a repeat of the frame listed before.
            const FrameVerdict verdict = JudgeFrameFile(
                FramePath(dir, frame.number),
                i > 0 ? FramePath(dir, listing.frames[i - 1].number) : std::string(), bytes);
            if (verdict.fault != FrameFault::Missing) {  // not gone since it was listed
                const bool dark = verdict.fault == FrameFault::NearlyBlack ||
                                  verdict.fault == FrameFault::NearlyWhite;
                verdicts.emplace(frame.number,
                                 Listing::Judged{!verdict.Good(), dark, frame.file.modifiedMs});
            }
            ++judged;
        }
    }
    // Only the frames still there keep their verdicts.
    listing.judged = std::move(verdicts);
    for (const auto& [number, verdict] : listing.judged) {
        snapshot.leftOutToday += verdict.bad ? 1 : 0;
        if (verdict.modifiedMs > nowMs - kHourMs && verdict.modifiedMs <= nowMs) {
            ++snapshot.hourFrames;
            snapshot.hourDark += verdict.dark ? 1 : 0;
        }
    }
}

void FolderStatus::FindLastClosedDay(std::int64_t nowMs, Snapshot& snapshot) {
    Listing& listing = *m_listing;
    const std::int64_t todayStartMs = listing.days.Containing(nowMs).startMs;
    std::optional<std::int64_t> lastMs;
    for (const Frame& frame : listing.frames) {
        if (frame.file.modifiedMs < todayStartMs && frame.file.modifiedMs > lastMs.value_or(0)) {
            lastMs = frame.file.modifiedMs;
        }
    }
    if (!lastMs) {
        return;
    }
    const LocalDay& day = listing.days.Containing(*lastMs);
    const QDate date = QDate::fromJulianDay(day.julianDay);
    snapshot.lastClosedDay = ClosedDay{
        date, day.endMs, std::ranges::find(snapshot.dayVideos, date) != snapshot.dayVideos.end()};
}

void FolderStatus::FindLatest(const UniqueFd& folder, Snapshot& snapshot) {
    Listing& listing = *m_listing;
    const std::string& dir = m_inputs.frameDir;
    // The newest frame: latest.jpg when the capture keeps it up to date, else the last frame.
    const Frame* last = listing.frames.empty() ? nullptr : &listing.frames.back();
    const std::optional<FileStat> kept = RegularFileAt(folder.Get(), kLatestFrameName);
    if (kept && (!last || kept->modifiedMs >= last->file.modifiedMs)) {
        snapshot.latest = ServedFile{kLatestFrameName, dir + kLatestFrameName, kept->size,
                                     QDateTime::fromMSecsSinceEpoch(kept->modifiedMs)};
    } else if (last) {
        snapshot.latest =
            ServedFile{kLatestFrameName, FramePath(dir, last->number), last->file.size,
                       QDateTime::fromMSecsSinceEpoch(last->file.modifiedMs)};
    }
    if (!snapshot.latest) {
        return;
    }
    snapshot.latestName = last ? FrameFileName(last->number) : kLatestFrameName;
    const std::string timed = last ? FramePath(dir, last->number) : snapshot.latest->path;
    const std::int64_t timedMs = last ? last->file.modifiedMs : kept->modifiedMs;
    if (listing.latestKey != std::pair(timed, timedMs)) {
        listing.latestKey = {timed, timedMs};
        listing.latestTime = ReadExifCaptureTime(timed).value_or(LocalCaptureTime(timedMs));
    }
    snapshot.latestTime = listing.latestTime;
}

void FolderStatus::ListVideosAndPictures(const UniqueFd& folder, Snapshot& snapshot) const {
    const std::string& dir = m_inputs.frameDir;
    // Videos beside the frames: those of the last full listing and the window's, still there.
    std::vector<std::string> folderVideos = m_listing->folderVideos;
    if (std::ranges::find(folderVideos, kVideoFileName) == folderVideos.end()) {
        folderVideos.emplace_back(kVideoFileName);
    }
    for (const std::string& name : folderVideos) {
        if (auto video = ListedAt(folder.Get(), name, name.c_str(), dir + name, "/videos/")) {
            snapshot.videos.push_back(std::move(*video));
        }
    }
    // The days' videos and pictures.
    const UniqueFd days = OpenFolder(dir + kDaysFolder);
    ForEachNameIn(days.Get(), [&](std::string_view name) {
        const std::string text(name);
        const std::string shown = kDaysFolder + text;
        const std::string path = dir + shown;
        if (const std::optional<QDate> day = DayOfFileName(name, kDayVideoEnding)) {
            if (auto video = ListedAt(days.Get(), shown, text.c_str(), path, "/videos/")) {
                snapshot.videos.push_back(std::move(*video));
                snapshot.dayVideos.push_back(*day);
            }
        } else if (DayOfFileName(name, kDayKeogramEnding) || DayOfFileName(name, kDaySheetEnding)) {
            if (auto picture = ListedAt(days.Get(), shown, text.c_str(), path, "/")) {
                snapshot.pictures.push_back(std::move(*picture));
            }
        }
    });
    const auto newestFirst = [](const ListedFile& a, const ListedFile& b) {
        return std::pair(a.file.time, a.file.name) > std::pair(b.file.time, b.file.name);
    };
    std::ranges::sort(snapshot.videos, newestFirst);
    std::ranges::sort(snapshot.pictures, std::ranges::greater(),
                      [](const ListedFile& picture) { return picture.file.name; });
}

namespace {

QJsonArray TroublesArray(const std::vector<Trouble>& troubles) {
    QJsonArray array;
    for (const Trouble& trouble : troubles) {
        array.append(QJsonObject{{"code", TroubleWord(trouble.code)},
                                 {"message", Text(trouble.message)},
                                 {"since", Text(LocalIsoTime(trouble.sinceMs))}});
    }
    return array;
}

QJsonArray ListedJson(const std::vector<ListedFile>& listed) {
    QJsonArray array;
    for (const ListedFile& entry : listed) {
        array.append(QJsonObject{{"name", Text(entry.file.name)},
                                 {"size", static_cast<qint64>(entry.file.size)},
                                 {"time", Text(entry.time)},
                                 {"url", Text(entry.url)}});
    }
    return array;
}

}  // namespace

QJsonObject FolderStatus::StatusObject(const Snapshot& snapshot, const QDateTime& now) const {
    const CaptureSchedule& schedule = m_inputs.schedule;
    QJsonObject status;
    status["frames"] = snapshot.frames;
    status["latest"] =
        snapshot.latest
            ? QJsonValue(QJsonObject{
                  {"file", Text(snapshot.latestName)},
                  {"time", Text(IsoTimeWithOffset(snapshot.latestTime.ms,
                                                  snapshot.latestTime.utcOffsetSeconds))}})
            : QJsonValue();
    const std::optional<std::uint64_t> freeBytes = snapshot.freeBytes;
    status["free_mb"] =
        freeBytes
            ? QJsonValue(static_cast<qint64>(*freeBytes / static_cast<std::uint64_t>(kMegabyte)))
            : QJsonValue();
    // How long the free space lasts at the pace of the last 24 hours, in tenths of a day.
    status["days_left"] =
        freeBytes && snapshot.bytesLastDay > 0
            ? QJsonValue(std::round(static_cast<double>(*freeBytes) /
                                    static_cast<double>(snapshot.bytesLastDay) * 10) /
                         10)
            : QJsonValue();

    const bool capturing = schedule.IsOpen(now);
    status["capturing"] = capturing;
    // Outside the schedule, its next opening; inside, when the capture's pace brings the next
    // frame, unless that is past (the capture is late, or stopped).
    std::optional<std::string> next;
    if (!capturing) {
        if (const std::optional<QDateTime> opening = schedule.NextOpening(now)) {
            next = IsoTime(*opening);
        }
    } else if (snapshot.latest && snapshot.interval) {
        const std::int64_t due = snapshot.latestTime.ms + *snapshot.interval;
        if (due > now.toMSecsSinceEpoch()) {
            next = LocalIsoTime(due);
        }
    }
    status["next_capture"] = next ? Text(*next) : QJsonValue();
    QJsonArray today;
    for (const TimeRange& range : schedule.DayPlan(now.toLocalTime().date())) {
        today.append(
            QJsonObject{{"start", Text(IsoTime(range.start))}, {"end", Text(IsoTime(range.end))}});
    }
    status["today"] = today;
    status["frames_today"] = snapshot.framesToday;
    status["left_out_today"] = snapshot.leftOutToday;
    status["troubles"] = TroublesArray(CurrentTroubles());
    status["videos"] = ListedJson(snapshot.videos);
    status["pictures"] = ListedJson(snapshot.pictures);
    return status;
}

std::string FolderStatus::StatusJson(const QDateTime& now) const {
    const std::shared_ptr<const Snapshot> snapshot = Current();
    QJsonObject status = StatusObject(*snapshot, now);
    status["updated"] = snapshot->taken.isValid() ? Text(IsoTime(snapshot->taken)) : QJsonValue();
    return QJsonDocument(status).toJson(QJsonDocument::Compact).toStdString();
}

std::string FolderStatus::TroublesJson() const {
    return QJsonDocument(TroublesArray(CurrentTroubles()))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

std::string FolderStatus::StateJson(const QDateTime& now) const {
    return QJsonDocument(StatusObject(*Current(), now))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

std::optional<ServedFile> FolderStatus::LatestFrame() const {
    return Current()->latest;
}

namespace {

std::optional<ServedFile> FindListed(const std::vector<ListedFile>& listed, std::string_view name) {
    const auto found = std::ranges::find(
        listed, name, [](const ListedFile& entry) { return std::string_view(entry.file.name); });
    return found == listed.end() ? std::nullopt : std::optional<ServedFile>(found->file);
}

}  // namespace

std::optional<ServedFile> FolderStatus::Video(std::string_view name) const {
    return FindListed(Current()->videos, name);
}

std::optional<ServedFile> FolderStatus::DayPicture(std::string_view name) const {
    return FindListed(Current()->pictures, name);
}
