#include "pictures/PictureCodec.h"

#include <png.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>  // the decoding flags
#include <opencv2/imgproc.hpp>

#include "frames/JpegCodec.h"
#include "platform/ImageCodec.h"

namespace {

constexpr int kBlock = 8;
constexpr int kBlockSize = kBlock * kBlock;
constexpr double kCentre = 128;  // the level JPEG's samples are shifted by

// cos((2x + 1) u pi / 16) scaled as JPEG's inverse transform takes it, by [x][u].
std::array<std::array<float, kBlock>, kBlock> IdctTable() {
    std::array<std::array<float, kBlock>, kBlock> table{};
    for (int x = 0; x < kBlock; ++x) {
        for (int u = 0; u < kBlock; ++u) {
            const double scale = u == 0 ? std::numbers::sqrt2 / 4 : 0.5;
            table[x][u] =
                static_cast<float>(scale * std::cos((2 * x + 1) * u * std::numbers::pi / 16));
        }
    }
    return table;
}

// The samples of columns [fromX, toX] of one block from its quantized coefficients (natural
// order), as floats 0 to 255; only those columns are transformed.
void InverseTransform(const JCOEF* coefficients, const UINT16* quantization, int fromX, int toX,
                      std::array<float, kBlockSize>& samples) {
    static const auto kCos = IdctTable();
    std::array<float, kBlockSize> rows{};  // the transform along each row of frequencies
    for (int v = 0; v < kBlock; ++v) {
        for (int x = fromX; x <= toX; ++x) {
            float sum = 0;
            for (int u = 0; u < kBlock; ++u) {
                sum += kCos[x][u] * static_cast<float>(coefficients[v * kBlock + u] *
                                                       quantization[v * kBlock + u]);
            }
            rows[v * kBlock + x] = sum;
        }
    }
    for (int y = 0; y < kBlock; ++y) {
        for (int x = fromX; x <= toX; ++x) {
            float sum = 0;
            for (int v = 0; v < kBlock; ++v) {
                sum += kCos[y][v] * rows[v * kBlock + x];
            }
            samples[y * kBlock + x] = std::clamp(sum + static_cast<float>(kCentre), 0.0F, 255.0F);
        }
    }
}

// One component's samples under the strip: `columns` of its own columns, each of its rows.
struct ComponentStrip {
    int h = 1;  // its sampling factors
    int v = 1;
    int firstColumn = 0;  // in the component's samples
    int columns = 0;
    int rows = 0;
    std::vector<float> samples;  // rows x columns

    std::size_t Index(int row, int column) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
               static_cast<std::size_t>(column);
    }
};

// The mean luma of the eighth-size picture: each luma block's DC, as libjpeg scales it.
double DcMeanLuma(jpeg_decompress_struct& in, jvirt_barray_ptr luma) {
    const jpeg_component_info& component = in.comp_info[0];
    const UINT16 dcStep = component.quant_table->quantval[0];
    double sum = 0;
    for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
        const JBLOCKARRAY blocks =
            in.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&in), luma, row, 1, FALSE);
        for (JDIMENSION column = 0; column < component.width_in_blocks; ++column) {
            const int dc = (blocks[0][column][0] * dcStep + 4) >> 3;
            sum += std::clamp(dc + static_cast<int>(kCentre), 0, 255);
        }
    }
    return sum / (static_cast<double>(component.width_in_blocks) * component.height_in_blocks);
}

// Decodes the blocks of component `index` under the image columns [first, first + kStripColumns).
// `strip` is sized before any libjpeg call, so that an error's jump skips nothing with a
// destructor.
void DecodeComponentStrip(jpeg_decompress_struct& in, jvirt_barray_ptr coefficients, int index,
                          ComponentStrip& strip) {
    const jpeg_component_info& component = in.comp_info[index];
    const UINT16* quantization = component.quant_table->quantval;
    std::array<float, kBlockSize> block{};
    const int firstBlock = strip.firstColumn / kBlock;
    const int lastBlock = (strip.firstColumn + strip.columns - 1) / kBlock;
    for (int row = 0; row * kBlock < strip.rows; ++row) {
        const JBLOCKARRAY blocks =
            in.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&in), coefficients,
                                       static_cast<JDIMENSION>(row), 1, FALSE);
        for (int column = firstBlock; column <= lastBlock; ++column) {
            const int fromX = std::max(0, strip.firstColumn - column * kBlock);
            const int toX =
                std::min(kBlock - 1, strip.firstColumn + strip.columns - 1 - column * kBlock);
            InverseTransform(blocks[0][column], quantization, fromX, toX, block);
            for (int x = 0; x < strip.columns; ++x) {
                const int inBlock = strip.firstColumn + x - column * kBlock;
                if (inBlock < 0 || inBlock >= kBlock) {
                    continue;
                }
                for (int y = 0; y < kBlock && row * kBlock + y < strip.rows; ++y) {
                    strip.samples[strip.Index(row * kBlock + y, x)] = block[y * kBlock + inBlock];
                }
            }
        }
    }
}

