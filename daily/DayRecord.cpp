#include "daily/DayRecord.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>

#include "frames/DayFiles.h"
#include "frames/FrameFile.h"
#include "platform/AtomicFile.h"

namespace {

constexpr std::string_view kVideoWord = "video";
constexpr std::string_view kFrameWord = "frame";
constexpr std::size_t kDigestLength = 64;

void AppendLine(std::string& text, std::string_view word, const std::string& name,
                const FileDigest& file) {
    text.append(word).append(" ").append(name).append(" ");
    text.append(std::to_string(file.size)).append(" ").append(file.sha256).append("\n");
}

// "word name size digest", each field checked.
bool ParseLine(std::string_view line, std::string_view word, std::string& name, FileDigest& file) {
    std::vector<std::string_view> fields;
    while (!line.empty() && fields.size() < 5) {
        const std::size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    }
    if (fields.size() != 4 || fields[0] != word || fields[1].empty() ||
        fields[3].size() != kDigestLength ||
        fields[3].find_first_not_of("0123456789abcdef") != std::string_view::npos) {
        return false;
    }
    long long size = -1;
    const auto [end, error] =
        std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), size);
    if (error != std::errc() || end != fields[2].data() + fields[2].size() || size < 0) {
        return false;
    }
    name = std::string(fields[1]);
    file = {size, std::string(fields[3])};
    return true;
}

}  // namespace

std::string RecordText(const DayRecord& record) {
    std::string text;
    AppendLine(text, kVideoWord, record.videoName, record.video);
    for (const RecordedFrame& frame : record.frames) {
        AppendLine(text, kFrameWord, frame.name, frame.file);
    }
    return text;
}

std::optional<DayRecord> ParseRecord(std::string_view text) {
    if (!text.ends_with('\n')) {
        return std::nullopt;
    }
    DayRecord record;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        RecordedFrame frame;
        const bool read = first ? ParseLine(line, kVideoWord, record.videoName, record.video)
                                : ParseLine(line, kFrameWord, frame.name, frame.file) &&
                                      FrameNumberOf(frame.name).has_value();
        if (!read) {
            return std::nullopt;
        }
        if (!first) {
            record.frames.push_back(std::move(frame));
        }
        first = false;
    }
    return first ? std::nullopt : std::optional<DayRecord>(std::move(record));
}

int WriteDayRecord(const std::string& frameDir, const QDate& day,
                   const std::vector<RecordedFrame>& frames) {
    DayRecord record;
    record.videoName = DayName(day) + kDayVideoEnding;
    const std::optional<FileDigest> video =
        DigestOfFileIn(AT_FDCWD, DayFilePath(frameDir, day, kDayVideoEnding));
    if (!video) {
        return errno;
    }
    record.video = *video;
    record.frames = frames;
    const std::string text = RecordText(record);
    return WriteFileAtomically(DayFilePath(frameDir, day, kDayRecordEnding), text.data(),
                               text.size());
}
