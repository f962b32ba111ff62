#pragma once

#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

// The frame counter's value when no frame has been taken; the first frame is number 10001.
inline constexpr int kNoFrames = 10000;

// The name of the file of frame number `number`: pic_10001.jpg.
std::string FrameFileName(int number);

// The path of frame number `number` in `frameDir`, a folder that is empty (the current one) or
// ends with '/'.
std::string FramePath(const std::string& frameDir, int number);

// How many frame files numbered above kNoFrames `frameDir` holds; 0 when it cannot be read.
int CountFrameFiles(const std::string& frameDir);

// Appends the path separator to a folder that is not empty and does not end with one.
std::string WithTrailingSeparator(std::string directory);

enum class FrameSave {
    Saved,
    AlreadyExists,  // only when asked not to replace
    Failed,
};

// Saves `frame` as a JPEG (or the format of the path's extension) at `path`. The image is encoded
// in memory, written to a temporary file in the same folder and renamed over `path`, so a crash
// never leaves a truncated frame. With `replace` false an existing file is kept and AlreadyExists
// returned. Safe to call from any thread.
FrameSave SaveFrame(const std::string& path, const cv::Mat& frame, bool replace = true);

// The bytes of the file at `path`, or nothing when it cannot be opened or read (errno tells why).
// Safe to call from any thread.
std::optional<std::vector<uchar>> ReadFrameBytes(const std::string& path);

// Whether `bytes` start with a JPEG's start-of-image marker and end with its end-of-image marker:
// a JPEG that was written out whole.
bool IsWholeJpeg(const std::vector<uchar>& bytes);

// The picture size a JPEG's frame header gives, read without decoding; nothing when the header is
// not found or the picture is not three-component colour.
std::optional<cv::Size> JpegColourSize(const std::vector<uchar>& bytes);

// Creates an empty file with a hidden name beside `path` (".NAME.XXXXXX"), with the permissions a
// new file gets, for writing `path` under a temporary name and renaming it. Returns the open
// descriptor and fills `temporary` with its path; -1 when it cannot be created.
int CreateTemporaryBeside(const std::string& path, std::string& temporary);
