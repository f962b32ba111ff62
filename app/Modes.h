#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <span>
#include <vector>

#include "res/ExitCodes.h"
#include "settings/Settings.h"
#include "video/ModeContext.h"

class Clock;
class QCommandLineParser;

// What a launch was asked to do.
enum class LaunchMode {
    Window,  // the main window, or the unattended mode when the settings switch it on
    TakeFrame,
    MakeVideo,
    Schedule,
    DailyVideos,
    Pictures,  // --keogram, --startrails, --contact-sheet
    Serve,     // the status page
    Help,
    Version,
    BadCommandLine,
};

// The most days --schedule prints.
inline constexpr int kMaxScheduleDays = 3660;

// A command-line mode: the one place that says which options it takes, which settings it reads,
// and what runs it.
struct Mode {
    LaunchMode launch;
    // Its flag first, then the options it takes, its own and those it shares with other modes.
    QList<QCommandLineOption> options;
    // The settings keys it reads: the only ones its context judges, and of the values always
    // written, the only ones whose absence it tells.
    std::vector<Setting> keys;
    ExitCode (*run)(const ModeContext& context);

    // The flag without its dashes ("make-video").
    QString Flag() const { return options.constFirst().names().constFirst(); }
    // The names of all its options, the flag first.
    QStringList OptionNames() const;
};

// The command-line modes, in the order --help lists them; each option after the first time it is
// listed is the same option shared.
std::span<const Mode> Modes();

// The options every mode takes, and the window too: --help, --version, --profile.
QList<QCommandLineOption> OptionsOfEveryMode();

// The context `mode` runs with: the settings file read once and judged for the mode's keys
// alone, the frame folder (--dir, else the file's), and the time and day from `clock`.
ModeContext BuildContext(const Mode& mode, const QCommandLineParser& parser, const Clock& clock);
