#include "daily/DayFiles.h"

#include <unistd.h>

#include <cctype>

std::string DayName(const QDate& day) {
    return day.toString(Qt::ISODate).toStdString();
}

std::string DayFilePath(const std::string& frameDir, const QDate& day, std::string_view ending) {
    return frameDir + kDaysFolder + DayName(day) + std::string(ending);
}

bool DayIsMade(const std::string& frameDir, const QDate& day) {
    for (const char* ending : {kDayVideoEnding, kDayKeogramEnding, kDaySheetEnding}) {
        if (::access(DayFilePath(frameDir, day, ending).c_str(), F_OK) != 0) {
            return false;
        }
    }
    return true;
}

std::optional<QDate> DayOfFileName(std::string_view name, std::string_view ending) {
    constexpr std::size_t kDateLength = 10;  // YYYY-MM-DD
    if (name.size() != kDateLength + ending.size() || !name.ends_with(ending)) {
        return std::nullopt;
    }
    // Digits and dashes only: Qt's reading of a date would take a sign or spaces too.
    for (std::size_t at = 0; at < kDateLength; ++at) {
        const bool dash = at == 4 || at == 7;
        if (dash ? name[at] != '-' : std::isdigit(static_cast<unsigned char>(name[at])) == 0) {
            return std::nullopt;
        }
    }
    const QDate day = QDate::fromString(QString::fromLatin1(name.data(), kDateLength), Qt::ISODate);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}
