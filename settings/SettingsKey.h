#pragma once

#include <QMap>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The program's settings file, opened for reading or for writing. Values are text. The file is
// $XDG_CONFIG_HOME/Brimlow/Vorn.conf (default ~/.config/Brimlow/Vorn.conf), or Vorn-NAME.conf for
// the profile NAME, an INI file whose
// values are taken as they stand on their line, so that a path typed by hand with commas, ';' or
// '#' reads back whole. Every open reads the file afresh (no cache that a change within the same
// second, or one that keeps the file's time, could hide), and every write goes to a temporary
// file that is flushed to the disk before it is renamed over the old one.
class QLockFile;

class SettingsKey {
public:
    // Values to store, each under its name.
    using NamedTexts = std::vector<std::pair<const char*, std::string>>;

    // The longest value a query returns, in bytes, counting the terminating NUL it is stored with.
    static constexpr std::size_t kMaxValueBytes = 255;

    static QString FilePath();
    // Makes every later open, store and lock use the profile `name`'s file; empty for the
    // program's own. Set once at start-up, before any other thread reads the settings.
    static void UseProfile(const std::string& name);
    // The profile in use, or empty.
    static const std::string& Profile();

    // True when the file exists, is not marked read-only and can be replaced in its folder.
    static bool IsWritable();
    // Changes the text of one value of the [General] group in place: every other byte of the file
    // stays as it is. The new file is written beside the old one and renamed over it. False
    // (errno tells why) when the file or the value is missing (neither is created) or the file
    // could not be written.
    static bool StoreValueInPlace(const char* name, const std::string& text);
    // Stores values of the [General] group in one rewrite of the file: each in place when the file
    // has it (as StoreValueInPlace), else as a line of its own at the end of the group, every
    // other byte of the file kept; a missing file is created. False (errno tells why), and the
    // file as it was, when it could not be written.
    static bool StoreValues(const NamedTexts& values);
    // Takes the lock beside the file that makes a read, decide and write of the file one step
    // among processes, waiting up to `wait`; null when it could not be taken, and errno tells why:
    // EWOULDBLOCK while another holds it.
    static std::unique_ptr<QLockFile> Lock(std::chrono::milliseconds wait);

    // Fails when the file is missing or cannot be read.
    static std::optional<SettingsKey> OpenForReading();
    // Creates the file's folder and the file as needed; fails when it cannot be written.
    static std::optional<SettingsKey> OpenForWriting();

    // The value's text, or nothing when it is missing or its bytes with a NUL exceed `maxBytes`.
    std::optional<std::string> Query(const char* name, std::size_t maxBytes = kMaxValueBytes) const;
    // Whether the file holds the value, however long.
    bool Has(const char* name) const { return m_values.contains(QString::fromUtf8(name)); }
    // Sets the value and writes the whole file anew, one value a line; false when it could not
    // be written, and the file is then as it was.
    bool SetValue(const char* name, const std::string& text);

private:
    explicit SettingsKey(QMap<QString, QString> values) : m_values(std::move(values)) {}

    QMap<QString, QString> m_values;
};
