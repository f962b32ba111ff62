#pragma once

#include "platform/FreeSpace.h"
#include "schedule/CaptureSchedule.h"

// What a capture that runs for a season asks of each frame it saves. The defaults ask nothing:
// every frame is saved, whatever the hour and the free space.
struct SaveConditions {
    // When frames are saved.
    CaptureSchedule schedule;
    // The megabytes the frame folder's file system keeps free; 0: no floor.
    int minFreeMb = 0;
    // latest.jpg in the frame folder after each saved frame.
    bool latestFrame = false;
    // Tells the free space; never null.
    const FreeSpaceProbe* freeSpace = &DefaultFreeSpace();
};
