#include "hooks/Hook.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glib.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Tell.h"
#include "platform/TimeZone.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// How often a running hook is looked at while its standard error is quiet.
constexpr int kPollMs = 50;

constexpr std::array kVariableNames = {"VORN_EVENT",   "VORN_FILE",    "VORN_FRAME",
                                       "VORN_TIME",    "VORN_PROFILE", "VORN_DIR",
                                       "VORN_TROUBLE", "VORN_MESSAGE", "VORN_SINCE"};

const char* EventWord(HookEvent event) {
    switch (event) {
        case HookEvent::Frame:
            return "frame";
        case HookEvent::Video:
            return "video";
        case HookEvent::Day:
            return "day";
        case HookEvent::Trouble:
            return "trouble";
    }
    return "";
}

std::string Absolute(const std::string& path) {
    return QDir::cleanPath(
               QFileInfo(QString::fromStdString(path.empty() ? "." : path)).absoluteFilePath())
        .toStdString();
}

bool IsOwnVariable(const char* entry) {
    return std::any_of(kVariableNames.begin(), kVariableNames.end(), [&](const char* name) {
        const std::size_t length = std::strlen(name);
        return std::strncmp(entry, name, length) == 0 && entry[length] == '=';
    });
}

// The process's environment without the variables the hook is given, then those.
std::vector<std::string> HookEnvironment(const Hook& hook, const HookFile& file) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!IsOwnVariable(*entry)) {
            entries.emplace_back(*entry);
        }
    }
    for (std::string& variable : HookVariables(hook, file)) {
        entries.push_back(std::move(variable));
    }
    return entries;
}

std::vector<char*> NullTerminated(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The end of what a hook writes on its standard error: its last lines, at most a few kilobytes.
class StderrTail {
public:
    void Add(const char* bytes, std::size_t count) {
        m_text.append(bytes, count);
        if (m_text.size() > 2 * kHookStderrBytes) {
            m_text.erase(0, m_text.size() - kHookStderrBytes);
        }
    }
    std::string LastLines() const {
        std::string text = m_text.size() > kHookStderrBytes
                               ? m_text.substr(m_text.size() - kHookStderrBytes)
                               : m_text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        std::size_t start = text.size();
        for (int lines = 0; lines < kHookStderrLines && start != std::string::npos; ++lines) {
            start = start == 0 ? std::string::npos : text.rfind('\n', start - 1);
        }
        return start == std::string::npos ? text : text.substr(start + 1);
    }

private:
    std::string m_text;
};

// Reads what the hook wrote on `fd` for up to `ms`; false once the pipe is closed.
bool ReadStderr(int fd, int ms, StderrTail& tail) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, ms) <= 0) {
        return true;
    }
    std::array<char, 4096> buffer{};
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count > 0) {
        tail.Add(buffer.data(), static_cast<std::size_t>(count));
        return true;
    }
    return count < 0 && (errno == EINTR || errno == EAGAIN);
}

// Whether the hook has ended; it stays a zombie, so that its process group's id is not taken by
// another process while the group is signalled.
bool HasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

enum class Waited { Ended, PastDeadline, Interrupted };