// The sample of `strip` under image pixel (x, y), of the largest sampling factors `maxH`, `maxV`.
float SampleAt(const ComponentStrip& strip, int x, int y, int maxH, int maxV) {
    const int column = std::clamp(x * strip.h / maxH - strip.firstColumn, 0, strip.columns - 1);
    const int row = std::min(y * strip.v / maxV, strip.rows - 1);
    return strip.samples[strip.Index(row, column)];
}

// The strip of any picture, decoded whole.
CentreStrip WholeDecodeStrip(const std::vector<uchar>& bytes) {
    CentreStrip strip{JudgeFrame(bytes), {}};
    if (strip.verdict.Unreadable()) {
        return strip;
    }
    const cv::Mat picture = DecodeImage(bytes, cv::IMREAD_COLOR);
    if (picture.empty()) {
        strip.verdict = DamagedFrame("cannot be decoded");
        return strip;
    }
    const int width = std::min(kStripColumns, picture.cols);
    cv::reduce(picture.colRange(picture.cols / 2 - width / 2, picture.cols / 2 - width / 2 + width),
               strip.column, 1, cv::REDUCE_AVG);
    return strip;
}

// Whether the centre strip can be had from the coefficients: luma and chroma, or grey.
bool StripFromCoefficients(const jpeg_decompress_struct& in) {
    return (in.jpeg_color_space == JCS_YCbCr && in.num_components == 3) ||
           (in.jpeg_color_space == JCS_GRAYSCALE && in.num_components == 1);
}

// What a JPEG's header says, in memory, where libjpeg's jump leaves it as it was.
struct StripHeader {
    bool whole = false;  // decoded whole: not luma and chroma, nor grey
    int width = 0;
    int height = 0;
    int maxH = 1;
    int maxV = 1;
    int components = 0;
    double meanLuma = 0;
};

// Sizes the strip of each component of `in`, whose header is read, under the centre columns.
void SizeStrips(const jpeg_decompress_struct& in, StripHeader& header,
                std::array<ComponentStrip, 3>& components) {
    header.maxH = in.max_h_samp_factor;
    header.maxV = in.max_v_samp_factor;
    header.components = in.num_components;
    const int first = std::max(0, header.width / 2 - kStripColumns / 2);
    for (int c = 0; c < in.num_components; ++c) {
        ComponentStrip& part = components[static_cast<std::size_t>(c)];
        part.h = in.comp_info[c].h_samp_factor;
        part.v = in.comp_info[c].v_samp_factor;
        part.firstColumn = first * part.h / header.maxH;
        part.columns = (std::min(header.width, first + kStripColumns) - 1) * part.h / header.maxH -
                       part.firstColumn + 1;
        part.rows = (header.height * part.v + header.maxV - 1) / header.maxV;
        part.samples.resize(static_cast<std::size_t>(part.rows) *
                            static_cast<std::size_t>(part.columns));
    }
}

// The strip's column, BGR, from the components' samples.
cv::Mat StripColumn(const StripHeader& header, const std::array<ComponentStrip, 3>& components) {
    cv::Mat column(header.height, 1, CV_8UC3);
    const bool grey = header.components == 1;
    const int first = std::max(0, header.width / 2 - kStripColumns / 2);
    const int last = std::min(header.width, first + kStripColumns);
    for (int y = 0; y < header.height; ++y) {
        double blue = 0;
        double green = 0;
        double red = 0;
        for (int x = first; x < last; ++x) {
            const double luma = SampleAt(components[0], x, y, header.maxH, header.maxV);
            if (grey) {
                blue += luma;
                green += luma;
                red += luma;
                continue;
            }
            const double cb = SampleAt(components[1], x, y, header.maxH, header.maxV) - kCentre;
            const double cr = SampleAt(components[2], x, y, header.maxH, header.maxV) - kCentre;
            red += luma + 1.402 * cr;
            green += luma - 0.344136 * cb - 0.714136 * cr;
            blue += luma + 1.772 * cb;
        }
        const double columns = last - first;
        column.at<cv::Vec3b>(y, 0) = cv::Vec3b(cv::saturate_cast<uchar>(blue / columns),
                                               cv::saturate_cast<uchar>(green / columns),
                                               cv::saturate_cast<uchar>(red / columns));
    }
    return column;
}

}  // namespace

