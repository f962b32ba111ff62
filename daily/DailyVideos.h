#pragma once

#include <QCommandLineOption>

#include "res/ExitCodes.h"
#include "video/ModeContext.h"

// `vorn --daily-videos`: a video of every closed day of the frame folder, days/YYYY-MM-DD.mp4,
// made without a window for a timer or cron to start, with its keogram and contact sheet beside
// it and the record of what the video holds; then, with KEEP_FRAMES_DAYS, the frames of old days
// that a record proves held are deleted (Retention.h). It runs at a low priority, one run per
// folder.

// --daily-videos itself; it takes --dir and --list from the options of --make-video, and the video
// options from the settings file, as the window keeps them.
QCommandLineOption DailyVideosOption();

// Makes the videos that closed days lack and deletes the frames past their keeping, or with
// --list prints what it would make and delete. A line a day on standard output; each failure in
// one line on standard error, the run going on with the other days.
// A run that knows its frame folder records its code and its first failure's line there
// (frames/AttemptRecord.h), but for --list and a run refused as busy.
ExitCode RunDailyVideos(const ModeContext& context);