// Waits for the hook to end until `deadline` or `interrupted` (when given), keeping the end of its
// standard error.
Waited WaitUntil(pid_t pid, int& stderrFd, std::chrono::steady_clock::time_point deadline,
                 StderrTail& tail, const HookInterrupted& interrupted) {
    while (!HasEnded(pid)) {
        if (interrupted && interrupted()) {
            return Waited::Interrupted;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) {
            return Waited::PastDeadline;
        }
        const int slice = static_cast<int>(std::min<long long>(left.count(), kPollMs));
        if (stderrFd < 0 || !ReadStderr(stderrFd, slice, tail)) {
            if (stderrFd >= 0) {
                ::close(stderrFd);
                stderrFd = -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
    }
    // What it wrote last; a child it left behind may hold the pipe and go on writing, so nothing
    // is waited for and only what is there now is read.
    constexpr int kLastReads = 16;
    for (int reads = 0; reads < kLastReads && stderrFd >= 0; ++reads) {
        pollfd readable{stderrFd, POLLIN, 0};
        if (::poll(&readable, 1, 0) <= 0 || !ReadStderr(stderrFd, 0, tail)) {
            break;
        }
    }
    return Waited::Ended;
}

// Ends the hook's process group: SIGTERM, and SIGKILL `grace` later to whatever of it is left,
// the hook or what it started and left behind.
void EndGroup(pid_t pid, int& stderrFd, std::chrono::milliseconds grace, StderrTail& tail) {
    ::kill(-pid, SIGTERM);
    WaitUntil(pid, stderrFd, std::chrono::steady_clock::now() + grace, tail, {});
    ::kill(-pid, SIGKILL);
}

// Starts the hook in a process group of its own, its standard error into `stderrWrite`; the
// error number when it could not start.
int SpawnHook(std::vector<std::string>& words, std::vector<std::string>& environment,
              int stderrWrite, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stderrWrite, STDERR_FILENO);
    // Signals the program catches or ignores are the hook's own again, and none is blocked.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv = NullTerminated(words);
    std::vector<char*> envp = NullTerminated(environment);
    const int error =
        ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

HookRun CannotStart(std::string why) {
    HookRun run;
    run.end = HookRun::End::CannotStart;
    run.why = std::move(why);
    return run;
}

}  // namespace

std::optional<std::vector<std::string>> SplitHookCommand(const std::string& command,
                                                         std::string& why) {
    gint count = 0;
    gchar** words = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(command.c_str(), &count, &words, &error)) {
        why = error != nullptr ? error->message : "it cannot be split into words";
        g_clear_error(&error);
        return std::nullopt;
    }
    std::vector<std::string> split(words, words + count);
    g_strfreev(words);
    return split;
}

std::vector<std::string> HookVariables(const Hook& hook, const HookFile& file) {
    std::vector<std::string> variables = {"VORN_PROFILE=" + hook.profile,
                                          "VORN_DIR=" + Absolute(file.dir)};
    // A trouble has no file, only its words.
    if (const std::optional<HookTrouble>& trouble = file.trouble) {
        variables.insert(variables.end(),
                         {std::string("VORN_EVENT=") + (trouble->resolved ? "resolved" : "trouble"),
                          "VORN_TROUBLE=" + trouble->code, "VORN_MESSAGE=" + trouble->message,
                          "VORN_SINCE=" + LocalIsoTime(trouble->sinceMs)});
        return variables;
    }
    variables.insert(variables.end(), {std::string("VORN_EVENT=") + EventWord(hook.event),
                                       "VORN_FILE=" + Absolute(file.path),
                                       "VORN_TIME=" + LocalIsoTime(file.wallMs)});
    if (file.frame) {
        variables.push_back("VORN_FRAME=" + std::to_string(*file.frame));
    }
    return variables;
}

