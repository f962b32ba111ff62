#include "frames/CaptureTime.h"

#include <fcntl.h>
#include <libexif/exif-data.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>
#include <thread>

#include "frames/FrameFile.h"
#include "platform/PosixFiles.h"
#include "platform/ThreadBudget.h"
#include "platform/TimeZone.h"

namespace {

constexpr unsigned char kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
// The APP1 segment of a frame follows its start marker; a JPEG from elsewhere may put other
// application segments first, but never this far in.
constexpr std::size_t kMaxExifSearch = std::size_t{64} * 1024;
// The first read of a frame, which holds the whole segment Vorn writes.
constexpr std::size_t kFirstRead = 4096;
// Below this many frames a second thread costs more than it saves.
constexpr std::size_t kFramesToSplit = 2000;
// The years a capture time may lie in.
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2200;

struct ExifDataDeleter {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Adds an entry of `bytes` to `content`, built by hand: libexif initialises only the tags it
// knows, and older versions know no offset from UTC.
void AddEntry(ExifContent* content, ExifTag tag, ExifFormat format, std::string_view bytes) {
    ExifMem* mem = exif_mem_new_default();
    ExifEntry* entry = exif_entry_new_mem(mem);
    if (entry != nullptr) {
        entry->data = static_cast<unsigned char*>(exif_mem_alloc(mem, bytes.size()));
        if (entry->data != nullptr) {
            std::memcpy(entry->data, bytes.data(), bytes.size());
            entry->tag = tag;
            entry->format = format;
            entry->components = bytes.size();
            entry->size = static_cast<unsigned int>(bytes.size());
            exif_content_add_entry(content, entry);
        }
        exif_entry_unref(entry);
    }
    exif_mem_unref(mem);
}

void AddAscii(ExifContent* content, ExifTag tag, const std::string& text) {
    AddEntry(content, tag, EXIF_FORMAT_ASCII, std::string_view(text.c_str(), text.size() + 1));
}

std::string TwoDigits(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

// "+01:00", "-03:30".
std::string OffsetText(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int minutes = std::abs(seconds) / 60;
    return sign + TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60);
}

// The wall time of the instant `ms` where the offset is `utcOffsetSeconds`, as EXIF writes it:
// "2026:03:29 12:00:03".
std::string WallText(std::int64_t ms, int utcOffsetSeconds) {
    const std::int64_t local = FloorDiv(ms, 1000) + utcOffsetSeconds;
    const auto seconds = static_cast<std::time_t>(local);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string MillisecondsText(std::int64_t ms) {
    char text[4];
    std::snprintf(text, sizeof text, "%03d", static_cast<int>(ms - FloorDiv(ms, 1000) * 1000));
    return text;
}

// The text of an ASCII entry, up to its terminating NUL.
std::string_view EntryText(ExifData* data, ExifIfd ifd, ExifTag tag) {
    const ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
    if (entry == nullptr || entry->data == nullptr || entry->format != EXIF_FORMAT_ASCII) {
        return {};
    }
    const auto* text = reinterpret_cast<const char*>(entry->data);
    return std::string_view(text, strnlen(text, entry->size));
}

// The number of `text` from `at`, `digits` long; -1 when it is not.
int Digits(std::string_view text, std::size_t at, std::size_t digits) {
    int value = 0;
    if (text.size() < at + digits) {
        return -1;
    }
    const char* begin = text.data() + at;
    const auto [end, error] = std::from_chars(begin, begin + digits, value);
    return error == std::errc() && end == begin + digits ? value : -1;
}

struct LocalWallTime {
    int year, month, day, hour, minute, second;
};

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "YYYY:MM:DD HH:MM:SS" of a real date in the years a frame can have been taken in; nothing
// otherwise. A camera whose clock was never set writes 0000 or a year long past: that is no
// capture time, and the file's time says more.
std::optional<LocalWallTime> ParseWallTime(std::string_view text) {
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const LocalWallTime wall{Digits(text, 0, 4),  Digits(text, 5, 2),  Digits(text, 8, 2),
                             Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2)};
    if (wall.year < kFirstYear || wall.year > kLastYear || wall.month < 1 || wall.month > 12 ||
        wall.day < 1 || wall.day > DaysInMonth(wall.year, wall.month) || wall.hour < 0 ||
        wall.hour > 23 || wall.minute < 0 || wall.minute > 59 || wall.second < 0 ||
        wall.second > 60) {
        return std::nullopt;
    }
    return wall;
}

// "+01:00" as seconds; nothing when `text` is not such an offset.
std::optional<int> ParseOffset(std::string_view text) {
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') {
        return std::nullopt;
    }
    const int hours = Digits(text, 1, 2);
    const int minutes = Digits(text, 4, 2);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) {
        return std::nullopt;
    }
    const int seconds = hours * 3600 + minutes * 60;
    return text[0] == '-' ? -seconds : seconds;
}

