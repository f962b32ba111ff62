#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// When a frame was taken, as its EXIF records it: every frame Vorn saves carries its capture time,
// so a folder copied elsewhere keeps it. Safe to call from any thread.

// An instant, and the local clock's offset from UTC at that instant as EXIF's OffsetTimeOriginal
// writes it: in whole minutes.
struct CaptureTime {
    std::int64_t ms = 0;  // since the epoch, UTC
    int utcOffsetSeconds = 0;

    bool operator==(const CaptureTime&) const = default;
};

// The instant `ms` with the offset of this process's local time zone (TZ) at that instant.
CaptureTime LocalCaptureTime(std::int64_t ms);

// What a saved frame records about itself.
struct FrameStamp {
    CaptureTime time;
    std::string make;  // the camera's maker and model; empty ones are not written
    std::string model;
};

// Puts the EXIF segment for `stamp` into `jpeg` right after its start-of-image marker, without
// decoding the picture: DateTimeOriginal (local), OffsetTimeOriginal, SubSecTimeOriginal, Software
// ("Vorn" and its version), Make and Model. The offset is written in whole minutes and the local
// time in that offset. False when `jpeg` does not start with that marker.
bool AddExif(std::vector<unsigned char>& jpeg, const FrameStamp& stamp);

// The capture time in the EXIF of the JPEG file at `path`; nothing when it has none, cannot be
// read, or is not a real date of the years 1970 to 2200.
std::optional<CaptureTime> ReadExifCaptureTime(const std::string& path);

// A frame of a folder and when it was taken.
struct TimedFrame {
    int number = 0;
    CaptureTime time;

    bool operator==(const TimedFrame&) const = default;
};

struct FrameTimes {
    std::vector<TimedFrame> frames;  // in ascending number order
    int fromFileTimes = 0;           // frames without a capture time in them
};

// The capture times of the frames `numbers` (ascending) in `frameDir` (empty or ending with '/'):
// the EXIF's as ReadExifCaptureTime takes it, else the file's modification time; a frame that
// cannot be read at all is left out.
FrameTimes ReadFrameTimes(const std::string& frameDir, const std::vector<int>& numbers);

// "312 frames have no capture time in them; their file times were used"; empty when every frame
// had one.
std::string FileTimesNotice(const FrameTimes& times);
