#pragma once

#include <span>
#include <string>
#include <string_view>

// The process's exit codes, for every kind of launch. The table behind ExitCodeTable() says what
// each means and which launches end with it; --help is written from it, and docs/EXIT-CODES.md and
// the man page list the same codes.
enum class ExitCode {
    Success = 0,
    NoDisplay = 1,        // the window was asked for where none can open
    BadCommandLine = 2,   // unknown option or bad option value
    SettingsMissing = 3,  // settings file missing or unreadable, or a required value missing
    // A launch that takes one frame.
    NoCamera = 4,         // the camera or source cannot be opened
    NoFrame = 5,          // the source sent nothing, ended during the warm-up, or a key stopped it
    NotSaved = 6,         // folder missing, not writable, disk full
    NoFreeNumber = 7,     // every frame number from the next one on is taken; none overwritten
    CountNotStored = 8,   // the settings file cannot be written; no frame taken
    CountOutOfRange = 9,  // the stored count is below 0 or leaves no frame number
    // --make-video.
    NoVideoFrame = 10,        // no frame to make a video from
    VideoStoppedAt = 11,      // stopped at a missing or damaged frame; the video holds those before
    VideoNotWritten = 12,     // cannot create, write or rename the video
    NoCompressor = 13,        // the compressor is missing or cannot make this video
    VideoCancelled = 14,      // interrupted; what was written is kept
    BadSetting = 15,          // a setting's value is bad (the message names the key)
    OutsideSchedule = 16,     // outside the capture schedule: no frame taken, count unchanged
    LowFreeSpace = 17,        // free space below MIN_FREE_MB: no frame taken, count unchanged
    BrokenInstallation = 18,  // a module of the program is missing, unreadable or damaged
    DailyRunBusy = 19,        // --daily-videos: another run is at work on the frame folder
    CameraBusy = 20,          // another profile held the camera's device through the warm-up
    // --serve.
    ServeNeedsToken = 21,    // an address other than loopback without a SERVE_TOKEN
    ServeCannotListen = 22,  // the address cannot be listened on
    BadMqttSetting = 23,     // an MQTT setting is bad, or its password or CA file unusable
};

inline int ToInt(ExitCode code) {
    return static_cast<int>(code);
}

// The kinds of launch, as a set of bits.
enum LaunchKinds : unsigned {
    kWindowLaunch = 1U << 0U,
    kTakeFrameLaunch = 1U << 1U,  // --take-frame, and every launch in auto-start mode
    kMakeVideoLaunch = 1U << 2U,
    kScheduleLaunch = 1U << 3U,
    kDailyVideosLaunch = 1U << 4U,
    kPicturesLaunch = 1U << 5U,  // --keogram, --startrails, --contact-sheet
    kServeLaunch = 1U << 6U,
};

// One line of the table: a code, the launches it ends and what it means for them. A code whose
// meaning differs between launches has a line for each.
struct ExitCodeMeaning {
    ExitCode code;
    unsigned launches;
    const char* meaning;
};

std::span<const ExitCodeMeaning> ExitCodeTable();

// The exit codes as --help lists them: a heading for each kind of launch, then its codes.
std::string ExitCodesHelp();

// Tells a failure of a command-line mode, one line "vorn: `message`" on standard error, and gives
// its code back for the caller to end with.
ExitCode TellFailure(ExitCode code, std::string_view message);
