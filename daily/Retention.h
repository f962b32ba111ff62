#pragma once

#include <QDate>
#include <map>
#include <string>
#include <vector>

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

// Deletes (or lists) the frames of `byDay` past their keeping that a record proves held: a line a
// day on standard output for the frames deleted, on standard error for those kept. The days of
// `toBeMade` are those a listing run would make first: their frames are said to go once their
// video holds them.
void ApplyRetention(const Retention& retention, const std::map<QDate, std::vector<int>>& byDay,
                    const std::vector<QDate>& toBeMade);
