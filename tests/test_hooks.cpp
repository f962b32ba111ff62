#include <sys/types.h>

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>

#include "hooks/Hook.h"
#include "support/ProcessGroups.h"

namespace {

Hook MakeHook(const QString& command, int timeoutSeconds = 10, HookEvent event = HookEvent::Frame) {
    Hook hook;
    hook.event = event;
    hook.name = "ON_FRAME";
    hook.command = command.toStdString();
    hook.timeout = std::chrono::seconds(timeoutSeconds);
    hook.profile = "garden";
    return hook;
}

QStringList Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class HookTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void commandIsSplitAsAShellSplitsWordsWithoutExpanding_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("words");  // empty: refused
        QTest::newRow("plain") << "upload --to garden" << QStringList{"upload", "--to", "garden"};
        QTest::newRow("quotes") << "rclone copy \"my frames\" 'a b' x"
                                << QStringList{"rclone", "copy", "my frames", "a b", "x"};
        QTest::newRow("nothing expanded") << "echo '$HOME' \"$(touch x)\" ~ *"
                                          << QStringList{"echo", "$HOME", "$(touch x)", "~", "*"};
        QTest::newRow("backslash") << "a\\ b c\\\"d" << QStringList{"a b", "c\"d"};
        QTest::newRow("unfinished quote") << "echo \"open" << QStringList();
        QTest::newRow("blank") << "   " << QStringList();
    }

    void commandIsSplitAsAShellSplitsWordsWithoutExpanding() {
        QFETCH(QString, command);
        QFETCH(QStringList, words);
        std::string why;
        const auto split = SplitHookCommand(command.toStdString(), why);
        QCOMPARE(split.has_value(), !words.isEmpty());
        if (split) {
            QStringList got;
            for (const std::string& word : *split) {
                got << QString::fromStdString(word);
            }
            QCOMPARE(got, words);
        } else {
            QVERIFY(!why.empty());
        }
    }

    // A hook that writes the words it was given and its environment to files.
    void hookGetsItsWordsAndItsEnvironmentWithoutAShell_data() {
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("expected");  // lines of its environment
        QTest::newRow("frame") << int(HookEvent::Frame)
                               << QStringList{"VORN_EVENT=frame", "VORN_FRAME=7",
                                              "VORN_PROFILE=garden"};
        QTest::newRow("video") << int(HookEvent::Video)
                               << QStringList{"VORN_EVENT=video", "VORN_PROFILE=garden"};
        QTest::newRow("day") << int(HookEvent::Day)
                             << QStringList{"VORN_EVENT=day", "VORN_PROFILE=garden"};
    }

    void hookGetsItsWordsAndItsEnvironmentWithoutAShell() {
        QFETCH(int, event);
        QFETCH(QStringList, expected);
        QFile script(m_dir.filePath("hook.sh"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n"
            "env > \"$(dirname \"$0\")/env\"\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QString stray = m_dir.filePath("x");
        const QString command = QString("%1 \"two words\" '$(touch %2)' $(touch %2) $HOME")
                                    .arg(script.fileName(), stray);
        // A variable of the program's own environment is passed on, but never one of the hook's.
        qputenv("VORN_FRAME", "stale");
        qputenv("VORN_TEST_INHERITED", "kept");
        const QString oldCurrent = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        const qint64 wallMs =
            QDateTime(QDate(2024, 6, 2), QTime(6, 12, 30), Qt::UTC).toMSecsSinceEpoch();
        HookFile file{"frames/pic_10007.jpg", std::nullopt, wallMs, "frames/"};
        if (HookEvent(event) == HookEvent::Frame) {
            file.frame = 7;
        }
        const HookRun run = RunHook(MakeHook(command, 10, HookEvent(event)), file);
        QDir::setCurrent(oldCurrent);
        qunsetenv("VORN_FRAME");
        qunsetenv("VORN_TEST_INHERITED");
        QCOMPARE(int(run.end), int(HookRun::End::Succeeded));
        QCOMPARE(Lines(m_dir.filePath("args")), (QStringList{"two words", "$(touch " + stray + ")",
                                                             "$(touch", stray + ")", "$HOME"}));
        QVERIFY(!QFile::exists(stray));
        const QStringList env = Lines(m_dir.filePath("env"));
        for (const QString& line : expected) {
            QVERIFY2(env.contains(line), qPrintable(line));
        }
        QVERIFY(env.contains("VORN_TEST_INHERITED=kept"));
        QCOMPARE(env.filter(QRegularExpression("^VORN_FRAME=")).size(),
                 expected.filter("VORN_FRAME").size());
        QVERIFY(env.contains("VORN_FILE=" + m_dir.filePath("frames/pic_10007.jpg")));
        QVERIFY(env.contains("VORN_DIR=" + m_dir.filePath("frames")));
        // The local time of the file, with its offset.
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(wallMs);
        const QStringList times = env.filter(QRegularExpression("^VORN_TIME="));
        QCOMPARE(times.size(), 1);
        const QString time = times[0].mid(10);
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")
                     .match(time)
                     .hasMatch(),
                 qPrintable(time));
        QCOMPARE(QDateTime::fromString(time, Qt::ISODate).toMSecsSinceEpoch(), wallMs);
        QVERIFY(time.startsWith(local.toString("yyyy-MM-ddTHH:mm:ss")));
    }

    void failureIsToldWithItsStatusAndLastLines_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("told");  // empty: nothing is
        QTest::addColumn<QString>("notTold");
        QTest::newRow("success") << "true" << int(HookRun::End::Succeeded) << ""
                                 << "";
        QTest::newRow("exit status")
            << "sh -c 'echo one >&2; echo two >&2; exit 3'" << int(HookRun::End::Failed)
            << "the ON_FRAME hook 'sh -c 'echo one >&2; echo two >&2; exit 3'' exited with "
               "status 3: one|two"
            << "";
        QTest::newRow("only the last lines")
            << "sh -c 'for i in 1 2 3 4 5 6 7 8; do echo line$i >&2; done; exit 1'"
            << int(HookRun::End::Failed) << ": line4|line5|line6|line7|line8"
            << "line3";
        QTest::newRow("a signal") << "sh -c 'kill -USR1 $$'" << int(HookRun::End::Failed)
                                  << "was ended by signal 10"
                                  << "";
        QTest::newRow("no such program")
            << "/nonexistent/upload x" << int(HookRun::End::CannotStart)
            << "cannot start: /nonexistent/upload: No such file"
            << "";
        QTest::newRow("unfinished quote")
            << "upload 'x" << int(HookRun::End::CannotStart) << "cannot start"
            << "";
    }

    void failureIsToldWithItsStatusAndLastLines() {
        QFETCH(QString, command);
        QFETCH(int, end);
        QFETCH(QString, told);
        QFETCH(QString, notTold);
        const Hook hook = MakeHook(command);
        const HookRun run = RunHook(hook, {m_dir.filePath("pic_10001.jpg").toStdString(), 1, 0,
                                           m_dir.path().toStdString()});
        QCOMPARE(int(run.end), end);
        const QString failure = QString::fromStdString(HookFailure(hook, run).value_or(""));
        QVERIFY2(told.isEmpty() ? failure.isEmpty() : failure.contains(told), qPrintable(failure));
        QVERIFY2(notTold.isEmpty() || !failure.contains(notTold), qPrintable(failure));
    }

    // Past its timeout, or once its launch is interrupted, the hook's whole group is terminated;
    // what ignores that is killed. A launch interrupted before the hook starts never starts it.
    void hookIsStoppedWithItsGroup_data() {
        QTest::addColumn<QString>("trap");
        QTest::addColumn<QString>("stop");  // "timeout", "interrupt", "interrupt first"
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("signal");  // 0: it never started
        QTest::addColumn<QString>("told");
        const int timedOut = int(HookRun::End::TimedOut);
        const int interrupted = int(HookRun::End::Interrupted);
        const QString pastTimeout = "ran past its 1 s";
        const QString wasInterrupted = "did not run to its end: vorn was interrupted";
        const QString ignores = "trap '' TERM; ";
        QTest::newRow("timeout, ends at SIGTERM")
            << ""
            << "timeout" << timedOut << SIGTERM << pastTimeout;
        QTest::newRow("timeout, ignores SIGTERM")
            << ignores << "timeout" << timedOut << SIGKILL << pastTimeout;
        QTest::newRow("interrupt, ends at SIGTERM")
            << ""
            << "interrupt" << interrupted << SIGTERM << wasInterrupted;
        QTest::newRow("interrupt, ignores SIGTERM")
            << ignores << "interrupt" << interrupted << SIGKILL << wasInterrupted;
        QTest::newRow("interrupt before it starts")
            << ""
            << "interrupt first" << interrupted << 0 << wasInterrupted;
    }

    void hookIsStoppedWithItsGroup() {
        QFETCH(QString, trap);
        QFETCH(QString, stop);
        QFETCH(int, end);
        QFETCH(int, signal);
        QFETCH(QString, told);
        const QString pidFile = m_dir.filePath("pid");
        QFile::remove(pidFile);
        // The shell and the sleep it started, which keeps the shell's way with SIGTERM.
        const Hook hook =
            MakeHook(QString("sh -c \"%1echo \\$\\$ > %2; sleep 600 & wait\"").arg(trap, pidFile),
                     stop == "timeout" ? 1 : 600);
        // Interrupted once the hook has told its process group.
        const HookInterrupted interrupted = [&] {
            return stop == "interrupt first" || Lines(pidFile).size() == 1;
        };
        const HookRun run = RunHook(
            hook, {m_dir.filePath("pic_10001.jpg").toStdString(), 1, 0, m_dir.path().toStdString()},
            stop == "timeout" ? HookInterrupted() : interrupted);
        QCOMPARE(int(run.end), end);
        QCOMPARE(run.signal, signal != 0);
        QCOMPARE(run.status, signal);
        QVERIFY(QString::fromStdString(HookFailure(hook, run).value_or("")).contains(told));
        const QStringList pid = Lines(pidFile);
        QCOMPARE(pid.size(), signal != 0 ? 1 : 0);
        // The hook led a group of its own, and nothing of it is left.
        QTRY_COMPARE_WITH_TIMEOUT(LiveMembers(pid.value(0, "-1").toInt()), 0, 10000);
    }

    // Rows of capacity: events that come while one runs wait in order, and a full queue drops
    // its oldest waiting one, so the hook sees the first and the newest.
    void queueKeepsTheNewestInOrder_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<int>("dropped");
        QTest::newRow("one waits") << 1 << QStringList{"1", "5"} << 3;
        QTest::newRow("two wait") << 2 << QStringList{"1", "4", "5"} << 2;
        QTest::newRow("room for all") << 8 << QStringList{"1", "2", "3", "4", "5"} << 0;
    }

    void queueKeepsTheNewestInOrder() {
        QFETCH(int, capacity);
        QFETCH(QStringList, seen);
        QFETCH(int, dropped);
        const QString started = m_dir.filePath("started");
        const QString go = m_dir.filePath("go");
        const QString seenFile = m_dir.filePath("seen");
        for (const QString& path : {started, go, seenFile}) {
            QFile::remove(path);
        }
        // Each run tells it started, waits for `go`, then appends its frame.
        const Hook hook = MakeHook(QString("sh -c \"touch %1; while [ ! -e %2 ]; do sleep 0.05; "
                                           "done; echo \\$VORN_FRAME >> %3\"")
                                       .arg(started, go, seenFile));
        int lost = 0;
        {
            HookQueue queue([](const std::string&) {}, static_cast<std::size_t>(capacity));
            const auto post = [&](int frame) {
                lost += queue.Post(hook, {"f.jpg", frame, 0, m_dir.path().toStdString()}) ? 0 : 1;
            };
            post(1);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
            for (int frame = 2; frame <= 5; ++frame) {
                post(frame);
            }
            QFile(go).open(QIODevice::WriteOnly);
            QTRY_COMPARE_WITH_TIMEOUT(Lines(seenFile).size(), seen.size(), 10000);
        }
        QCOMPARE(Lines(seenFile), seen);
        QCOMPARE(lost, dropped);
    }
};

QTEST_GUILESS_MAIN(HookTest)
#include "test_hooks.moc"
