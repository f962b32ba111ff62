#include "video/VideoAssembly.h"

#include <fcntl.h>
#include <unistd.h>

#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <opencv2/imgcodecs.hpp>  // the decoding flags
#include <opencv2/imgproc.hpp>
#include <string_view>

#include "frames/FrameVerdict.h"
#include "frames/JpegCodec.h"
#include "platform/AtomicFile.h"
#include "platform/ImageCodec.h"
#include "platform/OrderedWork.h"
#include "video/Deflicker.h"
#include "video/VideoOutput.h"

namespace {

constexpr int kFirstFrameNumber = kNoFrames + 1;  // the frame number of index 0
const cv::Size kLargestPreview(640, 480);
constexpr auto kPreviewPeriod = std::chrono::milliseconds(40);  // 25 a second
// A copied frame is decoded for nothing but its preview: those decodes take at most a tenth of
// the time, so that the preview never sets the pace.
constexpr int kPreviewDecodeShare = 10;
// The part of the progress bar that the deflicker's measuring pass takes: about its share of the
// time, as its eighth-size decode reads a frame's coefficients once, and the correction of a
// Motion JPEG frame reads and writes them.
constexpr int kMeasuringProgress = VideoAssembly::kProgressRange / 3;

std::string Frames(int count) {
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

// The disk is asked to start writing the video out after this many frames, so that its writing
// runs beside the frames' reading rather than after it, when the video is flushed.
constexpr int kWritebackEvery = 16;

}  // namespace

int FramesTaken(const VideoRange& range) {
    return range.frameNumbers.empty()
               ? FramesTheGapTakes(range.startFrame, range.endFrame, range.gap)
               : static_cast<int>(range.frameNumbers.size());
}

std::string ClosingMessage(const AssemblyResult& result, const std::string& frameDir) {
    const std::string& video = result.videoName;
    const std::string trouble =
        result.end == AssemblyEnd::MissingFrame ? "missing" : "damaged (" + result.why + ")";
    const std::string leftOut =
        result.framesLeftOut > 0 ? " " + Frames(result.framesLeftOut) + " left out." : "";
    switch (result.end) {
        case AssemblyEnd::WriteFailed:
            return "Error. Can't write " + VideoPlace(frameDir, video) + " (" + result.why + ")!";
        case AssemblyEnd::Complete:
            if (result.framesWritten == 0) {
                return result.framesLeftOut > 0
                           ? "No video created: every frame of the range was left out."
                           : "No video created: the range holds no frame to take.";
            }
            // Complete: every frame of the range is in the video or left out for a reason.
            return result.framesLeftOut > 0 ? "Video (" + video + ") created, complete with " +
                                                  Frames(result.framesWritten) + ";" + leftOut
                                            : "Video (" + video + ") created";
        case AssemblyEnd::Cancelled:
            return result.framesWritten > 0
                       ? "Video (" + video + ") created with " + Frames(result.framesWritten) +
                             ": cancelled before the end of the range." +
                             (video == result.outputName
                                  ? ""
                                  : " The earlier " + result.outputName + " is left as it was.") +
                             leftOut
                       : "No video created: cancelled before the first frame.";
        case AssemblyEnd::MissingFrame:
        case AssemblyEnd::DamagedFrame:
            break;
    }
    return result.framesWritten > 0
               ? "Video (" + video + ") created with " + Frames(result.framesWritten) +
                     ": it stops before " + result.frameName + ", which is " + trouble + "."
               : "No video created: " + result.frameName + " is " + trouble + ".";
}

std::string LeftOutList(const AssemblyResult& result) {
    std::string list;
    for (const LeftOutFrame& frame : result.leftOut) {
        list += (list.empty() ? "" : "\n") + frame.frameName + ": " + frame.why;
    }
    const int unlisted = result.framesLeftOut - static_cast<int>(result.leftOut.size());
    if (unlisted > 0) {
        list += "\n... and " + std::to_string(unlisted) + " more";
    }
    return list;
}

// A frame file as the assembly finds it.
struct VideoAssembly::LookedAt {
    AssemblyEnd trouble = AssemblyEnd::Complete;  // MissingFrame, DamagedFrame or Complete
    std::string why;
    std::vector<uchar> bytes;
    FileDigest file;  // as read, when the frames written are recorded
    cv::Size size;
    cv::Mat image;        // decoded unless it is a whole JPEG whose header gives a colour size
    double meanLuma = 0;  // of a frame that reads whole (JudgeFrame)
    // With bad frames left out, of the frame as read (before any correction).
    std::optional<std::size_t> hash;
    FrameVerdict picture;  // good, nearly black or nearly white
};

VideoAssembly::VideoAssembly(VideoRange range) : m_range(std::move(range)) {
    m_range.gap = std::max(m_range.gap, 1);
    // Every index of the range must have a frame number that fits an int, also for a range
    // that a saturated count carried to the int limit.
    constexpr int kLargestIndex = INT_MAX - kFirstFrameNumber;
    m_range.startFrame = std::clamp(m_range.startFrame, 0, kLargestIndex);
    m_range.endFrame = std::clamp(m_range.endFrame, m_range.startFrame, kLargestIndex + 1);
}

VideoAssembly::~VideoAssembly() {
    m_writer.reset();  // before m_videoFile removes its temporary file
}

VideoAssembly::LookedAt VideoAssembly::Look(int number, std::vector<uchar> memory) const {
    LookedAt frame;
    frame.bytes = std::move(memory);
    if (const FrameVerdict read = ReadFrame(FramePath(m_range.frameDir, number), frame.bytes);
        !read.Good()) {
        frame.trouble = read.fault == FrameFault::Missing ? AssemblyEnd::MissingFrame
                                                          : AssemblyEnd::DamagedFrame;
        frame.why = read.Sentence();
        return frame;
    }
    if (m_recordHeld) {
        // Of the whole file, before any padding after the picture is cut off.
        frame.file = {static_cast<long long>(frame.bytes.size()),
                      Sha256Hex(frame.bytes.data(), frame.bytes.size())};
    }
    const bool looksLikeJpeg = LooksLikeJpeg(frame.bytes);
    const JpegLayout layout = looksLikeJpeg ? WalkJpeg(frame.bytes) : JpegLayout{};
    frame.why = WhyLeftOut(frame, looksLikeJpeg, layout).value_or("");
    if (!frame.why.empty()) {
        frame.trouble = AssemblyEnd::DamagedFrame;
        return frame;
    }
    if (looksLikeJpeg && layout.components == 3 && layout.baseline) {
        frame.bytes.resize(layout.length);  // without any padding after its end
        frame.size = layout.size;           // copied, or decoded by the writer
        return frame;
    }
    // Not a JPEG every player decodes (progressive, arithmetic-coded, 12-bit, CMYK, grey):
    // decoded here and encoded again.
    frame.image = DecodeImage(frame.bytes, cv::IMREAD_COLOR);
    frame.size = frame.image.size();
    if (frame.image.empty()) {
        frame.trouble = AssemblyEnd::DamagedFrame;
        frame.why = looksLikeJpeg ? "cannot be decoded" : "not a picture";
    }
    return frame;
}

std::optional<std::string> VideoAssembly::WhyLeftOut(LookedAt& frame, bool looksLikeJpeg,
                                                     const JpegLayout& layout) const {
    if (frame.bytes.empty()) {
        return BadFrame(FrameFault::Empty).Sentence();
    }
    if (looksLikeJpeg && layout.state == JpegLayout::State::CutShort) {
        return BadFrame(FrameFault::CutShort).Sentence();
    }
    if (looksLikeJpeg && layout.state == JpegLayout::State::Malformed) {
        return layout.why;
    }
    if (looksLikeJpeg && CopiedUnlooked(layout)) {
        // Copied byte for byte at the disk's pace, as `ffmpeg -c:v copy` copies it: judged by its
        // structure and declared size, as decoding each frame would take several times as long.
        const std::optional<FrameVerdict> tooLarge =
            DeclaredSizeVerdict(layout.size.width, layout.size.height);
        return tooLarge ? std::optional(tooLarge->Sentence()) : std::nullopt;
    }
    // By its picture data, whichever way it goes into the video.
    const FrameVerdict judged = JudgeFrame(frame.bytes);
    frame.meanLuma = judged.meanLuma;
    return judged.Unreadable() ? std::optional(judged.Sentence()) : std::nullopt;
}

bool VideoAssembly::CopiedUnlooked(const JpegLayout& layout) const {
    const VideoOptions& options = m_range.options;
    return m_copyJpeg && !options.skipBad && !options.deflicker && layout.components == 3 &&
           layout.baseline && layout.size == m_videoSize;
}

std::string VideoAssembly::PathOf(const std::string& videoName) const {
    return VideoPath(m_range.frameDir, videoName);
}

int VideoAssembly::StepCount() const {
    return m_range.frameNumbers.empty() ? m_range.endFrame - m_range.startFrame
                                        : static_cast<int>(m_range.frameNumbers.size());
}

int VideoAssembly::FrameOfStep(int step) const {
    return m_range.frameNumbers.empty() ? m_range.startFrame + step + kFirstFrameNumber
                                        : m_range.frameNumbers[static_cast<size_t>(step)];
}

bool VideoAssembly::StepTakesFrame(int step) const {
    // Aligned to frame number 10000, not to the start of the range.
    return !m_range.frameNumbers.empty() || (m_range.startFrame + step + 1) % m_range.gap == 0;
}

int VideoAssembly::TakenFrameNumber(int taken) const {
    if (!m_range.frameNumbers.empty()) {
        return m_range.frameNumbers[static_cast<size_t>(taken)];
    }
    // In 64 bits: a wide gap passes the int limit on its way to the last frame's number.
    const long long n =
        (static_cast<long long>(m_range.startFrame) / m_range.gap + 1 + taken) * m_range.gap;
    return static_cast<int>(n - 1 + kFirstFrameNumber);
}

std::optional<std::string> VideoAssembly::ProbeFirstFrame() {
    int step = 0;
    LookedAt first = Look(FrameOfStep(step));
    // Leaving bad frames out, the size comes from the first frame of the walk that reads whole.
    while (m_range.options.skipBad && first.trouble != AssemblyEnd::Complete &&
           step + 1 < StepCount()) {
        first = Look(FrameOfStep(++step));
    }
    if (m_range.options.skipBad && first.trouble != AssemblyEnd::Complete) {
        return "Error. No frame of the range in " + m_range.frameDir + " can be read!";
    }
    const std::string name = FrameFileName(FrameOfStep(step));
    if (first.trouble == AssemblyEnd::MissingFrame) {
        return "Error. Can't find " + name + " in " + m_range.frameDir + "!";
    }
    if (first.trouble == AssemblyEnd::DamagedFrame) {
        return "Error. " + name + " in " + m_range.frameDir + " is damaged (" + first.why + ")!";
    }
    m_size = first.size;
    while (m_previewScale < 8 && (m_size.width > kLargestPreview.width * m_previewScale ||
                                  m_size.height > kLargestPreview.height * m_previewScale)) {
        m_previewScale *= 2;
    }
    return std::nullopt;
}

std::optional<std::string> VideoAssembly::Open(const Compressor& compressor) {
    if (const std::optional<std::string> trouble = ChooseRate()) {
        return "Error. " + *trouble + "!";
    }
    m_copyJpeg = compressor.keepsJpegFrames;
    const std::string& name = m_range.options.outputName;
    RemoveStaleTemporaries(m_range.frameDir);
    // A video written elsewhere may have left its temporary file there, killed.
    if (const std::string folder = VideoFolder(m_range.frameDir, name);
        folder != m_range.frameDir) {
        RemoveStaleTemporaries(folder);
    }
    std::string why;
    if (!m_videoFile.Create(PathOf(name))) {
        why = std::strerror(errno);
        m_opened = VideoWriter::Opened::CannotWrite;
    } else {
        m_writer = std::make_unique<VideoWriter>();
        m_writer->SetEncoderThreads(m_range.options.encoderThreads);
        m_writer->SetLookAheadFrames(m_range.options.lookAheadFrames);
        m_opened = m_writer->Open(m_videoFile.TemporaryPath(), compressor, m_range.fps,
                                  ScaledToWidth(m_size, m_range.options.width),
                                  ContainerOf(name).value_or(Container::Avi));
    }
    if (m_opened == VideoWriter::Opened::Yes) {
        m_videoSize = m_writer->Size();
        return std::nullopt;
    }
    if (m_opened == VideoWriter::Opened::CompressorUnavailable) {
        // Named as --compressor names it: the window's label is a description, not a name.
        return std::string("Error. The ") + compressor.fourcc +
               " compressor can't make this video (" + m_writer->Error() + ")!";
    }
    return "Error. Can't create " + VideoPlace(m_range.frameDir, name) + " (" +
           (why.empty() ? m_writer->Error() : why) + ")!";
}

std::optional<std::string> VideoAssembly::ChooseRate() {
    const int frames = FramesTaken(m_range);
    if (m_range.options.lengthSeconds <= 0 || frames == 0) {
        return std::nullopt;
    }
    std::string why;
    const std::optional<FrameRate> rate = RateForLength(frames, m_range.options.lengthSeconds, why);
    if (!rate) {
        return why;
    }
    m_range.fps = *rate;
    return std::nullopt;
}

AssemblyResult VideoAssembly::Run(const std::function<bool(const Pass&)>& afterPass) {
    AssemblyResult result;
    result.videoName = result.outputName = m_range.options.outputName;
    if (m_range.options.deflicker && !MeasureBrightness(afterPass, result)) {
        Finish(result);
        return result;
    }
    if (!m_corrected) {
        // Read and judged on both cores while the writer takes the frame before.
        m_corrected = std::make_unique<OrderedWork<LookedAt>>(
            FramesTaken(m_range), [this](int taken) { return Look(TakenFrameNumber(taken)); });
    }
    const int steps = StepCount();
    int taken = 0;
    for (int step = 0; step < steps; ++step) {
        Pass pass{ProgressPosition(step + 1), {}, 0};
        bool written = true;
        if (StepTakesFrame(step)) {
            written = WriteFrame(taken++, pass, result);
        }
        pass.framesWritten = result.framesWritten;
        const bool goOn = afterPass(pass);
        if (!written) {
            break;
        }
        if (!goOn && step + 1 < steps) {
            result.end = AssemblyEnd::Cancelled;
            break;
        }
    }
    m_corrected.reset();
    Finish(result);
    return result;
}

bool VideoAssembly::WriteFrame(int taken, Pass& pass, AssemblyResult& result) {
    const int number = TakenFrameNumber(taken);
    // The next frame taken is read by the disk while this one is written.
    if (taken + 1 < FramesTaken(m_range)) {
        AdviseReadSoon(FramePath(m_range.frameDir, TakenFrameNumber(taken + 1)));
    }
    // Past the frames measured, a frame is left as it is: the measuring pass stops only at a frame
    // the video stops at too.
    std::optional<LookedAt> corrected = m_corrected ? m_corrected->Take() : std::nullopt;
    LookedAt frame = corrected ? std::move(*corrected) : Look(number, std::move(m_spareBytes));
    const auto keepMemory = qScopeGuard([&] { m_spareBytes.swap(frame.bytes); });
    if (m_range.options.skipBad && frame.trouble == AssemblyEnd::Complete) {
        LookForBadPicture(frame);
    }
    const bool previewDue = frame.trouble == AssemblyEnd::Complete && m_preview && PreviewDue();
    const bool written =
        frame.trouble == AssemblyEnd::Complete && Put(frame, previewDue ? &pass.preview : nullptr);
    if (frame.trouble != AssemblyEnd::Complete && m_range.options.skipBad) {
        LeaveOut(number, frame, pass, result);
        return true;
    }
    if (frame.trouble != AssemblyEnd::Complete) {
        result.end = frame.trouble;
        result.frameName = FrameFileName(number);
        result.why = frame.why;
        return false;
    }
    if (!written) {
        result.end = AssemblyEnd::WriteFailed;
        result.why = m_writer->Error();
        return false;
    }
    if (m_recordHeld) {
        result.held.push_back({number, std::move(frame.file)});
    }
    if (++result.framesWritten % kWritebackEvery == 0) {
        ::sync_file_range(m_videoFile.Fd(), 0, 0, SYNC_FILE_RANGE_WRITE);  // starts it, no wait
    }
    return true;
}

void VideoAssembly::ExaminePicture(LookedAt& frame) {
    // A camera that froze sends the same bytes again; a hash tells them apart at disk speed.
    frame.hash = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(frame.bytes.data()), frame.bytes.size()));
    frame.picture = VerdictOfLuma(frame.meanLuma);
}

