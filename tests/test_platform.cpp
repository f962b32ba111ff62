// The POSIX kit and the atomic writer of platform/, where they can fail: blanks, dates, links,
// folders and FIFOs in a file's place, a rename refused, a file system without hard links.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/PosixFiles.h"
#include "platform/TextFields.h"

namespace {

// What the file system answers to a hard link and to a rename that must not replace; 0 is the
// real answer. FAT cannot be mounted here without root, so its answers are given in its place.
int s_linkError = 0;
int s_renameFlagsError = 0;

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int link(const char* from, const char* to) noexcept {
    if (s_linkError != 0) {
        errno = s_linkError;
        return -1;
    }
    return Real<int (*)(const char*, const char*)>("link")(from, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned int flags) noexcept {
    if (flags != 0 && s_renameFlagsError != 0) {
        errno = s_renameFlagsError;
        return -1;
    }
    return Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2")(
        fromDir, from, toDir, to, flags);
}

namespace {

std::set<std::string> NamesIn(const QString& folder) {
    std::set<std::string> names;
    const UniqueFd dir = OpenFolder(folder.toStdString());
    ForEachNameIn(dir.Get(), [&](std::string_view name) { names.emplace(name); });
    return names;
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

int Write(const QString& path, const QByteArray& bytes, bool replace) {
    return WriteFileAtomically(path.toStdString(), bytes.data(), bytes.size(), replace);
}

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        s_linkError = 0;
        s_renameFlagsError = 0;
    }

