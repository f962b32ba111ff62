#include "settings/SettingsKey.h"

#include <sys/stat.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <functional>

#include "platform/AtomicFile.h"
#include "platform/TextFields.h"

namespace {

constexpr char kGeneralGroup[] = "General";

// Quoted values are written by this program for text that would not survive a line of its own.
QString Unquote(const QString& value) {
    if (value.size() < 2 || !value.startsWith(u'"') || !value.endsWith(u'"')) {
        return value;
    }
    QString text;
    for (qsizetype i = 1; i + 1 < value.size(); ++i) {
        QChar c = value[i];
        if (c == u'\\' && i + 2 < value.size()) {
            c = value[++i];
            c = c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c;
        }
        text += c;
    }
    return text;
}

QString QuoteIfNeeded(const QString& value) {
    const bool needsQuotes = value != value.trimmed() || value.startsWith(u'"') ||
                             value.contains(u'\n') || value.contains(u'\r');
    if (!needsQuotes) {
        return value;
    }
    QString text = QStringLiteral("\"");
    for (QChar c : value) {
        if (c == u'\n') {
            text += QStringLiteral("\\n");
        } else if (c == u'\r') {
            text += QStringLiteral("\\r");
        } else {
            if (c == u'"' || c == u'\\') {
                text += u'\\';
            }
            text += c;
        }
    }
    return text + u'"';
}

QByteArray IniText(const QMap<QString, QString>& values) {
    QByteArray text = QByteArray("[") + kGeneralGroup + "]\n";
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        text += it.key().toUtf8() + '=' + QuoteIfNeeded(it.value()).toUtf8() + '\n';
    }
    return text;
}

// One `name=value` line of the file: its group, its name, and where the value's text stands in
// the file, without the blanks around it.
struct IniLine {
    QByteArray group;
    QByteArray name;
    qsizetype valueStart;
    qsizetype valueEnd;
};

// Calls `use` for each value line of `text`, in order; blank lines, comments (';', '#') and lines
// without a name are passed over. The one reading of the file's lines, so that what the reader
// takes is exactly what a stored value replaces.
void ForEachValueLine(const QByteArray& text, const std::function<void(const IniLine&)>& use) {
    QByteArray group;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end;
        qsizetype first = start;
        qsizetype last = end;
        while (first < last && IsBlank(text[first])) {
            ++first;
        }
        while (last > first && IsBlank(text[last - 1])) {
            --last;
        }
        const QByteArray line = text.mid(first, last - first);
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('[') && line.endsWith(']')) {
            group = line.mid(1, line.size() - 2).trimmed();
        } else if (!line.startsWith(';') && !line.startsWith('#') && equals > 0) {
            qsizetype valueStart = first + equals + 1;
            while (valueStart < last && IsBlank(text[valueStart])) {
                ++valueStart;
            }
            use({group, line.left(equals).trimmed(), valueStart, last});
        }
        start = end + 1;
    }
}

bool InGeneralGroup(const QByteArray& group) {
    return group.isEmpty() || group == kGeneralGroup;
}

// The values of an INI text, each kept whole up to the end of its line; a value of another
// group than [General] is named "group/name".
QMap<QString, QString> ParseIni(const QByteArray& text) {
    QMap<QString, QString> values;
    ForEachValueLine(text, [&](const IniLine& line) {
        const QString name = QString::fromUtf8(line.name);
        const QString value =
            Unquote(QString::fromUtf8(text.mid(line.valueStart, line.valueEnd - line.valueStart)));
        values.insert(
            InGeneralGroup(line.group) ? name : QString::fromUtf8(line.group) + u'/' + name, value);
    });
    return values;
}

// The whole file's bytes, or nothing (errno tells why) when it cannot be opened or read.
std::optional<QByteArray> ReadFileBytes(const QString& path) {
    errno = 0;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        if (file.error() == QFileDevice::NoError) {
            return bytes;
        }
    }
    // QFile keeps the system's error only as text; errno is still the failed call's.
    errno = errno != 0 ? errno : EIO;
    return std::nullopt;
}

// Replaces the settings file by `bytes`, keeping its permissions: 0, or the errno of the failure,
// when the old file is left as it was.
int ReplaceFile(const QString& path, const QByteArray& bytes) {
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat status {};
    const mode_t mode =
        ::stat(nativePath.constData(), &status) == 0 ? status.st_mode & 07777 : NewFileMode();
    return WriteFileAtomically(nativePath.toStdString(), bytes.constData(),
                               static_cast<std::size_t>(bytes.size()), true, mode);
}

// True when `error` is 0; otherwise false, with errno set to it for the caller to tell.
bool Succeeded(int error) {
    errno = error;
    return error == 0;
}

// Where the text of the [General] value `name` stands in `text`, on the value's last line, as
// ReadIni takes it. Empty when it is missing.
std::optional<std::pair<qsizetype, qsizetype>> FindValue(const QByteArray& text,
                                                         const QByteArray& name) {
    std::optional<std::pair<qsizetype, qsizetype>> found;
    ForEachValueLine(text, [&](const IniLine& line) {
        if (InGeneralGroup(line.group) && line.name == name) {
            found = std::pair(line.valueStart, line.valueEnd);
        }
    });
    return found;
}