void VideoAssembly::LookForBadPicture(LookedAt& frame) {
    if (!frame.hash) {
        ExaminePicture(frame);
    }
    const bool repeat = m_previousHash == frame.hash;
    m_previousHash = frame.hash;
    const FrameVerdict verdict = repeat ? BadFrame(FrameFault::Repeat) : frame.picture;
    if (!verdict.Good()) {
        frame.trouble = AssemblyEnd::DamagedFrame;
        frame.why = verdict.Sentence();
    }
}

void VideoAssembly::LeaveOut(int number, const LookedAt& frame, Pass& pass,
                             AssemblyResult& result) {
    m_lastLeftOut = {FrameFileName(number),
                     frame.trouble == AssemblyEnd::MissingFrame ? "missing" : frame.why};
    ++result.framesLeftOut;
    if (result.leftOut.size() < AssemblyResult::kListedLeftOut) {
        result.leftOut.push_back(m_lastLeftOut);
    }
    pass.leftOut = &m_lastLeftOut;
}

bool VideoAssembly::Put(LookedAt& frame, cv::Mat* preview) {
    if (!frame.image.empty()) {
        if (preview) {
            *preview = Preview(frame.image);
        }
        return m_writer->WriteImage(frame.image);
    }
    if (m_copyJpeg && frame.size == m_videoSize) {
        if (preview) {
            const auto start = std::chrono::steady_clock::now();
            *preview = Preview(ReducedDecode(frame.bytes));
            m_nextPreview =
                std::max(m_nextPreview,
                         start + kPreviewDecodeShare * (std::chrono::steady_clock::now() - start));
        }
        return m_writer->WriteJpeg(frame.bytes);
    }
    const VideoWriter::Transcoded transcoded =
        m_writer->TranscodeJpeg(frame.bytes, preview, PreviewSize());
    if (transcoded == VideoWriter::Transcoded::NotDecodable) {
        frame.trouble = AssemblyEnd::DamagedFrame;
        frame.why = "cannot be decoded";
    }
    return transcoded == VideoWriter::Transcoded::Yes;
}

