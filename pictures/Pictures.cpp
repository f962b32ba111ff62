#include "pictures/Pictures.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>

#include "frames/FrameFile.h"
#include "frames/FrameVerdict.h"
#include "pictures/PictureCodec.h"
#include "pictures/PictureSlots.h"
#include "platform/Numbers.h"
#include "platform/OrderedWork.h"
#include "platform/ThreadBudget.h"

namespace {

constexpr int kTallestKeogram = 1080;
// A JPEG's sides end at 65,535: a season of minute frames is drawn with wider slots.
constexpr int kWidestKeogram = 16384;
constexpr int kMostTiles = 1000;
constexpr int kSheetScale = 4;    // a 1080p frame decoded at 480 pixels across for a 320 tile
constexpr int kMeasureScale = 8;  // the dark test's means
constexpr int kAxisHeight = 28;
constexpr int kLabelHeight = 24;
constexpr int kMargin = 8;
constexpr int kLabelGap = 6;
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kAxisFontScale = 0.4;
constexpr double kLabelFontScale = 0.5;
constexpr double kNoFrameFontScale = 0.7;
const cv::Scalar kBackground(24, 24, 24);
const cv::Scalar kMidGrey(128, 128, 128);
const cv::Scalar kText(235, 235, 235);

// The frames in the order they were taken, and their times.
struct Timeline {
    std::vector<TimedFrame> frames;
    std::vector<std::int64_t> times;
};

Timeline InTimeOrder(std::vector<TimedFrame> frames) {
    std::stable_sort(frames.begin(), frames.end(), [](const TimedFrame& a, const TimedFrame& b) {
        return a.time.ms < b.time.ms;
    });
    Timeline line;
    for (const TimedFrame& frame : frames) {
        line.times.push_back(frame.time.ms);
    }
    line.frames = std::move(frames);
    return line;
}

// Reads and judges frame `index` of `line` as every frame is judged (FrameVerdict.h), `decode`
// giving its picture and the verdict of that picture: the verdict, and the picture of a good
// frame.
template <class Decode>
FrameVerdict ReadForPicture(const std::string& frameDir, const Timeline& line, int index,
                            std::vector<uchar>& bytes, const Decode& decode, cv::Mat& picture) {
    const auto path = [&](int i) {
        return FramePath(frameDir, line.frames[static_cast<std::size_t>(i)].number);
    };
    FrameVerdict verdict = ReadFrame(path(index), bytes);
    if (!verdict.Good()) {
        return verdict;
    }
    picture = decode(bytes, verdict);
    return WithRepeat(std::move(verdict), index > 0 ? path(index - 1) : std::string(), bytes);
}

// The verdict of a frame whose reduced decode failed: what JudgeFrame finds wrong, or damaged.
FrameVerdict FailedDecode(const std::vector<uchar>& bytes) {
    FrameVerdict verdict = JudgeFrame(bytes);
    return verdict.Unreadable() ? verdict : DamagedFrame("cannot be decoded");
}

// The good frame a slot shows, and the frames tried before it.
struct SlotPick {
    cv::Mat picture;
    int index = -1;  // in the timeline
    std::vector<std::string> leftOut;
};

// Tries `candidates` of `line` in turn until one is good (ReadForPicture).
template <class Decode>
SlotPick PickFrame(const std::string& frameDir, const Timeline& line,
                   const std::vector<int>& candidates, const Decode& decode) {
    SlotPick pick;
    std::vector<uchar> bytes;
    for (const int index : candidates) {
        cv::Mat picture;
        const FrameVerdict verdict = ReadForPicture(frameDir, line, index, bytes, decode, picture);
        if (verdict.Good()) {
            pick.picture = std::move(picture);
            pick.index = index;
            return pick;
        }
        pick.leftOut.emplace_back(FaultWord(*verdict.fault));
    }
    return pick;
}

void Count(MadePicture& made, const std::vector<std::string>& reasons) {
    for (const std::string& reason : reasons) {
        ++made.leftOut[reason];
    }
}

int TextWidth(const std::string& text, double scale) {
    int baseline = 0;
    return cv::getTextSize(text, kFont, scale, 1, &baseline).width;
}

void DrawText(cv::Mat& image, const std::string& text, cv::Point origin, double scale) {
    cv::putText(image, text, origin, kFont, scale, kText, 1, cv::LINE_AA);
}

// The hour ticks and dates under a keogram's `slotCount` columns, from row `top`.
void DrawTimeAxis(cv::Mat& image, int top, std::int64_t first, std::int64_t interval,
                  int slotCount) {
    const auto widthOf = [](const std::string& label) {
        return TextWidth(label, kAxisFontScale) + kLabelGap;
    };
    for (const TimeTick& tick : HourTicks(first, interval, slotCount, widthOf)) {
        const int length = tick.midnight ? kAxisHeight / 2 : kAxisHeight / 5;
        cv::line(image, {tick.x, top}, {tick.x, top + length}, kText);
        if (tick.labelled) {
            DrawText(image, tick.label, {tick.x + 2, top + kAxisHeight - 6}, kAxisFontScale);
        }
    }
}

// The slot each frame of `line` is nearest, and the frames of each slot, nearest its time first.
std::vector<std::vector<int>> FramesBySlot(const Timeline& line, std::int64_t interval,
                                           int slotCount) {
    std::vector<std::vector<int>> bySlot(static_cast<std::size_t>(slotCount));
    const std::int64_t first = line.times.front();
    for (int i = 0; i < static_cast<int>(line.times.size()); ++i) {
        bySlot[static_cast<std::size_t>(SlotOf(line.times[i], first, interval))].push_back(i);
    }
    for (int slot = 0; slot < slotCount; ++slot) {
        const std::int64_t time = first + interval * slot;
        std::stable_sort(bySlot[slot].begin(), bySlot[slot].end(), [&](int a, int b) {
            return std::llabs(line.times[a] - time) < std::llabs(line.times[b] - time);
        });
    }
    return bySlot;
}

// Fills the columns of the slotCount without a frame from their neighbours, or mid-grey.
void FillGaps(cv::Mat& columns, const std::vector<bool>& filled) {
    const std::vector<ColumnSource> sources = KeogramColumns(filled);
    for (int slot = 0; slot < columns.cols; ++slot) {
        const ColumnSource& source = sources[static_cast<std::size_t>(slot)];
        if (filled[slot]) {
            continue;
        }
        cv::Mat column = columns.col(slot);
        if (source.left < 0) {
            column.setTo(kMidGrey);
        } else if (source.right < 0) {
            columns.col(source.left).copyTo(column);
        } else {
            cv::addWeighted(columns.col(source.left), 1 - source.weight, columns.col(source.right),
                            source.weight, 0, column);
        }
    }
}

std::string LocalTime(std::int64_t ms, bool withDate) {
    return QDateTime::fromMSecsSinceEpoch(ms)
        .toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm") : QStringLiteral("HH:mm"))
        .toStdString();
}

// Draws one tile of a contact sheet at `corner`: the frame and its time, or "no frame".
void DrawTile(cv::Mat& sheet, cv::Point corner, cv::Size tile, const cv::Mat& picture,
              const std::string& label) {
    cv::Mat place = sheet(cv::Rect(corner, tile));
    if (picture.empty()) {
        place.setTo(kMidGrey);
        const std::string text = "no frame";
        DrawText(sheet, text,
                 {corner.x + (tile.width - TextWidth(text, kNoFrameFontScale)) / 2,
                  corner.y + tile.height / 2},
                 kNoFrameFontScale);
    } else {
        cv::resize(picture, place, tile, 0, 0, cv::INTER_AREA);
    }
    DrawText(sheet, label,
             {corner.x + (tile.width - TextWidth(label, kLabelFontScale)) / 2,
              corner.y + tile.height + kLabelHeight - 7},
             kLabelFontScale);
}

// A picture gathered whole from its bands.
class WholePicture final : public PictureSink {
public:
    bool Begin(cv::Size size) override {
        image.create(size, CV_8UC3);
        return true;
    }
    bool Add(const cv::Mat& band) override {
        band.copyTo(image.rowRange(m_filled, m_filled + band.rows));
        m_filled += band.rows;
        return true;
    }

