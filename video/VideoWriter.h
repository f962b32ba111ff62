#pragma once

#include <cstdint>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A compressor the video writer can put a video into.
struct Compressor {
    const char* name;     // as the user sees it
    const char* fourcc;   // the tag the AVI file carries
    const char* encoder;  // the libavcodec encoder
    // JPEG frames of the video's size go into the file as they are (Motion JPEG only).
    bool keepsJpegFrames = false;
    // The largest picture that the compressor's common levels play (and that is sane to hold
    // in memory), as the longest side and the picture's area.
    int largestSide = 4096;
    int largestArea = 4096 * 2304;
};

// The file formats the writer makes: AVI (OpenDML past 1 GB) or MP4 with its index in front, so
// that a browser starts playing before it has the whole file.
enum class Container { Avi, Mp4 };

// The container a video file name asks for by its ending (.avi, .mp4, any case), or none.
std::optional<Container> ContainerOf(std::string_view fileName);

// Frames a second as an exact fraction: `num` frames every `den` seconds.
struct FrameRate {
    int num = 25;
    int den = 1;
};

// The fraction nearest to `fps` with a denominator up to 100000, for a rate typed as a decimal.
FrameRate NearestFrameRate(double fps);

// The URL that makes FFmpeg open `path` as a file and nothing else: a folder may be named
// "pipe:" or "http:", or hold a colon, as any folder may.
std::string FileUrl(const std::string& path);

// Takes FFmpeg's log off standard error, where it would stand among the program's own lines; its
// last error goes into the writer's message instead. Safe to call from any thread.
void KeepFfmpegLogOffStandardError();

// The compressors that libavcodec offers on this machine, Motion JPEG first.
// Safe to call from any thread.
const std::vector<Compressor>& AvailableCompressors();

// The known compressor whose FOURCC or encoder name is `name` (any case), or none.
const Compressor* FindCompressor(std::string_view name);

// Writes an AVI file through FFmpeg's libavformat, which switches to OpenDML AVI past 1 GB, so
// files over 4 GB stay valid, or an MP4 file in 4:2:0 with its index in front. Frames go in either
// as JPEG files copied byte for byte (Motion JPEG only) or as pictures encoded with libavcodec on
// two threads while the caller decodes the next. Frames come out in the order they were given,
// however the two kinds are mixed. An MP4 takes the encoder's B-frames, as its container keeps
// each frame's presentation time; an AVI, which has none, gets its frames without them.
class VideoWriter {
public:
    enum class Opened { Yes, CompressorUnavailable, CannotWrite };

    VideoWriter();
    ~VideoWriter();  // closes an unfinished file as it stands
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Writes into `path`, an empty file made for the video. A size that the encoder's colour
    // sampling cannot split (an odd side for 4:2:0) is made smaller to fit; Size() tells the
    // video's size. MP4 refuses Motion JPEG, which its players
    // do not play.
    Opened Open(const std::string& path, const Compressor& compressor, FrameRate rate,
                cv::Size size, Container container = Container::Avi);
    cv::Size Size() const;
    // Puts a whole JPEG of the video's size into the file unchanged. Only for Motion JPEG.
    bool WriteJpeg(const std::vector<uchar>& jpeg);
    // Decodes a whole JPEG and encodes it, scaled to the video's size first when it is not that
    // size. The picture stays in YUV from decoder to encoder. When `preview` is given, it receives
    // the decoded picture in BGR at `previewSize`.
    enum class Transcoded { Yes, NotDecodable, WriteFailed };
    Transcoded TranscodeJpeg(const std::vector<uchar>& jpeg, cv::Mat* preview = nullptr,
                             cv::Size previewSize = {});
    // Encodes a BGR image, scaled to the video's size first when it is not that size.
    bool WriteImage(const cv::Mat& image);
    // Drains the encoder, writes the index and closes the file.
    bool Finish();
    // Writes the index of the frames already in the file and closes it at once, dropping those
    // still in the encoder: what a cancel keeps.
    bool FinishAtOnce();
    // The frames in the file so far.
    int FramesInFile() const;

    // The encoder's threads, for the next Open; 0 (the default) is as many as libavcodec picks for
    // the processor's cores, so that frames are encoded on every core while the caller decodes
    // the next.
    void SetEncoderThreads(int count) { m_encoderThreads = count; }
    // The frames an encoder with a look-ahead (x264) plans over, for the next Open; each one held
    // costs several MB at 1080p. 0 (the default) keeps the encoder's own.
    void SetLookAheadFrames(int count) { m_lookAheadFrames = count; }

    // What went wrong last, in FFmpeg's words.
    const std::string& Error() const { return m_error; }

private:
    struct Context;
    bool Fail(const char* what, int code);
    // The steps of Open: the encoder, the file's stream, then the file and its header.
    Opened OpenEncoder(const struct AVCodec& codec, const Compressor& compressor, FrameRate rate,
                       cv::Size size, Container container);
    bool AddStream(const std::string& url, const Compressor& compressor, Container container);
    bool OpenFile(Container container);
    bool OpenJpegDecoder();
    // Scales a picture of `size` in pixel format `format` (an AVPixelFormat) to the video's size
    // and format, and encodes it.
    bool ScaleAndEncode(const uint8_t* const planes[], const int strides[], cv::Size size,
                        int format);
    bool Encode(struct AVFrame* frame);
    cv::Mat ToBgr(const struct AVFrame& picture, cv::Size size);
    bool WriteEncodedPackets();
    // Writes an encoded packet once the packets before it and it present every frame up to the
    // last one they present.
    bool WriteInPresentationRuns(struct AVPacket* encoded);
    // Writes the index, then closes the file.
    bool Close();
    bool WritePacket(struct AVPacket* packet);
    // Numbers a copied JPEG as the next frame, a key frame of its own.
    void MarkCopiedFrame(struct AVPacket& packet);

    std::unique_ptr<Context> m_context;
    std::string m_error;
    int m_encoderThreads = 0;
    int m_lookAheadFrames = 0;
};