// The first three digits of a fraction of a second ("3" is 300 ms, "003" 3 ms); 0 when none.
int ParseMilliseconds(std::string_view text) {
    int ms = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const bool digit = i < text.size() && text[i] >= '0' && text[i] <= '9';
        if (!digit && i < text.size() && text[i] != ' ') {
            return 0;
        }
        ms = ms * 10 + (digit ? text[i] - '0' : 0);
    }
    return ms;
}

// The offset this machine's time zone has at the local wall time `wall`.
std::tm PartsOf(const LocalWallTime& wall) {
    std::tm parts{};
    parts.tm_year = wall.year - 1900;
    parts.tm_mon = wall.month - 1;
    parts.tm_mday = wall.day;
    parts.tm_hour = wall.hour;
    parts.tm_min = wall.minute;
    parts.tm_sec = wall.second;
    return parts;
}

int LocalOffsetAt(const LocalWallTime& wall) {
    std::tm parts = PartsOf(wall);
    parts.tm_isdst = -1;
    return std::mktime(&parts) == -1 ? 0 : static_cast<int>(parts.tm_gmtoff);
}

std::optional<CaptureTime> CaptureTimeOf(ExifData* data) {
    const std::optional<LocalWallTime> wall =
        ParseWallTime(EntryText(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL));
    if (!wall) {
        return std::nullopt;
    }
    const std::optional<int> written =
        ParseOffset(EntryText(data, EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL));
    const int offset = written ? *written : LocalOffsetAt(*wall);
    // The wall time read as if it were UTC, then moved by the offset.
    std::tm parts = PartsOf(*wall);
    const std::int64_t localSeconds = timegm(&parts);
    const int ms =
        ParseMilliseconds(EntryText(data, EXIF_IFD_EXIF, EXIF_TAG_SUB_SEC_TIME_ORIGINAL));
    return CaptureTime{(localSeconds - offset) * 1000 + ms, WholeMinutesOffset(offset)};
}

std::optional<CaptureTime> ParseExif(const unsigned char* segment, std::size_t size) {
    ExifDataPtr data(exif_data_new());
    if (!data) {
        return std::nullopt;
    }
    // Read as it is: neither dropping tags nor adding the ones a camera should have written.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), segment, static_cast<unsigned int>(size));
    return CaptureTimeOf(data.get());
}

// Reads from `fd` into `buffer` from `have` until it holds `want` bytes or the file ends; the
// bytes it holds.
std::size_t ReadMoreUpTo(int fd, std::vector<unsigned char>& buffer, std::size_t have,
                         std::size_t want) {
    buffer.resize(want);
    // A failed read ends what is read, as the file's end does.
    return have +
           ReadUpTo(fd, reinterpret_cast<char*>(buffer.data() + have), want - have).value_or(0);
}

// The capture time in the EXIF at the start of the open JPEG `fd`. `buffer` is kept from one
// frame to the next.
std::optional<CaptureTime> ReadExifFrom(int fd, std::vector<unsigned char>& buffer) {
    std::size_t have = ReadMoreUpTo(fd, buffer, 0, kFirstRead);
    if (have < 4 || buffer[0] != 0xFF || buffer[1] != 0xD8) {
        return std::nullopt;
    }
    std::size_t at = 2;
    // Through the application segments that open the file, up to the first other marker.
    while (at + 4 <= have && buffer[at] == 0xFF && buffer[at + 1] >= 0xE0 &&
           buffer[at + 1] <= 0xEF) {
        const std::size_t length = (buffer[at + 2] << 8) | buffer[at + 3];
        const std::size_t end = at + 2 + length;
        if (length < 2 || end > kMaxExifSearch) {
            return std::nullopt;
        }
        // The segment and the next marker's four bytes.
        if (end + 4 > have) {
            have = ReadMoreUpTo(fd, buffer, have, std::min(kMaxExifSearch, end + kFirstRead));
            if (end > have) {
                return std::nullopt;
            }
        }
        const unsigned char* content = buffer.data() + at + 4;
        if (buffer[at + 1] == 0xE1 && length - 2 > sizeof kExifHeader &&
            std::memcmp(content, kExifHeader, sizeof kExifHeader) == 0) {
            return ParseExif(content, length - 2);
        }
        at = end;
    }
    return std::nullopt;
}

std::int64_t ModifiedMsOf(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? ModifiedMs(status) : 0;
}

