#pragma once

#include <QCommandLineOption>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frames/CaptureTime.h"

class QCommandLineParser;

// Frames chosen by when they were taken: a day, a span of dates, hours of each day, one frame a
// day near a time, one frame every few minutes. Days are local days (TZ), which may last 23 or 25
// hours; a project's day may start at another hour than midnight (DAY_STARTS_AT) and is named by
// the date it starts on.

// A time of day on the wall clock, in minutes after midnight: 0 to 1439.
using MinuteOfDay = int;

// A local date, and a time on it when one was given ("2026-03-29" or "2026-03-29T12:00").
struct LocalMoment {
    QDate date;
    std::optional<MinuteOfDay> time;

    bool operator==(const LocalMoment&) const = default;
};

// How frames are chosen by their time; with nothing set, every frame is.
struct FrameChoice {
    std::optional<QDate> day;         // --day, today and yesterday already resolved
    std::optional<LocalMoment> from;  // --from: from this moment (a date alone: its start)
    std::optional<LocalMoment> to;    // --to: up to this moment (a date alone: its whole day)
    // --between: hours of each day, [first, second); an end before the start wraps past midnight.
    std::optional<std::pair<MinuteOfDay, MinuteOfDay>> between;
    std::vector<MinuteOfDay> dailyAt;  // --daily-at: the frame nearest each time, each day
    bool dailyAtSolarNoon = false;     // --daily-at solar-noon
    int toleranceMinutes = 30;         // --tolerance: how far from a daily time a frame may be
    int everyMinutes = 0;              // --every: slots anchored at local midnight; 0 is off

    // True when any of the above chooses (the tolerance alone does not).
    bool Any() const;
    bool operator==(const FrameChoice&) const = default;
};

// What the settings give the choice: where a day starts, and the longitude of solar noon.
struct DayRules {
    MinuteOfDay dayStartsAt = 0;  // DAY_STARTS_AT
    double longitude = 0;         // LONGITUDE, east positive
};

struct ChosenFrames {
    std::vector<TimedFrame> frames;  // in ascending number order
    int candidates = 0;              // the frames chosen from
    // Days that have frames but none near a --daily-at time (or solar noon), in date order.
    std::vector<QDate> daysWithoutDailyFrame;

    // The numbers of the chosen frames, in order.
    std::vector<int> Numbers() const;
};

// The frames of `candidates` (ascending numbers) that `choice` takes.
ChosenFrames ChooseFrames(const std::vector<TimedFrame>& candidates, const FrameChoice& choice,
                          const DayRules& rules);

// The command-line options of the choice: --day, --from, --to, --between, --daily-at,
// --tolerance, --every (and --list, which prints the chosen frames instead of using them).
QList<QCommandLineOption> FrameChoiceOptions();

// Reads the choice's options from `parser`, `today` resolving "today" and "yesterday": nothing, or
// the one-line message that names the option whose value is bad.
std::optional<std::string> ReadFrameChoice(const QCommandLineParser& parser, const QDate& today,
                                           FrameChoice& choice);

// Sets one option of the choice from its text ("day", "2026-03-29"), as the command line and the
// window's fields give it: nothing, or the message that names the option.
std::optional<std::string> SetFrameChoiceOption(FrameChoice& choice, const std::string& option,
                                                const std::string& text, const QDate& today);

// The project's day that is under way at `now`: its date, or the day before's before DAY_STARTS_AT.
// It is what "today" and "yesterday" are reckoned from.
QDate ProjectToday(const DayRules& rules, const QDateTime& now);

// The numbers of `frames` by the project day each was taken on, the days in date order and each
// day's numbers in the order of `frames`.
std::map<QDate, std::vector<int>> FramesByDay(const std::vector<TimedFrame>& frames,
                                              const DayRules& rules);

// The frames of `frameDir` (empty or ending with '/') among `numbers` (ascending) that `choice`
// takes, each timed by its EXIF or else its file time; `notice` receives FileTimesNotice's line.
ChosenFrames ChooseFolderFrames(const std::string& frameDir, const std::vector<int>& numbers,
                                const FrameChoice& choice, const DayRules& rules,
                                std::string& notice);

// The frames `choice` takes, in words, after "no frame of FOLDER was taken": "on 2026-03-30
// between 06:00 and 20:00"; empty when it takes every frame.
std::string ChoiceInWords(const FrameChoice& choice);

// One line of --list: "pic_10001.jpg 2026-03-29T12:00:03+02:00".
std::string ListLine(const TimedFrame& frame);

// The line after the list: how many frames were chosen out of how many, the days without a frame
// near a --daily-at time, and how long the video lasts at `fps` frames a second.
std::string ChoiceSummary(const ChosenFrames& chosen, const FrameChoice& choice, double fps);
