#include "platform/SettingsKey.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <functional>

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

bool WriteIni(QIODevice& device, const QSettings::SettingsMap& map) {
    QByteArray text = QByteArray("[") + kGeneralGroup + "]\n";
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        text += it.key().toUtf8() + '=' + QuoteIfNeeded(it.value().toString()).toUtf8() + '\n';
    }
    return device.write(text) == text.size();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
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

// An INI reader that keeps a value's text whole up to the end of its line.
bool ReadIni(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray text = device.readAll();
    ForEachValueLine(text, [&](const IniLine& line) {
        const QString name = QString::fromUtf8(line.name);
        const QString value =
            Unquote(QString::fromUtf8(text.mid(line.valueStart, line.valueEnd - line.valueStart)));
        map.insert(InGeneralGroup(line.group) ? name : QString::fromUtf8(line.group) + u'/' + name,
                   value);
    });
    return true;
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

QSettings::Format IniFormat() {
    static const QSettings::Format format = QSettings::registerFormat("conf", ReadIni, WriteIni);
    return format;
}

}  // namespace

QString SettingsKey::FilePath() {
    // Where QSettings keeps a user's INI file: $XDG_CONFIG_HOME (or ~/.config), then the
    // organisation's folder and the application's file.
    return QStringLiteral("%1/%2/%3.conf")
        .arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
             QCoreApplication::organizationName(), QCoreApplication::applicationName());
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
    QFile current(FilePath());
    if (!IsWritable() || !current.open(QIODevice::ReadOnly)) {
        return false;
    }
    QByteArray bytes = current.readAll();
    current.close();
    const auto value = FindValue(bytes, QByteArray(name));
    if (!value) {
        return false;
    }
    bytes.replace(value->first, value->second - value->first, QByteArray::fromStdString(text));
    QSaveFile replacement(FilePath());
    return replacement.open(QIODevice::WriteOnly) && replacement.write(bytes) == bytes.size() &&
           replacement.commit();
}

std::unique_ptr<QLockFile> SettingsKey::Lock(std::chrono::milliseconds wait) {
    auto lock = std::make_unique<QLockFile>(FilePath() + QStringLiteral(".lock"));
    if (!lock->tryLock(wait)) {
        return nullptr;
    }
    return lock;
}

std::optional<SettingsKey> SettingsKey::OpenForReading() {
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    auto settings = std::make_unique<QSettings>(FilePath(), IniFormat());
    if (settings->status() != QSettings::NoError) {
        return std::nullopt;
    }
    return SettingsKey(std::move(settings));
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
    file.close();
    return SettingsKey(std::make_unique<QSettings>(path, IniFormat()));
}

std::optional<std::string> SettingsKey::Query(const char* name, std::size_t maxBytes) const {
    const QVariant value = m_settings->value(QString::fromUtf8(name));
    if (!value.isValid()) {
        return std::nullopt;
    }
    std::string text = value.toString().toStdString();
    if (text.size() + 1 > maxBytes) {
        return std::nullopt;
    }
    return text;
}

void SettingsKey::SetValue(const char* name, const std::string& text) {
    m_settings->setValue(QString::fromUtf8(name), QString::fromStdString(text));
}
