#include "support/FullDisk.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

// $1 is the folder, the rest the command. Its files are set aside while the disk is mounted over
// it, then copied onto it.
constexpr char kMountFullDisk[] =
    "aside=$(mktemp -d) && cp -R \"$1\"/. \"$aside\" && "
    "mount -t tmpfs -o size=1m tmpfs \"$1\" && cp -R \"$aside\"/. \"$1\" && "
    "{ head -c 2000000 /dev/zero > \"$1/.full\" 2>/dev/null; shift; exec \"$@\"; }";

}  // namespace

QStringList OnFullDisk(const QString& folder, const QStringList& command) {
    return QStringList{"unshare",      "--user", "--map-root-user",
                       "--mount",      "sh",     "-c",
                       kMountFullDisk, "sh",     folder} +
           command;
}

QString FullDiskTrouble() {
    static const QString trouble = [] {
        const QTemporaryDir folder;
        const QStringList command = OnFullDisk(folder.path(), {"true"});
        QProcess probe;
        probe.start(command.first(), command.mid(1));
        if (!probe.waitForFinished(30000)) {
            return QStringLiteral("no full disk: unshare cannot be run (%1)")
                .arg(probe.errorString());
        }
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
            return QStringLiteral(
                       "no full disk: a tmpfs cannot be mounted in a user and mount namespace "
                       "here (%1)")
                .arg(QString::fromLocal8Bit(probe.readAllStandardError().trimmed()));
        }
        return QString();
    }();
    return trouble;
}
