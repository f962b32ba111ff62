#include "session/VideoOptionsStore.h"

#include "settings/Settings.h"
#include "video/VideoOutput.h"

namespace {

// The stored value when the video maker takes it; otherwise `value` keeps its default.
template <class Value, class Accepts>
void Take(const std::optional<Value>& stored, Value& value, Accepts accepts) {
    if (stored && accepts(*stored)) {
        value = *stored;
    }
}

}  // namespace

VideoOptions ReadVideoOptions() {
    VideoOptions options;
    const StoredVideoOptions stored = ReadVideoSettings();
    const auto any = [](const auto&) { return true; };
    Take(stored.outputName, options.outputName,
         [](const std::string& name) { return !OutputNameTrouble(name); });
    Take(stored.deflicker, options.deflicker, any);
    Take(stored.deflickerWindow, options.deflickerWindow, IsDeflickerWindow);
    Take(stored.skipBad, options.skipBad, any);
    Take(stored.width, options.width, IsWidthToScaleTo);
    Take(stored.lengthSeconds, options.lengthSeconds, any);
    return options;
}

bool StoreVideoOptions(const VideoOptions& options) {
    return StoreVideoSettings({options.outputName, options.deflicker, options.deflickerWindow,
                               options.skipBad, options.width, options.lengthSeconds});
}
