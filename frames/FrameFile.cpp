#include "frames/FrameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/AtomicFile.h"
#include "platform/ImageCodec.h"
#include "platform/PosixFiles.h"

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kFramePrefix = "pic_";
constexpr std::string_view kFrameSuffix = ".jpg";
// A temporary file untouched this long belongs to a writer that was killed.
constexpr auto kStaleTemporaryAge = std::chrono::seconds(24h);

std::optional<std::vector<uchar>> EncodeJpeg(const cv::Mat& frame) {
    std::vector<uchar> bytes;
    if (!EncodeImage(".jpg", frame, bytes)) {
        return std::nullopt;
    }
    return bytes;
}

bool IsStartOfFrame(uchar marker) {
    // C0..CF except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsRestart(uchar marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// Whether the tables of a DHT segment fill it exactly.
bool HuffmanTablesFit(const uchar* segment, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        if (at + 17 > length || (segment[at] >> 4) > 1 || (segment[at] & 0x0F) > 3) {
            return false;
        }
        std::size_t codes = 0;
        for (int i = 1; i <= 16; ++i) {
            codes += segment[at + i];
        }
        at += 17 + codes;
    }
    return at == length;
}

// Whether the tables of a DQT segment fill it exactly.
bool QuantisationTablesFit(const uchar* segment, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        const int precision = segment[at] >> 4;
        if (precision > 1 || (segment[at] & 0x0F) > 3) {
            return false;
        }
        at += 1 + 64 * (precision + 1);
    }
    return at == length;
}

class JpegWalker {
public:
    explicit JpegWalker(const std::vector<uchar>& bytes) : m_bytes(bytes) {}

    JpegLayout Walk() {
        m_at = 2;  // after the start-of-image marker
        for (;;) {
            if (m_at >= m_bytes.size()) {
                return CutShort();
            }
            if (m_bytes[m_at] != 0xFF) {
                return Malformed("stray bytes between segments");
            }
            while (m_at + 1 < m_bytes.size() && m_bytes[m_at + 1] == 0xFF) {
                ++m_at;  // fill bytes before a marker
            }
            if (m_at + 1 >= m_bytes.size()) {
                return CutShort();
            }
            const uchar marker = m_bytes[m_at + 1];
            m_at += 2;
            if (marker == 0xD9) {
                return End();
            }
            if (marker == 0x00 || marker == 0xD8 || IsRestart(marker)) {
                return Malformed("stray marker");
            }
            if (marker == 0x01) {
                continue;  // TEM: no length follows
            }
            if (std::optional<JpegLayout> ended = Segment(marker)) {
                return *ended;
            }
        }
    }

private:
    // Reads the segment of `marker` at m_at and moves past it (and past the picture data after
    // a start of scan); the layout when the walk ends there.
    std::optional<JpegLayout> Segment(uchar marker) {
        if (m_at + 2 > m_bytes.size()) {
            return CutShort();
        }
        const std::size_t length = (m_bytes[m_at] << 8) | m_bytes[m_at + 1];
        if (length < 2) {
            return Malformed("bad segment length");
        }
        if (m_at + length > m_bytes.size()) {
            return CutShort();
        }
        const uchar* content = m_bytes.data() + m_at + 2;
        const std::size_t size = length - 2;
        m_at += length;
        if (IsStartOfFrame(marker)) {
            return FrameHeader(marker, content, size);
        }
        switch (marker) {
            case 0xC4:
                return Require(HuffmanTablesFit(content, size), "bad Huffman table");
            case 0xDB:
                return Require(QuantisationTablesFit(content, size), "bad quantisation table");
            case 0xDD:
                return Require(size == 2, "bad restart interval");
            case 0xDA:
                return Scan(content, size);
            default:
                return std::nullopt;  // application data, comments and the like
        }
    }

