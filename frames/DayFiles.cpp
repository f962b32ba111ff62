#include "frames/DayFiles.h"

#include <unistd.h>

#include "platform/TextFields.h"

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
    if (!name.ends_with(ending)) {
        return std::nullopt;
    }
    return ParseIsoDate(name.substr(0, name.size() - ending.size()));
}
