#include "video/VideoProbe.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>

#include "video/VideoWriter.h"

namespace {

struct CloseInput {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The demuxer of the kind of file the name asks for, so that a picture or a text named .mp4 is
// not read as some other format that happens to hold a frame; any demuxer for other names.
const AVInputFormat* DemuxerFor(const std::string& path) {
    const std::optional<Container> container = ContainerOf(path);
    if (!container) {
        return nullptr;
    }
    return av_find_input_format(*container == Container::Mp4 ? "mp4" : "avi");
}

}  // namespace

std::optional<int> VideoFrameCount(const std::string& path) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, FileUrl(path).c_str(), DemuxerFor(path), nullptr) < 0) {
        return std::nullopt;
    }
    const std::unique_ptr<AVFormatContext, CloseInput> format(opened);
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    // A stream without its codec is all that an MP4 cut inside its index shows.
    if (stream < 0 || format->streams[stream]->codecpar->codec_id == AV_CODEC_ID_NONE) {
        return std::nullopt;
    }
    const std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    int count = 0;
    int read = 0;
    while ((read = av_read_frame(format.get(), packet.get())) >= 0) {
        const bool whole = (packet->flags & AV_PKT_FLAG_CORRUPT) == 0;
        const bool ours = packet->stream_index == stream;
        av_packet_unref(packet.get());
        if (!whole) {
            return std::nullopt;
        }
        count += ours;
    }
    // A read error, rather than the end of the file, ended the loop.
    if (read != AVERROR_EOF) {
        return std::nullopt;
    }
    // An index that promises more frames than the file holds: the file was cut short.
    const int64_t promised = format->streams[stream]->nb_frames;
    if (promised > 0 && promised != count) {
        return std::nullopt;
    }
    return count;
}
