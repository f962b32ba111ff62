#pragma once

#include <functional>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frames/CaptureTime.h"

// The frame counter's value when no frame has been taken; the first frame is number 10001.
inline constexpr int kNoFrames = 10000;

// The video the frames of a folder are made into, in that folder.
inline constexpr char kVideoFileName[] = "output.avi";

// The copy of the last saved frame that LATEST_FRAME=1 keeps in the frame folder.
inline constexpr char kLatestFrameName[] = "latest.jpg";

// The largest frame file read: a camera's JPEG is a few megabytes at most, and a bound keeps a
// huge file (or a link to a device) from using up the memory.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{256} << 20;

// The name of the file of frame number `number`: pic_10001.jpg.
std::string FrameFileName(int number);

// The frame number that `name` is exactly the file name of (no sign, no leading zero, above
// kNoFrames), or nothing.
std::optional<int> FrameNumberOf(std::string_view name);

// The path of frame number `number` in `frameDir`, a folder that is empty (the current one) or
// ends with '/'.
std::string FramePath(const std::string& frameDir, int number);

// The numbers of the frame files in `frameDir` (numbered above kNoFrames), in ascending order;
// empty when the folder does not exist, nothing (errno tells why) when it cannot be listed.
std::optional<std::vector<int>> ListFrameNumbers(const std::string& frameDir);
// The same for a command that reads the folder: a missing folder, or one that is no folder, is
// nothing too (errno tells why), for a command pointed at one has gone astray.
std::optional<std::vector<int>> ListFrameNumbersOfExistingFolder(const std::string& frameDir);
// Whether `frameDir` is there and is a folder; errno tells why not.
bool IsFolderThere(const std::string& frameDir);
// "Error. Can't read the folder X (why)!", errno telling why: the one line of a command that
// cannot list its frame folder.
std::string UnreadableFolderMessage(const std::string& frameDir);

// The folder as the user is shown it: "./" for the current one, which is kept empty.
std::string ShownFolder(const std::string& frameDir);

// Appends the path separator to a folder that is not empty and does not end with one.
std::string WithTrailingSeparator(std::string directory);

enum class FrameSave {
    Saved,
    AlreadyExists,  // every number from the one asked for up to the int limit is taken
    Failed,
};

// Saves `frame` as a JPEG as frame `number` in `frameDir`, with the EXIF of `stamp` and its
// capture time as the file's modification time; when that file is there and `mayReplace(number)`
// is false, it is kept and the frame goes to the first number after it whose file is free.
// `number` is set to the number used. The image is encoded once, written to a temporary file in
// the same folder and renamed, so a crash never leaves a truncated frame, and a file that appears
// meanwhile is never replaced unless `mayReplace` allows it. Safe to call from any thread.
FrameSave SaveFrameAtFirstFree(const std::string& frameDir, const cv::Mat& frame,
                               const FrameStamp& stamp, int& number,
                               const std::function<bool(int number)>& mayReplace);

// Makes latest.jpg in `frameDir` the saved frame `number` of that folder, replacing the one before
// in one step, so that a reader at any moment finds the whole of one frame or the other: a hard
// link to the frame under a temporary name renamed over it, or, where the file system has no hard
// links, a copy written under a temporary name, flushed and renamed. 0, or the errno of the
// failure (latest.jpg is then as it was). Safe to call from any thread.
int PublishLatestFrame(const std::string& frameDir, int number);

// Reads the regular file at `path` into `bytes`, whose memory is kept from one call to the next
// (a fresh buffer a frame costs a page fault every few kilobytes); false (errno tells why) when it
// cannot be opened or read, is not a regular file (EINVAL; a pipe is never waited on) or is larger
// than kMaxFrameBytes (EFBIG). Safe to call from any thread.
bool ReadFrameBytes(const std::string& path, std::vector<uchar>& bytes);

// Tells the system that the file at `path` will be read soon, so that the disk reads it while
// the caller works on the one before. Safe to call from any thread.
void AdviseReadSoon(const std::string& path);

// What a walk through a JPEG's markers and segment lengths finds, without decoding its picture.
struct JpegLayout {
    enum class State { Whole, CutShort, Malformed };
    State state = State::Malformed;
    std::string why;  // what is malformed
    cv::Size size;    // from the frame header
    int components = 0;
    // Baseline or extended sequential Huffman coding of 8-bit samples, which every Motion JPEG
    // player decodes (not progressive, arithmetic-coded or 12-bit).
    bool baseline = false;
    // The bytes up to the end-of-image marker; a camera may pad the file after it.
    std::size_t length = 0;
};

// Walks every marker of the JPEG in `bytes` (which starts with a start-of-image marker): each
// segment's length must fit its content and the file, and the picture data may hold only stuffed
// bytes and restart markers in order, up to the end-of-image marker. Zero or fill bytes after that
// marker are padding, not damage.
JpegLayout WalkJpeg(const std::vector<uchar>& bytes);

// Removes the temporary files that killed runs left in `frameDir` (of frames, latest.jpg and videos
// by any name) once they are a day old; hidden files of the user's are never touched. Safe to call
// from any thread.
void RemoveStaleTemporaries(const std::string& frameDir);
