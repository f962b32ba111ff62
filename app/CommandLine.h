#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

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

// The program's command line: its options, what a launch asks for, and the texts it prints.
class CommandLine {
public:
    CommandLine();

    // Reads `arguments` (the program's name first).
    LaunchMode Parse(const QStringList& arguments);
    // The options as parsed, for a mode that reads its own.
    const QCommandLineParser& Parser() const { return m_parser; }
    // Why the command line was refused.
    QString Error() const { return m_error; }
    // The usage: the options and the exit codes.
    QString Usage() const;
    // The program's name and version.
    static QString VersionText();
    // The days --schedule prints (--days, 7 when left out).
    int ScheduleDays() const { return m_scheduleDays; }
    // The profile --profile names, or empty.
    const std::string& Profile() const { return m_profileName; }
    static constexpr int kMaxScheduleDays = 3660;

private:
    // Each mode's options, the one that asks for it first, as the modes add them; --help,
    // --version and --profile go with every mode.
    std::vector<QStringList> ModesOptions() const;
    // The message for an option given without its mode (the window takes none), naming the modes
    // it belongs to; empty when there is none.
    QString OptionOfAnotherMode() const;

    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_takeFrame;
    QCommandLineOption m_schedule;
    QCommandLineOption m_days;
    QCommandLineOption m_profile;
    int m_scheduleDays = 7;
    std::string m_profileName;
    QString m_error;
};
