#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <vector>

#include "frames/FrameFile.h"
#include "platform/AtomicFile.h"
#include "platform/Digest.h"
#include "res/ExitCodes.h"
#include "video/VideoOptions.h"
#include "video/VideoWriter.h"

template <class T>
class OrderedWork;

// Which frames make the video, and how fast it plays.
struct VideoRange {
    std::string frameDir;  // empty (the current folder) or ends with '/'
    int startFrame = 0;    // index of the first frame; frame number = index + 10001
    int endFrame = 50;     // index past the last frame
    int gap = 1;           // a frame is taken when its index + 1 is a multiple of the gap
    FrameRate fps;
    VideoOptions options;
    // When not empty: exactly these frame numbers, in this order; start, end and gap are not used.
    std::vector<int> frameNumbers = {};
};

enum class AssemblyEnd { Complete, MissingFrame, DamagedFrame, Cancelled, WriteFailed };

// A frame the video maker left out, and why.
struct LeftOutFrame {
    std::string frameName;
    std::string why;  // "missing", "empty file", "nearly black (mean luma 3)", ...
};

// A frame that went into the video, with its file's size and digest as it was read.
struct HeldFrame {
    int number = 0;
    FileDigest file;
};

// How an assembly ended.
struct AssemblyResult {
    AssemblyEnd end = AssemblyEnd::Complete;
    int framesWritten = 0;
    std::string frameName;  // the missing or damaged frame
    std::string why;        // what is wrong with that frame, or why the file could not be written
    // The file the video went to: output.avi, or, for a video cancelled beside an earlier
    // complete one, output.partial.avi.
    std::string videoName = kVideoFileName;
    std::string outputName = kVideoFileName;  // the name the video was to have
    // With bad frames left out: how many, and the first kListedLeftOut of them in order.
    static constexpr std::size_t kListedLeftOut = 10;
    int framesLeftOut = 0;
    std::vector<LeftOutFrame> leftOut;
    // With RecordHeldFrames: each frame written, in order.
    std::vector<HeldFrame> held;
};

// The exit code of a command-line mode for how an assembly ended.
ExitCode ExitCodeFor(const AssemblyResult& result);

// How many frames the video is made of: those the gap takes from the range, or the listed ones.
int FramesTaken(const VideoRange& range);

// The message that tells the user what was made, in one line.
std::string ClosingMessage(const AssemblyResult& result, const std::string& frameDir);
// The frames left out, one a line with its reason, the first kListedLeftOut only; empty when
// none was.
std::string LeftOutList(const AssemblyResult& result);

// Turns a range or a list of frame files into output.avi (or the options' name) in the frame
// folder, or at the options' path. The file is written under a temporary name beside it and renamed
// only when the assembly ends with a frame in it, so an earlier output.avi survives a failure, an
// empty range or a killed process. A cancelled video never replaces an earlier output.avi: it goes
// to output.partial.avi beside it. A JPEG frame of the video's size is copied in byte for byte when
// the compressor is Motion JPEG; any other frame is decoded, scaled and encoded. A frame that is
// missing or damaged ends the video before it, unless the options leave bad frames out: then it is
// left out with its reason, and so is a repeat of the frame before it and a nearly black or nearly
// white one. With deflicker on, a first pass measures the brightness of every frame the gap takes;
// each frame is then corrected, a whole JPEG for Motion JPEG in its DCT coefficients, any other
// frame decoded, corrected and encoded.
class VideoAssembly {
public:
    static constexpr int kProgressRange = 1000;

    // One pass of the range, as it is reported.
    struct Pass {
        int position;       // progress in 0 .. kProgressRange
        cv::Mat preview;    // the frame just written, reduced; empty when none is due
        int framesWritten;  // so far, this pass's frame included
        const LeftOutFrame* leftOut = nullptr;  // the frame this pass left out, if it did
    };

    explicit VideoAssembly(VideoRange range);
    ~VideoAssembly();  // removes the temporary file of an assembly that did not end

    // Learns the picture size from the first frame of the range, even when the gap leaves it out,
    // or of the list (from a JPEG's header, without decoding). Nothing when it can serve; otherwise
    // the message naming it.
    std::optional<std::string> ProbeFirstFrame();
    cv::Size FrameSize() const { return m_size; }

    // Starts the video under its temporary name, at the options' width and at the rate that makes
    // it last the options' length. Nothing when it is open; otherwise the message.
    std::optional<std::string> Open(const Compressor& compressor);
    // Why Open failed: the compressor could not make this video (rather than the file).
    bool CompressorFailed() const { return m_opened == VideoWriter::Opened::CompressorUnavailable; }

