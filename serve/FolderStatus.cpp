#include "serve/FolderStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>

#include "frames/FrameFile.h"

// A plain listing of the whole folder at each Refresh: the server's stand-in until the
// incremental one takes its place.

namespace {

constexpr char kDaysFolder[] = "days";

// `file` as the page serves it under `name`: a regular file, never a link.
std::optional<ServedFile> Served(const QFileInfo& file, const std::string& name) {
    if (!file.isFile() || file.isSymLink()) {
        return std::nullopt;
    }
    return ServedFile{name, file.absoluteFilePath().toStdString(),
                      static_cast<std::uint64_t>(file.size()), file.lastModified()};
}

// The regular files of `dir` (no links, no hidden files) whose names match `pattern`, by the name
// the page gives them (`prefix` + the file's name).
void AddFiles(std::map<std::string, ServedFile>& files, const QString& dir,
              const QRegularExpression& pattern, const QString& prefix) {
    const QFileInfo folder(dir);
    if (!folder.isDir() || folder.isSymLink()) {
        return;
    }
    for (const QFileInfo& file : QDir(dir).entryInfoList(QDir::Files | QDir::NoSymLinks)) {
        if (pattern.match(file.fileName()).hasMatch()) {
            const std::string name = (prefix + file.fileName()).toStdString();
            if (std::optional<ServedFile> served = Served(file, name)) {
                files[name] = std::move(*served);
            }
        }
    }
}

QJsonArray Listed(const std::map<std::string, ServedFile>& files, const QString& urlPrefix) {
    QJsonArray listed;
    for (const auto& [name, file] : files) {
        listed.append(QJsonObject{{"name", QString::fromStdString(name)},
                                  {"size", static_cast<qint64>(file.size)},
                                  {"time", file.time.toString(Qt::ISODate)},
                                  {"url", urlPrefix + QString::fromStdString(name)}});
    }
    return listed;
}

}  // namespace

struct FolderStatus::Snapshot {
    int frames = 0;
    std::optional<ServedFile> latest;
    std::optional<std::uint64_t> freeBytes;
    std::map<std::string, ServedFile> videos;
    std::map<std::string, ServedFile> pictures;
    QDateTime updated;
};

FolderStatus::FolderStatus(FolderStatusInputs inputs, const FreeSpaceProbe& freeSpace)
    : m_inputs(std::move(inputs)),
      m_freeSpace(freeSpace),
      m_snapshot(std::make_shared<Snapshot>()) {}

FolderStatus::~FolderStatus() = default;

void FolderStatus::Refresh(const QDateTime& now) {
    auto snapshot = std::make_shared<Snapshot>();
    const QString dir =
        QString::fromStdString(m_inputs.frameDir.empty() ? "./" : m_inputs.frameDir);
    const std::vector<int> numbers =
        ListFrameNumbers(m_inputs.frameDir).value_or(std::vector<int>());
    snapshot->frames = static_cast<int>(numbers.size());
    snapshot->latest = Served(QFileInfo(dir + kLatestFrameName), kLatestFrameName);
    if (!snapshot->latest && !numbers.empty()) {
        const std::string newest = FrameFileName(numbers.back());
        snapshot->latest = Served(QFileInfo(dir + QString::fromStdString(newest)), newest);
    }
    snapshot->freeBytes = m_freeSpace.FreeBytes(m_inputs.frameDir);
    AddFiles(snapshot->videos, dir, QRegularExpression(R"(^[^.].*\.(mp4|avi|mkv|mov|webm)$)"), {});
    const QString days = dir + kDaysFolder;
    const QString dayPrefix = QStringLiteral("%1/").arg(kDaysFolder);
    AddFiles(snapshot->videos, days, QRegularExpression(R"(^\d{4}-\d\d-\d\d\.mp4$)"), dayPrefix);
    AddFiles(snapshot->pictures, days,
             QRegularExpression(R"(^\d{4}-\d\d-\d\d-(keogram|sheet)\.jpg$)"), dayPrefix);
    snapshot->updated = now;
    const std::lock_guard lock(m_mutex);
    m_snapshot = std::move(snapshot);
}

std::string FolderStatus::StatusJson(const QDateTime& /*now*/) const {
    std::shared_ptr<const Snapshot> snapshot;
    {
        const std::lock_guard lock(m_mutex);
        snapshot = m_snapshot;
    }
    QJsonObject status{{"frames", snapshot->frames},
                       {"videos", Listed(snapshot->videos, "/videos/")},
                       {"pictures", Listed(snapshot->pictures, "/")},
                       {"updated", snapshot->updated.toString(Qt::ISODate)}};
    status["latest"] =
        snapshot->latest
            ? QJsonValue(QJsonObject{{"file", QString::fromStdString(snapshot->latest->name)},
                                     {"time", snapshot->latest->time.toString(Qt::ISODate)}})
            : QJsonValue();
    status["free_mb"] = snapshot->freeBytes
                            ? QJsonValue(static_cast<qint64>(*snapshot->freeBytes >> 20U))
                            : QJsonValue();
    return QJsonDocument(status).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<ServedFile> FolderStatus::LatestFrame() const {
    const std::lock_guard lock(m_mutex);
    return m_snapshot->latest;
}

std::optional<ServedFile> FolderStatus::Video(std::string_view name) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_snapshot->videos.find(std::string(name));
    return found == m_snapshot->videos.end() ? std::nullopt : std::optional(found->second);
}

std::optional<ServedFile> FolderStatus::DayPicture(std::string_view name) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_snapshot->pictures.find(std::string(name));
    return found == m_snapshot->pictures.end() ? std::nullopt : std::optional(found->second);
}
