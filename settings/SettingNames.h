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
// Optional, for a capture that runs for a season; each absent key keeps the capture as it was.
inline constexpr char kCaptureHours[] = "CAPTURE_HOURS";
inline constexpr char kCaptureDaylight[] = "CAPTURE_DAYLIGHT";
inline constexpr char kLatitude[] = "LATITUDE";
inline constexpr char kLongitude[] = "LONGITUDE";
inline constexpr char kMinFreeMb[] = "MIN_FREE_MB";
inline constexpr char kLatestFrame[] = "LATEST_FRAME";
}  // namespace SettingNames
