#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include "res/Version.h"

namespace {

constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

// Installs this build with prefix /usr below a temporary DESTDIR, as a distribution package
// would, and checks that each file lands where the desktop, man and systemd look for it.
class InstallTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_destDir;

    QString Installed(const QString& path) const { return m_destDir.filePath("usr/" + path); }

private slots:
    void initTestCase() {
        QVERIFY(m_destDir.isValid());
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", m_destDir.path());
        install.setProcessEnvironment(environment);
        // The one component holds every install rule; installing it leaves the manifest of a
        // user's own `make install` alone.
        install.start(VORN_CMAKE,
                      {"--install", VORN_BUILD_DIR, "--prefix", "/usr", "--component", "vorn"});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                 install.readAllStandardError().constData());
    }

    void installsTheProgramAndItsDesktopFilesOnly() {
        QStringList expected = {
            "bin/vorn",
            QString("share/applications/%1.desktop").arg(VORN_DESKTOP_ID),
            QString("share/metainfo/%1.metainfo.xml").arg(VORN_DESKTOP_ID),
            "share/icons/hicolor/scalable/apps/vorn.svg",
            "share/man/man1/vorn.1",
            "lib/systemd/user/vorn-take-frame.service",
            "lib/systemd/user/vorn-take-frame.timer",
            "lib/systemd/user/vorn-take-frame@.service",
            "lib/systemd/user/vorn-take-frame@.timer",
            "lib/systemd/user/vorn-daily-videos.service",
            "lib/systemd/user/vorn-daily-videos.timer",
            "lib/systemd/user/vorn-serve.service",
            "lib/systemd/user/vorn-serve@.service",
            "lib/vorn/libvorn_imgcodecs.so",
            "lib/vorn/libvorn_videoio.so",
        };
        for (int size : kIconSizes) {
            expected << QString("share/icons/hicolor/%1x%1/apps/vorn.png").arg(size);
        }
        QStringList installed;
        const QDir usr(m_destDir.filePath("usr"));
        QDirIterator files(usr.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            installed << usr.relativeFilePath(files.next());
        }
        expected.sort();
        installed.sort();
        QCOMPARE(installed, expected);
        // What `make uninstall` removes: the same files, named without DESTDIR.
        QStringList manifest = ReadText(VORN_BUILD_DIR "/install_manifest_vorn.txt").split('\n');
        manifest.sort();
        QCOMPARE(manifest, expected.replaceInStrings(QRegularExpression("^"), "/usr/"));
        QVERIFY(QFileInfo(Installed("bin/vorn")).isExecutable());
    }

    // The installed program finds the modules it loads at first use beside it, not in the build:
    // an H.264 video decodes every frame through the codec module.
    void installedProgramLoadsItsModules() {
        QTemporaryDir home;
        for (const char* name : {"pic_10001.jpg", "pic_10002.jpg"}) {
            QVERIFY(cv::imwrite(home.filePath(name).toStdString(),
                                cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 90, 160))));
        }
        QProcess vorn;
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin");
        environment.insert("HOME", home.path());
        vorn.setProcessEnvironment(environment);
        vorn.start(Installed("bin/vorn"),
                   {"--make-video", "--dir", home.path(), "--end", "2", "--compressor", "H264"});
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(vorn.readAllStandardError(), QByteArray());
        QCOMPARE(vorn.exitCode(), 0);
        QVERIFY(QFileInfo(home.filePath("output.avi")).size() > 0);
    }

    // A copy of the installed program whose module is missing or empty says so, naming the
    // file, and ends with the code of its own, in both command-line modes.
    void brokenInstallationIsToldAsSuch_data() {
        QTest::addColumn<QStringList>("arguments");  // %1 stands for the copy's folder
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("how");  // "missing" or "empty"
        const QStringList takeFrame{"--take-frame"};
        const QStringList makeVideo{"--make-video", "--dir", "%1", "--end", "2"};
        QTest::newRow("no capture module") << takeFrame << "libvorn_videoio.so"
                                           << "missing";
        QTest::newRow("no image module") << takeFrame << "libvorn_imgcodecs.so"
                                         << "missing";
        QTest::newRow("empty capture module") << takeFrame << "libvorn_videoio.so"
                                              << "empty";
        QTest::newRow("video without image module") << makeVideo << "libvorn_imgcodecs.so"
                                                    << "missing";
        QTest::newRow("video with empty image module") << makeVideo << "libvorn_imgcodecs.so"
                                                       << "empty";
    }

    void brokenInstallationIsToldAsSuch() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, module);
        QFETCH(QString, how);
        QTemporaryDir copy;
        const QDir root(QFileInfo(copy.path()).canonicalFilePath());
        QVERIFY(root.mkpath("bin") && root.mkpath("lib/vorn"));
        QVERIFY(QFile::copy(Installed("bin/vorn"), root.filePath("bin/vorn")));
        for (const char* name : {"libvorn_videoio.so", "libvorn_imgcodecs.so"}) {
            if (name != module) {
                QVERIFY(QFile::copy(Installed(QString("lib/vorn/") + name),
                                    root.filePath(QString("lib/vorn/") + name)));
            }
        }
        if (how == "empty") {
            QFile empty(root.filePath("lib/vorn/" + module));
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        QProcess vorn;
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin");
        environment.insert("HOME", root.path());
        environment.insert("XDG_CONFIG_HOME", root.path());
        vorn.setProcessEnvironment(environment);
        vorn.start(root.filePath("bin/vorn"), arguments.replaceInStrings("%1", root.path()));
        QVERIFY(vorn.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(vorn.readAllStandardError()),
                 "vorn: broken installation: " + root.filePath("lib/vorn/" + module) + " is " +
                     how + "\n");
        QCOMPARE(vorn.exitCode(), 18);
    }

    // Every run path entry is a folder named in full or beside the program ($ORIGIN): an empty or
    // relative entry would load a library planted in the folder the program is started in.
    void runPathSearchesNoStartingFolder_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("built program") << VORN_EXECUTABLE;
        QTest::newRow("installed program") << Installed("bin/vorn");
        QTest::newRow("built module") << VORN_BUILD_DIR "/modules/libvorn_videoio.so";
        QTest::newRow("installed module") << Installed("lib/vorn/libvorn_imgcodecs.so");
    }

    void runPathSearchesNoStartingFolder() {
        QFETCH(QString, path);
        const QString readelf = QStandardPaths::findExecutable("readelf");
        if (readelf.isEmpty()) {
            QSKIP("readelf is not installed");
        }
        QProcess dynamic;
        dynamic.start(readelf, {"-d", path});
        QVERIFY(dynamic.waitForFinished(60000));
        QCOMPARE(dynamic.exitCode(), 0);
        const QString section = QString::fromUtf8(dynamic.readAllStandardOutput());
        QRegularExpressionMatchIterator runPaths =
            QRegularExpression(R"(\((?:RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[([^\]]*)\])")
                .globalMatch(section);
        while (runPaths.hasNext()) {
            const QString runPath = runPaths.next().captured(1);
            for (const QString& entry : runPath.split(':')) {
                QVERIFY2(
                    entry.startsWith('/') || entry == "$ORIGIN" || entry.startsWith("$ORIGIN/"),
                    qPrintable(runPath));
            }
        }
    }

    void iconHasItsSize_data() {
        QTest::addColumn<int>("size");
        for (int size : kIconSizes) {
            QTest::addRow("%dx%d", size, size) << size;
        }
    }

    void iconHasItsSize() {
        QFETCH(int, size);
        const QImage icon(Installed(QString("share/icons/hicolor/%1x%1/apps/vorn.png").arg(size)));
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
    }

    // The units as systemd reads them: each service, pointed at the staged program, and its timer
    // beside it if it has one.
    void serviceStartsTheInstalledProgram_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QStringList>("lines");  // each a line of the service
        QTest::addColumn<QString>("instance");   // for a template: the name systemd is given
        QTest::addColumn<bool>("timed");
        QTest::newRow("a frame") << "vorn-take-frame"
                                 << QStringList{"ExecStart=/usr/bin/vorn --take-frame"} << ""
                                 << true;
        QTest::newRow("a frame of each camera's profile")
            << "vorn-take-frame@"
            << QStringList{"ExecStart=/usr/bin/vorn --profile %i --take-frame"} << "garden" << true;
        QTest::newRow("daily videos, behind the capture")
            << "vorn-daily-videos"
            << QStringList{"ExecStart=/usr/bin/vorn --daily-videos", "Nice=10",
                           "IOSchedulingClass=idle"}
            << "" << true;
        QTest::newRow("the status page, restarted when it fails")
            << "vorn-serve"
            << QStringList{"ExecStart=/usr/bin/vorn --serve", "Restart=on-failure",
                           "NoNewPrivileges=yes", "WantedBy=default.target"}
            << "" << false;
        QTest::newRow("the watcher of each camera's profile")
            << "vorn-serve@"
            << QStringList{"ExecStart=/usr/bin/vorn --profile %i --serve --listen none",
                           "RestartPreventExitStatus=2 3 15 21 23"}
            << "garden" << false;
    }

    void serviceStartsTheInstalledProgram() {
        QFETCH(QString, unit);
        QFETCH(QStringList, lines);
        QFETCH(QString, instance);
        QFETCH(bool, timed);
        const QString service = ReadText(Installed("lib/systemd/user/" + unit + ".service"));
        for (const QString& line : lines) {
            QVERIFY2(service.split('\n').contains(line), qPrintable(line));
        }
        const QString timerPath = Installed("lib/systemd/user/" + unit + ".timer");
        QCOMPARE(QFileInfo::exists(timerPath), timed);
        QVERIFY(!timed || ReadText(timerPath).split('\n').contains("Persistent=true"));
        const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
        if (analyze.isEmpty()) {
            QSKIP("systemd-analyze is not installed");
        }
        QTemporaryDir units;
        QFile staged(units.filePath(unit + instance + ".service"));
        QVERIFY(staged.open(QIODevice::WriteOnly));
        staged.write(QString(service).replace("/usr/bin/vorn", Installed("bin/vorn")).toUtf8());
        staged.close();
        QStringList files{staged.fileName()};
        if (timed) {
            files << units.filePath(unit + instance + ".timer");
            QVERIFY(QFile::copy(timerPath, files.last()));
        }
        QProcess verify;
        verify.start(analyze, QStringList{"verify", "--man=no"} + files);
        QVERIFY(verify.waitForFinished(60000));
        const QByteArray output = verify.readAllStandardOutput() + verify.readAllStandardError();
        QVERIFY2(verify.exitStatus() == QProcess::NormalExit && verify.exitCode() == 0,
                 output.constData());
    }

    void installedFileNamesTheProgramVersion_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("metainfo release")
            << QString("share/metainfo/%1.metainfo.xml").arg(VORN_DESKTOP_ID)
            << R"re(<release version="([^"]*)")re";
        QTest::newRow("man page footer") << "share/man/man1/vorn.1"
                                         << R"re(\n\.TH VORN 1 \S+ "Vorn ([^"]*)")re";
    }

    void installedFileNamesTheProgramVersion() {
        QFETCH(QString, path);
        QFETCH(QString, pattern);
        const QRegularExpressionMatch match =
            QRegularExpression(pattern).match(ReadText(Installed(path)));
        QVERIFY(match.hasMatch());
        QCOMPARE(match.captured(1), QString(VORN_VERSION));
    }

    void validatorAcceptsInstalledFile_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("path");
        QTest::newRow("desktop entry")
            << "desktop-file-validate" << QStringList()
            << QString("share/applications/%1.desktop").arg(VORN_DESKTOP_ID);
        QTest::newRow("metainfo") << "appstreamcli" << QStringList{"validate", "--no-net"}
                                  << QString("share/metainfo/%1.metainfo.xml").arg(VORN_DESKTOP_ID);
        QTest::newRow("man page") << "groff" << QStringList{"-man", "-Tutf8", "-ww", "-z"}
                                  << "share/man/man1/vorn.1";
    }

    void validatorAcceptsInstalledFile() {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(QString, path);
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) {
            QSKIP(qPrintable(tool + " is not installed"));
        }
        QProcess validator;
        validator.start(program, arguments << Installed(path));
        QVERIFY(validator.waitForFinished(60000));
        const QByteArray errors = validator.readAllStandardError();
        const QByteArray output = validator.readAllStandardOutput() + errors;
        // groff tells its warnings on standard error only, with exit status 0.
        QVERIFY2(validator.exitStatus() == QProcess::NormalExit && validator.exitCode() == 0 &&
                     errors.isEmpty(),
                 output.constData());
    }
};

QTEST_MAIN(InstallTest)
#include "test_install.moc"
