#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <string>

#include "app/Modes.h"

// The program's command line: its options (those of the modes' table), what a launch asks for,
// and the texts it prints.
class CommandLine {
public:
    CommandLine();

    // Reads `arguments` (the program's name first).
    LaunchMode Parse(const QStringList& arguments);
    // The options as parsed, for a mode that reads its own.
    const QCommandLineParser& Parser() const { return m_parser; }
    // The mode asked for; none for the window, help, version or a bad command line.
    const Mode* Asked() const { return m_asked; }
    // Why the command line was refused.
    QString Error() const { return m_error; }
    // The usage: the options and the exit codes.
    QString Usage() const;
    // The program's name and version.
    static QString VersionText();
    // The profile --profile names, or empty.
    const std::string& Profile() const { return m_profileName; }

private:
    // The message for two modes asked for at once; empty when there are not.
    QString TwoModes() const;
    // The message for an option given without its mode (the window takes none), naming the modes
    // it belongs to; empty when there is none.
    QString OptionOfAnotherMode() const;
    // The message for a value of --days or --profile that is refused; empty when there is none.
    QString BadValue();

    QCommandLineParser m_parser;
    const Mode* m_asked = nullptr;
    std::string m_profileName;
    QString m_error;
};
