#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A command the user has run once a frame, a video or a day is complete under its final name:
// an upload, a post, a backup. It runs as a program and its arguments, split as a shell splits
// words (quotes included, nothing expanded), without a shell, in a process group of its own.

// What a hook is run after: a file complete, or a trouble the watcher raised or saw resolved.
enum class HookEvent { Frame, Video, Day, Trouble };

// One hook as the settings give it.
struct Hook {
    HookEvent event = HookEvent::Frame;
    std::string name;     // the setting that holds it ("ON_FRAME"), for messages
    std::string command;  // empty: no hook
    // From the settings, whose key table holds the default.
    std::chrono::seconds timeout{};
    std::string profile;  // VORN_PROFILE: the --profile, or empty
};

// A trouble the watcher raised or saw resolved, for a trouble hook.
struct HookTrouble {
    bool resolved = false;     // VORN_EVENT: "resolved", else "trouble"
    std::string code;          // VORN_TROUBLE: "stalled", "disk", ...
    std::string message;       // VORN_MESSAGE
    std::int64_t sinceMs = 0;  // VORN_SINCE: when it began
};

// The file a hook is run for; a trouble hook has no file, only its folder and its trouble.
struct HookFile {
    std::string path;          // made absolute for VORN_FILE
    std::optional<int> frame;  // VORN_FRAME: the frame's number, for frame events
    std::int64_t wallMs = 0;   // VORN_TIME: when the frame was taken or the file made
    std::string dir;           // VORN_DIR: the frame folder, made absolute
    std::optional<HookTrouble> trouble = {};
};

// How a hook's run ended.
struct HookRun {
    enum class End { Succeeded, Failed, TimedOut, Interrupted, CannotStart };
    End end = End::Succeeded;
    // The exit status (Failed), or the signal that ended it (Failed with `signal`, TimedOut,
    // Interrupted).
    int status = 0;
    bool signal = false;
    // Why it could not start, or the last lines of its standard error.
    std::string why;
    std::string stderrTail;
};

// The words of `command` as a shell would split them, quotes and backslashes included, with no
// expansion; nothing (and `why` says why) for an unfinished quote or an empty command.
std::optional<std::vector<std::string>> SplitHookCommand(const std::string& command,
                                                         std::string& why);

// The variables a hook finds in its environment besides those it inherits: NAME=value each.
std::vector<std::string> HookVariables(const Hook& hook, const HookFile& file);

// How long a hook that outlived its timeout is given after SIGTERM before SIGKILL.
inline constexpr std::chrono::seconds kHookKillGrace{5};
// The same for a hook whose launch is interrupted: short, so that the launch ends within a second.
inline constexpr std::chrono::milliseconds kHookInterruptGrace{500};
// The lines of a hook's standard error kept for its message, and the bytes they may take.
inline constexpr int kHookStderrLines = 5;
inline constexpr std::size_t kHookStderrBytes = 2048;

// Says whether the launch that runs a hook has been asked to stop (SIGTERM, Ctrl+C); looked at
// several times a second while the hook runs, so it must be quick and safe from any thread.
using HookInterrupted = std::function<bool()>;

// Runs `hook` for `file` and waits for it, up to its timeout: then its process group gets SIGTERM,
// and SIGKILL kHookKillGrace later. Once `interrupted` (when given) says so, the group is ended the
// same way after kHookInterruptGrace, and a hook not started yet is never started. Its standard
// input and output are /dev/null; the end of its standard error is kept for the message. Safe to
// call from any thread.
HookRun RunHook(const Hook& hook, const HookFile& file, const HookInterrupted& interrupted = {});

// The one line that tells a hook's failure ("the ON_FRAME hook 'x' exited with status 3: ..."),
// or nothing when it succeeded.
std::optional<std::string> HookFailure(const Hook& hook, const HookRun& run);

// The command-line modes' way: runs `hook` for `file` as RunHook does, when it has a command, and
// tells a failure in one line on standard error. A hook's own failure never changes how the launch
// ends; false when `interrupted` ended it, so that the launch ends as interrupted.
bool RunHookAndTell(const Hook& hook, const HookFile& file,
                    const HookInterrupted& interrupted = {});

// Runs one hook's events beside the work that makes them, on a thread of its own, one at a time
// and in order: events that come while one runs wait, up to `capacity` of them, and a newer one
// takes the place of the oldest waiting, so that a slow hook sees the first and the newest
// events, never a queue that grows. Each failure is handed to `tellFailure` on that thread.
class HookQueue {
public:
    explicit HookQueue(std::function<void(const std::string& failure)> tellFailure,
                       std::size_t capacity = 1);
    // Drops the event that waits and waits for the one that runs, which its timeout bounds.
    ~HookQueue();
    HookQueue(const HookQueue&) = delete;
    HookQueue& operator=(const HookQueue&) = delete;

    // Runs `hook` for `file` once those before it have ended; a hook without a command is passed
    // over. False when a waiting event was dropped for it. Safe to call from any thread.
    bool Post(const Hook& hook, HookFile file);

private:
    void Work(const std::stop_token& stop);

    std::function<void(const std::string&)> m_tellFailure;
    const std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable_any m_posted;
    std::deque<std::pair<Hook, HookFile>> m_waiting;  // guarded by m_mutex, oldest first
    std::jthread m_worker;                            // last: started once the rest is there
};
