#include "app/CommandLine.h"

#include <QCoreApplication>
#include <algorithm>

#include "daily/DailyVideos.h"
#include "pictures/PicturesCommand.h"
#include "platform/Numbers.h"
#include "res/ExitCodes.h"
#include "res/Version.h"
#include "serve/ServeCommand.h"
#include "settings/Settings.h"
#include "video/MakeVideoCommand.h"

namespace {

constexpr char kDescription[] =
    "Makes time-lapse videos with a webcam. Without options it opens its window; with\n"
    "AUTO_START_ON_OFF above 0 in its settings every launch takes one frame and quits.";

}  // namespace

CommandLine::CommandLine()
    : m_help({QStringLiteral("h"), QStringLiteral("help")},
             QStringLiteral("Show this help and exit.")),
      m_version({QStringLiteral("v"), QStringLiteral("version")},
                QStringLiteral("Show the version and exit.")),
      m_takeFrame(QStringLiteral("take-frame"),
                  QStringLiteral("Take one frame after the camera's warm-up, save it as the next "
                                 "numbered frame, count it in the settings and exit, whatever "
                                 "AUTO_START_ON_OFF says.")),
      m_schedule(QStringLiteral("schedule"),
                 QStringLiteral("Print the days of the capture schedule that the settings give "
                                "(CAPTURE_HOURS, CAPTURE_DAYLIGHT, LATITUDE, LONGITUDE), one line "
                                "a day in local time, from today, and exit.")),
      m_days(QStringLiteral("days"),
             QStringLiteral("The days --schedule prints (1 to %1; 7 when left out).")
                 .arg(kMaxScheduleDays),
             QStringLiteral("N")),
      m_profile(QStringLiteral("profile"),
                QStringLiteral("Use the settings of the profile NAME, Vorn-NAME.conf beside "
                               "Vorn.conf, with every mode: one profile for each camera. NAME is "
                               "1 to 32 letters, digits, '-' or '_'."),
                QStringLiteral("NAME")) {
    m_parser.setApplicationDescription(QString::fromLatin1(kDescription));
    m_parser.addOptions({m_help, m_version, m_takeFrame, m_schedule, m_days, m_profile});
    AddMakeVideoOptions(m_parser);
    AddDailyVideosOptions(m_parser);
    AddPicturesOptions(m_parser);
    AddServeOptions(m_parser);
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
    if (m_parser.isSet(m_takeFrame) && m_parser.isSet(QStringLiteral("make-video"))) {
        m_error = QStringLiteral("--take-frame and --make-video cannot be used together.");
        return LaunchMode::BadCommandLine;
    }
    const int modes = int(m_parser.isSet(m_takeFrame)) +
                      int(m_parser.isSet(QStringLiteral("make-video"))) +
                      int(m_parser.isSet(m_schedule));
    if (modes > 1 && m_parser.isSet(m_schedule)) {
        m_error = QStringLiteral("--schedule cannot be used with --take-frame or --make-video.");
        return LaunchMode::BadCommandLine;
    }
    if (modes > 0 && m_parser.isSet(QStringLiteral("daily-videos"))) {
        m_error = QStringLiteral(
            "--daily-videos cannot be used with --take-frame, --make-video or --schedule.");
        return LaunchMode::BadCommandLine;
    }
    const int pictures = int(m_parser.isSet(QStringLiteral("keogram"))) +
                         int(m_parser.isSet(QStringLiteral("startrails"))) +
                         int(m_parser.isSet(QStringLiteral("contact-sheet")));
    if (pictures > 0 && (pictures + modes > 1 || m_parser.isSet(QStringLiteral("daily-videos")))) {
        m_error = QStringLiteral(
            "--keogram, --startrails and --contact-sheet cannot be used "
            "together or with another mode.");
        return LaunchMode::BadCommandLine;
    }
    if (m_parser.isSet(QStringLiteral("serve")) &&
        (modes + pictures > 0 || m_parser.isSet(QStringLiteral("daily-videos")))) {
        m_error = QStringLiteral("--serve cannot be used with another mode.");
        return LaunchMode::BadCommandLine;
    }
    m_error = OptionOfAnotherMode();
    if (!m_error.isEmpty()) {
        return LaunchMode::BadCommandLine;
    }
    if (m_parser.isSet(m_days)) {
        const std::optional<int> days = ParseWholeInt(m_parser.value(m_days).toStdString());
        if (!days || *days < 1 || *days > kMaxScheduleDays) {
            m_error =
                QStringLiteral("--days must be a whole number from 1 to %1.").arg(kMaxScheduleDays);
            return LaunchMode::BadCommandLine;
        }
        m_scheduleDays = *days;
    }
    if (m_parser.isSet(m_profile)) {
        m_profileName = m_parser.value(m_profile).toStdString();
        if (!IsProfileName(m_profileName)) {
            m_error = QStringLiteral(
                          "--profile takes 1 to 32 letters, digits, '-' or '_', not "
                          "'%1'.")
                          .arg(m_parser.value(m_profile));
            return LaunchMode::BadCommandLine;
        }
    }
    if (m_parser.isSet(m_help)) {
        return LaunchMode::Help;
    }
    if (m_parser.isSet(m_version)) {
        return LaunchMode::Version;
    }
    if (m_parser.isSet(m_takeFrame)) {
        return LaunchMode::TakeFrame;
    }
    if (m_parser.isSet(QStringLiteral("make-video"))) {
        return LaunchMode::MakeVideo;
    }
    if (m_parser.isSet(m_schedule)) {
        return LaunchMode::Schedule;
    }
    if (m_parser.isSet(QStringLiteral("daily-videos"))) {
        return LaunchMode::DailyVideos;
    }
    if (pictures > 0) {
        return LaunchMode::Pictures;
    }
    if (m_parser.isSet(QStringLiteral("serve"))) {
        return LaunchMode::Serve;
    }
    return LaunchMode::Window;
}

