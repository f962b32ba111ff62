#include <csignal>
#include <thread>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "serve/FolderStatus.h"
#include "serve/StatusServer.h"
#include "support/TestSettings.h"

namespace {

constexpr int kWaitMs = 30000;  // a bound against a hang, not a measure of speed
constexpr char kToken[] = "Sixteen+chars&more-0123";

struct Reply {
    int status = 0;                        // 0: no answer
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

Reply Parse(const QByteArray& received) {
    Reply reply;
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) {
        return reply;
    }
    const QList<QByteArray> lines = received.left(end).split('\n');
    reply.status = lines[0].split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        reply.headers.insert(lines[i].left(colon).trimmed().toLower(),
                             lines[i].mid(colon + 1).trimmed());
    }
    reply.body = received.mid(end + 4);
    return reply;
}

// Sends `request` as it is written (no client tidies its path) and reads until the server closes.
Reply Exchange(quint16 port, const QByteArray& request,
               const QString& host = QStringLiteral("127.0.0.1")) {
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(kWaitMs)) {
        return {};
    }
    socket.write(request);
    QByteArray received;
    while (socket.waitForReadyRead(kWaitMs)) {
        received += socket.readAll();
    }
    return Parse(received + socket.readAll());
}

QByteArray Request(const QByteArray& method, const QByteArray& path,
                   const QByteArray& headers = {}) {
    const QByteArray host = headers.contains("Host:") ? "" : "Host: 127.0.0.1\r\n";
    return method + ' ' + path + " HTTP/1.1\r\n" + host + headers + "Connection: close\r\n\r\n";
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes that differ from one offset to the next, so that a wrong slice shows.
QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return bytes;
}

bool HasIpv6Loopback() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHostIPv6);
}

}  // namespace

