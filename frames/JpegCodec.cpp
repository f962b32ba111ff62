#include "frames/JpegCodec.h"

#include <type_traits>

// After <jpeglib.h>: its message codes.
#include <jerror.h>

static_assert(std::is_standard_layout_v<JpegErrors>, "libjpeg's pointer must lead to the whole");

JpegErrors::JpegErrors() {
    jpeg_std_error(&m_manager);
    m_manager.error_exit = OnError;
    m_manager.emit_message = OnMessage;
}

void JpegErrors::OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->m_jump, 1);
}

void JpegErrors::OnMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0 && errors->m_manager.num_warnings++ == 0) {
        errors->m_firstWarning = errors->m_manager.msg_code;
    }
}

std::optional<FrameVerdict> JpegErrors::WarningVerdict() const {
    if (m_manager.num_warnings == 0) {
        return std::nullopt;
    }
    switch (m_firstWarning) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
            return BadFrame(FrameFault::CutShort);
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION:
            return DamagedFrame("corrupt picture data");
        default:
            return std::nullopt;
    }
}

JpegDecompression::JpegDecompression(const std::vector<uchar>& bytes) {
    m_in.err = m_errors.Manager();
    m_started = m_errors.Run([&] {
        jpeg_create_decompress(&m_in);
        jpeg_mem_src(&m_in, bytes.data(), static_cast<unsigned long>(bytes.size()));
    });
}

JpegDecompression::~JpegDecompression() {
    jpeg_destroy_decompress(&m_in);  // also of one that failed to start: it frees what is there
}

void JpegCompression::StartBgr(cv::Size size, int quality) {
    m_out.image_width = static_cast<JDIMENSION>(size.width);
    m_out.image_height = static_cast<JDIMENSION>(size.height);
    m_out.input_components = 3;
    m_out.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&m_out);
    jpeg_set_quality(&m_out, quality, TRUE);
    jpeg_start_compress(&m_out, TRUE);
}

void JpegCompression::WriteRows(const cv::Mat& rows) {
    for (int y = 0; y < rows.rows; ++y) {
        auto* row = const_cast<JSAMPROW>(rows.ptr(y));
        jpeg_write_scanlines(&m_out, &row, 1);
    }
}

bool JpegDecompression::DecodeInto(cv::Mat& picture) {
    // Made between the two stretches of libjpeg's work, where no jump can skip it.
    picture.create(static_cast<int>(m_in.output_height), static_cast<int>(m_in.output_width),
                   CV_8UC3);
    return Run([&] {
        jpeg_start_decompress(&m_in);
        while (m_in.output_scanline < m_in.output_height) {
            JSAMPROW row = picture.ptr(static_cast<int>(m_in.output_scanline));
            jpeg_read_scanlines(&m_in, &row, 1);
        }
        jpeg_finish_decompress(&m_in);
    });
}

std::optional<FrameVerdict> JpegDecompression::Damage(bool ran) const {
    if (!ran) {
        return DamagedFrame("cannot be decoded");
    }
    return m_errors.WarningVerdict();
}

JpegCompression::JpegCompression() {
    m_out.err = m_errors.Manager();
    m_started = m_errors.Run([&] { jpeg_create_compress(&m_out); });
}

JpegCompression::~JpegCompression() {
    jpeg_destroy_compress(&m_out);
}
