#include "video/FrameSelection.h"

#include <QCommandLineParser>
#include <climits>
#include <vector>

#include "frames/FrameFile.h"
#include "platform/Numbers.h"
#include "platform/Tell.h"
#include "video/VideoOutput.h"

namespace {

constexpr int kLargestIndex = INT_MAX - kNoFrames - 1;  // its frame number still fits an int

// The message for a value of the option `name` that IntOption refuses: a number past `maximum` is
// too large; anything else is not `rule`.
std::string IntOptionTrouble(const QCommandLineParser& parser, const char* name, int maximum,
                             const std::string& rule) {
    const std::string text = parser.value(name).toStdString();
    const std::optional<double> number = ParseWholeNumber(text);
    if (number && *number > maximum) {
        return std::string("--") + name + " " + text + " is too large (at most " +
               std::to_string(maximum) + ")";
    }
    return rule;
}

// The settings file's folder and frame count, where the command line leaves them out; frames
// chosen by time need no count.
ExitCode ApplySettingsDefaults(const ModeContext& context, bool choosing, VideoRange& range) {
    const bool needEnd = !context.parser.isSet("end") && !choosing;
    if (!context.frameDir || (needEnd && !context.frameCount)) {
        return context.TellMissingSettings();
    }
    range.frameDir = *context.frameDir;
    if (needEnd) {
        range.endFrame = *context.frameCount;
    }
    return ExitCode::Success;
}

// The frames of the folder that --start, --end and --gap take, those that are given.
std::optional<std::vector<int>> Candidates(const QCommandLineParser& parser,
                                           const VideoRange& range) {
    std::optional<std::vector<int>> numbers = ListFrameNumbersOfExistingFolder(range.frameDir);
    if (!numbers) {
        return numbers;
    }
    const bool byStart = parser.isSet("start");
    const bool byEnd = parser.isSet("end");
    const bool byGap = parser.isSet("gap");
    std::erase_if(*numbers, [&](int number) {
        const long long index = static_cast<long long>(number) - (kNoFrames + 1);
        return (byStart && index < range.startFrame) || (byEnd && index >= range.endFrame) ||
               (byGap && (index + 1) % range.gap != 0);
    });
    return numbers;
}

}  // namespace

std::optional<int> IntOption(const QCommandLineParser& parser, const QString& name, int minimum,
                             int maximum) {
    const std::optional<int> value = ParseWholeInt(parser.value(name).toStdString());
    if (!value || *value < minimum || *value > maximum) {
        return std::nullopt;
    }
    return value;
}

ExitCode ReadRange(const ModeContext& context, bool choosing, VideoRange& range) {
    const QCommandLineParser& parser = context.parser;
    const std::optional<int> start = IntOption(parser, "start", 0, kLargestIndex);
    const std::optional<int> end = IntOption(parser, "end", 0, kLargestIndex);
    const std::optional<int> gap = IntOption(parser, "gap", 1, INT_MAX);
    const std::optional<double> fps = ParseWholeNumber(parser.value("fps").toStdString());
    const std::string rule = "--start and --end take a whole number from 0, --gap from 1";
    if (!start) {
        return TellFailure(ExitCode::BadCommandLine,
                           IntOptionTrouble(parser, "start", kLargestIndex, rule));
    }
    if (parser.isSet("end") && !end) {
        return TellFailure(ExitCode::BadCommandLine,
                           IntOptionTrouble(parser, "end", kLargestIndex, rule));
    }
    if (!gap) {
        return TellFailure(ExitCode::BadCommandLine,
                           IntOptionTrouble(parser, "gap", INT_MAX, rule));
    }
    if (!fps || !(*fps >= kSlowestFps && *fps <= kFastestFps)) {
        return TellFailure(ExitCode::BadCommandLine, "--fps takes a number from 0.01 to 1000");
    }
    range.startFrame = *start;
    range.endFrame = end.value_or(0);
    range.gap = *gap;
    range.fps = NearestFrameRate(*fps);
    return ApplySettingsDefaults(context, choosing, range);
}

ExitCode JudgeSettings(const ModeContext& context, const FrameChoice& choice) {
    if (context.badSettings) {
        return TellFailure(ExitCode::BadSetting, *context.badSettings);
    }
    if (choice.dailyAtSolarNoon && context.longitudeTrouble) {
        return TellFailure(ExitCode::BadSetting, *context.longitudeTrouble);
    }
    return ExitCode::Success;
}

ExitCode FailUnreadableFolder(const std::string& frameDir) {
    return TellFailure(ExitCode::NoVideoFrame, UnreadableFolderMessage(frameDir));
}

ExitCode ChooseByTime(const ModeContext& context, const FrameChoice& choice, VideoRange& range,
                      ChosenFrames& chosen) {
    const std::optional<std::vector<int>> candidates = Candidates(context.parser, range);
    if (!candidates) {
        return FailUnreadableFolder(range.frameDir);
    }
    std::string notice;
    chosen = ChooseFolderFrames(range.frameDir, *candidates, choice, context.dayRules, notice);
    if (!notice.empty()) {
        TellLine(notice);
    }
    range.frameNumbers = chosen.Numbers();
    return ExitCode::Success;
}

ExitCode ChooseTimedFrames(const ModeContext& context, TimedSelection& selection) {
    if (const std::optional<std::string> bad =
            ReadFrameChoice(context.parser, context.today, selection.choice)) {
        return TellFailure(ExitCode::BadCommandLine, *bad);
    }
    VideoRange range;
    if (const ExitCode code = ReadRange(context, true, range); code != ExitCode::Success) {
        return code;
    }
    if (const ExitCode code = JudgeSettings(context, selection.choice); code != ExitCode::Success) {
        return code;
    }
    selection.frameDir = range.frameDir;
    return ChooseByTime(context, selection.choice, range, selection.chosen);
}
