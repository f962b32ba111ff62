#include "pictures/PicturesCommand.h"

#include <sys/stat.h>

#include <QCommandLineParser>
#include <QStringList>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frames/FrameFile.h"
#include "pictures/PictureCodec.h"
#include "pictures/Pictures.h"
#include "platform/ImageCodecModule.h"
#include "platform/InterruptCatcher.h"
#include "platform/LoadableModule.h"
#include "platform/Numbers.h"
#include "video/FrameSelection.h"
#include "video/VideoOutput.h"

namespace {

constexpr int kMostColumns = 100;
constexpr int kMostTilesAsked = 1000;

enum class Picture { Keogram, StarTrails, ContactSheet };

struct PictureMode {
    Picture picture;
    const char* option;
    const char* name;  // as the lines say it
};

constexpr std::array kModes = {
    PictureMode{Picture::Keogram, "keogram", "Keogram"},
    PictureMode{Picture::StarTrails, "startrails", "Star trails"},
    PictureMode{Picture::ContactSheet, "contact-sheet", "Contact sheet"},
};

// A contact sheet's own options.
constexpr char kColumns[] = "columns";
constexpr char kTiles[] = "tiles";

const PictureMode* AskedMode(const QCommandLineParser& parser) {
    for (const PictureMode& mode : kModes) {
        if (parser.isSet(mode.option)) {
            return &mode;
        }
    }
    return nullptr;
}

// --columns and --tiles: nothing, or the message.
std::optional<std::string> ReadSheetLayout(const QCommandLineParser& parser, int& tiles,
                                           int& columns) {
    const auto read = [&](const char* option, int most, int& value) -> bool {
        if (!parser.isSet(option)) {
            return true;
        }
        const std::optional<int> number = ParseWholeInt(parser.value(option).toStdString());
        value = number.value_or(0);
        return number && *number >= 1 && *number <= most;
    };
    if (!read(kColumns, kMostColumns, columns)) {
        return "--columns takes a whole number from 1 to " + std::to_string(kMostColumns);
    }
    if (!read(kTiles, kMostTilesAsked, tiles)) {
        return "--tiles takes a whole number from 1 to " + std::to_string(kMostTilesAsked);
    }
    return std::nullopt;
}

// The device and inode of the file or folder at `path` (an empty path is the current folder),
// through any link; nothing when it cannot be found.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& path) {
    struct stat status {};
    if (::stat(path.empty() ? "." : path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return std::pair(status.st_dev, status.st_ino);
}

// What `file`, a picture's name, would write over: a frame or latest.jpg of the frame folder, or a
// file of the frames the picture is made of (by a link or any other name), as the message tells
// it; or nothing. The folders and files are compared as the system finds them, so that
// "./pic_10001.jpg" or the folder's absolute path is caught too.
std::optional<std::string> ReplacedFrame(const TimedSelection& selection, const std::string& file) {
    const std::string& frameDir = selection.frameDir;
    const std::string path = VideoPath(frameDir, file);
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string shown = ShownFolder(frameDir);
    const auto folder = FileIdentity(VideoFolder(frameDir, file));
    if (folder && folder == FileIdentity(frameDir)) {
        if (FrameNumberOf(name)) {
            return "would replace frame " + name + " in " + shown;
        }
        if (name == kLatestFrameName) {
            return std::string("would replace ") + kLatestFrameName + ", the latest frame, in " +
                   shown;
        }
    }
    // Looked up once: a season's choice may hold a year of frames.
    const auto output = FileIdentity(path);
    for (const TimedFrame& frame : selection.chosen.frames) {
        if (output && output == FileIdentity(FramePath(frameDir, frame.number))) {
            return "is frame " + FrameFileName(frame.number) + " in " + shown +
                   ", which the picture is made of";
        }
    }
    return std::nullopt;
}

// Why a picture of `size` cannot be written as `path`: a side longer than its format holds.
std::optional<std::string> SizeTrouble(const PictureMode& mode, const std::string& path,
                                       cv::Size size) {
    const int largest = LargestSide(path);
    if (size.width <= largest && size.height <= largest) {
        return std::nullopt;
    }
    const bool jpeg = largest == kLargestJpegSide;
    std::string trouble = std::string(mode.name) + " not made: it would be " +
                          (size.height > largest ? GroupedDigits(size.height) + " pixels tall"
                                                 : GroupedDigits(size.width) + " pixels wide") +
                          ", and a " + (jpeg ? "JPEG" : "PNG") + " holds at most " +
                          GroupedDigits(largest) + " pixels a side";
    if (mode.picture == Picture::ContactSheet) {
        trouble += "; use more --columns or fewer --tiles";
        return jpeg ? trouble + ", or a .png name" : trouble;
    }
    return jpeg ? trouble + "; use a .png name" : trouble;
}

// A failure's exit code and line.
struct Failure {
    ExitCode code;
    std::string message;
};

// The picture's file, written as the picture is made; the first failure, as the line tells it.
// From its first rows on, SIGINT and SIGTERM stop it at the next band, so that no temporary file
// is left behind.
class PictureOutput final : public PictureSink {
public:
    PictureOutput(const PictureMode& mode, const std::string& frameDir, const std::string& file)
        : m_mode(mode), m_path(VideoPath(frameDir, file)), m_place(VideoPlace(frameDir, file)) {}

    const std::string& Place() const { return m_place; }
    const std::optional<Failure>& Failed() const { return m_failure; }

    bool Begin(cv::Size size) override {
        if (std::optional<std::string> trouble = SizeTrouble(m_mode, m_path, size)) {
            m_failure = Failure{ExitCode::BadCommandLine, std::move(*trouble)};
            return false;
        }
        m_interrupts.emplace();
        return Written(m_file.Start(m_path, size));
    }
    bool Add(const cv::Mat& band) override {
        if (InterruptCatcher::Interrupted() && !m_failure) {
            m_failure =
                Failure{ExitCode::VideoCancelled, "interrupted: " + m_place + " not written"};
        }
        return !m_failure && Written(m_file.Add(band));
    }
    bool Finish() { return !m_failure && Written(m_file.Finish()); }

private:
    bool Written(int error) {
        if (error != 0 && !m_failure) {
            m_failure = Failure{ExitCode::VideoNotWritten,
                                "cannot write " + m_place + " (" + std::strerror(error) + ")"};
        }
        return error == 0;
    }

    const PictureMode& m_mode;
    const std::string m_path;
    const std::string m_place;
    PictureFile m_file;
    std::optional<Failure> m_failure;
    std::optional<InterruptCatcher> m_interrupts;
};

// Makes the picture: a contact sheet straight into `output`, the others whole, then written.
MadePicture Make(Picture picture, const TimedSelection& selection, int tiles, int columns,
                 PictureOutput& output) {
    const std::vector<TimedFrame>& frames = selection.chosen.frames;
    MadePicture made;
    switch (picture) {
        case Picture::Keogram:
            made = MakeKeogram(selection.frameDir, frames);
            break;
        case Picture::StarTrails:
            made = MakeStarTrails(selection.frameDir, frames);
            break;
        case Picture::ContactSheet:
            return DrawContactSheet(selection.frameDir, frames, tiles, columns, output);
    }
    if (!made.image.empty() && output.Begin(made.image.size())) {
        output.Add(made.image);
    }
    return made;
}

}  // namespace

QList<QCommandLineOption> PicturesOptions() {
    return {
        {"keogram",
         "Makes a keogram, FILE (.jpg or .png), of the frames --make-video's options choose: a "
         "column for each time slot, the mean of the centre columns of the frame nearest it, "
         "hour ticks and dates below; and exits.",
         "FILE"},
        {"startrails",
         "Makes star trails, FILE (.jpg or .png): the brightest of each pixel over the dark frames "
         "of those chosen (mean luma at most 89 and near the night's own, at most 1% of the "
         "pixels above 190); the darkest frame when none is dark; and exits.",
         "FILE"},
        {"contact-sheet",
         "Makes a contact sheet, FILE (.jpg or .png): a 320-pixel tile with its time for each "
         "hour of the frames chosen (or --tiles slots), the frame nearest each slot's middle, "
         "\"no frame\" where it has none; and exits. FILE goes into the frame folder unless it "
         "holds a '/', and never replaces a frame. A JPEG holds about 300 rows of 1080p tiles; a "
         "taller sheet needs .png.",
         "FILE"},
        {kColumns, "Tiles across a contact sheet, 1 to 100 (default: 6).", "N"},
        {kTiles, "Slots of a contact sheet, 1 to 1000 (default: one for each hour).", "N"},
    };
}

ExitCode RunPicturesCommand(const ModeContext& context) {
    const QCommandLineParser& parser = context.parser;
    const PictureMode& mode = *AskedMode(parser);
    const std::string file = parser.value(mode.option).toStdString();
    if (const std::optional<std::string> bad = PictureNameTrouble(file)) {
        return TellFailure(ExitCode::BadCommandLine, std::string("--") + mode.option + ": " + *bad);
    }
    int tiles = 0;
    int columns = kDefaultColumns;
    if (const std::optional<std::string> bad = ReadSheetLayout(parser, tiles, columns)) {
        return TellFailure(ExitCode::BadCommandLine, *bad);
    }
    TimedSelection selection;
    if (const ExitCode code = ChooseTimedFrames(context, selection); code != ExitCode::Success) {
        return code;
    }
    if (const std::optional<std::string> replaced = ReplacedFrame(selection, file)) {
        return TellFailure(ExitCode::BadCommandLine, std::string("--") + mode.option + ": " + file +
                                                         " " + *replaced +
                                                         ": give the picture another name");
    }
    if (selection.chosen.frames.empty()) {
        return TellFailure(ExitCode::NoVideoFrame,
                           "no frame of " + ShownFolder(selection.frameDir) + " was taken " +
                               ChoiceInWords(selection.choice));
    }
    // Without it a frame other than a plain JPEG could not be decoded.
    if (const std::optional<std::string> broken = BrokenInstallation({kImageCodecModule})) {
        return TellFailure(ExitCode::BrokenInstallation, *broken);
    }
    PictureOutput output(mode, selection.frameDir, file);
    const MadePicture made = Make(mode.picture, selection, tiles, columns, output);
    if (made.framesUsed == 0 && made.image.empty() && !output.Failed()) {
        return TellFailure(
            ExitCode::NoVideoFrame,
            std::string(mode.name) + " not made: none of the " +
                GroupedDigits(static_cast<long long>(selection.chosen.frames.size())) +
                " frames chosen could be used (" + LeftOutInWords(made) + ")");
    }
    output.Finish();
    if (const std::optional<Failure>& failure = output.Failed()) {
        return TellFailure(failure->code, failure->message);
    }
    const std::string& place = output.Place();
    if (!made.darkestFrame.empty()) {
        std::printf("Star trails (%s): no frame is dark enough, so it is the darkest, %s; %s.\n",
                    place.c_str(), made.darkestFrame.c_str(), LeftOutInWords(made).c_str());
    } else {
        std::printf("%s (%s) made of %s frames; %s.\n", mode.name, place.c_str(),
                    GroupedDigits(made.framesUsed).c_str(), LeftOutInWords(made).c_str());
    }
    return ExitCode::Success;
}