HookRun RunHook(const Hook& hook, const HookFile& file, const HookInterrupted& interrupted) {
    if (interrupted && interrupted()) {
        HookRun run;
        run.end = HookRun::End::Interrupted;
        return run;
    }
    std::string why;
    std::optional<std::vector<std::string>> words = SplitHookCommand(hook.command, why);
    if (!words) {
        return CannotStart(why);
    }
    if (words->empty()) {
        return CannotStart("it holds no program");
    }
    std::vector<std::string> environment = HookEnvironment(hook, file);
    std::array<int, 2> pipeFds{-1, -1};
    if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        return CannotStart(std::strerror(errno));
    }
    pid_t pid = 0;
    const int error = SpawnHook(*words, environment, pipeFds[1], pid);
    ::close(pipeFds[1]);
    int stderrFd = pipeFds[0];
    if (error != 0) {
        ::close(stderrFd);
        return CannotStart((*words)[0] + ": " + std::strerror(error));
    }
    HookRun run;
    StderrTail tail;
    const auto start = std::chrono::steady_clock::now();
    switch (WaitUntil(pid, stderrFd, start + hook.timeout, tail, interrupted)) {
        case Waited::Ended:
            break;
        case Waited::PastDeadline:
            run.end = HookRun::End::TimedOut;
            EndGroup(pid, stderrFd, kHookKillGrace, tail);
            break;
        case Waited::Interrupted:
            run.end = HookRun::End::Interrupted;
            EndGroup(pid, stderrFd, kHookInterruptGrace, tail);
            break;
    }
    if (stderrFd >= 0) {
        ::close(stderrFd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.stderrTail = tail.LastLines();
    if (WIFSIGNALED(status)) {
        run.signal = true;
        run.status = WTERMSIG(status);
    } else {
        run.status = WEXITSTATUS(status);
    }
    if (run.end == HookRun::End::Succeeded && (run.signal || run.status != 0)) {
        run.end = HookRun::End::Failed;
    }
    return run;
}

std::optional<std::string> HookFailure(const Hook& hook, const HookRun& run) {
    std::string what;
    switch (run.end) {
        case HookRun::End::Succeeded:
            return std::nullopt;
        case HookRun::End::CannotStart:
            return "the " + hook.name + " hook '" + hook.command + "' cannot start: " + run.why;
        case HookRun::End::TimedOut:
            what = "ran past its " + std::to_string(hook.timeout.count()) + " s and was stopped (" +
                   (run.signal ? "signal " : "status ") + std::to_string(run.status) + ")";
            break;
        case HookRun::End::Interrupted:
            what = "did not run to its end: vorn was interrupted";
            break;
        case HookRun::End::Failed:
            what = run.signal ? "was ended by signal " + std::to_string(run.status)
                              : "exited with status " + std::to_string(run.status);
            break;
    }
    std::string tail = run.stderrTail;
    std::replace(tail.begin(), tail.end(), '\n', '|');
    return "the " + hook.name + " hook '" + hook.command + "' " + what +
           (tail.empty() ? "" : ": " + tail);
}

bool RunHookAndTell(const Hook& hook, const HookFile& file, const HookInterrupted& interrupted) {
    if (hook.command.empty()) {
        return true;
    }
    const HookRun run = RunHook(hook, file, interrupted);
    if (const std::optional<std::string> failure = HookFailure(hook, run)) {
        TellLine(*failure);
    }
    return run.end != HookRun::End::Interrupted;
}

HookQueue::HookQueue(std::function<void(const std::string& failure)> tellFailure,
                     std::size_t capacity)
    : m_tellFailure(std::move(tellFailure)),
      m_capacity(std::max<std::size_t>(capacity, 1)),
      m_worker([this](const std::stop_token& stop) { Work(stop); }) {}

HookQueue::~HookQueue() {
    m_worker.request_stop();
    m_posted.notify_all();
}

bool HookQueue::Post(const Hook& hook, HookFile file) {
    if (hook.command.empty()) {
        return true;
    }
    bool kept = true;
    {
        const std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= m_capacity) {
            m_waiting.pop_front();
            kept = false;
        }
        m_waiting.emplace_back(hook, std::move(file));
    }
    m_posted.notify_one();
    return kept;
}

void HookQueue::Work(const std::stop_token& stop) {
    while (true) {
        std::pair<Hook, HookFile> next;
        {
            std::unique_lock lock(m_mutex);
            // Once stopped, what waits is dropped.
            if (!m_posted.wait(lock, stop, [this] { return !m_waiting.empty(); }) ||
                stop.stop_requested()) {
                return;
            }
            next = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        const HookRun run = RunHook(next.first, next.second);
        if (const std::optional<std::string> failure = HookFailure(next.first, run)) {
            m_tellFailure(*failure);
        }
    }
}