    cv::Mat image;

private:
    int m_filled = 0;
};

}  // namespace

MadePicture MakeKeogram(const std::string& frameDir, const std::vector<TimedFrame>& frames) {
    MadePicture made;
    if (frames.empty()) {
        return made;
    }
    const Timeline line = InTimeOrder(frames);
    const std::int64_t first = line.times.front();
    const std::int64_t span = line.times.back() - first;
    std::int64_t interval = MedianInterval(line.times);
    if (span / interval + 1 > kWidestKeogram) {
        interval = span / (kWidestKeogram - 1) + 1;
    }
    const int slotCount = SlotOf(line.times.back(), first, interval) + 1;
    const std::vector<std::vector<int>> bySlot = FramesBySlot(line, interval, slotCount);
    const auto strip = [](const std::vector<uchar>& bytes, FrameVerdict& verdict) {
        CentreStrip decoded = DecodeCentreStrip(bytes);
        verdict = decoded.verdict;
        return decoded.column;
    };
    OrderedWork<SlotPick> picks(
        slotCount,
        [&](int slot) {
            return PickFrame(frameDir, line, bySlot[static_cast<std::size_t>(slot)], strip);
        },
        DecodeThreads(), 4 * DecodeThreads());
    cv::Mat columns;
    std::vector<bool> filled(static_cast<std::size_t>(slotCount));
    for (int slot = 0; slot < slotCount; ++slot) {
        const SlotPick pick = *picks.Take();
        Count(made, pick.leftOut);
        if (pick.picture.empty()) {
            continue;
        }
        if (columns.empty()) {
            columns.create(std::min(pick.picture.rows, kTallestKeogram), slotCount, CV_8UC3);
        }
        cv::Mat column = columns.col(slot);
        cv::resize(pick.picture, column, cv::Size(1, columns.rows), 0, 0, cv::INTER_AREA);
        filled[static_cast<std::size_t>(slot)] = true;
        ++made.framesUsed;
    }
    if (made.framesUsed == 0) {
        return made;
    }
    FillGaps(columns, filled);
    made.image.create(columns.rows + kAxisHeight, slotCount, CV_8UC3);
    made.image.setTo(kBackground);
    columns.copyTo(made.image.rowRange(0, columns.rows));
    DrawTimeAxis(made.image, columns.rows, first, interval, slotCount);
    return made;
}

