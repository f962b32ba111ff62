#include "frames/AttemptRecord.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <atomic>
#include <cmath>
#include <cstring>

#include "frames/FrameFile.h"
#include "platform/AtomicFile.h"
#include "platform/PosixFiles.h"
#include "platform/Tell.h"

namespace {

// A record is a line of text; anything larger is not one of ours.
constexpr std::size_t kMaxRecordBytes = std::size_t{64} << 10;
// JSON numbers are doubles: integers beyond this lose digits.
constexpr double kLargestExactInteger = 9007199254740992.0;

const char* const kTimeField = "time_ms";
const char* const kExitCodeField = "exit_code";
const char* const kMessageField = "message";

std::string RecordPath(const std::string& frameDir, AttemptKind kind) {
    return WithTrailingSeparator(frameDir) + AttemptFileName(kind);
}

// Whether `value` is a whole number that a double holds exactly.
bool IsWholeNumber(const QJsonValue& value) {
    const double number = value.toDouble(NAN);
    return value.isDouble() && std::trunc(number) == number &&
           std::fabs(number) <= kLargestExactInteger;
}

// The file's bytes, or nothing when it cannot be read or is larger than a record.
std::optional<QByteArray> ReadBounded(const std::string& path) {
    struct stat status {};
    const UniqueFd fd = OpenRegularFile(AT_FDCWD, path.c_str(), O_RDONLY, status);
    if (!fd.IsOpen() || static_cast<std::size_t>(status.st_size) > kMaxRecordBytes) {
        return std::nullopt;
    }
    // One byte more than allowed, so that a file grown since its status is still told.
    QByteArray bytes(static_cast<qsizetype>(kMaxRecordBytes + 1), Qt::Uninitialized);
    const std::optional<std::size_t> filled =
        ReadUpTo(fd.Get(), bytes.data(), static_cast<std::size_t>(bytes.size()));
    if (!filled || *filled > kMaxRecordBytes) {
        return std::nullopt;
    }
    bytes.truncate(static_cast<qsizetype>(*filled));
    return bytes;
}

}  // namespace

const char* AttemptFileName(AttemptKind kind) {
    return kind == AttemptKind::Capture ? ".vorn-capture.json" : ".vorn-daily.json";
}

void RecordAttempt(const std::string& frameDir, AttemptKind kind, const Attempt& attempt) {
    const QJsonObject record{
        {kTimeField, static_cast<double>(attempt.timeMs)},
        {kExitCodeField, attempt.exitCode},
        {kMessageField, QString::fromStdString(attempt.message)},
    };
    const QByteArray bytes = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    const std::string path = RecordPath(frameDir, kind);
    const int error = WriteFileAtomically(path, bytes.constData(), bytes.size());
    static std::atomic<bool> told{false};
    if (error != 0 && !told.exchange(true)) {
        TellLine("cannot record the outcome in " + path + " (" + std::strerror(error) +
                 "); frames and videos are made all the same");
    }
}

std::optional<Attempt> ReadAttempt(const std::string& frameDir, AttemptKind kind) {
    const std::optional<QByteArray> bytes = ReadBounded(RecordPath(frameDir, kind));
    if (!bytes) {
        return std::nullopt;
    }
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parsed);
    const QJsonObject record = document.object();
    const QJsonValue time = record.value(kTimeField);
    const QJsonValue code = record.value(kExitCodeField);
    const QJsonValue message = record.value(kMessageField);
    if (parsed.error != QJsonParseError::NoError || !IsWholeNumber(time) || !IsWholeNumber(code) ||
        code.toDouble() < 0 || code.toDouble() > 255 || !message.isString()) {
        return std::nullopt;
    }
    return Attempt{static_cast<std::int64_t>(time.toDouble()), code.toInt(),
                   message.toString().toStdString()};
}
