#pragma once

#include <QSettings>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

// The program's settings file, opened for reading or for writing, and closed when the object
// goes. Values are text. The file is $XDG_CONFIG_HOME/Brimlow/Vorn.conf (default
// ~/.config/Brimlow/Vorn.conf), an INI file whose values are taken as they stand on their line,
// so that a path typed by hand with commas, ';' or '#' reads back whole.
class QLockFile;

class SettingsKey {
public:
    // The longest value a query returns, in bytes, counting the terminating NUL it is stored with.
    static constexpr std::size_t kMaxValueBytes = 255;

    static QString FilePath();

    // True when the file exists, is not marked read-only and can be replaced in its folder.
    static bool IsWritable();
    // Changes the text of one value of the [General] group in place: every other byte of the file
    // stays as it is. The new file is written beside the old one and renamed over it. Fails when
    // the file or the value is missing (neither is created) or the file is not writable.
    static bool StoreValueInPlace(const char* name, const std::string& text);
    // Takes the lock beside the file that makes a read, decide and write of the file one step
    // among processes, waiting up to `wait`; null when it could not be taken.
    static std::unique_ptr<QLockFile> Lock(std::chrono::milliseconds wait);

    // Fails when the file is missing or cannot be read.
    static std::optional<SettingsKey> OpenForReading();
    // Creates the file's folder and the file as needed; fails when it cannot be written.
    static std::optional<SettingsKey> OpenForWriting();

    // The value's text, or nothing when it is missing or its bytes with a NUL exceed `maxBytes`.
    std::optional<std::string> Query(const char* name, std::size_t maxBytes = kMaxValueBytes) const;
    void SetValue(const char* name, const std::string& text);

private:
    explicit SettingsKey(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {}

    std::unique_ptr<QSettings> m_settings;
};
