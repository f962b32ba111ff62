#pragma once

#include <map>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

#include "frames/CaptureTime.h"

// Three pictures that show a run of frames at a glance, made from the frames of a folder with
// their capture times (in any order). Bad frames (FrameVerdict.h: missing, empty, cut short,
// damaged, a repeat of the frame before, nearly black or white) are left out and counted by their
// words; only as much of a frame is decoded as the picture needs, on a few threads, with memory
// bounded however many frames there are.

// What a picture was made of.
struct MadePicture {
    cv::Mat image;  // BGR; empty when no frame could make it
    int framesUsed = 0;
    std::map<std::string, int> leftOut;  // the frames left out by reason ("nearly black")
    std::string darkestFrame;  // star trails without a dark frame: the frame shown instead
};

// A keogram: one column per time slot (the median interval between the frames), each the mean
// of the centre columns of the frame nearest that slot's time; gaps of up to three slots are
// filled from their neighbours, longer ones are mid-grey. Its height is the frames' (at most
// 1080), with hour ticks below and the date at midnight.
MadePicture MakeKeogram(const std::string& frameDir, const std::vector<TimedFrame>& frames);

// Star trails: the brightest of each pixel over the dark frames of the night (PictureSlots.h's
// rule). Frames too bright are left out and counted; when none is dark, the darkest frame.
MadePicture MakeStarTrails(const std::string& frameDir, const std::vector<TimedFrame>& frames);

// Takes a picture a band of rows at a time, from the top.
class PictureSink {
public:
    virtual ~PictureSink() = default;
    // The whole picture's size, before its first band; false stops the picture.
    virtual bool Begin(cv::Size size) = 0;
    // The next rows (BGR, as wide as the picture); false stops the picture.
    virtual bool Add(const cv::Mat& band) = 0;
};

// A contact sheet: one 320-pixel tile for each slot of the frames' time, `tiles` of them or one
// for each local hour when it is 0, `columns` across; each tile is the good frame nearest the
// middle of its slot, its time under it, and a slot without one a grey "no frame" tile. Drawn into
// `sink` a row of tiles at a time, so that a sheet of a thousand rows is never held whole; the
// picture's image stays empty, and framesUsed is 0 when no frame could make it. It stops at the
// first band `sink` refuses.
MadePicture DrawContactSheet(const std::string& frameDir, const std::vector<TimedFrame>& frames,
                             int tiles, int columns, PictureSink& sink);

// DrawContactSheet's sheet held whole in the picture's image, for a sheet of a few rows.
MadePicture MakeContactSheet(const std::string& frameDir, const std::vector<TimedFrame>& frames,
                             int tiles, int columns);

inline constexpr int kTileWidth = 320;
inline constexpr int kDefaultColumns = 6;

// What is wrong with `path` as the name of a picture this program writes (ending in .jpg or .png,
// with a name before that ending), or nothing.
std::optional<std::string> PictureNameTrouble(const std::string& path);

// Encodes `image` as its name's ending says and writes it to `path` under a temporary name,
// renamed into place (PictureFile): 0, or the errno of the failure.
int WritePicture(const std::string& path, const cv::Mat& image);

// The frames left out, in words: "3 left out: 2 nearly black, 1 damaged"; "none left out".
std::string LeftOutInWords(const MadePicture& picture);