    void trimmed_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces and tabs") << " \t12 \t"
                                         << "12";
        QTest::newRow("line ends") << "\r\nvalue\r\n"
                                   << "value";
        QTest::newRow("form feed and vertical tab") << "\f\v07:00-19:00\v\f"
                                                    << "07:00-19:00";
        QTest::newRow("inner blanks kept") << "  a  b  "
                                           << "a  b";
        QTest::newRow("only blanks") << " \t\r\n\f\v"
                                     << "";
        QTest::newRow("no-break space is no blank") << "\u00a0x"
                                                    << "\u00a0x";
    }
    void trimmed() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const std::string bytes = text.toStdString();
        QCOMPARE(QString::fromStdString(std::string(Trimmed(bytes))), expected);
    }

    void isoDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");  // invalid: refused
        QTest::newRow("a date") << "2026-03-29" << QDate(2026, 3, 29);
        QTest::newRow("leap day") << "2024-02-29" << QDate(2024, 2, 29);
        QTest::newRow("no leap day") << "2023-02-29" << QDate();
        QTest::newRow("month 13") << "2026-13-01" << QDate();
        QTest::newRow("short month") << "2026-3-29" << QDate();
        QTest::newRow("signed year") << "+026-03-29" << QDate();
        QTest::newRow("blank after") << "2026-03-29 " << QDate();
        QTest::newRow("slashes") << "2026/03/29" << QDate();
        QTest::newRow("time after") << "2026-03-29T10:00" << QDate();
    }
    void isoDate() {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const std::optional<QDate> date = ParseIsoDate(text.toStdString());
        QCOMPARE(date.value_or(QDate()), expected);
    }

    // Only a regular file is opened, and nothing ever waits on a FIFO.
    void regularFileNotFollowed_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("error");  // 0: opened
        QTest::newRow("regular file") << "file" << 0;
        QTest::newRow("link to it") << "link" << ELOOP;
        QTest::newRow("folder") << "folder" << EINVAL;
        QTest::newRow("fifo") << "fifo" << EINVAL;
    }
    void regularFileNotFollowed() {
        QFETCH(QString, name);
        QFETCH(int, error);
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QVERIFY(Write(folder.filePath("file"), "bytes", true) == 0);
        QVERIFY(QFile::link(folder.filePath("file"), folder.filePath("link")));
        QVERIFY(folder.mkdir("folder"));
        QCOMPARE(::mkfifo(folder.filePath("fifo").toLocal8Bit().constData(), 0600), 0);

        const UniqueFd dirFd = OpenFolder(dir.path().toStdString());
        struct stat status {};
        errno = 0;
        const UniqueFd fd =
            OpenRegularFile(dirFd.Get(), name.toLocal8Bit().constData(), O_RDONLY, status);
        QCOMPARE(fd.IsOpen() ? 0 : errno, error);
        if (fd.IsOpen()) {
            QCOMPARE(status.st_size, 5);
        }
        QCOMPARE(IsRegularFileAt(dirFd.Get(), name.toLocal8Bit().constData(), status), error == 0);
    }

    // Listed from the start each time, whoever read the folder before; the descriptor is kept.
    void folderNames() {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("a"), "", true) == 0);
        QVERIFY(QDir(dir.path()).mkdir("b"));
        const UniqueFd folder = OpenFolder(dir.path().toStdString());
        for (int time = 0; time < 2; ++time) {
            std::set<std::string> names;
            QVERIFY(ForEachNameIn(folder.Get(), [&](std::string_view n) { names.emplace(n); }));
            QCOMPARE(names, (std::set<std::string>{"a", "b"}));
        }
        QVERIFY(!ForEachNameIn(-1, [](std::string_view) {}));
    }

    // A moved descriptor is closed once, by its last owner, and closing keeps errno.
    void descriptorOwnedOnce() {
        UniqueFd reopened;
        {
            UniqueFd first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
            const int raw = first.Get();
            UniqueFd second = std::move(first);
            QVERIFY(::fcntl(raw, F_GETFD) >= 0);
            errno = EEXIST;
            second.Reset();
            QCOMPARE(errno, EEXIST);
            QCOMPARE(::fcntl(raw, F_GETFD), -1);
            // Open takes the lowest free number: the one just closed.
            reopened.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
            QCOMPARE(reopened.Get(), raw);
        }
        // The owner moved from closed nothing on its way out.
        QVERIFY(::fcntl(reopened.Get(), F_GETFD) >= 0);
    }

    // A rename refused (a folder in the target's place) leaves the folder and no temporary file.
    void renameRefused() {
        QTemporaryDir dir;
        const QString target = dir.filePath("video.mp4");
        QVERIFY(QDir(dir.path()).mkpath("video.mp4/inside"));
        QCOMPARE(Write(target, "new", true), EISDIR);
        QCOMPARE(Write(target, "new", false), EEXIST);
        QCOMPARE(NamesIn(dir.path()), (std::set<std::string>{"video.mp4"}));
        QVERIFY(QFileInfo(target + "/inside").isDir());
        QCOMPARE(Write(dir.filePath("missing/file"), "new", true), ENOENT);
    }

    // Without hard links (FAT) a file that is there is still never replaced.
    void withoutHardLinks_data() {
        QTest::addColumn<int>("renameFlagsError");
        QTest::newRow("rename that refuses to replace") << 0;
        QTest::newRow("no such rename either") << EINVAL;
    }
    void withoutHardLinks() {
        QFETCH(int, renameFlagsError);
        QTemporaryDir dir;
        const QString earlier = dir.filePath("earlier.jpg");
        QCOMPARE(Write(earlier, "earlier", true), 0);
        s_linkError = EPERM;
        s_renameFlagsError = renameFlagsError;
        QCOMPARE(Write(earlier, "later", false), EEXIST);
        QCOMPARE(Contents(earlier), QByteArray("earlier"));
        QCOMPARE(Write(dir.filePath("new.jpg"), "new", false), 0);
        QCOMPARE(Contents(dir.filePath("new.jpg")), QByteArray("new"));
        QCOMPARE(LinkAtomically(earlier.toStdString(), dir.filePath("latest.jpg").toStdString()),
                 EPERM);
        QCOMPARE(NamesIn(dir.path()), (std::set<std::string>{"earlier.jpg", "new.jpg"}));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
