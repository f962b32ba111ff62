#pragma once

#include "platform/DialogTemplate.h"

extern const DialogTemplate kVornDialogTemplate;      // 102, the main dialog
extern const DialogTemplate kAboutDialogTemplate;     // 100, the About box
extern const DialogTemplate kMakingDialogTemplate;    // 129, the video maker
extern const DialogTemplate kScheduleDialogTemplate;  // 140, Schedule and camera
extern const DialogTemplate kVideoOptionsTemplate;    // 132, the video maker's options