namespace {

// A frame as star trails measure it: why it is left out, or its mean and share of bright pixels.
struct StarMeasure {
    std::optional<std::string> reason;
    double mean = 0;
    double brightShare = 0;
};

std::vector<StarMeasure> MeasureForStarTrails(const std::string& frameDir, const Timeline& line) {
    std::vector<StarMeasure> measured;
    OrderedWork<StarMeasure> work(
        static_cast<int>(line.frames.size()),
        [&](int index) {
            StarMeasure frame;
            std::vector<uchar> bytes;
            cv::Mat reduced;
            // Dark frames are what star trails want: only damage and repeats leave one out.
            const FrameVerdict verdict = ReadForPicture(
                frameDir, line, index, bytes,
                [](const std::vector<uchar>& read, FrameVerdict& judged) {
                    cv::Mat picture = DecodeReduced(read, kMeasureScale);
                    if (picture.empty()) {
                        judged = FailedDecode(read);
                    }
                    return picture;
                },
                reduced);
            if (!verdict.Good()) {
                frame.reason = FaultWord(*verdict.fault);
                return frame;
            }
            cv::Mat grey;
            cv::cvtColor(reduced, grey, cv::COLOR_BGR2GRAY);
            frame.mean = cv::mean(grey)[0];
            frame.brightShare =
                cv::countNonZero(grey > kBrightPixel) / static_cast<double>(grey.total());
            return frame;
        },
        DecodeThreads(), 4 * DecodeThreads());
    while (std::optional<StarMeasure> frame = work.Take()) {
        measured.push_back(std::move(*frame));
    }
    return measured;
}

// The indices of the night's frames dark enough to stack, each other frame counted in `made` by
// why it is left out; the darkest alone (named in `made`) when none is dark enough.
std::vector<int> ChooseDarkFrames(const std::vector<StarMeasure>& measured, const Timeline& line,
                                  MadePicture& made) {
    std::vector<double> means;
    for (const StarMeasure& frame : measured) {
        if (!frame.reason) {
            means.push_back(frame.mean);
        }
    }
    const double limit = DarkLimit(means);
    std::vector<int> dark;
    int darkest = -1;
    for (int i = 0; i < static_cast<int>(measured.size()); ++i) {
        const StarMeasure& frame = measured[static_cast<std::size_t>(i)];
        if (frame.reason) {
            ++made.leftOut[*frame.reason];
            continue;
        }
        if (darkest < 0 || frame.mean < measured[static_cast<std::size_t>(darkest)].mean) {
            darkest = i;
        }
        if (frame.mean > limit) {
            ++made.leftOut["too bright"];
        } else if (frame.brightShare > kMostBrightShare) {
            ++made.leftOut["with too many bright pixels"];
        } else {
            dark.push_back(i);
        }
    }
    if (dark.empty() && darkest >= 0) {
        made.darkestFrame = FrameFileName(line.frames[static_cast<std::size_t>(darkest)].number);
        dark.push_back(darkest);
    }
    return dark;
}

}  // namespace

