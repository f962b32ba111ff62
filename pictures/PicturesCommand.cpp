#include "pictures/PicturesCommand.h"

#include <QCommandLineParser>
#include <QStringList>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "frames/FrameFile.h"
#include "pictures/Pictures.h"
#include "platform/ImageCodecModule.h"
#include "platform/LoadableModule.h"
#include "platform/Numbers.h"
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

// The options of --make-video that shape only a video; the pictures take the others.
constexpr std::array kVideoOnlyOptions = {"make-video",       "fps",   "compressor", "output",
                                          "skip-bad",         "width", "length",     "deflicker",
                                          "deflicker-window", "list"};
// A contact sheet's own options.
constexpr char kColumns[] = "columns";
constexpr char kTiles[] = "tiles";

ExitCode Fail(ExitCode code, const std::string& message) {
    std::fprintf(stderr, "vorn: %s\n", message.c_str());
    return code;
}

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

MadePicture Make(Picture picture, const TimedSelection& selection, int tiles, int columns) {
    const std::vector<TimedFrame>& frames = selection.chosen.frames;
    switch (picture) {
        case Picture::Keogram:
            return MakeKeogram(selection.frameDir, frames);
        case Picture::StarTrails:
            return MakeStarTrails(selection.frameDir, frames);
        case Picture::ContactSheet:
            break;
    }
    return MakeContactSheet(selection.frameDir, frames, tiles, columns);
}

}  // namespace

void AddPicturesOptions(QCommandLineParser& parser) {
    parser.addOptions({
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
         "holds a '/'.",
         "FILE"},
        {kColumns, "Tiles across a contact sheet, 1 to 100 (default: 6).", "N"},
        {kTiles, "Slots of a contact sheet, 1 to 1000 (default: one for each hour).", "N"},
    });
}

std::vector<QStringList> PictureModesOptionNames() {
    QStringList chosen = MakeVideoOptionNames();
    for (const char* option : kVideoOnlyOptions) {
        chosen.removeAll(option);
    }
    std::vector<QStringList> modes;
    for (const PictureMode& mode : kModes) {
        QStringList names(mode.option);
        if (mode.picture == Picture::ContactSheet) {
            names << kColumns << kTiles;
        }
        modes.push_back(names + chosen);
    }
    return modes;
}

bool PictureAsked(const QCommandLineParser& parser) {
    return AskedMode(parser) != nullptr;
}

ExitCode RunPicturesCommand(const QCommandLineParser& parser, const MakeVideoDefaults& defaults) {
    const PictureMode& mode = *AskedMode(parser);
    const std::string file = parser.value(mode.option).toStdString();
    if (!IsPictureName(file)) {
        return Fail(ExitCode::BadCommandLine,
                    std::string("--") + mode.option + ": the file's name must end in .jpg or .png");
    }
    int tiles = 0;
    int columns = kDefaultColumns;
    if (const std::optional<std::string> bad = ReadSheetLayout(parser, tiles, columns)) {
        return Fail(ExitCode::BadCommandLine, *bad);
    }
    TimedSelection selection;
    if (const ExitCode code = ChooseTimedFrames(parser, defaults, selection);
        code != ExitCode::Success) {
        return code;
    }
    if (selection.chosen.frames.empty()) {
        return Fail(ExitCode::NoVideoFrame, "no frame of " + ShownFolder(selection.frameDir) +
                                                " was taken " + ChoiceInWords(selection.choice));
    }
    // Without it no frame could be decoded nor the picture encoded.
    if (const std::optional<std::string> broken = BrokenInstallation({kImageCodecModule})) {
        return Fail(ExitCode::BrokenInstallation, *broken);
    }
    const MadePicture made = Make(mode.picture, selection, tiles, columns);
    const std::string place = VideoPlace(selection.frameDir, file);
    if (made.image.empty()) {
        return Fail(ExitCode::NoVideoFrame,
                    std::string(mode.name) + " not made: none of the " +
                        GroupedDigits(static_cast<long long>(selection.chosen.frames.size())) +
                        " frames chosen could be used (" + LeftOutInWords(made) + ")");
    }
    if (const int error = WritePicture(VideoPath(selection.frameDir, file), made.image)) {
        return Fail(ExitCode::VideoNotWritten,
                    "cannot write " + place + " (" + std::strerror(error) + ")");
    }
    if (!made.darkestFrame.empty()) {
        std::printf("Star trails (%s): no frame is dark enough, so it is the darkest, %s; %s.\n",
                    place.c_str(), made.darkestFrame.c_str(), LeftOutInWords(made).c_str());
    } else {
        std::printf("%s (%s) made of %s frames; %s.\n", mode.name, place.c_str(),
                    GroupedDigits(made.framesUsed).c_str(), LeftOutInWords(made).c_str());
    }
    return ExitCode::Success;
}
