#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FreeSpace.h"
#include "schedule/CaptureSchedule.h"
#include "serve/Troubles.h"
#include "timeline/FrameChoice.h"

class UniqueFd;

// A file the status page may serve: the name the page knows it by (the only thing a request may
// name) and where it is. Never built from a request.
struct ServedFile {
    std::string name;  // "latest.jpg", "2026-03-29.mp4", "days/2026-03-29-keogram.jpg", ...
    std::string path;  // absolute, inside the frame folder
    std::uint64_t size = 0;
    QDateTime time;  // the file's modification time
};

// What the status page reads from the settings, once at start.
struct FolderStatusInputs {
    std::string frameDir;  // ending with '/'
    CaptureSchedule schedule;
    DayRules dayRules;
};

// The frame folder as the status page shows it, kept up to date as frames arrive: Refresh looks
// only at what changed (the frame numbers after the last one known; a full listing now and then
// for deletions), so that a request never lists the folder. Refresh runs on one thread; every
// other method is safe from any thread and reads a snapshot.
class FolderStatus {
public:
    explicit FolderStatus(FolderStatusInputs inputs,
                          const FreeSpaceProbe& freeSpace = DefaultFreeSpace());
    ~FolderStatus();

    // Brings the snapshot up to date with the folder at `now`.
    void Refresh(const QDateTime& now);

    // /status.json's body at `now`, from the latest snapshot.
    std::string StatusJson(const QDateTime& now) const;
    // The same without `updated`, which changes at every look: what MQTT's state topic holds,
    // published again only when something in it changed.
    std::string StateJson(const QDateTime& now) const;
    // The newest frame (latest.jpg when the capture keeps one, else the highest-numbered frame),
    // or nothing when the folder has none.
    std::optional<ServedFile> LatestFrame() const;
    // A listed video, or a listed day's keogram or contact sheet, by the exact name status.json
    // gives it; nothing for any other name.
    std::optional<ServedFile> Video(std::string_view name) const;
    std::optional<ServedFile> DayPicture(std::string_view name) const;

    // What the latest snapshot knows of the folder for judging its troubles: the frames, free
    // space, the last hour's verdicts, the last closed day; the rest is left as it is.
    TroubleFacts Facts() const;
    // The troubles status.json tells from now on; TroublesJson is its `troubles` array.
    void SetTroubles(std::vector<Trouble> troubles);
    std::string TroublesJson() const;

private:
    struct Snapshot;
    struct Listing;

    std::shared_ptr<const Snapshot> Current() const;
    // status.json's fields of `snapshot` at `now`, but `updated`.
    QJsonObject StatusObject(const Snapshot& snapshot, const QDateTime& now) const;
    std::vector<Trouble> CurrentTroubles() const;
    // Refresh's steps: the listing brought up to date (the whole folder now and then, else the
    // frames after the last one); today's frames judged, giving how many are bad and how many
    // of the last hour are dark; the last day before today with frames; the newest frame and its
    // capture time; the videos and the days' pictures.
    void UpdateListing(const UniqueFd& folder, std::int64_t nowMs);
    void JudgeToday(std::int64_t nowMs, Snapshot& snapshot);
    void FindLastClosedDay(std::int64_t nowMs, Snapshot& snapshot);
    void FindLatest(const UniqueFd& folder, Snapshot& snapshot);
    void ListVideosAndPictures(const UniqueFd& folder, Snapshot& snapshot) const;

    FolderStatusInputs m_inputs;
    const FreeSpaceProbe& m_freeSpace;
    mutable std::mutex m_mutex;  // guards m_snapshot (the pointer, not what it holds), m_troubles
    std::shared_ptr<const Snapshot> m_snapshot;
    std::vector<Trouble> m_troubles;
    std::unique_ptr<Listing> m_listing;  // what Refresh knows of the folder; Refresh's alone
};
