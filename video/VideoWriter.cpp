#include "video/VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <utility>

namespace {

// The quality scale for the MPEG-family encoders: fine enough that a re-encoded camera frame
// keeps its detail (1 is best, 31 worst).
constexpr int kQualityScale = 3;

const std::vector<Compressor> kKnown = {
    {"Motion JPEG, frames kept as they are", "MJPG", "mjpeg", true, 8192, 8192 * 8192},
    {"H.264, many times smaller", "H264", "libx264"},
    {"MPEG-4 Part 2", "FMP4", "mpeg4"},
};

// FFmpeg's last error line, kept for the program's own message; guarded by s_ffmpegLogMutex.
std::mutex s_ffmpegLogMutex;
std::string s_lastFfmpegError;

void KeepFfmpegError(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[512] = {};
    int printPrefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    std::lock_guard lock(s_ffmpegLogMutex);
    s_lastFfmpegError = std::move(text);
}

// FFmpeg's last error line since the last call, or empty.
std::string TakeFfmpegError() {
    std::lock_guard lock(s_ffmpegLogMutex);
    return std::exchange(s_lastFfmpegError, {});
}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool UsesQualityScale(const AVCodec* codec) {
    return codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_MPEG4;
}

AVPixelFormat PixelFormatFor(const AVCodec* codec) {
    return codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
}

// `size` made smaller, where it must, to split evenly into the format's colour samples (4:2:0
// wants even sides). Fitted before the encoder sees the size: some encoders leak what they set up
// when they refuse it.
cv::Size FittedToChromaSampling(AVPixelFormat format, cv::Size size) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr) {
        return size;
    }
    const int across = 1 << descriptor->log2_chroma_w;
    const int down = 1 << descriptor->log2_chroma_h;
    return {std::max(across, size.width - size.width % across),
            std::max(down, size.height - size.height % down)};
}

bool EndsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           std::equal(ending.rbegin(), ending.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// Whether players of the compressor's videos commonly play a picture of `size`.
bool FitsCommonLevels(const Compressor& compressor, cv::Size size) {
    return size.width <= compressor.largestSide && size.height <= compressor.largestSide &&
           static_cast<long long>(size.width) * size.height <= compressor.largestArea;
}

}  // namespace

std::string FileUrl(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return "file:" + (error ? path : absolute.string());
}

std::optional<Container> ContainerOf(std::string_view fileName) {
    if (EndsWith(fileName, ".mp4")) {
        return Container::Mp4;
    }
    if (EndsWith(fileName, ".avi")) {
        return Container::Avi;
    }
    return std::nullopt;
}

void KeepFfmpegLogOffStandardError() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(KeepFfmpegError); });
}

const std::vector<Compressor>& AvailableCompressors() {
    static const std::vector<Compressor> available = [] {
        std::vector<Compressor> found;
        std::copy_if(kKnown.begin(), kKnown.end(), std::back_inserter(found),
                     [](const Compressor& c) { return avcodec_find_encoder_by_name(c.encoder); });
        return found;
    }();
    return available;
}

const Compressor* FindCompressor(std::string_view name) {
    const std::string wanted(name);
    for (const Compressor& c : kKnown) {
        if (strcasecmp(wanted.c_str(), c.fourcc) == 0 ||
            strcasecmp(wanted.c_str(), c.encoder) == 0) {
            return &c;
        }
    }
    return nullptr;
}

struct VideoWriter::Context {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;  // the picture at the video's size and pixel format
    AVPacket* packet = nullptr;
    AVPacket* copied = av_packet_alloc();   // lends a copied JPEG's bytes to the muxer
    AVCodecContext* jpegDecoder = nullptr;  // opened for the first JPEG to transcode
    AVFrame* decoded = nullptr;
    AVPacket* jpeg = nullptr;
    SwsContext* scale = nullptr;
    SwsContext* previewScale = nullptr;
    int64_t nextPts = 0;
    int framesInFile = 0;
    // The frames given and not yet in the file, oldest first: a copied JPEG waits here while an
    // image given before it is still in the encoder (nullptr marks such an image).
    std::deque<AVPacket*> pending;
    // The encoder's packets, in decoding order, until they present a run of frames without a
    // gap, and the last frame they present: a video that is not drained then ends without one.
    std::deque<AVPacket*> held;
    int64_t lastHeldPts = -1;