MadePicture MakeStarTrails(const std::string& frameDir, const std::vector<TimedFrame>& frames) {
    MadePicture made;
    const Timeline line = InTimeOrder(frames);
    const std::vector<int> dark =
        ChooseDarkFrames(MeasureForStarTrails(frameDir, line), line, made);
    OrderedWork<cv::Mat> work(
        static_cast<int>(dark.size()),
        [&](int i) {
            const int number = line.frames[static_cast<std::size_t>(dark[i])].number;
            std::vector<uchar> bytes;
            return ReadFrameBytes(FramePath(frameDir, number), bytes) ? DecodeReduced(bytes, 1)
                                                                      : cv::Mat();
        },
        DecodeThreads(), DecodeThreads());
    while (std::optional<cv::Mat> picture = work.Take()) {
        if (picture->empty()) {
            ++made.leftOut[FaultWord(FrameFault::Damaged)];
        } else if (made.image.empty()) {
            made.image = std::move(*picture);
            made.framesUsed = 1;
        } else if (picture->size() != made.image.size()) {
            ++made.leftOut["of another size"];
        } else {
            cv::max(made.image, *picture, made.image);
            ++made.framesUsed;
        }
    }
    if (!made.darkestFrame.empty()) {
        made.framesUsed = 0;
    }
    return made;
}

namespace {

// A sheet's tile decoded small, judged by JudgeFrame's own measure, so that a sheet leaves out
// what a video leaves out.
cv::Mat ReducedForSheet(const std::vector<uchar>& bytes, FrameVerdict& verdict) {
    verdict = JudgeFrame(bytes);
    cv::Mat picture = verdict.Good() ? DecodeReduced(bytes, kSheetScale) : cv::Mat();
    if (verdict.Good() && picture.empty()) {
        verdict = FailedDecode(bytes);
    }
    return picture;
}

// Begins a sheet `width` across of `rows` bands: the first tile's picture gives every tile its
// shape (4:3 without one), and `band` is made for a row of tiles with their times and margin.
// False when the sink refuses.
bool BeginSheet(const cv::Mat& first, int width, int rows, PictureSink& sink, cv::Size& tile,
                cv::Mat& band) {
    const double aspect = first.empty() ? 0.75 : static_cast<double>(first.rows) / first.cols;
    tile = {kTileWidth, std::max(1, static_cast<int>(std::lround(kTileWidth * aspect)))};
    band.create(tile.height + kLabelHeight + kMargin, width, CV_8UC3);
    return sink.Begin({width, kMargin + rows * band.rows}) &&
           sink.Add(cv::Mat(kMargin, width, CV_8UC3, kBackground));
}

}  // namespace