bool VideoAssembly::PreviewDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextPreview) {
        return false;
    }
    m_nextPreview = now + kPreviewPeriod;
    return true;
}

cv::Mat VideoAssembly::ReducedDecode(const std::vector<uchar>& jpeg) const {
    // JPEG's own scaled decoding: far less work than decoding the whole picture.
    const int flags = m_previewScale == 8   ? cv::IMREAD_REDUCED_COLOR_8
                      : m_previewScale == 4 ? cv::IMREAD_REDUCED_COLOR_4
                      : m_previewScale == 2 ? cv::IMREAD_REDUCED_COLOR_2
                                            : cv::IMREAD_COLOR;
    return DecodeImage(jpeg, flags);
}

cv::Size VideoAssembly::PreviewSize() const {
    return {(m_size.width + m_previewScale - 1) / m_previewScale,
            (m_size.height + m_previewScale - 1) / m_previewScale};
}

cv::Mat VideoAssembly::Preview(const cv::Mat& picture) const {
    // The frame as the video shows it, at the preview's scale.
    const cv::Size reduced = PreviewSize();
    if (picture.empty() || picture.size() == reduced) {
        return picture;
    }
    cv::Mat preview;
    cv::resize(picture, preview, reduced, 0, 0, cv::INTER_AREA);
    return preview;
}