    ~Context() {
        for (std::deque<AVPacket*>* queue : {&pending, &held}) {
            for (AVPacket* waiting : *queue) {
                av_packet_free(&waiting);
            }
        }
        sws_freeContext(scale);
        sws_freeContext(previewScale);
        av_packet_free(&jpeg);
        av_packet_free(&copied);
        av_frame_free(&decoded);
        avcodec_free_context(&jpegDecoder);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format) {
            avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

VideoWriter::VideoWriter() = default;
VideoWriter::~VideoWriter() = default;

bool VideoWriter::Fail(const char* what, int code) {
    m_error = std::string(what) + (code < 0 ? ": " + ErrorText(code) : std::string());
    if (const std::string said = TakeFfmpegError(); !said.empty()) {
        m_error += " (" + said + ")";
    }
    return false;
}

FrameRate NearestFrameRate(double fps) {
    const AVRational rate = av_d2q(fps, 100000);
    return {rate.num, rate.den};
}

cv::Size VideoWriter::Size() const {
    return {m_context->codec->width, m_context->codec->height};
}

VideoWriter::Opened VideoWriter::Open(const std::string& path, const Compressor& compressor,
                                      FrameRate frameRate, cv::Size size, Container container) {
    KeepFfmpegLogOffStandardError();
    TakeFfmpegError();  // what came before is not this video's
    m_context = std::make_unique<Context>();
    const AVCodec* codec = avcodec_find_encoder_by_name(compressor.encoder);
    if (!codec) {
        Fail("no such encoder", 0);
        return Opened::CompressorUnavailable;
    }
    if (container == Container::Mp4 && codec->id == AV_CODEC_ID_MJPEG) {
        m_error = "MP4 players do not play Motion JPEG; choose H.264, or a name ending in .avi";
        return Opened::CompressorUnavailable;
    }
    if (const Opened opened = OpenEncoder(*codec, compressor, frameRate, size, container);
        opened != Opened::Yes) {
        return opened;
    }
    return AddStream(FileUrl(path), compressor, container) && OpenFile(container)
               ? Opened::Yes
               : Opened::CannotWrite;
}

VideoWriter::Opened VideoWriter::OpenEncoder(const AVCodec& codec, const Compressor& compressor,
                                             FrameRate frameRate, cv::Size size,
                                             Container container) {
    Context& c = *m_context;
    AVRational rate{};
    av_reduce(&rate.num, &rate.den, frameRate.num, frameRate.den, INT_MAX);
    c.codec = avcodec_alloc_context3(&codec);
    c.packet = av_packet_alloc();
    c.frame = av_frame_alloc();
    if (!c.codec || !c.packet || !c.frame) {
        Fail("out of memory", 0);
        return Opened::CannotWrite;
    }
    const bool mp4 = container == Container::Mp4;
    // 4:2:0, which every player of MP4 decodes.
    c.codec->pix_fmt = mp4 ? AV_PIX_FMT_YUV420P : PixelFormatFor(&codec);
    if (codec.id != AV_CODEC_ID_MJPEG) {
        size = FittedToChromaSampling(c.codec->pix_fmt, size);
    }
    c.codec->width = size.width;
    c.codec->height = size.height;
    c.codec->time_base = av_inv_q(rate);
    c.codec->framerate = rate;
    if (mp4) {
        c.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the MP4 keeps it in its sample entry
    } else {
        // An AVI has no presentation times, so frames must come out in the order they go in;
        // an MP4 keeps them, and takes the encoder's B-frames.
        c.codec->max_b_frames = 0;
    }
    c.codec->thread_count = m_encoderThreads;
    c.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (UsesQualityScale(&codec)) {
        c.codec->flags |= AV_CODEC_FLAG_QSCALE;
        c.codec->global_quality = kQualityScale * FF_QP2LAMBDA;
    }
    if (!FitsCommonLevels(compressor, size)) {
        m_error = "the frames are " + std::to_string(size.width) + "x" +
                  std::to_string(size.height) + " pixels; its videos commonly play " +
                  std::to_string(compressor.largestSide) + " on a side and " +
                  std::to_string(compressor.largestArea) + " pixels in all";
        return Opened::CompressorUnavailable;
    }
    if (m_lookAheadFrames > 0) {
        // Only encoders with a look-ahead know the option; the others go on without it.
        av_opt_set_int(c.codec, "rc-lookahead", m_lookAheadFrames, AV_OPT_SEARCH_CHILDREN);
    }
    if (const int error = avcodec_open2(c.codec, &codec, nullptr); error < 0) {
        Fail("the encoder refused the video's size or rate", error);
        return Opened::CompressorUnavailable;
    }
    c.frame->format = c.codec->pix_fmt;
    c.frame->width = size.width;
    c.frame->height = size.height;
    if (const int error = av_frame_get_buffer(c.frame, 0); error < 0) {
        Fail("out of memory", error);
        return Opened::CannotWrite;
    }
    return Opened::Yes;
}

bool VideoWriter::AddStream(const std::string& url, const Compressor& compressor,
                            Container container) {
    Context& c = *m_context;
    const bool mp4 = container == Container::Mp4;
    if (const int error =
            avformat_alloc_output_context2(&c.format, nullptr, mp4 ? "mp4" : "avi", url.c_str());
        error < 0) {
        return Fail(mp4 ? "no MP4 muxer" : "no AVI muxer", error);
    }
    c.stream = avformat_new_stream(c.format, nullptr);
    if (!c.stream) {
        return Fail("out of memory", 0);
    }
    if (const int error = avcodec_parameters_from_context(c.stream->codecpar, c.codec); error < 0) {
        return Fail("out of memory", error);
    }
    if (!mp4) {
        const char* tag = compressor.fourcc;
        c.stream->codecpar->codec_tag = MKTAG(tag[0], tag[1], tag[2], tag[3]);
    }
    c.stream->time_base = c.codec->time_base;
    c.stream->avg_frame_rate = c.codec->framerate;
    c.stream->r_frame_rate = c.codec->framerate;
    return true;
}

bool VideoWriter::OpenFile(Container container) {
    Context& c = *m_context;
    // The file was made empty for us: truncating it again would make the file system flush the
    // whole video when it is closed (ext4 does so for a file truncated to nothing), a wait of
    // about a second per gigabyte that no other writer makes the user sit through.
    AVDictionary* fileOptions = nullptr;
    av_dict_set(&fileOptions, "truncate", "0", 0);
    const int opened =
        avio_open2(&c.format->pb, c.format->url, AVIO_FLAG_WRITE, nullptr, &fileOptions);
    av_dict_free(&fileOptions);
    if (opened < 0) {
        return Fail("cannot create the file", opened);
    }
    // The index goes in front once the video is finished, so that playing starts at once.
    AVDictionary* muxerOptions = nullptr;
    if (container == Container::Mp4) {
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    }
    const int headerError = avformat_write_header(c.format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (headerError < 0) {
        return Fail("cannot write the file", headerError);
    }
    return true;
}

bool VideoWriter::WriteJpeg(const std::vector<uchar>& jpeg) {
    Context& c = *m_context;
    const int size = static_cast<int>(jpeg.size());
    if (!c.pending.empty()) {
        // Waits behind an image still in the encoder: a copy of its own.
        AVPacket* copy = av_packet_alloc();
        if (!copy || av_new_packet(copy, size) < 0) {
            av_packet_free(&copy);
            return Fail("out of memory", 0);
        }
        std::memcpy(copy->data, jpeg.data(), jpeg.size());
        MarkCopiedFrame(*copy);
        c.pending.push_back(copy);
        return true;
    }
    // Written at once: the packet lends the caller's bytes, which stay put until the muxer has
    // written them, so a frame is never copied a second time.
    AVPacket* lent = c.copied;
    lent->buf = av_buffer_create(
        const_cast<uchar*>(jpeg.data()), jpeg.size(), [](void*, uint8_t*) {}, nullptr,
        AV_BUFFER_FLAG_READONLY);
    if (!lent->buf) {
        return Fail("out of memory", 0);
    }
    lent->data = lent->buf->data;
    lent->size = size;
    MarkCopiedFrame(*lent);
    const bool written = WritePacket(lent);
    av_packet_unref(lent);
    return written;
}

void VideoWriter::MarkCopiedFrame(AVPacket& packet) {
    Context& c = *m_context;
    packet.pts = packet.dts = c.nextPts++;
    packet.duration = 1;
    packet.flags |= AV_PKT_FLAG_KEY;
}

bool VideoWriter::OpenJpegDecoder() {
    Context& c = *m_context;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    c.jpegDecoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    c.decoded = av_frame_alloc();
    c.jpeg = av_packet_alloc();
    if (!c.jpegDecoder || !c.decoded || !c.jpeg) {
        return Fail("no JPEG decoder", 0);
    }
    // One thread, so that a frame that cannot be decoded is known before the next one comes.
    c.jpegDecoder->thread_count = 1;
    if (const int error = avcodec_open2(c.jpegDecoder, codec, nullptr); error < 0) {
        return Fail("no JPEG decoder", error);
    }
    return true;
}

VideoWriter::Transcoded VideoWriter::TranscodeJpeg(const std::vector<uchar>& jpeg, cv::Mat* preview,
                                                   cv::Size previewSize) {
    Context& c = *m_context;
    if (!c.jpegDecoder && !OpenJpegDecoder()) {
        return Transcoded::WriteFailed;
    }
    if (av_new_packet(c.jpeg, static_cast<int>(jpeg.size())) < 0) {
        Fail("out of memory", 0);
        return Transcoded::WriteFailed;
    }
    std::memcpy(c.jpeg->data, jpeg.data(), jpeg.size());
    const int sent = avcodec_send_packet(c.jpegDecoder, c.jpeg);
    av_packet_unref(c.jpeg);
    if (sent < 0 || avcodec_receive_frame(c.jpegDecoder, c.decoded) < 0) {
        return Transcoded::NotDecodable;
    }
    const AVFrame& in = *c.decoded;
    if (preview) {
        *preview = ToBgr(in, previewSize);
    }
    const bool encoded =
        in.format == c.codec->pix_fmt && in.width == c.codec->width && in.height == c.codec->height
            ? Encode(c.decoded)  // the encoder keeps its own reference
            : ScaleAndEncode(in.data, in.linesize, {in.width, in.height}, in.format);
    av_frame_unref(c.decoded);
    return encoded ? Transcoded::Yes : Transcoded::WriteFailed;
}

cv::Mat VideoWriter::ToBgr(const AVFrame& picture, cv::Size size) {
    Context& c = *m_context;
    c.previewScale = sws_getCachedContext(
        c.previewScale, picture.width, picture.height, static_cast<AVPixelFormat>(picture.format),
        size.width, size.height, AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!c.previewScale) {
        return {};
    }
    cv::Mat bgr(size, CV_8UC3);
    uint8_t* target[] = {bgr.data};
    const int stride[] = {static_cast<int>(bgr.step[0])};
    sws_scale(c.previewScale, picture.data, picture.linesize, 0, picture.height, target, stride);
    return bgr;
}

bool VideoWriter::WriteImage(const cv::Mat& image) {
    if (image.type() != CV_8UC3 || image.empty()) {
        return Fail("not a colour image", 0);
    }
    const uint8_t* source[] = {image.data};
    const int stride[] = {static_cast<int>(image.step[0])};
    return ScaleAndEncode(source, stride, image.size(), AV_PIX_FMT_BGR24);
}

bool VideoWriter::ScaleAndEncode(const uint8_t* const planes[], const int strides[], cv::Size size,
                                 int format) {
    Context& c = *m_context;
    // The encoder may still hold the previous frame's pictures.
    if (const int error = av_frame_make_writable(c.frame); error < 0) {
        return Fail("out of memory", error);
    }
    c.scale = sws_getCachedContext(
        c.scale, size.width, size.height, static_cast<AVPixelFormat>(format), c.codec->width,
        c.codec->height, c.codec->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!c.scale) {
        return Fail("cannot convert the picture", 0);
    }
    sws_scale(c.scale, planes, strides, 0, size.height, c.frame->data, c.frame->linesize);
    return Encode(c.frame);
}

bool VideoWriter::Encode(AVFrame* frame) {
    Context& c = *m_context;
    frame->pts = c.nextPts++;
    // With a fixed quality scale the MPEG-family encoders take it from each picture.
    frame->quality = c.codec->global_quality;
    c.pending.push_back(nullptr);
    if (const int error = avcodec_send_frame(c.codec, frame); error < 0) {
        return Fail("the encoder failed", error);
    }
    return WriteEncodedPackets();
}

bool VideoWriter::WriteEncodedPackets() {
    Context& c = *m_context;
    for (;;) {
        const int received = avcodec_receive_packet(c.codec, c.packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return true;
        }
        if (received < 0 || c.pending.empty() || c.pending.front() != nullptr) {
            return Fail("the encoder failed", received);
        }
        c.pending.pop_front();
        if (!WriteInPresentationRuns(c.packet)) {
            return false;
        }
        // The copied JPEGs that were waiting for this frame follow it.
        while (!c.pending.empty() && c.pending.front() != nullptr) {
            AVPacket* copy = c.pending.front();
            c.pending.pop_front();
            const bool copied = WritePacket(copy);
            av_packet_free(&copy);
            if (!copied) {
                return false;
            }
        }
    }
}

bool VideoWriter::WriteInPresentationRuns(AVPacket* encoded) {
    Context& c = *m_context;
    AVPacket* packet = av_packet_alloc();
    if (!packet) {
        return Fail("out of memory", 0);
    }
    av_packet_move_ref(packet, encoded);
    c.lastHeldPts = std::max(c.lastHeldPts, packet->pts);
    c.held.push_back(packet);
    // A B-frame comes out after the later frame it refers to.
    if (c.lastHeldPts - c.framesInFile + 1 != static_cast<int64_t>(c.held.size())) {
        return true;
    }
    while (!c.held.empty()) {
        AVPacket* next = c.held.front();
        c.held.pop_front();
        const bool written = WritePacket(next);
        av_packet_free(&next);
        if (!written) {
            return false;
        }
    }
    return true;
}

bool VideoWriter::WritePacket(AVPacket* packet) {
    Context& c = *m_context;
    packet->stream_index = c.stream->index;
    // Each frame lasts one tick, the last one included: an MP4 gets its length from it.
    if (packet->duration <= 0) {
        packet->duration = 1;
    }
    av_packet_rescale_ts(packet, c.codec->time_base, c.stream->time_base);
    if (const int error = av_write_frame(c.format, packet); error < 0) {
        return Fail("cannot write the file", error);
    }
    ++c.framesInFile;
    return true;
}

bool VideoWriter::Finish() {
    Context& c = *m_context;
    if (const int error = avcodec_send_frame(c.codec, nullptr); error < 0) {
        return Fail("the encoder failed", error);
    }
    if (!WriteEncodedPackets()) {
        return false;
    }
    // Every frame given must be in the file by now; one still waiting would be lost unseen.
    if (!c.pending.empty() || !c.held.empty()) {
        return Fail("the encoder kept frames back", 0);
    }
    return Close();
}

bool VideoWriter::FinishAtOnce() {
    // The frames still in the encoder's look-ahead (and those waiting for them) are dropped with
    // it: draining them would take seconds of encoding.
    return Close();
}

int VideoWriter::FramesInFile() const {
    return m_context->framesInFile;
}

bool VideoWriter::Close() {
    Context& c = *m_context;
    if (const int error = av_write_trailer(c.format); error < 0) {
        return Fail("cannot write the file", error);
    }
    // A write that failed on the way (a full disk) is only remembered by the file's context.
    if (const int error = c.format->pb->error; error < 0) {
        return Fail("cannot write the file", error);
    }
    if (const int error = avio_closep(&c.format->pb); error < 0) {
        return Fail("cannot write the file", error);
    }
    return true;
}