// Where a new value line of [General] goes: after the group's last value, or at the end of the file
// under a [General] of its own when the group has none. `prefix` receives what the line needs in
// front of it.
qsizetype PlaceForNewValue(const QByteArray& text, QByteArray& prefix) {
    std::optional<qsizetype> lastLineEnd;
    ForEachValueLine(text, [&](const IniLine& line) {
        if (InGeneralGroup(line.group)) {
            lastLineEnd = line.valueEnd;
        }
    });
    const bool endsLine = text.isEmpty() || text.endsWith('\n');
    if (!lastLineEnd) {
        prefix = QByteArray(endsLine ? "" : "\n") + '[' + kGeneralGroup + "]\n";
        return text.size();
    }
    const qsizetype newline = text.indexOf('\n', *lastLineEnd);
    if (newline < 0) {
        prefix = "\n";
        return text.size();
    }
    return newline + 1;
}

// Changes the text of each [General] value of `values` in place, or adds its line when `add`
// allows it, and writes the file once: 0, or the errno of the failure (ENODATA: a value to change
// in place is missing), when the file is left as it was.
int StoreValuesIn(const QString& path, const SettingsKey::NamedTexts& values, bool add) {
    if (!SettingsKey::IsWritable()) {
        return QFileInfo::exists(path) ? EACCES : ENOENT;
    }
    std::optional<QByteArray> bytes = ReadFileBytes(path);
    if (!bytes) {
        return errno;
    }
    for (const auto& [name, text] : values) {
        const QByteArray value = QByteArray::fromStdString(text);
        if (const auto found = FindValue(*bytes, QByteArray(name))) {
            bytes->replace(found->first, found->second - found->first, value);
        } else if (add) {
            QByteArray prefix;
            const qsizetype at = PlaceForNewValue(*bytes, prefix);
            bytes->insert(at, prefix + name + '=' + value + '\n');
        } else {
            return ENODATA;
        }
    }
    return ReplaceFile(path, *bytes);
}

std::string& ProfileInUse() {
    static std::string profile;
    return profile;
}

}  // namespace

QString SettingsKey::FilePath() {
    // Where QSettings keeps a user's INI file: $XDG_CONFIG_HOME (or ~/.config), then the
    // organisation's folder and the application's file, which a profile's name follows.
    const std::string& profile = ProfileInUse();
    return QStringLiteral("%1/%2/%3%4.conf")
        .arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
             QCoreApplication::organizationName(), QCoreApplication::applicationName(),
             profile.empty() ? QString() : u'-' + QString::fromStdString(profile));
}

void SettingsKey::UseProfile(const std::string& name) {
    ProfileInUse() = name;
}

const std::string& SettingsKey::Profile() {
    return ProfileInUse();
}

bool SettingsKey::IsWritable() {
    const QFileInfo file(FilePath());
    constexpr auto kAnyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    // The permission bits count too: the superuser may write anything, yet a file the user marked
    // read-only is meant to stay as it is.
    return file.exists() && file.isWritable() && (file.permissions() & kAnyWrite) &&
           QFileInfo(file.absolutePath()).isWritable();
}

bool SettingsKey::StoreValueInPlace(const char* name, const std::string& text) {
    return Succeeded(StoreValuesIn(FilePath(), {{name, text}}, false));
}

bool SettingsKey::StoreValues(const NamedTexts& values) {
    if (QFileInfo::exists(FilePath())) {
        return Succeeded(StoreValuesIn(FilePath(), values, true));
    }
    errno = 0;
    std::optional<SettingsKey> key = OpenForWriting();
    if (!key) {
        return Succeeded(errno != 0 ? errno : EIO);
    }
    for (const auto& [name, text] : values) {
        key->m_values.insert(QString::fromUtf8(name), QString::fromStdString(text));
    }
    return Succeeded(ReplaceFile(FilePath(), IniText(key->m_values)));
}

std::unique_ptr<QLockFile> SettingsKey::Lock(std::chrono::milliseconds wait) {
    auto lock = std::make_unique<QLockFile>(FilePath() + QStringLiteral(".lock"));
    errno = 0;
    if (lock->tryLock(wait)) {
        return lock;
    }
    // QLockFile tells only the kind of failure; errno is still that of the call that failed to
    // create or write the lock file (a full disk, a folder without write permission).
    const int error = lock->error() == QLockFile::LockFailedError ? EWOULDBLOCK
                      : errno != 0                                ? errno
                                                                  : EIO;
    lock.reset();
    errno = error;
    return nullptr;
}

std::optional<SettingsKey> SettingsKey::OpenForReading() {
    const std::optional<QByteArray> bytes = ReadFileBytes(FilePath());
    if (!bytes) {
        return std::nullopt;
    }
    return SettingsKey(ParseIni(*bytes));
}

std::optional<SettingsKey> SettingsKey::OpenForWriting() {
    const QString path = FilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return std::nullopt;
    }
    return SettingsKey(ParseIni(file.readAll()));
}

std::optional<std::string> SettingsKey::Query(const char* name, std::size_t maxBytes) const {
    const auto value = m_values.constFind(QString::fromUtf8(name));
    if (value == m_values.cend()) {
        return std::nullopt;
    }
    std::string text = value->toStdString();
    if (text.size() + 1 > maxBytes) {
        return std::nullopt;
    }
    return text;
}

bool SettingsKey::SetValue(const char* name, const std::string& text) {
    m_values.insert(QString::fromUtf8(name), QString::fromStdString(text));
    return Succeeded(ReplaceFile(FilePath(), IniText(m_values)));
}
