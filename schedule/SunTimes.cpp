#include "schedule/SunTimes.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace {

constexpr double kCivilAltitude = -6.0;
constexpr double kMsPerDay = 86'400'000.0;
constexpr double kJulianDayAtEpoch = 2'440'587.5;  // 1970-01-01 00:00 UTC
constexpr double kJulianDay2000 = 2'451'545.0;     // 2000-01-01 12:00 TT
// Each event is computed again at the instant the last pass found; three passes settle it to
// well under a second.
constexpr int kRefinements = 3;

double Radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

double Degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

double JulianDay(double instantMs) {
    return instantMs / kMsPerDay + kJulianDayAtEpoch;
}

double InstantMs(double julianDay) {
    return (julianDay - kJulianDayAtEpoch) * kMsPerDay;
}

// The sun's declination (degrees) and the equation of time (minutes) at a Julian day, by NOAA's
// equations.
struct SunPosition {
    double declination;
    double equationOfTime;
};

SunPosition SunAt(double julianDay) {
    const double t = (julianDay - kJulianDay2000) / 36525.0;  // Julian centuries
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = Radians(meanAnomaly);
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = Radians(125.04 - 1934.136 * t);
    const double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega);
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = Radians(meanObliquity + 0.00256 * std::cos(omega));
    const double declination =
        Degrees(std::asin(std::sin(obliquity) * std::sin(Radians(apparentLongitude))));
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = Radians(meanLongitude);
    const double equation = y * std::sin(2 * l0) - 2 * eccentricity * std::sin(m) +
                            4 * eccentricity * y * std::sin(m) * std::cos(2 * l0) -
                            0.5 * y * y * std::sin(4 * l0) -
                            1.25 * eccentricity * eccentricity * std::sin(2 * m);
    return {declination, 4.0 * Degrees(equation)};
}

// The cosine of the hour angle at which the sun's centre stands at kCivilAltitude; beyond
// [-1, 1] when it never does that day.
double CosHourAngle(double latitude, double declination) {
    const double phi = Radians(latitude);
    const double delta = Radians(declination);
    return (std::sin(Radians(kCivilAltitude)) - std::sin(phi) * std::sin(delta)) /
           (std::cos(phi) * std::cos(delta));
}

// The Julian day of the solar noon nearest `julianDay`'s solar noon estimate, with the equation of
// time at `at`.
double SolarNoon(double dayStart, double longitude, double at) {
    return dayStart + (720.0 - 4.0 * longitude - SunAt(at).equationOfTime) / 1440.0;
}

// The Julian day of the solar noon of the UTC date that starts at Julian day `dayStart`.
double SolarNoonOf(double dayStart, double longitude) {
    // First at the mean noon, then at itself.
    const double noon = SolarNoon(dayStart, longitude, dayStart + 0.5 - longitude / 360.0);
    return SolarNoon(dayStart, longitude, noon);
}

// The Julian day of dawn (sign -1) or dusk (sign +1) of the solar day whose UTC date starts at
// `dayStart`, refined at its own instant; nothing when the sun does not cross the civil altitude
// there: it stays above it (sign's side of the day goes on to solar midnight) or below it.
std::optional<double> TwilightEvent(double dayStart, double latitude, double longitude, double noon,
                                    int sign, bool& staysUp) {
    double event = noon;
    for (int pass = 0; pass < kRefinements; ++pass) {
        const double cosine = CosHourAngle(latitude, SunAt(event).declination);
        if (cosine <= -1.0 || cosine >= 1.0) {
            staysUp = cosine <= -1.0;
            return std::nullopt;
        }
        const double hourAngle = Degrees(std::acos(cosine));  // degrees; 1 degree is 4 minutes
        event = SolarNoon(dayStart, longitude, event) + sign * hourAngle / 360.0;
    }
    return event;
}

// The Julian day at the start of the UTC date `date`.
double JulianDayOf(const QDate& date) {
    return JulianDay(
        static_cast<double>(QDateTime(date, QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch()));
}

}  // namespace

CivilTwilight CivilTwilightOn(const QDate& date, double latitude, double longitude) {
    const double dayStart = JulianDayOf(date);
    const double noon = SolarNoonOf(dayStart, longitude);
    // The solar day reaches halfway to the noons before and after it, so that one day ends exactly
    // where the next starts.
    const double start = (SolarNoonOf(dayStart - 1.0, longitude) + noon) / 2.0;
    const double end = (noon + SolarNoonOf(dayStart + 1.0, longitude)) / 2.0;
    CivilTwilight twilight;
    twilight.dayStartMs = std::llround(InstantMs(start));
    twilight.dayEndMs = std::llround(InstantMs(end));
    const double cosine = CosHourAngle(latitude, SunAt(noon).declination);
    if (cosine >= 1.0) {
        twilight.kind = CivilTwilight::Kind::None;
        return twilight;
    }
    // The lowest points are at the solar midnights, each with its own declination.
    const bool upAtMidnights = CosHourAngle(latitude, SunAt(start).declination) <= -1.0 &&
                               CosHourAngle(latitude, SunAt(end).declination) <= -1.0;
    if (cosine <= -1.0 && upAtMidnights) {
        twilight.kind = CivilTwilight::Kind::AllDay;
        return twilight;
    }
    // On a day the sun stops (or starts) sinking below the civil altitude, one event is missing:
    // the light then reaches the solar midnight on that side.
    bool staysUp = false;
    const std::optional<double> dawn =
        TwilightEvent(dayStart, latitude, longitude, noon, -1, staysUp);
    const double dawnDay = dawn ? *dawn : staysUp ? start : noon;
    const std::optional<double> dusk =
        TwilightEvent(dayStart, latitude, longitude, noon, +1, staysUp);
    const double duskDay = dusk ? *dusk : staysUp ? end : noon;
    twilight.kind = CivilTwilight::Kind::DawnAndDusk;
    twilight.dawnMs = std::llround(InstantMs(dawnDay));
    twilight.duskMs = std::llround(InstantMs(duskDay));
    return twilight;
}

std::int64_t SolarNoonMs(const QDate& date, double longitude) {
    return std::llround(InstantMs(SolarNoonOf(JulianDayOf(date), longitude)));
}

double SunAltitude(std::int64_t instantMs, double latitude, double longitude) {
    const double julianDay = JulianDay(static_cast<double>(instantMs));
    const SunPosition sun = SunAt(julianDay);
    const double minutesOfDay = std::fmod(static_cast<double>(instantMs) / 60000.0, 1440.0);
    const double trueSolarMinutes = minutesOfDay + sun.equationOfTime + 4.0 * longitude;
    const double hourAngle = Radians(trueSolarMinutes / 4.0 - 180.0);
    const double phi = Radians(latitude);
    const double delta = Radians(sun.declination);
    return Degrees(std::asin(std::sin(phi) * std::sin(delta) +
                             std::cos(phi) * std::cos(delta) * std::cos(hourAngle)));
}
