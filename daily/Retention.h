#pragma once

#include <QDate>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "daily/DayRecord.h"

// The frames past their keeping (KEEP_FRAMES_DAYS): those of days more than that many days before
// today. A frame is deleted only on proof that a video of Vorn's holds that very file: a day's
// record lists it with its size and digest, and the record's video is a regular file in days/,
// not a link, of the size and digest the record gives, with its keogram and contact sheet beside
// it. Every other frame is kept, whatever the day arithmetic says, and the run tells how many
// and why.

struct Retention {
    std::string frameDir;  // empty or ends with '/'
    QDate today;
    int keepFramesDays = 0;
    bool listing = false;  // only says what it would delete
};

// Why a frame past its keeping stays; the order of the words in a day's line.
enum class Kept { NoRecord, VideoNotAsRecorded, PicturesMissing, Changed, Count };

// A record of days/ and the day its file name gives.
struct DatedRecord {
    QDate day;
    DayRecord record;
};

// What the decision reads of the files as they are now; nothing for a file that cannot be read.
struct RetentionFiles {
    std::function<std::optional<FileDigest>(const std::string& frameName)> frame;
    std::function<std::optional<FileDigest>(const QDate& day)> video;  // days/YYYY-MM-DD.mp4
    std::function<bool(const QDate& day)> picturesMade;  // the day's keogram and contact sheet
};

// The decision on each frame past its keeping. Each record's video is judged once, when a frame
// it lists is first asked about, and a frame's file is read only when a sound record lists it.
class FrameProofs {
public:
    FrameProofs(const std::vector<DatedRecord>& records, RetentionFiles files);

    // Nothing when a record proves its video holds the frame file `name` as it is now; otherwise
    // why the frame stays: of several records, the reason that comes nearest to a proof.
    std::optional<Kept> Judge(const std::string& name);

private:
    struct Record {
        QDate day;
        FileDigest video;
        std::optional<std::optional<Kept>> judged;  // once asked: nothing when it is sound
    };
    struct Entry {
        std::size_t record;
        FileDigest frame;
    };

    std::optional<Kept> Unsound(std::size_t index);

    RetentionFiles m_files;
    std::vector<Record> m_records;
    std::multimap<std::string, Entry> m_byName;
};

// Deletes (or lists) the frames of `byDay` past their keeping that a record proves held: a line a
// day on standard output for the frames deleted, on standard error for those kept. The days of
// `toBeMade` are those a listing run would make first: their frames are said to go once their
// video holds them.
void ApplyRetention(const Retention& retention, const std::map<QDate, std::vector<int>>& byDay,
                    const std::vector<QDate>& toBeMade);
