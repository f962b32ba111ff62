#pragma once

#include <QDate>
#include <cstdint>

// Civil dawn and dusk: the instants the sun's centre is 6 degrees below an ideal horizon, by the
// NOAA solar equations (the Astronomical Algorithms of Jean Meeus as NOAA's solar calculator
// publishes them), each event refined at its own instant.

// The sun around one day, in milliseconds since the epoch (UTC).
struct CivilTwilight {
    enum class Kind {
        DawnAndDusk,  // the sun crosses -6 degrees on the way up and on the way down
        AllDay,       // it never sinks below -6 degrees (polar day, white nights)
        None,         // it never climbs to -6 degrees (polar night)
    };
    Kind kind = Kind::None;
    std::int64_t dawnMs = 0;  // when kind is DawnAndDusk
    std::int64_t duskMs = 0;
    // The solar day the events belong to: from the solar midnight before its solar noon to the
    // one after. AllDay covers all of it.
    std::int64_t dayStartMs = 0;
    std::int64_t dayEndMs = 0;
};

// The civil twilight of the solar day around the solar noon of `date` (a UTC date) at `latitude`
// and `longitude` (decimal degrees, north and east positive).
CivilTwilight CivilTwilightOn(const QDate& date, double latitude, double longitude);

// The instant the sun stands highest at `longitude` on the UTC date `date` (solar noon), in
// milliseconds since the epoch.
std::int64_t SolarNoonMs(const QDate& date, double longitude);

// The sun's altitude above the ideal horizon, in degrees, at `instantMs` (geometric, no
// refraction).
double SunAltitude(std::int64_t instantMs, double latitude, double longitude);
