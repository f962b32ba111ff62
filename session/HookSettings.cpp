#include "session/HookSettings.h"

Hook HookFromSettings(const StoredSettings& settings, HookEvent event) {
    Hook hook;
    hook.event = event;
    hook.profile = ProfileName();
    switch (event) {
        case HookEvent::Frame:
            hook.name = SettingName(Setting::OnFrame);
            hook.command = settings.onFrame;
            hook.timeout = std::chrono::seconds(settings.onFrameTimeoutSeconds);
            break;
        case HookEvent::Video:
            hook.name = SettingName(Setting::OnVideo);
            hook.command = settings.onVideo;
            hook.timeout = std::chrono::seconds(settings.onVideoTimeoutSeconds);
            break;
        case HookEvent::Day:
            hook.name = SettingName(Setting::OnDay);
            hook.command = settings.onDay;
            hook.timeout = std::chrono::seconds(settings.onVideoTimeoutSeconds);
            break;
        case HookEvent::Trouble:
            hook.name = SettingName(Setting::OnTrouble);
            hook.command = settings.onTrouble;
            hook.timeout = std::chrono::seconds(settings.onTroubleTimeoutSeconds);
            break;
    }
    return hook;
}