// Whether frame `number` of the folder open as `dirFd` could be read; its time in `frame`, and
// whether that came from EXIF.
bool ReadFrameTime(int dirFd, int number, std::vector<unsigned char>& buffer, TimedFrame& frame,
                   bool& fromExif) {
    // By its name in the open folder: the folder's path is not looked up again for every frame.
    const UniqueFd fd(
        ::openat(dirFd, FrameFileName(number).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen()) {
        return false;
    }
    const std::optional<CaptureTime> exif = ReadExifFrom(fd.Get(), buffer);
    frame.number = number;
    frame.time = exif ? *exif : LocalCaptureTime(ModifiedMsOf(fd.Get()));
    fromExif = exif.has_value();
    return true;
}

// Reads the times of `numbers` [from, to) into `frames` at the same places; `read[i]` tells
// whether frame i could be read. The count of frames that had no EXIF time.
int ReadFrameTimesOf(int dirFd, const std::vector<int>& numbers, std::size_t from, std::size_t to,
                     std::vector<TimedFrame>& frames, std::vector<char>& read) {
    std::vector<unsigned char> buffer;
    int fromFileTimes = 0;
    for (std::size_t i = from; i < to; ++i) {
        bool fromExif = false;
        read[i] = ReadFrameTime(dirFd, numbers[i], buffer, frames[i], fromExif);
        fromFileTimes += read[i] && !fromExif;
    }
    return fromFileTimes;
}

}  // namespace

CaptureTime LocalCaptureTime(std::int64_t ms) {
    return CaptureTime{ms, WholeMinutesOffset(static_cast<int>(LocalOffsetMs(ms) / 1000))};
}

bool AddExif(std::vector<unsigned char>& jpeg, const FrameStamp& stamp) {
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return false;
    }
    ExifDataPtr data(exif_data_new());
    if (!data) {
        return false;
    }
    exif_data_set_byte_order(data.get(), EXIF_BYTE_ORDER_INTEL);
    ExifContent* ifd0 = data->ifd[EXIF_IFD_0];
    ExifContent* exif = data->ifd[EXIF_IFD_EXIF];
    if (!stamp.make.empty()) {
        AddAscii(ifd0, EXIF_TAG_MAKE, stamp.make);
    }
    if (!stamp.model.empty()) {
        AddAscii(ifd0, EXIF_TAG_MODEL, stamp.model);
    }
    AddAscii(ifd0, EXIF_TAG_SOFTWARE, VORN_SOFTWARE);
    // The version whose tags include the offset from UTC.
    AddEntry(exif, EXIF_TAG_EXIF_VERSION, EXIF_FORMAT_UNDEFINED, "0232");
    // The local time in the offset as written, so that the two name the instant.
    const int offset = WholeMinutesOffset(stamp.time.utcOffsetSeconds);
    AddAscii(exif, EXIF_TAG_DATE_TIME_ORIGINAL, WallText(stamp.time.ms, offset));
    AddAscii(exif, EXIF_TAG_OFFSET_TIME_ORIGINAL, OffsetText(offset));
    AddAscii(exif, EXIF_TAG_SUB_SEC_TIME_ORIGINAL, MillisecondsText(stamp.time.ms));
    unsigned char* block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data.get(), &block, &size);
    // The segment's length counts itself and the block, and must fit in two bytes.
    const std::size_t length = 2 + size;
    if (block == nullptr || length > 0xFFFF) {
        std::free(block);
        return false;
    }
    std::vector<unsigned char> segment{0xFF, 0xE1, static_cast<unsigned char>(length >> 8),
                                       static_cast<unsigned char>(length & 0xFF)};
    segment.insert(segment.end(), block, block + size);
    std::free(block);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return true;
}

std::optional<CaptureTime> ReadExifCaptureTime(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen()) {
        return std::nullopt;
    }
    std::vector<unsigned char> buffer;
    return ReadExifFrom(fd.Get(), buffer);
}

FrameTimes ReadFrameTimes(const std::string& frameDir, const std::vector<int>& numbers) {
    const UniqueFd dir = OpenFolder(frameDir);
    if (!dir.IsOpen()) {
        return {};
    }
    const int dirFd = dir.Get();
    std::vector<TimedFrame> frames(numbers.size());
    std::vector<char> read(numbers.size());
    int fromFileTimes = 0;
    // A season's frames are read on two threads: most of the time goes to opening files.
    if (numbers.size() >= kFramesToSplit && Cores() > 1) {
        const std::size_t half = numbers.size() / 2;
        int secondHalf = 0;
        std::thread other([&] {
            secondHalf = ReadFrameTimesOf(dirFd, numbers, half, numbers.size(), frames, read);
        });
        fromFileTimes = ReadFrameTimesOf(dirFd, numbers, 0, half, frames, read);
        other.join();
        fromFileTimes += secondHalf;
    } else {
        fromFileTimes = ReadFrameTimesOf(dirFd, numbers, 0, numbers.size(), frames, read);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (read[i]) {
            frames[kept++] = frames[i];
        }
    }
    frames.resize(kept);
    return FrameTimes{std::move(frames), fromFileTimes};
}

std::string FileTimesNotice(const FrameTimes& times) {
    if (times.fromFileTimes == 0) {
        return {};
    }
    if (times.fromFileTimes == 1) {
        return "1 frame has no capture time in it; its file time was used";
    }
    return std::to_string(times.fromFileTimes) +
           " frames have no capture time in them; their file times were used";
}