    // Makes preview images of about 640x480 at most, at most 25 a second, and fewer when decoding
    // them would take more than a tenth of the time.
    void SetPreview(bool on) { m_preview = on; }

    // Whether a cancelled video is kept (the default) or thrown away, so that the video's name
    // only ever holds a whole one.
    void KeepCancelled(bool keep) { m_keepCancelled = keep; }

    // Whether the result lists each frame written with its file's digest, the proof of what a
    // video holds that the daily run keeps before it deletes any frame.
    void RecordHeldFrames(bool record) { m_recordHeld = record; }

    // Walks the range or the list: writes each frame the gap takes or the list names, then calls
    // `afterPass`, which returns false to stop. Then finishes the file and puts it in place when it
    // holds a frame.
    AssemblyResult Run(const std::function<bool(const Pass&)>& afterPass);

private:
    struct LookedAt;
    // `memory`: an earlier frame's, read over.
    LookedAt Look(int number, std::vector<uchar> memory = {}) const;
    // Whether a JPEG of `layout` goes into the video byte for byte with nothing asked of its
    // picture (no bad frames left out, no deflicker), so that only its structure is judged.
    bool CopiedUnlooked(const JpegLayout& layout) const;
    // What keeps `frame` out of the video, by its structure or its picture (which gives its mean
    // luma too); nothing when it may go in.
    std::optional<std::string> WhyLeftOut(LookedAt& frame, bool looksLikeJpeg,
                                          const JpegLayout& layout) const;
    // The walk: each index of the range is a step, which the gap takes or passes over; each frame
    // of a list is a step that is taken. Progress goes by steps.
    int StepCount() const;
    int FrameOfStep(int step) const;  // its frame number, taken or not
    bool StepTakesFrame(int step) const;
    // The `taken`-th frame the walk takes (of FramesTaken), in order.
    int TakenFrameNumber(int taken) const;
    bool WriteFrame(int taken, Pass& pass, AssemblyResult& result);
    // Copies, transcodes or encodes the frame; false when it could not be written (or turned out
    // damaged, which `frame` then tells).
    // `preview`, when given, receives the frame at the preview's size.
    bool Put(LookedAt& frame, cv::Mat* preview);
    bool PreviewDue();
    // With bad frames left out: finds what makes a frame that reads whole unfit (a repeat of the
    // frame before it, a nearly black or white picture, one that cannot be decoded).
    void LookForBadPicture(LookedAt& frame);
    // Its hash, and what is wrong with its picture by its mean luma; safe on any thread.
    static void ExaminePicture(LookedAt& frame);
    void LeaveOut(int number, const LookedAt& frame, Pass& pass, AssemblyResult& result);
    // The rate that makes the video last the options' length; the message when none can.
    std::optional<std::string> ChooseRate();
    cv::Mat ReducedDecode(const std::vector<uchar>& jpeg) const;
    cv::Size PreviewSize() const;
    cv::Mat Preview(const cv::Mat& picture) const;
    int ProgressPosition(int stepsDone) const;
    // The deflicker's first pass: the gain of each frame the gap takes. False when it was
    // cancelled (which `result` then tells).
    bool MeasureBrightness(const std::function<bool(const Pass&)>& afterPass,
                           AssemblyResult& result);
    // The frame the gap takes as the `taken`-th, corrected. Safe to call from any thread.
    LookedAt Corrected(int taken) const;
    void Finish(AssemblyResult& result);
    std::string PathOf(const std::string& videoName) const;

    VideoRange m_range;
    cv::Size m_size;         // of the first frame
    cv::Size m_videoSize;    // of the video, once it is open
    int m_previewScale = 1;  // 1, 2, 4 or 8
    bool m_preview = false;
    bool m_keepCancelled = true;
    bool m_recordHeld = false;
    std::chrono::steady_clock::time_point m_nextPreview;  // no preview before then
    bool m_copyJpeg = false;
    VideoWriter::Opened m_opened = VideoWriter::Opened::CannotWrite;
    std::unique_ptr<VideoWriter> m_writer;
    AtomicFile m_videoFile;                     // while the video is being written
    std::vector<uchar> m_spareBytes;            // a frame's memory, kept for the next
    std::optional<std::size_t> m_previousHash;  // of the last frame read, to find a repeat
    LeftOutFrame m_lastLeftOut;
    std::vector<double> m_gains;  // of each frame the gap takes, when deflickering
    // Frames read, judged and (with deflicker) corrected ahead of the writer.
    std::unique_ptr<OrderedWork<LookedAt>> m_corrected;
};
