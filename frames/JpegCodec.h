#pragma once

#include <csetjmp>
#include <cstdio>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

#include "frames/FrameVerdict.h"

// Whether `bytes` start as a JPEG does (a start-of-image marker).
inline bool LooksLikeJpeg(const std::vector<uchar>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

// libjpeg's errors in the program's own codecs: an error comes back by longjmp to the Run that
// called libjpeg; a warning is counted and the first one kept, never printed (libjpeg's lines
// would stand unprefixed among the program's).
class JpegErrors {
public:
    JpegErrors();
    JpegErrors(const JpegErrors&) = delete;
    JpegErrors& operator=(const JpegErrors&) = delete;

    // What a libjpeg object's `err` takes.
    jpeg_error_mgr* Manager() { return &m_manager; }

    // Calls `steps`, which call libjpeg: true when they ended, false when libjpeg failed in them.
    // Nothing in `steps` may own an object with a destructor while libjpeg runs, for a failure
    // jumps past it; what they find goes into the caller's variables, which stay in memory.
    template <class Steps>
    bool Run(const Steps& steps) {
        if (setjmp(m_jump) != 0) {
            return false;
        }
        steps();
        return true;
    }

    int Warnings() const { return static_cast<int>(m_manager.num_warnings); }
    // What the first warning says about the picture: its data lost (cut short, or damaged as
    // "corrupt picture data"), or nothing that harms it (an unknown JFIF version, a bad
    // thumbnail).
    std::optional<FrameVerdict> WarningVerdict() const;

private:
    [[noreturn]] static void OnError(j_common_ptr info);
    static void OnMessage(j_common_ptr info, int level);

    jpeg_error_mgr m_manager;  // first: libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf m_jump;
    int m_firstWarning = -1;  // libjpeg's message code
};

// One decompression of the JPEG in `bytes` (which outlives it) from memory, destroyed with it.
class JpegDecompression {
public:
    explicit JpegDecompression(const std::vector<uchar>& bytes);
    ~JpegDecompression();
    JpegDecompression(const JpegDecompression&) = delete;
    JpegDecompression& operator=(const JpegDecompression&) = delete;

    jpeg_decompress_struct& In() { return m_in; }
    JpegErrors& Errors() { return m_errors; }

    // As JpegErrors::Run; false too when libjpeg could not even start.
    template <class Steps>
    bool Run(const Steps& steps) {
        return m_started && m_errors.Run(steps);
    }

    // The second stretch of a decode, once the first has read the header and set the output (its
    // size computed): `picture` made at that size, three channels, and every scanline read into
    // it. As Run, false when libjpeg jumped out.
    bool DecodeInto(cv::Mat& picture);

    // What its decode found so far, `ran` telling whether the last Run ended: "cannot be
    // decoded" when it failed, what its warnings tell, or nothing.
    std::optional<FrameVerdict> Damage(bool ran) const;

private:
    JpegErrors m_errors;
    jpeg_decompress_struct m_in{};
    bool m_started = false;
};

// One compression, whose destination the caller sets in a Run, destroyed with it.
class JpegCompression {
public:
    JpegCompression();
    ~JpegCompression();
    JpegCompression(const JpegCompression&) = delete;
    JpegCompression& operator=(const JpegCompression&) = delete;

    jpeg_compress_struct& Out() { return m_out; }

    template <class Steps>
    bool Run(const Steps& steps) {
        return m_started && m_errors.Run(steps);
    }

    // Steps of a Run, once the destination is set: a picture of `size` in three channels, BGR,
    // at `quality`, started; then its rows, top to bottom, as scanlines (libjpeg only reads them).
    void StartBgr(cv::Size size, int quality);
    void WriteRows(const cv::Mat& rows);

private:
    JpegErrors m_errors;
    jpeg_compress_struct m_out{};
    bool m_started = false;
};
