#pragma once

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_VORN_DIALOG = 102;
inline constexpr int IDD_MAKING_DIALOG = 129;
inline constexpr int IDD_VIDEO_OPTIONS = 132;
inline constexpr int IDD_SCHEDULE_DIALOG = 140;

// Commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int ID_SYSMENU_ABOUT = 0x0010;
inline constexpr int ID_SYSMENU_VIDEO_OPTIONS = 0x0020;
inline constexpr int ID_SYSMENU_SCHEDULE = 0x0030;
inline constexpr int ID_SYSMENU_FRAMES = 0x0040;
// Standard window commands, with the values of the system they come from.
inline constexpr int SC_MINIMIZE = 0xF020;
inline constexpr int SC_CLOSE = 0xF060;

// Controls.
inline constexpr int IDC_START_STOP = 1000;
inline constexpr int IDC_MAKE_VIDEO = 1001;
inline constexpr int IDC_FPS = 1002;
inline constexpr int IDC_PAUSE = 1003;
inline constexpr int IDC_FPS_SPIN = 1004;
inline constexpr int IDC_GAP = 1005;
inline constexpr int IDC_GAP_SPIN = 1006;
inline constexpr int IDC_DURATION = 1007;
inline constexpr int IDC_START_FRAME = 1008;
inline constexpr int IDC_START_SPIN = 1009;
inline constexpr int IDC_END_FRAME = 1010;
inline constexpr int IDC_END_SPIN = 1011;
inline constexpr int IDC_HELP_PAGE = 1012;
inline constexpr int IDC_NOTICE = 1013;
inline constexpr int IDC_DELAY = 1014;
inline constexpr int IDC_DELAY_SPIN = 1015;
inline constexpr int IDC_PROGRESS = 1017;
inline constexpr int IDC_FRAME_DIR = 1023;
inline constexpr int IDC_BROWSE = 1024;
inline constexpr int IDC_USER_GROUP = 1032;
inline constexpr int IDC_TIMESTAMP = 1033;
inline constexpr int IDC_VIDEO_OUTPUT = 1034;
inline constexpr int IDC_DEFLICKER = 1035;
inline constexpr int IDC_DEFLICKER_WINDOW = 1036;
inline constexpr int IDC_SKIP_BAD = 1037;
inline constexpr int IDC_VIDEO_WIDTH = 1038;
inline constexpr int IDC_VIDEO_LENGTH = 1039;
// The Video options' choice of frames by time: the choice, then one field per option, in the
// order of FrameTimeField.
inline constexpr int IDC_FRAMES_BY = 1048;
inline constexpr int IDC_FRAME_TIME_FIRST = 1049;  // to 1055
// The main window's button that shows its menu.
inline constexpr int IDC_MORE = 1056;
// The Schedule and camera dialog.
inline constexpr int IDC_CAPTURE_HOURS = 1040;
inline constexpr int IDC_CAPTURE_DAYLIGHT = 1041;
inline constexpr int IDC_LATITUDE = 1042;
inline constexpr int IDC_LONGITUDE = 1043;
inline constexpr int IDC_MIN_FREE_MB = 1044;
inline constexpr int IDC_LATEST_FRAME = 1045;
inline constexpr int IDC_CAMERA_LOCK = 1046;
inline constexpr int IDC_POWER_LINE_HZ = 1047;

// Pictures, in the Qt resource file.
inline constexpr char IDR_MAINFRAME[] = ":/vorn.png";  // icon 128
inline constexpr char IDB_SPLASH[] = ":/splash.bmp";   // bitmap 131