int VideoAssembly::ProgressPosition(int stepsDone) const {
    const int first = m_range.options.deflicker ? kMeasuringProgress : 0;
    return first + static_cast<int>(static_cast<double>(stepsDone) /
                                    static_cast<double>(StepCount()) * (kProgressRange - first));
}

void VideoAssembly::Finish(AssemblyResult& result) {
    // A cancel ends at once: the video keeps the frames the encoder has put in the file, and the
    // closing message counts only those.
    const bool cancelled = result.end == AssemblyEnd::Cancelled;
    const bool finished = cancelled ? m_writer->FinishAtOnce() : m_writer->Finish();
    if (cancelled) {
        result.framesWritten = m_writer->FramesInFile();
    }
    if (!finished && result.end != AssemblyEnd::WriteFailed) {
        result.end = AssemblyEnd::WriteFailed;
        result.why = m_writer->Error();
    }
    m_writer.reset();
    if (result.end == AssemblyEnd::WriteFailed || result.framesWritten == 0) {
        return;  // the destructor removes the temporary file
    }
    if (result.end == AssemblyEnd::Cancelled && !m_keepCancelled) {
        return;  // the destructor removes the temporary file
    }
    // A video that did not finish leaves a complete earlier one as it was.
    if (result.end == AssemblyEnd::Cancelled &&
        ::access(PathOf(result.outputName).c_str(), F_OK) == 0) {
        result.videoName = PartialVideoName(result.outputName);
    }
    if (const int error = m_videoFile.CommitAs(PathOf(result.videoName)); error != 0) {
        result.end = AssemblyEnd::WriteFailed;
        result.why = std::string("cannot put it in place: ") + std::strerror(error);
    }
}

