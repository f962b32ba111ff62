#include "app/CommandLine.h"

#include <QCoreApplication>
#include <algorithm>

#include "platform/Numbers.h"
#include "res/ExitCodes.h"
#include "res/Version.h"
#include "serve/ServeCommand.h"
#include "settings/Settings.h"

namespace {

constexpr char kDescription[] =
    "Makes time-lapse videos with a webcam. Without options it opens its window; with\n"
    "AUTO_START_ON_OFF above 0 in its settings every launch takes one frame and quits.";

// The modes whose flags are set, in the order the command line gives them.
QStringList FlagsGiven(const QCommandLineParser& parser) {
    QStringList flags;
    for (const QString& name : parser.optionNames()) {
        const bool isFlag = std::any_of(Modes().begin(), Modes().end(),
                                        [&](const Mode& mode) { return mode.Flag() == name; });
        if (isFlag && !flags.contains(name)) {
            flags << name;
        }
    }
    return flags;
}

// "--a", "--a and --b", "--a, --b and --c".
QString Listed(QStringList flags) {
    const QString last = flags.takeLast();
    return flags.isEmpty() ? last
                           : flags.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

}  // namespace

CommandLine::CommandLine() {
    m_parser.setApplicationDescription(QString::fromLatin1(kDescription));
    m_parser.addOptions(OptionsOfEveryMode());
    // A shared option is the same option in every mode that takes it: added once.
    QStringList added;
    for (const Mode& mode : Modes()) {
        for (const QCommandLineOption& option : mode.options) {
            if (!added.contains(option.names().constFirst())) {
                added << option.names().constFirst();
                m_parser.addOption(option);
            }
        }
    }
}

LaunchMode CommandLine::Parse(const QStringList& arguments) {
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return LaunchMode::BadCommandLine;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        m_error = QStringLiteral("Unexpected argument '%1'.")
                      .arg(m_parser.positionalArguments().constFirst());
        return LaunchMode::BadCommandLine;
    }
    for (const QString& error : {TwoModes(), OptionOfAnotherMode(), BadValue()}) {
        if (!error.isEmpty()) {
            m_error = error;
            return LaunchMode::BadCommandLine;
        }
    }
    if (m_parser.isSet(QStringLiteral("help"))) {
        return LaunchMode::Help;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        return LaunchMode::Version;
    }
    const auto asked = std::find_if(Modes().begin(), Modes().end(),
                                    [&](const Mode& mode) { return m_parser.isSet(mode.Flag()); });
    if (asked == Modes().end()) {
        return LaunchMode::Window;
    }
    m_asked = &*asked;
    return m_asked->launch;
}

QString CommandLine::TwoModes() const {
    const QStringList flags = FlagsGiven(m_parser);
    if (flags.size() < 2) {
        return {};
    }
    return QStringLiteral("--%1 and --%2 cannot be used together.").arg(flags[0], flags[1]);
}

QString CommandLine::OptionOfAnotherMode() const {
    const auto asked = std::find_if(Modes().begin(), Modes().end(),
                                    [&](const Mode& mode) { return m_parser.isSet(mode.Flag()); });
    QStringList everyMode;
    for (const QCommandLineOption& option : OptionsOfEveryMode()) {
        everyMode += option.names();
    }
    for (const QString& name : m_parser.optionNames()) {
        if (everyMode.contains(name) ||
            (asked != Modes().end() && asked->OptionNames().contains(name))) {
            continue;
        }
        QStringList owners;  // every option belongs to a mode
        for (const Mode& mode : Modes()) {
            if (mode.OptionNames().contains(name)) {
                owners << QStringLiteral("--") + mode.Flag();
            }
        }
        if (asked == Modes().end()) {
            return QStringLiteral("--%1 is an option of %2.").arg(name, Listed(owners));
        }
        return QStringLiteral("--%1 is not an option of --%2: it is one of %3.")
            .arg(name, asked->Flag(), Listed(owners));
    }
    return {};
}

QString CommandLine::BadValue() {
    if (m_parser.isSet(QStringLiteral("days"))) {
        const std::optional<int> days = ParseWholeInt(m_parser.value("days").toStdString());
        if (!days || *days < 1 || *days > kMaxScheduleDays) {
            return QStringLiteral("--days must be a whole number from 1 to %1.")
                .arg(kMaxScheduleDays);
        }
    }
    if (m_parser.isSet(QStringLiteral("profile"))) {
        m_profileName = m_parser.value(QStringLiteral("profile")).toStdString();
        if (!IsProfileName(m_profileName)) {
            return QStringLiteral("--profile takes 1 to 32 letters, digits, '-' or '_', not '%1'.")
                .arg(m_parser.value(QStringLiteral("profile")));
        }
    }
    return {};
}

QString CommandLine::Usage() const {
    return m_parser.helpText() + QString::fromStdString(WatcherHelp() + ExitCodesHelp());
}

QString CommandLine::VersionText() {
    return QCoreApplication::applicationName() + u' ' + QStringLiteral(VORN_VERSION);
}