MadePicture DrawContactSheet(const std::string& frameDir, const std::vector<TimedFrame>& frames,
                             int tiles, int columns, PictureSink& sink) {
    MadePicture made;
    if (frames.empty()) {
        return made;
    }
    const Timeline line = InTimeOrder(frames);
    const std::int64_t first = line.times.front();
    const std::int64_t last = line.times.back();
    std::vector<TimeSlot> sheetSlots = SheetSlots(first, last, tiles);
    if (sheetSlots.size() > kMostTiles) {
        sheetSlots = SheetSlots(first, last, kMostTiles);
    }
    const int count = static_cast<int>(sheetSlots.size());
    OrderedWork<SlotPick> picks(
        count,
        [&](int slot) {
            return PickFrame(
                frameDir, line,
                NearestToMiddle(line.times, sheetSlots[static_cast<std::size_t>(slot)]),
                ReducedForSheet);
        },
        DecodeThreads(), 2 * DecodeThreads());
    const bool withDate =
        QDateTime::fromMSecsSinceEpoch(first).date() != QDateTime::fromMSecsSinceEpoch(last).date();
    columns = std::clamp(columns, 1, count);
    const int rows = (count + columns - 1) / columns;
    const int width = kMargin + columns * (kTileWidth + kMargin);
    cv::Size tile;
    cv::Mat band;  // a row of tiles with their times and the margin under them
    for (int slot = 0; slot < count; ++slot) {
        const SlotPick pick = *picks.Take();
        Count(made, pick.leftOut);
        if (slot == 0 && !BeginSheet(pick.picture, width, rows, sink, tile, band)) {
            return made;
        }
        if (slot % columns == 0) {
            band.setTo(kBackground);
        }
        const cv::Point corner(kMargin + (slot % columns) * (tile.width + kMargin), 0);
        const std::int64_t time = pick.picture.empty()
                                      ? sheetSlots[static_cast<std::size_t>(slot)].start
                                      : line.times[static_cast<std::size_t>(pick.index)];
        DrawTile(band, corner, tile, pick.picture, LocalTime(time, withDate));
        made.framesUsed += pick.picture.empty() ? 0 : 1;
        if ((slot % columns == columns - 1 || slot == count - 1) && !sink.Add(band)) {
            return made;
        }
    }
    return made;
}

MadePicture MakeContactSheet(const std::string& frameDir, const std::vector<TimedFrame>& frames,
                             int tiles, int columns) {
    WholePicture whole;
    MadePicture made = DrawContactSheet(frameDir, frames, tiles, columns, whole);
    if (made.framesUsed > 0) {
        made.image = std::move(whole.image);
    }
    return made;
}

std::optional<std::string> PictureNameTrouble(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty()) {
        return "the picture's name is empty";
    }
    if (name == ".jpg" || name == ".png") {
        return "the picture's name is empty: " + name + " is only its ending";
    }
    if (!name.ends_with(".jpg") && !name.ends_with(".png")) {
        return "the file's name must end in .jpg or .png";
    }
    return std::nullopt;
}

int WritePicture(const std::string& path, const cv::Mat& image) {
    PictureFile file;
    file.Start(path, image.size());
    file.Add(image);
    return file.Finish();  // or the failure of a step before it
}

std::string LeftOutInWords(const MadePicture& picture) {
    int total = 0;
    std::string reasons;
    for (const auto& [reason, count] : picture.leftOut) {
        total += count;
        reasons += (reasons.empty() ? "" : ", ") + GroupedDigits(count) + " " + reason;
    }
    return total == 0 ? "none left out" : GroupedDigits(total) + " left out: " + reasons;
}
