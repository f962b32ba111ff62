#pragma once

#include "hooks/Hook.h"
#include "settings/Settings.h"

// The hook of `event` as `settings` give it (ON_FRAME and ON_FRAME_TIMEOUT, ON_VIDEO or ON_DAY
// and ON_VIDEO_TIMEOUT), with the profile in use; its command is empty when there is none.
Hook HookFromSettings(const StoredSettings& settings, HookEvent event);
