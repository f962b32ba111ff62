#include "daily/Retention.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "daily/DayRecord.h"
#include "frames/DayFiles.h"
#include "frames/FrameFile.h"
#include "platform/Digest.h"
#include "platform/Numbers.h"
#include "platform/PosixFiles.h"
#include "platform/Tell.h"

namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

std::string Megabytes(long long bytes) {
    return QLocale(QLocale::English).toString(bytes / kBytesPerMegabyte, 'f', 1).toStdString();
}

constexpr const char* kKeptWords[] = {
    "in no video's record",
    "whose video is not as its record says",
    "whose video lacks its keogram or contact sheet",
    "changed since their video was made",
};

// The records of the days' folder open as `daysFd`.
std::vector<DatedRecord> ReadRecords(const std::string& frameDir, int daysFd) {
    std::vector<DatedRecord> records;
    if (daysFd < 0) {
        return records;
    }
    ForEachNameIn(daysFd, [&](std::string_view name) {
        const std::optional<QDate> day = DayOfFileName(name, kDayRecordEnding);
        std::vector<uchar> text;
        const bool read =
            day && ReadFrameBytes(DayFilePath(frameDir, *day, kDayRecordEnding), text);
        const std::optional<DayRecord> record =
            read ? ParseRecord({reinterpret_cast<const char*>(text.data()), text.size()})
                 : std::nullopt;
        if (record) {
            records.push_back({*day, *record});
        }
    });
    return records;
}

// "9 frames kept: 1 changed since their video was made, 8 in no video's record".
std::string KeptInWords(const int (&kept)[static_cast<int>(Kept::Count)]) {
    int all = 0;
    std::string reasons;
    for (int why = 0; why < static_cast<int>(Kept::Count); ++why) {
        if (kept[why] > 0) {
            reasons +=
                (reasons.empty() ? "" : ", ") + GroupedDigits(kept[why]) + " " + kKeptWords[why];
            all += kept[why];
        }
    }
    return GroupedDigits(all) + (all == 1 ? " frame" : " frames") + " kept: " + reasons;
}

// Deletes (or lists) the frames `numbers` of `day` that their records prove held.
void DeleteProvenFrames(const Retention& retention, int dirFd, FrameProofs& proofs,
                        const QDate& day, const std::vector<int>& numbers) {
    const std::string name = DayName(day);
    int deleted = 0;
    long long bytes = 0;
    int kept[static_cast<int>(Kept::Count)] = {};
    for (const int number : numbers) {
        const std::string file = FrameFileName(number);
        struct stat status {};
        // Only the regular frame files of the folder itself, never a link's target.
        if (!IsRegularFileAt(dirFd, file.c_str(), status)) {
            continue;
        }
        if (const std::optional<Kept> why = proofs.Judge(file)) {
            ++kept[static_cast<int>(*why)];
            continue;
        }
        if (!retention.listing && ::unlinkat(dirFd, file.c_str(), 0) != 0) {
            std::string line = name;
            line.append(": cannot delete ").append(file).append(" (");
            TellLine(line.append(std::strerror(errno)).append(")"));
            continue;
        }
        ++deleted;
        bytes += status.st_size;
    }
    if (deleted > 0) {
        std::printf("%s: %s %s frames, %s MB\n", name.c_str(),
                    retention.listing ? "would delete" : "deleted", GroupedDigits(deleted).c_str(),
                    Megabytes(bytes).c_str());
    }
    if (std::any_of(std::begin(kept), std::end(kept), [](int count) { return count > 0; })) {
        TellLine(name + ": " + KeptInWords(kept));
    }
}

// What a listing run says of a day it would make first.
void ListFramesOfDayToBeMade(int dirFd, const QDate& day, const std::vector<int>& numbers) {
    int frames = 0;
    long long bytes = 0;
    for (const int number : numbers) {
        struct stat status {};
        if (IsRegularFileAt(dirFd, FrameFileName(number).c_str(), status)) {
            ++frames;
            bytes += status.st_size;
        }
    }
    std::printf("%s: would delete %s frames, %s MB, once its video holds them all\n",
                DayName(day).c_str(), GroupedDigits(frames).c_str(), Megabytes(bytes).c_str());
}

}  // namespace

FrameProofs::FrameProofs(const std::vector<DatedRecord>& records, RetentionFiles files)
    : m_files(std::move(files)) {
    for (const auto& [day, record] : records) {
        // A record names the video of its own day, or it proves nothing.
        if (record.videoName != DayName(day) + kDayVideoEnding) {
            continue;
        }
        for (const RecordedFrame& frame : record.frames) {
            m_byName.emplace(frame.name, Entry{m_records.size(), frame.file});
        }
        m_records.push_back({day, record.video, std::nullopt});
    }
}

std::optional<Kept> FrameProofs::Judge(const std::string& name) {
    const auto [first, last] = m_byName.equal_range(name);
    std::optional<FileDigest> file;
    Kept why = Kept::NoRecord;
    for (auto entry = first; entry != last; ++entry) {
        const Entry& proof = entry->second;
        if (const std::optional<Kept> unsound = Unsound(proof.record)) {
            why = std::max(why, *unsound);
            continue;
        }
        file = file ? file : m_files.frame(name);
        if (file && *file == proof.frame) {
            return std::nullopt;
        }
        why = Kept::Changed;
    }
    return why;
}

// Nothing when the record's video is as it says and its pictures are there; otherwise why its
// frames stay.
std::optional<Kept> FrameProofs::Unsound(std::size_t index) {
    Record& record = m_records[index];
    if (!record.judged) {
        const std::optional<FileDigest> video = m_files.video(record.day);
        record.judged = !video || *video != record.video ? std::optional(Kept::VideoNotAsRecorded)
                        : !m_files.picturesMade(record.day) ? std::optional(Kept::PicturesMissing)
                                                            : std::nullopt;
    }
    return *record.judged;
}

void ApplyRetention(const Retention& retention, const std::map<QDate, std::vector<int>>& byDay,
                    const std::vector<QDate>& toBeMade) {
    const std::string& frameDir = retention.frameDir;
    const UniqueFd dir = OpenFolder(frameDir);
    if (!dir.IsOpen()) {
        TellLine("cannot open the folder " + ShownFolder(frameDir) + " (" + std::strerror(errno) +
                 "); no frame deleted");
        return;
    }
    // A folder without days/ has no record: every frame stays.
    const UniqueFd days(::openat(dir.Get(), kDaysFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int dirFd = dir.Get();
    const int daysFd = days.Get();
    FrameProofs proofs(ReadRecords(frameDir, daysFd),
                       {[dirFd](const std::string& name) { return DigestOfFileIn(dirFd, name); },
                        [daysFd](const QDate& day) {
                            return DigestOfFileIn(daysFd, DayName(day) + kDayVideoEnding);
                        },
                        [&frameDir](const QDate& day) { return DayIsMade(frameDir, day); }});
    for (const auto& [day, numbers] : byDay) {
        if (day.daysTo(retention.today) <= retention.keepFramesDays) {
            continue;
        }
        if (retention.listing &&
            std::find(toBeMade.begin(), toBeMade.end(), day) != toBeMade.end()) {
            ListFramesOfDayToBeMade(dir.Get(), day, numbers);
        } else {
            DeleteProvenFrames(retention, dir.Get(), proofs, day, numbers);
        }
    }
}
