#pragma once

#include <QDate>
#include <optional>
#include <string>
#include <string_view>

// The files a daily run keeps for each closed day, in the frame folder's days/: the day's video
// and its pictures, all named after the day. The daily run writes them and the status page lists
// them, so both take the names from here.

// The folder of the days' files, inside the frame folder.
inline constexpr char kDaysFolder[] = "days/";
// What follows the day's date in the name of its video, keogram and contact sheet.
inline constexpr char kDayVideoEnding[] = ".mp4";
inline constexpr char kDayKeogramEnding[] = "-keogram.jpg";
inline constexpr char kDaySheetEnding[] = "-sheet.jpg";
// The record of what the video holds (DayRecord.h), the proof that its frames may go.
inline constexpr char kDayRecordEnding[] = ".record";

// "2026-03-29".
std::string DayName(const QDate& day);

// The path of the file of `day` with `ending` in the days' folder of `frameDir` (empty or ending
// with '/').
std::string DayFilePath(const std::string& frameDir, const QDate& day, std::string_view ending);

// Whether the days' folder holds the video of `day` and both its pictures.
bool DayIsMade(const std::string& frameDir, const QDate& day);

// The day that `name` (a file name in days/) is the file of, when it is exactly a date written as
// DayName writes it followed by `ending`; nothing for any other name.
std::optional<QDate> DayOfFileName(std::string_view name, std::string_view ending);
