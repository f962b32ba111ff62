#include "platform/TimeZone.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <string_view>

namespace {

// A POSIX rule starts with a zone's name of three letters or more (or one in angle brackets) and
// its offset from UTC.
bool IsPosixRule(const std::string& tz) {
    static const std::regex rule(R"(^([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)[+-]?[0-9].*$)");
    return std::regex_match(tz, rule);
}

// Whether `name` is a compiled zone file, by path or under the zone folder, as the C library
// looks for it.
bool IsZoneFile(const std::string& name) {
    std::string path = name;
    if (path.empty() || path.front() != '/') {
        const char* folder = std::getenv("TZDIR");
        path = std::string(folder != nullptr && *folder != '\0' ? folder : "/usr/share/zoneinfo") +
               '/' + name;
    }
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    return file.read(magic, sizeof magic) && std::string_view(magic, sizeof magic) == "TZif";
}

}  // namespace

std::optional<std::string> TimeZoneTrouble() {
    const char* value = std::getenv("TZ");
    // Unset is the machine's own zone, and empty is UTC on purpose.
    if (value == nullptr || *value == '\0') {
        return {};
    }
    const std::string tz = value;
    const std::string name = tz.front() == ':' ? tz.substr(1) : tz;
    if (IsZoneFile(name) || IsPosixRule(name)) {
        return {};
    }
    return "TZ=" + tz + " is not a time zone this machine knows, so local times are in UTC.";
}

std::int64_t LocalOffsetMs(std::int64_t ms) {
    constexpr std::int64_t kMsPerSecond = 1000;
    // Down to the second, before the epoch too.
    const auto seconds =
        static_cast<std::time_t>(ms / kMsPerSecond - (ms % kMsPerSecond < 0 ? 1 : 0));
    std::tm local{};
    localtime_r(&seconds, &local);
    return static_cast<std::int64_t>(local.tm_gmtoff) * kMsPerSecond;
}

std::int64_t FirstOffsetChange(std::int64_t after, std::int64_t upTo) {
    const std::int64_t offset = LocalOffsetMs(after);
    while (upTo - after > 1) {
        const std::int64_t middle = after + (upTo - after) / 2;
        (LocalOffsetMs(middle) == offset ? after : upTo) = middle;
    }
    return upTo;
}

int WholeMinutesOffset(int utcOffsetSeconds) {
    constexpr int kSecondsPerMinute = 60;
    return static_cast<int>(std::lround(utcOffsetSeconds / double{kSecondsPerMinute})) *
           kSecondsPerMinute;
}

std::string LocalIsoTime(std::int64_t ms) {
    return IsoTimeWithOffset(ms, static_cast<int>(LocalOffsetMs(ms) / 1000));
}

std::string IsoTimeWithOffset(std::int64_t ms, int utcOffsetSeconds) {
    const int offset = WholeMinutesOffset(utcOffsetSeconds);
    const QDateTime wall =
        QDateTime::fromMSecsSinceEpoch(ms + std::int64_t{offset} * 1000, QTimeZone::utc());
    const int minutes = std::abs(offset) / 60;
    return (wall.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
            QStringLiteral("%1%2:%3")
                .arg(QChar(offset < 0 ? u'-' : u'+'))
                .arg(minutes / 60, 2, 10, QChar(u'0'))
                .arg(minutes % 60, 2, 10, QChar(u'0')))
        .toStdString();
}