CentreStrip DecodeCentreStrip(const std::vector<uchar>& bytes) {
    if (!LooksLikeJpeg(bytes)) {
        return WholeDecodeStrip(bytes);
    }
    std::array<ComponentStrip, 3> components;
    JpegDecompression decompression(bytes);
    jpeg_decompress_struct& in = decompression.In();
    StripHeader header;
    bool ran = decompression.Run([&] {
        jpeg_read_header(&in, TRUE);
        header.width = static_cast<int>(in.image_width);
        header.height = static_cast<int>(in.image_height);
        header.whole = !StripFromCoefficients(in);
    });
    if (ran) {
        if (std::optional<FrameVerdict> tooLarge =
                DeclaredSizeVerdict(in.image_width, in.image_height)) {
            return {*tooLarge, {}};
        }
        if (header.whole) {
            return WholeDecodeStrip(bytes);
        }
        // Sized between the two stretches of libjpeg's work, where no jump can skip them.
        SizeStrips(in, header, components);
        ran = decompression.Run([&] {
            jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
            header.meanLuma = DcMeanLuma(in, coefficients[0]);
            for (int c = 0; c < in.num_components; ++c) {
                DecodeComponentStrip(in, coefficients[c], c,
                                     components[static_cast<std::size_t>(c)]);
            }
            jpeg_finish_decompress(&in);
        });
    }
    if (std::optional<FrameVerdict> damage = decompression.Damage(ran)) {
        return {*damage, {}};
    }
    return {VerdictOfLuma(header.meanLuma), StripColumn(header, components)};
}

cv::Mat DecodeReduced(const std::vector<uchar>& bytes, int scale) {
    if (!LooksLikeJpeg(bytes)) {
        const int flags = scale == 8   ? cv::IMREAD_REDUCED_COLOR_8
                          : scale == 4 ? cv::IMREAD_REDUCED_COLOR_4
                          : scale == 2 ? cv::IMREAD_REDUCED_COLOR_2
                                       : cv::IMREAD_COLOR;
        return DecodeImage(bytes, flags);
    }
    JpegDecompression decompression(bytes);
    jpeg_decompress_struct& in = decompression.In();
    bool decodable = false;
    bool ran = decompression.Run([&] {
        jpeg_read_header(&in, TRUE);
        decodable = in.jpeg_color_space == JCS_YCbCr || in.jpeg_color_space == JCS_GRAYSCALE ||
                    in.jpeg_color_space == JCS_RGB;
        in.scale_num = 1;
        in.scale_denom = static_cast<unsigned>(scale);
        in.out_color_space = JCS_EXT_BGR;
        jpeg_calc_output_dimensions(&in);
    });
    if (ran && DeclaredSizeVerdict(in.image_width, in.image_height)) {
        return {};
    }
    cv::Mat picture;
    if (ran && decodable) {
        ran = decompression.DecodeInto(picture);
    }
    if (decompression.Damage(ran)) {
        return {};
    }
    if (!decodable) {  // CMYK and the like, which OpenCV converts
        const cv::Mat whole = DecodeImage(bytes, cv::IMREAD_COLOR);
        if (whole.empty()) {
            return {};
        }
        cv::resize(whole, picture,
                   cv::Size((whole.cols + scale - 1) / scale, (whole.rows + scale - 1) / scale), 0,
                   0, cv::INTER_AREA);
    }
    return picture;
}

int LargestSide(const std::string& path) {
    return path.ends_with(".png") ? kLargestPngSide : kLargestJpegSide;
}

// One format's encoder onto a stream. Each step is false when the library failed, errno then
// telling why when it was the stream's write.
class PictureFile::Encoder {
public:
    virtual ~Encoder() = default;
    virtual bool Start(std::FILE* stream, cv::Size size) = 0;
    virtual bool Add(const cv::Mat& rows) = 0;
    virtual bool Finish() = 0;
};

