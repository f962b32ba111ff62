#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <optional>

// The five stored values, as a filled-in settings file holds them.
inline const QByteArray kAllValues =
    "AUTO_START_DIR=/data/frames\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=12\n"
    "CAM_REF=2\nRESOLUTION_REF=3\n";

// Points the settings location ($XDG_CONFIG_HOME), $HOME and $XDG_RUNTIME_DIR at a fresh
// temporary folder for the object's life, so that no test touches a real user's settings file.
class TestSettings {
public:
    TestSettings();
    ~TestSettings();

    QString FilePath() const;
    bool Exists() const;
    // Writes the settings file as a user would type it in an editor.
    void Write(const QByteArray& text) const;
    // Writes the five values, each given as `NAME=value` lines after the [General] header.
    void WriteValues(const QByteArray& lines) const;
    QByteArray Read() const;
    // The text of one value as the file holds it, or a null string when it is missing.
    QString Value(const QString& name) const;
    // Makes the settings file impossible to create or write.
    void MakeUnwritable() const;
    QString Dir() const { return m_dir.path(); }
    // The environment a timer or cron gives the program, with these settings: `path`, HOME and
    // XDG_CONFIG_HOME only, and the sanitizer builds' options.
    QProcessEnvironment BareEnvironment(const QString& path) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfigHome;
    QByteArray m_oldHome;
    std::optional<QByteArray> m_oldRuntimeDir;
};