std::vector<QStringList> CommandLine::ModesOptions() const {
    std::vector<QStringList> modes = {m_takeFrame.names(), m_schedule.names() + m_days.names(),
                                      MakeVideoOptionNames(), DailyVideosOptionNames(),
                                      ServeOptionNames()};
    for (QStringList& picture : PictureModesOptionNames()) {
        modes.push_back(std::move(picture));
    }
    return modes;
}

QString CommandLine::OptionOfAnotherMode() const {
    const std::vector<QStringList> modes = ModesOptions();
    const auto asked = std::find_if(modes.begin(), modes.end(), [&](const QStringList& mode) {
        return m_parser.isSet(mode.constFirst());
    });
    for (const QString& name : m_parser.optionNames()) {
        const bool everyMode = m_help.names().contains(name) || m_version.names().contains(name) ||
                               m_profile.names().contains(name);
        if (everyMode || (asked != modes.end() && asked->contains(name))) {
            continue;
        }
        QStringList owners;
        for (const QStringList& mode : modes) {
            if (mode.contains(name)) {
                owners << QStringLiteral("--") + mode.constFirst();
            }
        }
        const QString last = owners.takeLast();  // every option belongs to a mode
        const QString listed =
            owners.isEmpty() ? last
                             : owners.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
        if (asked == modes.end()) {
            return QStringLiteral("--%1 is an option of %2.").arg(name, listed);
        }
        return QStringLiteral("--%1 is not an option of --%2: it is one of %3.")
            .arg(name, asked->constFirst(), listed);
    }
    return {};
}

QString CommandLine::Usage() const {
    return m_parser.helpText() + QString::fromStdString(ExitCodesHelp());
}

QString CommandLine::VersionText() {
    return QCoreApplication::applicationName() + u' ' + QStringLiteral(VORN_VERSION);
}