// The status page's server over a frame folder of a few files, as a browser, a phone and an
// attacker reach it: raw requests on a socket.
class ServeTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;  // frames/ (the frame folder), elsewhere/ (outside it), Vorn.conf
    QString m_frames;
    std::unique_ptr<FolderStatus> m_status;
    std::unique_ptr<StatusServer> m_open;     // on loopback without a token
    std::unique_ptr<StatusServer> m_guarded;  // with kToken

    std::unique_ptr<StatusServer> StartServer(
        const std::string& token, std::chrono::milliseconds idle = StatusServer::kIdleTimeout,
        const std::string& host = "127.0.0.1") {
        auto server = std::make_unique<StatusServer>(*m_status, token, idle);
        if (server->Start({host, 0, true})) {
            return nullptr;
        }
        return server;
    }

    // Runs the program with `arguments` and the settings `lines`, as a systemd unit would: PATH,
    // HOME and XDG_CONFIG_HOME only.
    void StartVorn(QProcess& vorn, const TestSettings& settings, const QStringList& arguments) {
        vorn.setProcessEnvironment(settings.BareEnvironment("/usr/bin:/bin"));
        vorn.start(VORN_EXECUTABLE, arguments);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QDir dir(m_dir.path());
        QVERIFY(dir.mkpath("frames/days") && dir.mkpath("elsewhere"));
        m_frames = dir.filePath("frames");
        QVERIFY(Write(m_frames + "/pic_10001.jpg", "first frame"));
        QVERIFY(Write(m_frames + "/pic_10002.jpg", "second frame"));
        QVERIFY(Write(m_frames + "/latest.jpg", Pattern(3000)));
        QVERIFY(Write(m_frames + "/clip.mp4", Pattern(10000)));
        QVERIFY(Write(m_frames + "/days/2026-03-28.mp4", Pattern(500)));
        QVERIFY(Write(m_frames + "/days/2026-03-28-keogram.jpg", Pattern(700)));
        // Larger than a socket's buffers: it goes out in many writes.
        QVERIFY(Write(m_frames + "/days/2026-03-28-sheet.jpg", Pattern(3000000)));
        QVERIFY(Write(m_frames + "/.hidden.mp4", "hidden"));
        QVERIFY(Write(m_frames + "/notes.txt", "notes"));
        QVERIFY(Write(dir.filePath("elsewhere/secret.mp4"), "SECRET"));
        QVERIFY(Write(dir.filePath("Vorn.conf"), "SECRET"));
        QVERIFY(QFile::link(dir.filePath("elsewhere/secret.mp4"), m_frames + "/link.mp4"));
        m_status = std::make_unique<FolderStatus>(
            FolderStatusInputs{(m_frames + '/').toStdString(), CaptureSchedule(), DayRules{}});
        m_status->Refresh(QDateTime::currentDateTime());
        m_open = StartServer("");
        m_guarded = StartServer(kToken);
        QVERIFY(m_open && m_guarded);
        QVERIFY(m_open->Port() > 0 && m_guarded->Port() > 0 && m_open->Port() != m_guarded->Port());
    }

    // Each route, the names it refuses, every method but GET and HEAD, and the ways out of the
    // folder, plain and encoded: none reaches a file the folder does not list.
    void requestGetsItsAnswer_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QList<int>>("statuses");  // any of them
        QTest::addColumn<QByteArray>("type");      // how Content-Type starts; empty: not checked
        QTest::addColumn<QString>("body");         // the file of the folder it holds, or a resource
        QTest::addColumn<bool>("noStore");
        const auto row = [](const char* name, QByteArray method, QByteArray path,
                            QList<int> statuses, QByteArray type = {}, QString body = {},
                            bool noStore = false, QByteArray headers = {}) {
            QTest::newRow(name) << method << path << headers << statuses << type << body << noStore;
        };
        const QList<int> notFound{404, 400};
        row("page", "GET", "/", {200}, "text/html; charset=utf-8", ":/serve/index.html");
        row("script", "GET", "/page.js", {200}, "text/javascript; charset=utf-8",
            ":/serve/page.js");
        row("style", "GET", "/page.css", {200}, "text/css; charset=utf-8", ":/serve/page.css");
        row("status", "GET", "/status.json", {200}, "application/json", {}, true);
        row("latest frame", "GET", "/latest.jpg", {200}, "image/jpeg", "latest.jpg", true);
        row("video", "GET", "/videos/clip.mp4", {200}, "video/mp4", "clip.mp4");
        row("day video", "GET", "/videos/days/2026-03-28.mp4", {200}, "video/mp4",
            "days/2026-03-28.mp4");
        row("day keogram", "GET", "/days/2026-03-28-keogram.jpg", {200}, "image/jpeg",
            "days/2026-03-28-keogram.jpg");
        row("head of a video", "HEAD", "/videos/clip.mp4", {200}, "video/mp4");
        row("head of the status", "HEAD", "/status.json", {200}, "application/json", {}, true);
        row("another site's page asks", "GET", "/status.json", {200}, "application/json", {}, true,
            "Origin: http://elsewhere.example\r\n");
        row("a name that points here", "GET", "/status.json", {403}, {}, {}, false,
            "Host: rebound.example:8765\r\n");
        row("unknown", "GET", "/index.html", {404});
        row("a file not listed", "GET", "/videos/notes.txt", {404});
        row("a hidden video", "GET", "/videos/.hidden.mp4", {404});
        row("a video as a day picture", "GET", "/days/2026-03-28.mp4", {404});
        row("a frame as a video", "GET", "/videos/pic_10001.jpg", {404});
        row("no name", "GET", "/videos/", {404});
        row("settings", "GET", "/Vorn.conf", {404});
        row("post", "POST", "/status.json", {405});
        row("put", "PUT", "/videos/clip.mp4", {405});
        row("delete", "DELETE", "/videos/clip.mp4", {405});
        row("options", "OPTIONS", "/", {405});
        row("up to the settings", "GET", "/videos/../Vorn.conf", notFound);
        row("up, encoded", "GET", "/videos/..%2f..%2fetc%2fpasswd", notFound);
        row("dots encoded", "GET", "/videos/%2e%2e/x", notFound);
        row("up from the days", "GET", "/days/..%2f..%2fVorn.conf", notFound);
        row("doubled slash", "GET", "//etc/passwd", notFound);
        row("absolute name", "GET", "/videos/%2fetc%2fpasswd", notFound);
        row("NUL after a listed name", "GET", "/videos/clip.mp4%00.txt", notFound);
        row("a link out of the folder", "GET", "/videos/link.mp4", notFound);
        row("backslashes", "GET", "/videos/..%5c..%5cVorn.conf", notFound);
        // Headers up to the cap are read; past it the request is refused (past twice the cap, by
        // civetweb before the server sees it).
        const auto filler = [](int size) { return "X-Filler: " + QByteArray(size, 'x') + "\r\n"; };
        row("headers of 6 KB", "GET", "/page.css", {200}, {}, {}, false, filler(6000));
        row("headers of 9 KB", "GET", "/page.css", {431}, {}, {}, false, filler(9000));
        row("headers of 64 KB", "GET", "/page.css", {400}, {}, {}, false, filler(65536));
    }

    void requestGetsItsAnswer() {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, headers);
        QFETCH(QList<int>, statuses);
        QFETCH(QByteArray, type);
        QFETCH(QString, body);
        QFETCH(bool, noStore);
        const Reply reply = Exchange(m_open->Port(), Request(method, path, headers));
        QVERIFY2(statuses.contains(reply.status), QByteArray::number(reply.status).constData());
        QCOMPARE(reply.headers.value("x-content-type-options"), "nosniff");
        QVERIFY(reply.headers.value("content-security-policy").startsWith("default-src 'none';"));
        QCOMPARE(reply.headers.value("referrer-policy"), "no-referrer");
        QVERIFY(!reply.headers.contains("access-control-allow-origin"));
        QVERIFY(!reply.body.contains("SECRET"));
        if (!type.isEmpty()) {
            QCOMPARE(reply.headers.value("content-type"), type);
        }
        if (noStore) {
            QCOMPARE(reply.headers.value("cache-control"), "no-store");
        }
        if (method == "HEAD") {
            QVERIFY(reply.body.isEmpty());
            QVERIFY(reply.headers.value("content-length").toInt() > 0);
        } else if (!body.isEmpty()) {
            QCOMPARE(reply.body, Read(body.startsWith(':') ? body : m_frames + '/' + body));
        }
        if (reply.status == 405) {
            QCOMPARE(reply.headers.value("allow"), "GET, HEAD");
        }
        if (path == "/status.json" && method == "GET" && reply.status == 200) {
            const QJsonObject status = QJsonDocument::fromJson(reply.body).object();
            QCOMPARE(status.value("frames").toInt(), 2);
        }
    }

    // A phone seeks in a video: a part from an offset, to the end, or the last bytes.
    void rangeGetsItsPart_data() {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange");
        QTest::addColumn<int>("from");  // the part of clip.mp4 in the body
        QTest::addColumn<int>("size");
        const auto row = [](const char* name, QByteArray range, int status, QByteArray contentRange,
                            int from = 0, int size = 0) {
            QTest::newRow(name) << range << status << contentRange << from << size;
        };
        row("first bytes", "bytes=0-99", 206, "bytes 0-99/10000", 0, 100);
        row("to the end", "bytes=9900-", 206, "bytes 9900-9999/10000", 9900, 100);
        row("the last bytes", "bytes=-300", 206, "bytes 9700-9999/10000", 9700, 300);
        row("past the end", "bytes=20000-", 416, "bytes */10000");
    }

    void rangeGetsItsPart() {
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(QByteArray, contentRange);
        QFETCH(int, from);
        QFETCH(int, size);
        const Reply reply = Exchange(
            m_open->Port(), Request("GET", "/videos/clip.mp4", "Range: " + range + "\r\n"));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.headers.value("content-range"), contentRange);
        QCOMPARE(reply.headers.value("x-content-type-options"), "nosniff");
        if (status == 206) {
            QCOMPARE(reply.body, Pattern(10000).mid(from, size));
        }
    }

    // With a token every request needs it, in one of the three ways; nothing else opens the page.
    void tokenIsNeeded_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("status");
        const auto row = [](const char* name, QByteArray path, QByteArray headers, int status) {
            QTest::newRow(name) << path << headers << status;
        };
        const QByteArray bearer = "Authorization: Bearer ";
        const QByteArray cookie = "Cookie: vorn_session=";
        row("none", "/status.json", {}, 401);
        row("bearer", "/status.json", bearer + kToken + "\r\n", 200);
        row("bearer, another", "/status.json", bearer + "0123456789abcdef\r\n", 401);
        row("bearer, its start", "/latest.jpg", bearer + "Sixteen+chars\r\n", 401);
        row("the token as the cookie", "/", cookie + kToken + "\r\n", 401);
        row("a made-up cookie", "/", cookie + QByteArray(64, 'a') + "\r\n", 401);
        row("in the address, wrong", "/?token=Sixteen+chars%26more-0124", {}, 401);
        row("a video without it", "/videos/clip.mp4", {}, 401);
    }

    void tokenIsNeeded() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, headers);
        QFETCH(int, status);
        const Reply reply = Exchange(m_guarded->Port(), Request("GET", path, headers));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.headers.value("x-content-type-options"), "nosniff");
        if (status == 401) {
            QCOMPARE(reply.headers.value("www-authenticate"), "Bearer");
            QVERIFY(!reply.body.contains("SECRET") && !reply.body.contains("frames"));
        }
    }

    // The token once in the address (as a phone opens a link): a redirect without it and a cookie
    // that opens every page after, but is not the token.
    void tokenInTheAddressSetsTheCookie() {
        const Reply redirect =
            Exchange(m_guarded->Port(),
                     Request("GET", "/videos/clip.mp4?token=Sixteen%2Bchars%26more-0123"));
        QCOMPARE(redirect.status, 303);
        QCOMPARE(redirect.headers.value("location"), "/videos/clip.mp4");
        const QList<QByteArray> cookie = redirect.headers.value("set-cookie").split(';');
        QVERIFY(cookie[0].startsWith("vorn_session="));
        QVERIFY(!cookie[0].contains(kToken));
        for (const char* attribute : {"HttpOnly", "SameSite=Strict", "Path=/"}) {
            QVERIFY2(cookie.contains(QByteArray(" ") + attribute), attribute);
        }
        const Reply video =
            Exchange(m_guarded->Port(),
                     Request("GET", "/videos/clip.mp4", "Cookie: other=1; " + cookie[0] + "\r\n"));
        QCOMPARE(video.status, 200);
        QCOMPARE(video.body, Pattern(10000));
    }

    // A polling page keeps its connection for several requests; one that says nothing is closed.
    // On IPv6 too, through the relay.
    void keptAliveWhileUsedClosedWhenIdle_data() {
        QTest::addColumn<QString>("host");
        QTest::newRow("IPv4") << "127.0.0.1";
        QTest::newRow("IPv6") << "::1";
    }

    void keptAliveWhileUsedClosedWhenIdle() {
        QFETCH(QString, host);
        if (host == "::1" && !HasIpv6Loopback()) {
            QSKIP("this machine has no IPv6 loopback");
        }
        const auto server = StartServer("", std::chrono::milliseconds(500), host.toStdString());
        QVERIFY(server);
        QTcpSocket polling;
        polling.connectToHost(host, server->Port());
        QVERIFY(polling.waitForConnected(kWaitMs));
        for (int i = 0; i < 3; ++i) {
            polling.write("HEAD /status.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            QByteArray received;
            while (!received.contains("\r\n\r\n") && polling.waitForReadyRead(kWaitMs)) {
                received += polling.readAll();
            }
            QCOMPARE(Parse(received).status, 200);
        }
        QTcpSocket idle;
        idle.connectToHost(host, server->Port());
        QVERIFY(idle.waitForConnected(kWaitMs));
        QVERIFY(idle.state() == QAbstractSocket::UnconnectedState ||
                idle.waitForDisconnected(kWaitMs));
    }

    // 20 clients polling at once beside 100 connections that say nothing: every request answered.
    void pollersAnsweredBesideIdleConnections() {
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 100; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QStringLiteral("127.0.0.1"), m_open->Port());
            QVERIFY(idle.back()->waitForConnected(kWaitMs));
        }
        constexpr int kPolls = 5;
        std::atomic<int> answered{0};
        std::vector<std::thread> pollers;
        pollers.reserve(20);
        for (int i = 0; i < 20; ++i) {
            pollers.emplace_back([&] {
                for (int poll = 0; poll < kPolls; ++poll) {
                    const Reply reply = Exchange(m_open->Port(), Request("GET", "/status.json"));
                    answered += reply.status == 200 ? 1 : 0;
                }
            });
        }
        for (std::thread& poller : pollers) {
            poller.join();
        }
        QCOMPARE(answered.load(), 20 * kPolls);
    }

    // The program as a unit starts it: it says where it listens, answers, and stops with 0; on
    // IPv6 too, where civetweb has none.
    void serveRunsUntilStopped_data() {
        QTest::addColumn<QString>("host");  // as --listen and the URL give it
        QTest::newRow("IPv4") << "127.0.0.1";
        QTest::newRow("IPv6") << "[::1]";
    }

    void serveRunsUntilStopped() {
        QFETCH(QString, host);
        if (host.startsWith('[') && !HasIpv6Loopback()) {
            QSKIP("this machine has no IPv6 loopback");
        }
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=" + m_frames.toUtf8() +
                             "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                             "RESOLUTION_REF=1\nSERVE_TOKEN=" +
                             kToken + "\n");
        QProcess vorn;
        StartVorn(vorn, settings, {"--serve", "--listen", host + ":0"});
        QVERIFY(vorn.waitForReadyRead(kWaitMs));
        const QByteArray line = vorn.readLine();
        QVERIFY2(
            line.startsWith("vorn: serving http://" + host.toUtf8() + ":") && line.endsWith("/\n"),
            line.constData());
        const quint16 port = line.mid(line.lastIndexOf(':') + 1).chopped(2).toUShort();
        const QString address = host.mid(host.startsWith('[') ? 1 : 0).remove(']');
        const QByteArray bearer = "Authorization: Bearer " + QByteArray(kToken) + "\r\n";
        const Reply status = Exchange(port, Request("GET", "/status.json", bearer), address);
        QCOMPARE(status.status, 200);
        QCOMPARE(QJsonDocument::fromJson(status.body).object().value("frames").toInt(), 2);
        QCOMPARE(Exchange(port, Request("GET", "/days/2026-03-28-sheet.jpg", bearer), address).body,
                 Pattern(3000000));
        QCOMPARE(Exchange(port, Request("GET", "/status.json"), address).status, 401);
        ::kill(static_cast<pid_t>(vorn.processId()), SIGTERM);
        QVERIFY(vorn.waitForFinished(kWaitMs));
        QCOMPARE(vorn.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vorn.exitCode(), 0);
        QCOMPARE(vorn.readAllStandardError(), QByteArray());
    }

    // What keeps it from starting, each with its code and one line.
    void serveRefusesToStart_data() {
        QTest::addColumn<QStringList>("arguments");  // PORT: the port a server here holds
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");  // in the line
        QTest::addColumn<QByteArray>("more");     // more settings
        const auto row = [](const char* name, QStringList arguments, QByteArray token, int code,
                            QByteArray message, QByteArray more = {}) {
            QTest::newRow(name) << arguments << token << code << message << more;
        };
        const QByteArray badListen = "--listen takes ADDRESS:PORT";
        row("any address, no token", {"--listen", "0.0.0.0:0"}, {}, 21, "SERVE_TOKEN");
        row("a LAN address, no token", {"--listen", "192.0.2.1:0"}, {}, 21, "SERVE_TOKEN");
        row("a short token", {"--listen", "0.0.0.0:0"}, "fifteen-chars-x", 15,
            "SERVE_TOKEN is not valid");
        row("a token with a blank", {}, "sixteen chars ok", 15, "SERVE_TOKEN is not valid");
        row("port in use", {"--listen", "127.0.0.1:PORT"}, {}, 22, ": the port is in use\n");
        row("not this machine's", {"--listen", "192.0.2.1:0"}, kToken, 22,
            "cannot listen on 192.0.2.1:0: the address is not this machine's");
        row("a name", {"--listen", "example.org:80"}, {}, 2, badListen);
        row("no port", {"--listen", "127.0.0.1"}, {}, 2, badListen);
        row("port too high", {"--listen", "[::1]:65536"}, {}, 2, badListen);
        row("another mode", {"--schedule"}, {}, 2,
            "--serve and --schedule cannot be used together");
        row("an option of another mode", {"--end", "5"}, {}, 2,
            "--end is not an option of --serve");
        row("a bad MQTT port", {"--listen", "none"}, {}, 23, "MQTT_PORT=99999 is not valid",
            "MQTT_HOST=broker.example\nMQTT_PORT=99999\n");
        row("an MQTT topic with #", {"--listen", "none"}, {}, 23, "MQTT_TOPIC=vorn/# is not valid",
            "MQTT_HOST=broker.example\nMQTT_TOPIC=vorn/#\n");
        // The files are judged once MQTT is on: SETTINGS is the settings file's own, which
        // others may read.
        row("a password file others can read", {"--listen", "none"}, {}, 23, "MQTT_PASSWORD_FILE",
            "MQTT_HOST=broker.example\nMQTT_USER=cam\nMQTT_PASSWORD_FILE=SETTINGS\n");
        row("a missing CA file", {"--listen", "none"}, {}, 23, "MQTT_CA_FILE",
            "MQTT_HOST=broker.example\nMQTT_CA_FILE=/nonexistent/ca.pem\n");
    }

    void serveRefusesToStart() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, token);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, more);
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=" + m_frames.toUtf8() +
                             "\nAUTO_START_ON_OFF=0\nAUTO_START_FRAME_COUNT=0\nCAM_REF=0\n"
                             "RESOLUTION_REF=1\n" +
                             (token.isEmpty() ? QByteArray() : "SERVE_TOKEN=" + token + "\n") +
                             QByteArray(more).replace("SETTINGS", settings.FilePath().toUtf8()));
        QProcess vorn;
        StartVorn(vorn, settings,
                  QStringList{"--serve"} +
                      arguments.replaceInStrings("PORT", QString::number(m_open->Port())));
        QVERIFY(vorn.waitForFinished(kWaitMs));
        QCOMPARE(vorn.exitCode(), exitCode);
        const QByteArray err = vorn.readAllStandardError();
        // A bad command line is followed by the usage.
        const QByteArray first = err.left(err.indexOf('\n') + 1);
        QVERIFY2(first.startsWith("vorn: ") && first.contains(message), err.constData());
        QVERIFY2(exitCode == 2 || first == err, err.constData());
        QVERIFY(token.isEmpty() || !err.contains(token));
        QCOMPARE(vorn.readAllStandardOutput(), QByteArray());
    }

    // Three frames a minute apart, the last eight minutes ago: a stall from the first look, told
    // once to ON_TROUBLE (a script that appends its VORN_ variables) and on standard error, and
    // resolved once when a frame comes. A hook that hangs holds neither the loop nor the page.
    void watcherTellsTroubles_data() {
        QTest::addColumn<bool>("hangs");
        QTest::newRow("without a page") << false;
        QTest::newRow("a hook that hangs") << true;
    }

    void watcherTellsTroubles() {
        QFETCH(bool, hangs);
        const QDir dir(m_dir.path());
        const QString watched = dir.filePath(hangs ? "watched-hang" : "watched");
        QVERIFY(QDir().mkpath(watched));
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 3; ++i) {
            const QString frame = watched + QString("/pic_1000%1.jpg").arg(i + 1);
            QVERIFY(Write(frame, "frame"));
            QFile file(frame);
            QVERIFY(
                file.open(QIODevice::ReadWrite) &&
                file.setFileTime(now.addSecs(-600 + i * 60LL), QFileDevice::FileModificationTime));
        }
        const QString events = watched + "/../" + (hangs ? "events-hang" : "events");
        const QString script = watched + "/../hook" + (hangs ? "-hang" : "") + ".sh";
        QVERIFY(Write(script, "#!/bin/sh\n{ env | grep '^VORN_' | sort; echo --; } >> '" +
                                  events.toUtf8() + "'\n" + (hangs ? "exec sleep 60\n" : "")));
        QVERIFY(QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        TestSettings settings;
        settings.WriteValues("AUTO_START_DIR=" + watched.toUtf8() +
                             "/\nON_TROUBLE=" + script.toUtf8() + "\nON_TROUBLE_TIMEOUT=20\n");
        QProcess vorn;
        StartVorn(vorn, settings, {"--serve", "--listen", hangs ? "127.0.0.1:0" : "none"});
        QVERIFY(vorn.waitForReadyRead(kWaitMs));
        const QByteArray line = vorn.readLine();
        QVERIFY2(line.startsWith(hangs ? "vorn: serving" : "vorn: watching"), line.constData());
        const quint16 port = line.mid(line.lastIndexOf(':') + 1).chopped(2).toUShort();
        const auto blocks = [&] { return QString(Read(events)).split("--\n", Qt::SkipEmptyParts); };
        QTRY_COMPARE_WITH_TIMEOUT(blocks().size(), 1, kWaitMs);
        QVERIFY(Write(watched + "/pic_10004.jpg", "frame"));
        if (hangs) {
            // While the hook sleeps, the page still answers and follows the folder.
            const auto troubles = [&] {
                const Reply reply = Exchange(port, Request("GET", "/status.json"));
                return QJsonDocument::fromJson(reply.body)["troubles"].toArray().size();
            };
            QTRY_COMPARE_WITH_TIMEOUT(troubles(), 0, kWaitMs);
            QCOMPARE(blocks().size(), 1);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(blocks().size(), 2, kWaitMs);
        }
        ::kill(static_cast<pid_t>(vorn.processId()), SIGTERM);
        QVERIFY(vorn.waitForFinished(kWaitMs));
        QCOMPARE(vorn.exitCode(), 0);
        const QStringList told =
            QString(vorn.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        // The hook that hangs is ended at its timeout, and told.
        QCOMPARE(told.size(), hangs ? 3 : 2);
        QVERIFY(!hangs || told[2].contains("the ON_TROUBLE hook"));
        QVERIFY2(told[0].startsWith("vorn: trouble: stalled: No new frame for 8 minutes"),
                 qPrintable(told[0]));
        QVERIFY2(told[1].startsWith("vorn: resolved: stalled (since "), qPrintable(told[1]));
        const QStringList raised = blocks()[0].split('\n', Qt::SkipEmptyParts);
        QCOMPARE(raised.size(), 6);
        QCOMPARE(raised[1], "VORN_EVENT=trouble");
        QVERIFY(raised[2].startsWith("VORN_MESSAGE=No new frame for 8 minutes"));
        QCOMPARE(raised[3], "VORN_PROFILE=");
        // The stall began when the third interval after the last frame ended.
        QVERIFY(raised[4].startsWith("VORN_SINCE="));
        QCOMPARE(QDateTime::fromString(raised[4].mid(11), Qt::ISODate).toSecsSinceEpoch(),
                 now.addSecs(-300).toSecsSinceEpoch());
        QCOMPARE(raised[5], "VORN_TROUBLE=stalled");
        QCOMPARE(raised[0], "VORN_DIR=" + watched);
        if (!hangs) {
            const QStringList resolved = blocks()[1].split('\n', Qt::SkipEmptyParts);
            QCOMPARE(resolved[1], "VORN_EVENT=resolved");
            QCOMPARE(resolved[4], raised[4]);
        }
    }
};

QTEST_GUILESS_MAIN(ServeTest)
#include "test_serve.moc"
