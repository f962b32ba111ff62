#pragma once

// The values of the settings file.
namespace SettingNames {
inline constexpr char kAutoStartDir[] = "AUTO_START_DIR";
inline constexpr char kAutoStartOnOff[] = "AUTO_START_ON_OFF";
inline constexpr char kAutoStartFrameCount[] = "AUTO_START_FRAME_COUNT";
inline constexpr char kCamRef[] = "CAM_REF";
inline constexpr char kResolutionRef[] = "RESOLUTION_REF";
// Optional: a device path, video file, stream URL or GStreamer pipeline to use instead of a
// camera index. Not written by default and not missed when absent.
inline constexpr char kCamSource[] = "CAM_SOURCE";
// Optional: 1 holds the camera's exposure, white balance and focus once it has warmed up.
inline constexpr char kCameraLock[] = "CAMERA_LOCK";
// Optional: 50 or 60, the mains frequency the camera's anti-flicker filter is set to.
inline constexpr char kPowerLineHz[] = "POWER_LINE_HZ";
// Optional: the video maker's options, written when the user chooses them in the window.
inline constexpr char kVideoOutput[] = "VIDEO_OUTPUT";
inline constexpr char kVideoDeflicker[] = "VIDEO_DEFLICKER";
inline constexpr char kVideoDeflickerWindow[] = "VIDEO_DEFLICKER_WINDOW";
inline constexpr char kVideoSkipBad[] = "VIDEO_SKIP_BAD";
inline constexpr char kVideoWidth[] = "VIDEO_WIDTH";
inline constexpr char kVideoLength[] = "VIDEO_LENGTH";
// Optional, for a capture that runs for a season; each absent key keeps the capture as it was.
inline constexpr char kCaptureHours[] = "CAPTURE_HOURS";
inline constexpr char kCaptureDaylight[] = "CAPTURE_DAYLIGHT";
inline constexpr char kLatitude[] = "LATITUDE";
inline constexpr char kLongitude[] = "LONGITUDE";
inline constexpr char kMinFreeMb[] = "MIN_FREE_MB";
inline constexpr char kLatestFrame[] = "LATEST_FRAME";
}  // namespace SettingNames
