#include "res/DialogTemplates.h"

#include "res/Resource.h"
#include "res/Strings.h"
#include "res/Version.h"

namespace {

using K = ControlKind;

constexpr ControlTemplate kVornControls[] = {
    {-1, K::GroupBox, "Frames creation", 12, 11, 207, 69},
    {-1, K::Label, "Delay between frames (seconds)", 16, 25, 104, 8},
    {IDC_DELAY, K::Edit, "", 121, 22, 30, 14, kOneDecimal, "Delay between frames (seconds)"},
    {IDC_DELAY_SPIN, K::UpDown, "", 152, 23, 10, 14, kNoStyle,
     "Delay between frames (seconds) arrows"},
    {IDC_START_STOP, K::PushButton, "&Start", 169, 21, 45, 27, kFlat},
    {IDC_TIMESTAMP, K::CheckBox, "Show timestamp", 16, 36, 64, 10},
    {-1, K::Label, "Directory to store frames", 16, 48, 77, 8},
    {IDC_BROWSE, K::PushButton, "Browse", 107, 46, 37, 12, kFlat},
    {IDC_FRAME_DIR, K::Edit, "", 15, 61, 150, 14, kReadOnly, "Directory to store frames"},
    {IDC_PAUSE, K::PushButton, "&Pause", 169, 49, 45, 27, kFlat | kDisabled},
    {-1, K::GroupBox, "Video creation", 12, 86, 160, 87},
    {-1, K::Label, "Start frame", 16, 100, 35, 8},
    {IDC_START_FRAME, K::Edit, "", 79, 97, 26, 14, kDigitsOnly, "Start frame"},
    {IDC_START_SPIN, K::UpDown, "", 106, 97, 11, 14, kNoStyle, "Start frame arrows"},
    {-1, K::Label, "End frame", 16, 117, 33, 8},
    {IDC_END_FRAME, K::Edit, "", 79, 114, 26, 14, kDigitsOnly, "End frame"},
    {IDC_END_SPIN, K::UpDown, "", 106, 114, 11, 14, kNoStyle, "End frame arrows"},
    {-1, K::Label, "Gap (i.e. 2 to skip every other frame)", 15, 129, 59, 19},
    {IDC_GAP, K::Edit, "", 79, 131, 26, 14, kDigitsOnly, "Gap (i.e. 2 to skip every other frame)"},
    {IDC_GAP_SPIN, K::UpDown, "", 106, 131, 11, 14, kNoStyle,
     "Gap (i.e. 2 to skip every other frame) arrows"},
    {-1, K::Label, "Frames per second", 16, 151, 61, 8},
    {IDC_FPS, K::Edit, "", 79, 148, 26, 14, kReadOnly, "Frames per second"},
    {IDC_FPS_SPIN, K::UpDown, "", 106, 148, 11, 14, kNoStyle, "Frames per second arrows"},
    {-1, K::Label, "Video duration", 122, 96, 46, 8},
    {IDC_DURATION, K::Edit, "", 123, 109, 40, 14, kReadOnly, "Video duration"},
    {IDC_MAKE_VIDEO, K::PushButton, "Make video", 122, 130, 46, 33, kFlat},
    {IDC_HELP_PAGE, K::PushButton, "&Help", 174, 90, 45, 19, kFlat},
    {IDC_MORE, K::PushButton, "&More", 174, 112, 45, 19, kFlat},
    {IDOK, K::DefaultButton, "&Quit", 174, 135, 45, 37, kFlat},
    {IDC_NOTICE, K::PushButton, kNoticeLine, 12, 177, 207, 14, kFlat},
};

constexpr ControlTemplate kAboutControls[] = {
    {-1, K::Icon, IDR_MAINFRAME, 11, 17, 20, 20, kNoStyle, "Vorn"},
    {-1, K::Label, "Vorn Version " VORN_VERSION, 40, 10, 119, 8},
    {-1, K::Label, kNoticeLine, 40, 22, 119, 8},
    {IDOK, K::DefaultButton, "OK", 178, 7, 50, 14},
    {IDC_USER_GROUP, K::PushButton, kUserGroupUrl, 39, 37, 189, 12, kFlat},
};

constexpr ControlTemplate kMakingControls[] = {
    {IDC_PROGRESS, K::ProgressBar, "", 7, 7, 172, 19, kNoStyle, "Progress"},
    {-1, K::Label,
     "If you decide to upload this video to YouTube, why not share it with folk at the Vorn "
     "Google Group!",
     7, 34, 172, 18},
    {IDC_USER_GROUP, K::PushButton, kUserGroupUrl, 7, 56, 172, 12, kFlat},
};

constexpr ControlTemplate kVideoOptionsControls[] = {
    {-1, K::Label, "Video file name (.avi or .mp4)", 7, 10, 132, 8},
    {IDC_VIDEO_OUTPUT, K::Edit, "", 142, 7, 82, 14, kNoStyle, "Video file name (.avi or .mp4)"},
    {IDC_DEFLICKER, K::CheckBox, "Deflicker: smooth the brightness between frames", 7, 27, 217, 10},
    {-1, K::Label, "Deflicker window (frames)", 7, 44, 132, 8},
    {IDC_DEFLICKER_WINDOW, K::Edit, "", 142, 41, 30, 14, kDigitsOnly, "Deflicker window (frames)"},
    {IDC_SKIP_BAD, K::CheckBox, "Leave out bad frames instead of stopping at them", 7, 61, 217, 10},
    {-1, K::Label, "Width in pixels (0: the frames' own)", 7, 78, 132, 8},
    {IDC_VIDEO_WIDTH, K::Edit, "", 142, 75, 30, 14, kDigitsOnly,
     "Width in pixels (0: the frames' own)"},
    {-1, K::Label, "Length in seconds (0: from the rate)", 7, 96, 132, 8},
    {IDC_VIDEO_LENGTH, K::Edit, "", 142, 93, 40, 14, kOneDecimal,
     "Length in seconds (0: from the rate)"},
    {-1, K::GroupBox, "Frames", 7, 113, 217, 172},
    {IDC_FRAMES_BY, K::ComboBox, "By number: Start, End and Gap|By the time they were taken", 12,
     125, 207, 14, kNoStyle, "Frames"},
    {-1, K::Label,
     "Dates as YYYY-MM-DD, times as HH:MM, local. Empty fields choose nothing; all the frames of "
     "the folder are candidates.",
     12, 144, 207, 16},
    {-1, K::Label, "Day (a date, today or yesterday)", 12, 166, 128, 8},
    {IDC_FRAME_TIME_FIRST, K::Edit, "", 142, 163, 77, 14, kNoStyle, "Day"},
    {-1, K::Label, "From (a date, or a date THH:MM)", 12, 183, 128, 8},
    {IDC_FRAME_TIME_FIRST + 1, K::Edit, "", 142, 180, 77, 14, kNoStyle, "From"},
    {-1, K::Label, "To (a date includes that whole day)", 12, 200, 128, 8},
    {IDC_FRAME_TIME_FIRST + 2, K::Edit, "", 142, 197, 77, 14, kNoStyle, "To"},
    {-1, K::Label, "Hours of each day (HH:MM-HH:MM)", 12, 217, 128, 8},
    {IDC_FRAME_TIME_FIRST + 3, K::Edit, "", 142, 214, 77, 14, kNoStyle, "Hours of each day"},
    {-1, K::Label, "Daily at (HH:MM,... or solar-noon)", 12, 234, 128, 8},
    {IDC_FRAME_TIME_FIRST + 4, K::Edit, "", 142, 231, 77, 14, kNoStyle, "Daily at"},
    {-1, K::Label, "Tolerance of daily times (minutes)", 12, 251, 128, 8},
    {IDC_FRAME_TIME_FIRST + 5, K::Edit, "", 142, 248, 40, 14, kDigitsOnly, "Tolerance (minutes)"},
    {-1, K::Label, "One frame every (minutes)", 12, 268, 128, 8},
    {IDC_FRAME_TIME_FIRST + 6, K::Edit, "", 142, 265, 40, 14, kDigitsOnly, "Every (minutes)"},
    {IDOK, K::DefaultButton, "OK", 120, 292, 50, 14},
    {IDCANCEL, K::PushButton, "Cancel", 174, 292, 50, 14},
};

constexpr ControlTemplate kScheduleControls[] = {
    {-1, K::GroupBox, "When frames are saved", 7, 7, 212, 78},
    {-1, K::Label, "Local hours (HH:MM-HH:MM, empty: all day)", 12, 20, 136, 8},
    {IDC_CAPTURE_HOURS, K::Edit, "", 150, 18, 62, 14, kNoStyle, "Capture hours"},
    {IDC_CAPTURE_DAYLIGHT, K::CheckBox, "Only from civil dawn to civil dusk", 12, 36, 200, 10},
    {-1, K::Label, "Latitude (degrees, north +)", 12, 52, 100, 8},
    {IDC_LATITUDE, K::Edit, "", 150, 50, 62, 14, kNoStyle, "Latitude"},
    {-1, K::Label, "Longitude (degrees, east +)", 12, 68, 100, 8},
    {IDC_LONGITUDE, K::Edit, "", 150, 66, 62, 14, kNoStyle, "Longitude"},
    {-1, K::GroupBox, "Frames and disk", 7, 90, 212, 42},
    {-1, K::Label, "Keep free on the disk (MB, 0: no floor)", 12, 103, 130, 8},
    {IDC_MIN_FREE_MB, K::Edit, "", 150, 101, 62, 14, kDigitsOnly, "Keep free on the disk (MB)"},
    {IDC_LATEST_FRAME, K::CheckBox, "Keep latest.jpg in the frame folder", 12, 118, 200, 10},
    {-1, K::GroupBox, "Camera", 7, 137, 212, 42},
    {IDC_CAMERA_LOCK, K::CheckBox, "Lock exposure, white balance and focus after the warm-up", 12,
     149, 204, 10},
    {-1, K::Label, "Mains frequency (against banding)", 12, 164, 130, 8},
    {IDC_POWER_LINE_HZ, K::ComboBox, "50 Hz|60 Hz", 150, 162, 62, 14, kNoStyle, "Mains frequency"},
    {IDOK, K::DefaultButton, "OK", 115, 186, 50, 14},
    {IDCANCEL, K::PushButton, "Cancel", 169, 186, 50, 14},
};

}  // namespace

const DialogTemplate kVornDialogTemplate{IDD_VORN_DIALOG, "Vorn V" VORN_VERSION, 226, 201,
                                         kVornControls};
const DialogTemplate kAboutDialogTemplate{IDD_ABOUTBOX, "About Vorn", 235, 55, kAboutControls};
const DialogTemplate kMakingDialogTemplate{IDD_MAKING_DIALOG, "Creating video...", 186, 75,
                                           kMakingControls};
const DialogTemplate kVideoOptionsTemplate{IDD_VIDEO_OPTIONS, "Video options", 231, 313,
                                           kVideoOptionsControls};
const DialogTemplate kScheduleDialogTemplate{IDD_SCHEDULE_DIALOG, "Schedule and camera", 226, 207,
                                             kScheduleControls};
