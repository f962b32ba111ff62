#pragma once

#include <QDate>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Digest.h"

// The record a daily run writes beside each day's video it makes (days/YYYY-MM-DD.record): the
// video's size and SHA-256 digest, and each frame that went into it with its file's size and
// digest as the video maker read it. It is the only proof a frame is deleted on: a video that a
// user put there, a link, a video made before records were kept or a frame replaced since has
// none that holds. A text file, one line each:
//   video 2026-03-29.mp4 123456789 <sha256>
//   frame pic_10001.jpg 354321 <sha256>

struct RecordedFrame {
    std::string name;  // pic_N.jpg
    FileDigest file;
};

struct DayRecord {
    std::string videoName;  // YYYY-MM-DD.mp4, in the same folder
    FileDigest video;
    std::vector<RecordedFrame> frames;
};

std::string RecordText(const DayRecord& record);

// The record `text` holds; nothing when any line is not as RecordText writes it, so that a
// damaged record proves nothing.
std::optional<DayRecord> ParseRecord(std::string_view text);

// Writes the record of the video of `day` that was just put in place, from its frames, reading
// the video back for its digest: 0, or the errno of the failure (no record is then there).
int WriteDayRecord(const std::string& frameDir, const QDate& day,
                   const std::vector<RecordedFrame>& frames);