bool VideoAssembly::MeasureBrightness(const std::function<bool(const Pass&)>& afterPass,
                                      AssemblyResult& result) {
    const int count = FramesTaken(m_range);
    std::vector<double> means;
    {
        OrderedWork<double> measured(count, [this](int taken) {
            std::vector<uchar> bytes;
            const bool read =
                ReadFrameBytes(FramePath(m_range.frameDir, TakenFrameNumber(taken)), bytes);
            return read ? JudgeFrame(bytes).meanLuma : std::nan("");
        });
        while (static_cast<int>(means.size()) < count) {
            means.push_back(*measured.Take());
            const int done = static_cast<int>(means.size());
            const auto position =
                static_cast<int>(static_cast<long long>(kMeasuringProgress) * done / count);
            if (!afterPass({position, {}, 0})) {
                result.end = AssemblyEnd::Cancelled;
                return false;
            }
            // The video ends before a frame that cannot be read, unless bad frames are left out.
            if (std::isnan(means.back()) && !m_range.options.skipBad) {
                break;
            }
        }
    }
    const std::vector<double> targets = DeflickerTargets(means, m_range.options.deflickerWindow);
    m_gains.resize(means.size());
    for (size_t i = 0; i < means.size(); ++i) {
        m_gains[i] = DeflickerGain(means[i], targets[i]);
    }
    m_corrected = std::make_unique<OrderedWork<LookedAt>>(
        static_cast<int>(m_gains.size()), [this](int taken) { return Corrected(taken); });
    return true;
}

