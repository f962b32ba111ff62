#pragma once

// The program's texts that stand in more than one place. Each is kept here once.
inline constexpr char kProductPageUrl[] = "https://vorn.brimlow.net/";
inline constexpr char kUserGroupUrl[] = "https://groups.brimlow.net/vorn";
inline constexpr char kNoticeLine[] = "© 2010 Brimlow - www.brimlow.net";
inline constexpr char IDS_SYSMENU_ABOUT[] = "&About Vorn...";
inline constexpr char IDS_VIDEO_OPTIONS[] = "&Video options...";
inline constexpr char kPreviewWindowName[] = "Vorn";
inline constexpr char kNoCameraMessage[] =
    "Could not find camera! Please plug a camera in and try again.";
inline constexpr char kCannotFindSettingsMessage[] = "Error! Cannot find settings.";
inline constexpr char kCannotStoreVideoOptions[] =
    "Error. Can't store the video options in the settings file; they hold until Vorn closes.";
// The names that place the settings file ($XDG_CONFIG_HOME/Brimlow/Vorn.conf) and title the
// message boxes.
inline constexpr char kOrganizationName[] = "Brimlow";
inline constexpr char kApplicationName[] = "Vorn";