namespace {

constexpr int kJpegQuality = 90;

// libjpeg's errors come back to each step's Run (JpegCodec.h).
class JpegEncoder final : public PictureFile::Encoder {
public:
    bool Start(std::FILE* stream, cv::Size size) override {
        return m_compression.Run([&] {
            jpeg_compress_struct& out = m_compression.Out();
            jpeg_stdio_dest(&out, stream);
            m_compression.StartBgr(size, kJpegQuality);
        });
    }

    bool Add(const cv::Mat& rows) override {
        return m_compression.Run([&] { m_compression.WriteRows(rows); });
    }

    bool Finish() override {
        return m_compression.Run([&] { jpeg_finish_compress(&m_compression.Out()); });
    }

private:
    JpegCompression m_compression;
};

// libpng's errors come back here by longjmp, as libjpeg's do; its messages are never printed.
class PngEncoder final : public PictureFile::Encoder {
public:
    PngEncoder()
        : m_png(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning)),
          m_info(m_png != nullptr ? png_create_info_struct(m_png) : nullptr) {}
    ~PngEncoder() override { png_destroy_write_struct(&m_png, &m_info); }
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    bool Start(std::FILE* stream, cv::Size size) override {
        if (m_info == nullptr) {
            errno = ENOMEM;
            return false;
        }
        if (setjmp(png_jmpbuf(m_png)) != 0) {
            return false;
        }
        png_init_io(m_png, stream);
        png_set_IHDR(m_png, m_info, static_cast<png_uint_32>(size.width),
                     static_cast<png_uint_32>(size.height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // Quick rather than small, as OpenCV writes a PNG unless told otherwise.
        png_set_filter(m_png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_level(m_png, Z_BEST_SPEED);
        png_set_compression_strategy(m_png, Z_RLE);
        png_write_info(m_png, m_info);
        png_set_bgr(m_png);
        return true;
    }

    bool Add(const cv::Mat& rows) override {
        if (setjmp(png_jmpbuf(m_png)) != 0) {
            return false;
        }
        for (int y = 0; y < rows.rows; ++y) {
            png_write_row(m_png, rows.ptr(y));
        }
        return true;
    }

    bool Finish() override {
        if (setjmp(png_jmpbuf(m_png)) != 0) {
            return false;
        }
        png_write_end(m_png, nullptr);
        return true;
    }

private:
    [[noreturn]] static void OnError(png_structp png, png_const_charp /*message*/) {
        png_longjmp(png, 1);
    }
    static void OnWarning(png_structp /*png*/, png_const_charp /*message*/) {}

    png_structp m_png;
    png_infop m_info;
};

}  // namespace

PictureFile::PictureFile() = default;

PictureFile::~PictureFile() {
    m_encoder.reset();
    if (m_stream != nullptr) {
        std::fclose(m_stream);  // the temporary file goes with m_file
    }
}

int PictureFile::Failed() {
    m_error = errno != 0 ? errno : EIO;
    m_encoder.reset();
    if (m_stream != nullptr) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    return m_error;
}

int PictureFile::Start(const std::string& path, cv::Size size) {
    if (std::max(size.width, size.height) > LargestSide(path)) {
        return m_error = EFBIG;
    }
    if (!m_file.Create(path)) {
        return Failed();
    }
    const int fd = ::dup(m_file.Fd());
    m_stream = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (m_stream == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return Failed();
    }
    if (path.ends_with(".png")) {
        m_encoder = std::make_unique<PngEncoder>();
    } else {
        m_encoder = std::make_unique<JpegEncoder>();
    }
    errno = 0;
    return m_encoder->Start(m_stream, size) ? 0 : Failed();
}

int PictureFile::Add(const cv::Mat& rows) {
    if (m_error != 0) {
        return m_error;
    }
    errno = 0;
    return m_encoder->Add(rows) ? 0 : Failed();
}

int PictureFile::Finish() {
    if (m_error != 0) {
        return m_error;
    }
    errno = 0;
    if (!m_encoder->Finish() || std::fflush(m_stream) != 0) {
        return Failed();
    }
    m_encoder.reset();
    const int closed = std::fclose(m_stream);
    m_stream = nullptr;
    if (closed != 0) {
        return Failed();
    }
    return m_file.Commit();
}