    std::optional<JpegLayout> FrameHeader(uchar marker, const uchar* content, std::size_t size) {
        if (m_layout.components != 0) {
            return Malformed("two frame headers");
        }
        if (size < 6 || content[5] < 1 || content[5] > 4 || size != 6u + 3u * content[5]) {
            return Malformed("bad frame header");
        }
        m_layout.size = cv::Size((content[3] << 8) | content[4], (content[1] << 8) | content[2]);
        m_layout.components = content[5];
        m_layout.baseline = (marker == 0xC0 || marker == 0xC1) && content[0] == 8;
        if (m_layout.size.width == 0 || m_layout.size.height == 0) {
            return Malformed("no picture size");
        }
        return std::nullopt;
    }

    // The scan header, then the picture data up to the next marker.
    std::optional<JpegLayout> Scan(const uchar* content, std::size_t size) {
        if (m_layout.components == 0) {
            return Malformed("picture data before the frame header");
        }
        if (size < 1 || content[0] < 1 || content[0] > 4 || size != 4u + 2u * content[0]) {
            return Malformed("bad scan header");
        }
        m_scanned = true;
        uchar nextRestart = 0xD0;
        const uchar* data = m_bytes.data();
        const std::size_t end = m_bytes.size();
        for (;;) {
            const void* found = std::memchr(data + m_at, 0xFF, end - m_at);
            if (found == nullptr) {
                return CutShort();
            }
            m_at = static_cast<std::size_t>(static_cast<const uchar*>(found) - data);
            if (m_at + 1 >= end) {
                return CutShort();
            }
            const uchar next = data[m_at + 1];
            if (next == 0x00) {
                m_at += 2;  // a stuffed 0xFF byte
            } else if (next == 0xFF) {
                ++m_at;  // fill
            } else if (IsRestart(next)) {
                if (next != nextRestart) {
                    return Malformed("restart marker out of order");
                }
                nextRestart = static_cast<uchar>(0xD0 + ((next - 0xD0 + 1) & 7));
                m_at += 2;
            } else {
                return std::nullopt;  // the marker after the scan
            }
        }
    }

    JpegLayout End() {
        if (!m_scanned) {
            return Malformed("no picture data");
        }
        // A camera pads with zero or fill bytes; anything else after the end is not padding but
        // a picture cut by a stray end marker.
        if (!std::all_of(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), m_bytes.end(),
                         [](uchar c) { return c == 0x00 || c == 0xFF; })) {
            return Malformed("data after the end marker");
        }
        m_layout.state = JpegLayout::State::Whole;
        m_layout.length = m_at;
        return m_layout;
    }

    std::optional<JpegLayout> Require(bool met, const char* why) {
        if (met) {
            return std::nullopt;
        }
        return Malformed(why);
    }

    JpegLayout CutShort() {
        m_layout.state = JpegLayout::State::CutShort;
        return m_layout;
    }

    JpegLayout Malformed(const char* why) {
        m_layout.state = JpegLayout::State::Malformed;
        m_layout.why = why;
        return m_layout;
    }

    const std::vector<uchar>& m_bytes;
    std::size_t m_at = 0;
    bool m_scanned = false;
    JpegLayout m_layout;
};

}  // namespace

