#include "support/TestSettings.h"

#include <QCoreApplication>

#include "res/Strings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "settings/SettingsKey.h"

TestSettings::TestSettings()
    : m_oldConfigHome(qgetenv("XDG_CONFIG_HOME")),
      m_oldHome(qgetenv("HOME")),
      m_oldRuntimeDir(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                          ? std::optional(qgetenv("XDG_RUNTIME_DIR"))
                          : std::nullopt) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    // The camera devices' locks too: a test never waits for another test's camera, nor a user's.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
    // The names the program gives itself, which place its settings file.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

TestSettings::~TestSettings() {
    qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    qputenv("HOME", m_oldHome);
    if (m_oldRuntimeDir) {
        qputenv("XDG_RUNTIME_DIR", *m_oldRuntimeDir);
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

QString TestSettings::FilePath() const {
    return SettingsKey::FilePath();
}

bool TestSettings::Exists() const {
    return QFileInfo::exists(FilePath());
}

void TestSettings::Write(const QByteArray& text) const {
    QDir().mkpath(QFileInfo(FilePath()).absolutePath());
    QFile file(FilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text);
    }
}

void TestSettings::WriteValues(const QByteArray& lines) const {
    Write("[General]\n" + lines);
}

QByteArray TestSettings::Read() const {
    QFile file(FilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString TestSettings::Value(const QString& name) const {
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(name)),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(Read()));
    return match.hasMatch() ? match.captured(1) : QString();
}

void TestSettings::MakeUnwritable() const {
    // A plain file where the settings folder should be: even root cannot create the file then.
    const QString folder = QFileInfo(FilePath()).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    if (blocker.open(QIODevice::WriteOnly)) {
        blocker.write("not a folder");
    }
}

QProcessEnvironment TestSettings::BareEnvironment(const QString& path) const {
    QProcessEnvironment env;
    env.insert("PATH", path);
    env.insert("HOME", Dir());
    env.insert("XDG_CONFIG_HOME", Dir() + "/config");
    // The sanitizer builds' settings, which make no display.
    for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (qEnvironmentVariableIsSet(name)) {
            env.insert(name, qEnvironmentVariable(name));
        }
    }
    return env;
}