VideoAssembly::LookedAt VideoAssembly::Corrected(int taken) const {
    LookedAt frame = Look(TakenFrameNumber(taken));
    const double gain = m_gains[static_cast<size_t>(taken)];
    if (frame.trouble != AssemblyEnd::Complete) {
        return frame;
    }
    if (m_range.options.skipBad) {
        // Judged as the camera took it: a repeat or a black frame must not hide behind its gain.
        ExaminePicture(frame);
        if (!frame.picture.Good()) {
            return frame;
        }
    }
    if (frame.image.empty() && m_copyJpeg && frame.size == m_videoSize) {
        // Corrected in its coefficients and copied in: the frame keeps its quality.
        if (std::vector<uchar> corrected = ApplyGainToJpeg(frame.bytes, gain); !corrected.empty()) {
            frame.bytes = std::move(corrected);
            return frame;
        }
    }
    if (frame.image.empty()) {
        frame.image = DecodeImage(frame.bytes, cv::IMREAD_COLOR);
    }
    if (frame.image.empty()) {
        frame.trouble = AssemblyEnd::DamagedFrame;
        frame.why = "cannot be decoded";
        return frame;
    }
    ApplyGain(frame.image, gain);  // then encoded by the writer
    return frame;
}

ExitCode ExitCodeFor(const AssemblyResult& result) {
    if (result.end == AssemblyEnd::WriteFailed) {
        return ExitCode::VideoNotWritten;
    }
    if (result.end == AssemblyEnd::Cancelled) {
        return ExitCode::VideoCancelled;
    }
    if (result.framesWritten == 0) {
        return ExitCode::NoVideoFrame;
    }
    return result.end == AssemblyEnd::Complete ? ExitCode::Success : ExitCode::VideoStoppedAt;
}