std::optional<int> FrameNumberOf(std::string_view name) {
    if (!name.starts_with(kFramePrefix) || !name.ends_with(kFrameSuffix)) {
        return std::nullopt;
    }
    const std::string_view digits =
        name.substr(kFramePrefix.size(), name.size() - kFramePrefix.size() - kFrameSuffix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    // No sign, no leading zeros, no other characters, and within int.
    if (error != std::errc() || end != digits.data() + digits.size() || digits.front() == '0' ||
        number <= kNoFrames) {
        return std::nullopt;
    }
    return number;
}

std::string FrameFileName(int number) {
    return std::string(kFramePrefix) + std::to_string(number) + std::string(kFrameSuffix);
}

std::string FramePath(const std::string& frameDir, int number) {
    return frameDir + FrameFileName(number);
}

std::optional<std::vector<int>> ListFrameNumbers(const std::string& frameDir) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<int> numbers;
    fs::directory_iterator it(frameDir.empty() ? "." : frameDir, error);
    if (error == std::errc::no_such_file_or_directory) {
        return numbers;
    }
    for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
        if (const std::optional<int> number = FrameNumberOf(it->path().filename().native())) {
            numbers.push_back(*number);
        }
    }
    if (error) {
        errno = error.value();
        return std::nullopt;
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool IsFolderThere(const std::string& frameDir) {
    struct stat status {};
    if (::stat(frameDir.empty() ? "." : frameDir.c_str(), &status) != 0) {
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::optional<std::vector<int>> ListFrameNumbersOfExistingFolder(const std::string& frameDir) {
    return IsFolderThere(frameDir) ? ListFrameNumbers(frameDir) : std::nullopt;
}

std::string UnreadableFolderMessage(const std::string& frameDir) {
    return "Error. Can't read the folder " + ShownFolder(frameDir) + " (" + std::strerror(errno) +
           ")!";
}

std::string ShownFolder(const std::string& frameDir) {
    return frameDir.empty() ? "./" : frameDir;
}

std::string WithTrailingSeparator(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

FrameSave SaveFrameAtFirstFree(const std::string& frameDir, const cv::Mat& frame,
                               const FrameStamp& stamp, int& number,
                               const std::function<bool(int number)>& mayReplace) {
    std::optional<std::vector<uchar>> bytes = EncodeJpeg(frame);
    if (!bytes || !AddExif(*bytes, stamp)) {
        return FrameSave::Failed;
    }
    for (int candidate = number;; ++candidate) {
        const std::string path = FramePath(frameDir, candidate);
        const bool replace = mayReplace(candidate);
        // A look first: writing a frame only to find the number taken costs a flush to the disk.
        const bool taken = !replace && ::access(path.c_str(), F_OK) == 0;
        const int error = taken ? EEXIST
                                : WriteFileAtomicallyModifiedAt(path, bytes->data(), bytes->size(),
                                                                stamp.time.ms, replace);
        if (error == 0) {
            number = candidate;
            return FrameSave::Saved;
        }
        if (error != EEXIST || replace) {
            return FrameSave::Failed;
        }
        if (candidate == INT_MAX) {
            return FrameSave::AlreadyExists;
        }
    }
}

int PublishLatestFrame(const std::string& frameDir, int number) {
    const std::string latest = frameDir + kLatestFrameName;
    const std::string frame = FramePath(frameDir, number);
    if (LinkAtomically(frame, latest) == 0) {
        return 0;
    }
    std::vector<uchar> bytes;
    struct stat status {};
    if (!ReadFrameBytes(frame, bytes) || ::stat(frame.c_str(), &status) != 0) {
        return errno;
    }
    // A copy keeps the frame's time, as a link does.
    return WriteFileAtomicallyModifiedAt(latest, bytes.data(), bytes.size(), ModifiedMs(status));
}

bool ReadFrameBytes(const std::string& path, std::vector<uchar>& bytes) {
    // Not blocking: a pipe is refused below, never waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const auto fail = [fd](int error) {
        ::close(fd);
        errno = error;
        return false;
    };
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return fail(errno);
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(EINVAL);
    }
    const auto expected = static_cast<std::size_t>(std::max<off_t>(status.st_size, 0));
    if (expected > kMaxFrameBytes) {
        return fail(EFBIG);
    }
    // Straight into the buffer, sized from the file and grown should the file grow, up to the
    // bound; a buffer already large enough is only written, never cleared first.
    if (bytes.size() < expected + 1) {
        bytes.resize(expected + 1);
    }
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (length > kMaxFrameBytes) {
                return fail(EFBIG);
            }
            bytes.resize(std::min(bytes.size() * 2, kMaxFrameBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errno);
        }
        if (n == 0) {
            break;
        }
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (length > kMaxFrameBytes) {
        errno = EFBIG;
        return false;
    }
    bytes.resize(length);
    return true;
}

void AdviseReadSoon(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
        ::close(fd);
    }
}

JpegLayout WalkJpeg(const std::vector<uchar>& bytes) {
    return JpegWalker(bytes).Walk();
}

void RemoveStaleTemporaries(const std::string& frameDir) {
    RemoveStaleTemporaries(frameDir, kStaleTemporaryAge);
}
