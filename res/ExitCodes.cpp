#include "res/ExitCodes.h"

#include <array>
#include <sstream>

#include "platform/Tell.h"

namespace {

constexpr std::array kTable = {
    ExitCodeMeaning{ExitCode::Success, kWindowLaunch, "the window was closed"},
    ExitCodeMeaning{ExitCode::Success, kTakeFrameLaunch, "frame saved completely and counted"},
    ExitCodeMeaning{ExitCode::Success, kMakeVideoLaunch,
                    "video complete (with --skip-bad: every frame of the range in it or left out "
                    "for a reason)"},
    ExitCodeMeaning{ExitCode::Success, kScheduleLaunch, "the plan printed"},
    ExitCodeMeaning{ExitCode::Success, kDailyVideosLaunch,
                    "every closed day with frames has its video (with --list: the days listed)"},
    ExitCodeMeaning{ExitCode::Success, kPicturesLaunch, "the picture written"},
    ExitCodeMeaning{ExitCode::Success, kServeLaunch, "stopped by SIGTERM or SIGINT"},
    ExitCodeMeaning{ExitCode::NoDisplay, kWindowLaunch,
                    "no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window "
                    "cannot open"},
    ExitCodeMeaning{ExitCode::BadCommandLine,
                    kWindowLaunch | kTakeFrameLaunch | kScheduleLaunch | kDailyVideosLaunch,
                    "bad command line (unknown option, bad option value, an option of another "
                    "mode)"},
    ExitCodeMeaning{ExitCode::BadCommandLine, kMakeVideoLaunch,
                    "bad command line (unknown option, bad option value, an option of another "
                    "mode, a --length that needs a rate out of 0.01 to 1000)"},
    ExitCodeMeaning{ExitCode::BadCommandLine, kPicturesLaunch,
                    "bad command line (unknown option, bad option value, a FILE not ending in .jpg "
                    "or .png, a FILE that would replace a frame, latest.jpg or a frame the picture "
                    "is made of, a picture larger than its format holds, an option that shapes "
                    "only a video)"},
    ExitCodeMeaning{ExitCode::BadCommandLine, kServeLaunch,
                    "bad command line (unknown option, another mode, a --listen that is not "
                    "ADDRESS:PORT)"},
    ExitCodeMeaning{ExitCode::SettingsMissing, kWindowLaunch,
                    "the --profile has no settings file (the window asks first whether to create "
                    "it)"},
    ExitCodeMeaning{ExitCode::SettingsMissing, kScheduleLaunch,
                    "the --profile has no settings file"},
    ExitCodeMeaning{ExitCode::SettingsMissing, kTakeFrameLaunch,
                    "settings file missing or unreadable (the --profile's too), or a required "
                    "value missing or too long (the message names it)"},
    ExitCodeMeaning{ExitCode::SettingsMissing,
                    kMakeVideoLaunch | kDailyVideosLaunch | kPicturesLaunch | kServeLaunch,
                    "settings file missing or unreadable (when a default had to come from it), or "
                    "the --profile has none"},
    ExitCodeMeaning{ExitCode::NoCamera, kTakeFrameLaunch,
                    "camera or source not found (cannot be opened)"},
    ExitCodeMeaning{ExitCode::NoFrame, kTakeFrameLaunch,
                    "no frame from the source (sent nothing, ended during the warm-up, or stopped "
                    "by a key or by closing the window)"},
    ExitCodeMeaning{ExitCode::NotSaved, kTakeFrameLaunch,
                    "frame not saved (folder missing, not writable, disk full)"},
    ExitCodeMeaning{ExitCode::NoFreeNumber, kTakeFrameLaunch,
                    "no free frame number: every number from the next one on is taken (none "
                    "overwritten)"},
    ExitCodeMeaning{ExitCode::CountNotStored, kTakeFrameLaunch,
                    "count not stored (settings file not writable, or the disk full); no frame "
                    "is kept"},
    ExitCodeMeaning{ExitCode::CountOutOfRange, kTakeFrameLaunch,
                    "count out of range (AUTO_START_FRAME_COUNT below 0, or too large for the "
                    "next number)"},
    ExitCodeMeaning{ExitCode::NoVideoFrame, kMakeVideoLaunch,
                    "no frame to make a video from (first frame missing or damaged, empty range, "
                    "or no frame taken at the times chosen), or the folder of frames chosen by "
                    "time cannot be read (or is missing)"},
    ExitCodeMeaning{ExitCode::NoVideoFrame, kDailyVideosLaunch,
                    "the frame folder cannot be read, or a day's video has no frame to start from "
                    "(its first frame missing or damaged), or no frame of a day could make its "
                    "keogram or contact sheet; the other days are made"},
    ExitCodeMeaning{ExitCode::VideoStoppedAt, kDailyVideosLaunch,
                    "a day's video stopped at a missing or damaged frame and was kept; the other "
                    "days are made"},
    ExitCodeMeaning{ExitCode::VideoNotWritten, kDailyVideosLaunch,
                    "a day's video, keogram or contact sheet could not be written, or days/ or its "
                    "lock file cannot be made in the frame folder"},
    ExitCodeMeaning{ExitCode::NoCompressor, kDailyVideosLaunch,
                    "H.264 not available, or it cannot make a video of the frames' size"},
    ExitCodeMeaning{
        ExitCode::VideoCancelled, kDailyVideosLaunch,
        "interrupted: a day's video under way is thrown away, a hook running is ended; no "
        "frame deleted"},
    ExitCodeMeaning{ExitCode::VideoStoppedAt, kMakeVideoLaunch,
                    "video stopped at a missing or damaged frame (it holds the frames before it)"},
    ExitCodeMeaning{ExitCode::VideoNotWritten, kMakeVideoLaunch,
                    "video could not be written (cannot create, write or rename)"},
    ExitCodeMeaning{ExitCode::NoCompressor, kMakeVideoLaunch,
                    "compressor not available, or it cannot make a video of the frames' size, or "
                    "the output's container cannot hold it (Motion JPEG in MP4)"},
    ExitCodeMeaning{ExitCode::VideoCancelled, kMakeVideoLaunch,
                    "cancelled (interrupted); what was written is kept, in output.partial.avi "
                    "(or NAME.partial.mp4) when an earlier video of that name is there"},
    ExitCodeMeaning{ExitCode::NoVideoFrame, kPicturesLaunch,
                    "no frame to make the picture from (the folder cannot be read or is missing, "
                    "no frame taken at the times chosen, or every frame chosen is bad)"},
    ExitCodeMeaning{ExitCode::VideoNotWritten, kPicturesLaunch,
                    "the picture could not be written (cannot create, write or rename)"},
    ExitCodeMeaning{ExitCode::VideoCancelled, kPicturesLaunch,
                    "interrupted while the picture was written: nothing written"},
    ExitCodeMeaning{ExitCode::BadSetting,
                    kTakeFrameLaunch | kScheduleLaunch | kDailyVideosLaunch | kServeLaunch,
                    "a setting's value is bad (the message names the key)"},
    ExitCodeMeaning{ExitCode::BadSetting, kMakeVideoLaunch | kPicturesLaunch,
                    "a setting's value is bad (the message names the key), or LONGITUDE missing "
                    "with --daily-at solar-noon; nothing made"},
    ExitCodeMeaning{ExitCode::OutsideSchedule, kTakeFrameLaunch,
                    "outside the capture schedule (CAPTURE_HOURS, CAPTURE_DAYLIGHT): no frame, "
                    "count kept"},
    ExitCodeMeaning{ExitCode::LowFreeSpace, kTakeFrameLaunch,
                    "free space below MIN_FREE_MB on the frame folder's disk: no frame, count "
                    "kept"},
    ExitCodeMeaning{
        ExitCode::BrokenInstallation,
        kWindowLaunch | kTakeFrameLaunch | kMakeVideoLaunch | kDailyVideosLaunch | kPicturesLaunch,
        "broken installation: a module of the program missing, unreadable or damaged "
        "(the message names it)"},
    ExitCodeMeaning{ExitCode::DailyRunBusy, kDailyVideosLaunch,
                    "another --daily-videos run is at work on this frame folder; this one made "
                    "nothing"},
    ExitCodeMeaning{ExitCode::CameraBusy, kTakeFrameLaunch,
                    "camera busy: another profile held the camera's device through the warm-up; "
                    "no frame taken, count kept"},
    ExitCodeMeaning{ExitCode::ServeNeedsToken, kServeLaunch,
                    "an address other than loopback without a SERVE_TOKEN in the settings"},
    ExitCodeMeaning{ExitCode::ServeCannotListen, kServeLaunch,
                    "the address cannot be listened on (the port in use, or an address this "
                    "machine does not have)"},
    ExitCodeMeaning{ExitCode::BadMqttSetting, kServeLaunch,
                    "an MQTT setting is bad (the message names it): MQTT_PORT out of 1 to 65535, "
                    "an MQTT_TOPIC with '+' or '#', an MQTT_PASSWORD_FILE or MQTT_CA_FILE "
                    "missing or unreadable, or a password file that others can read"},
};

struct LaunchHeading {
    unsigned launch;
    const char* heading;
};

constexpr std::array kHeadings = {
    LaunchHeading{kWindowLaunch, "Exit codes of the window:"},
    LaunchHeading{kTakeFrameLaunch,
                  "Exit codes of --take-frame and of a launch in auto-start mode:"},
    LaunchHeading{kMakeVideoLaunch, "Exit codes of --make-video:"},
    LaunchHeading{kScheduleLaunch, "Exit codes of --schedule:"},
    LaunchHeading{kDailyVideosLaunch, "Exit codes of --daily-videos:"},
    LaunchHeading{kPicturesLaunch, "Exit codes of --keogram, --startrails and --contact-sheet:"},
    LaunchHeading{kServeLaunch, "Exit codes of --serve:"},
};

constexpr std::size_t kLineWidth = 79;
constexpr std::size_t kIndent = 6;  // "  15  "

// Writes `text` in lines of at most kLineWidth, the first after `first`, the rest indented.
void WriteWrapped(std::ostringstream& out, const std::string& first, const std::string& text) {
    std::istringstream words(text);
    std::string line = first;
    std::string word;
    bool lineEmpty = true;
    while (words >> word) {
        if (!lineEmpty && line.size() + 1 + word.size() > kLineWidth) {
            out << line << '\n';
            line = std::string(kIndent, ' ');
            lineEmpty = true;
        }
        line += (lineEmpty ? "" : " ") + word;
        lineEmpty = false;
    }
    out << line << '\n';
}

}  // namespace

std::span<const ExitCodeMeaning> ExitCodeTable() {
    return kTable;
}

std::string ExitCodesHelp() {
    std::ostringstream out;
    for (const LaunchHeading& heading : kHeadings) {
        out << '\n' << heading.heading << '\n';
        for (const ExitCodeMeaning& row : kTable) {
            if ((row.launches & heading.launch) != 0) {
                std::string code = std::to_string(ToInt(row.code));
                code.resize(kIndent - 2, ' ');
                WriteWrapped(out, "  " + code, row.meaning);
            }
        }
    }
    return out.str();
}

ExitCode TellFailure(ExitCode code, std::string_view message) {
    TellLine(message);
    return code;
}
