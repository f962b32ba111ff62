// The watcher's MQTT side against a real mosquitto broker that each test starts on a free
// loopback port: the topics and their retained flags, the last will, a broker lost and back, a
// refused login and TLS, each trouble told once.

#include <mosquitto.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frames/FrameFile.h"
#include "notify/MqttLink.h"
#include "notify/MqttReporter.h"

namespace {

constexpr int kConnectMs = 10'000;
// Long enough for the link's retries after a loss, 1 + 2 + 4 s, and a start of the broker.
constexpr int kReconnectMs = 20'000;
constexpr char kPrefix[] = "vorn/test";

int FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30'000) && process.exitCode() == 0;
}

void WriteText(const QString& path, const QByteArray& text, QFile::Permissions permissions) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

// A JPEG of noise `width` wide at `path`, its bytes returned.
QByteArray WriteFrame(const QString& path, int width, int height) {
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, 0, 256);
    std::vector<uchar> bytes;
    cv::imencode(".jpg", picture, bytes);
    QByteArray jpeg(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    WriteText(path, jpeg, QFile::ReadOwner | QFile::WriteOwner);
    return jpeg;
}

// A CA of the test's and a broker certificate it signs for `names` ("IP:127.0.0.1,...").
bool MakeCertificates(const QString& dir, const QString& ca, const QString& names) {
    const QStringList newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-nodes"};
    QFile extensions(dir + "/ext.cnf");
    if (!extensions.open(QIODevice::WriteOnly)) {
        return false;
    }
    extensions.write(("subjectAltName=" + names + "\n").toUtf8());
    extensions.close();
    return Run("openssl",
               QStringList{"req", "-x509"} + newKey +
                   QStringList{"-keyout", dir + "/" + ca + ".key", "-out", dir + "/" + ca + ".crt",
                               "-days", "2", "-subj", "/CN=Test " + ca}) &&
           Run("openssl", QStringList{"req"} + newKey +
                              QStringList{"-keyout", dir + "/server.key", "-out",
                                          dir + "/server.csr", "-subj", "/CN=broker"}) &&
           Run("openssl",
               {"x509", "-req", "-in", dir + "/server.csr", "-CA", dir + "/" + ca + ".crt",
                "-CAkey", dir + "/" + ca + ".key", "-CAcreateserial", "-out", dir + "/server.crt",
                "-days", "2", "-extfile", dir + "/ext.cnf"});
}

// A mosquitto broker on a free loopback port, its log kept.
class Broker {
public:
    // `more`: lines after the listener's (its TLS files, the password file).
    explicit Broker(const QString& more = "allow_anonymous true\n") : m_port(FreePort()) {
        WriteText(m_dir.filePath("mosquitto.conf"),
                  QString("user %1\npersistence false\nlog_dest stderr\nlog_type all\n"
                          "listener %2 127.0.0.1\n%3")
                      .arg(getpwuid(geteuid())->pw_name)
                      .arg(m_port)
                      .arg(more)
                      .toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner);
        Start();
    }
    ~Broker() { Kill(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    void Start() {
        const QString program =
            QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
        QVERIFY2(!program.isEmpty(), "mosquitto is not installed");
        const qsizetype runs = Log().count(" running");
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, {"-c", m_dir.filePath("mosquitto.conf")});
        QTRY_VERIFY_WITH_TIMEOUT(Log().count(" running") > runs, kConnectMs);
    }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(5'000);
        m_log += m_process.readAll();
    }
    // Every line it logged, of each run.
    QString Log() {
        if (m_process.isOpen()) {
            m_log += m_process.readAll();
        }
        return QString::fromUtf8(m_log);
    }
    int Connections() { return static_cast<int>(Log().count("New connection from")); }

    int Port() const { return m_port; }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    int m_port;
    QProcess m_process;
    QByteArray m_log;
};

struct Message {
    std::string payload;
    bool retained = false;
};

// A client of the broker's that keeps every message of every topic.
class Subscriber {
public:
    explicit Subscriber(int port) : m_client(mosquitto_new(nullptr, true, this)) {
        mosquitto_message_callback_set(
            m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto* subscriber = static_cast<Subscriber*>(self);
                const std::lock_guard lock(subscriber->m_mutex);
                subscriber->m_messages[message->topic].push_back(
                    {std::string(static_cast<const char*>(message->payload),
                                 static_cast<std::size_t>(message->payloadlen)),
                     message->retain});
            });
        m_connected = mosquitto_connect(m_client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
                      mosquitto_subscribe(m_client, nullptr, "#", 0) == MOSQ_ERR_SUCCESS &&
                      mosquitto_loop_start(m_client) == MOSQ_ERR_SUCCESS;
    }
    ~Subscriber() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, !m_connected);
        mosquitto_destroy(m_client);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    bool Connected() const { return m_connected; }
    std::vector<Message> Of(const std::string& topic) {
        const std::lock_guard lock(m_mutex);
        return m_messages[topic];
    }
    std::optional<Message> Last(const std::string& topic) {
        const std::vector<Message> messages = Of(topic);
        return messages.empty() ? std::nullopt : std::optional(messages.back());
    }
    std::string LastPayload(const std::string& topic) {
        return Last(topic).value_or(Message{}).payload;
    }
    std::vector<std::string> TopicsStartingWith(const std::string& start) {
        const std::lock_guard lock(m_mutex);
        std::vector<std::string> topics;
        for (const auto& [topic, messages] : m_messages) {
            if (topic.starts_with(start)) {
                topics.push_back(topic);
            }
        }
        return topics;
    }

private:
    mosquitto* m_client;
    bool m_connected = false;
    std::mutex m_mutex;
    std::map<std::string, std::vector<Message>> m_messages;
};

// The lines a link tells, from its thread.
class Told {
public:
    std::function<void(const std::string&)> Callback() {
        return [this](const std::string& line) {
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    std::vector<std::string> Lines() {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }
    int Count() { return static_cast<int>(Lines().size()); }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

MqttConfig PlainConfig(int port) {
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.prefix = kPrefix;
    return config;
}

std::string Topic(const char* subtopic) {
    return std::string(kPrefix) + "/" + subtopic;
}

const HomeAssistantDevice kDevice{kPrefix, "vorn_testhost", "Vorn on testhost", "9.9"};
const std::string kState = R"({"frames_today":3,"free_mb":900,"capturing":true})";
const std::string kTroubles = R"([{"code":"stalled","message":"no frame","since":"x"}])";

// Whether `subscriber` has every topic a link and its reporter give, and `retained` each: the
// availability online, the state, troubles, the latest frame and each discovery message. (A
// message that comes while one subscribes is not retained for it.)
bool HasEveryTopic(Subscriber& subscriber, const std::string& state, bool retained) {
    const std::vector<std::string> discovery = subscriber.TopicsStartingWith("homeassistant/");
    std::vector<std::string> topics = {Topic("availability"), Topic("state"), Topic("trouble"),
                                       Topic("latest")};
    topics.insert(topics.end(), discovery.begin(), discovery.end());
    for (const std::string& topic : topics) {
        const std::optional<Message> last = subscriber.Last(topic);
        if (!last || (retained && !last->retained)) {
            return false;
        }
    }
    return discovery.size() == DiscoveryMessages(kDevice).size() &&
           subscriber.LastPayload(Topic("availability")) == "online" &&
           subscriber.LastPayload(Topic("state")) == state &&
           subscriber.LastPayload(Topic("trouble")) == kTroubles;
}

// That a subscriber coming after `live` saw every topic gets them all retained.
void ExpectEveryTopicRetainedAfter(Subscriber& live, int port, const std::string& state) {
    QTRY_VERIFY_WITH_TIMEOUT(HasEveryTopic(live, state, false), kConnectMs);
    Subscriber later(port);
    QTRY_VERIFY_WITH_TIMEOUT(HasEveryTopic(later, state, true), kConnectMs);
}

}  // namespace

class MqttTest : public QObject {
    Q_OBJECT
private slots:
    void configTrouble_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");  // the file's text; "-": none, "/": a folder
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("caThere");
        QTest::addColumn<QStringList>("told");  // empty: no trouble

        QTest::newRow("all well") << "cam"
                                  << "secret\n"
                                  << 0600 << true << QStringList{};
        QTest::newRow("no files") << ""
                                  << "-" << 0 << true << QStringList{};
        QTest::newRow("read by all")
            << "cam"
            << "secret\n"
            << 0644 << true << QStringList{"MQTT_PASSWORD_FILE", "(mode 0644)", "chmod 600"};
        QTest::newRow("read by group")
            << "cam"
            << "secret\n"
            << 0640 << true << QStringList{"MQTT_PASSWORD_FILE", "(mode 0640)"};
        QTest::newRow("a folder") << "cam"
                                  << "/" << 0700 << true
                                  << QStringList{"MQTT_PASSWORD_FILE", "Invalid argument"};
        QTest::newRow("empty") << "cam"
                               << "\nsecret\n"
                               << 0600 << true << QStringList{"MQTT_PASSWORD_FILE", "no password"};
        QTest::newRow("without user") << ""
                                      << "secret" << 0600 << true << QStringList{"MQTT_USER"};
        QTest::newRow("CA missing")
            << ""
            << "-" << 0 << false << QStringList{"MQTT_CA_FILE", "No such file"};
    }
    void configTrouble() {
        QFETCH(const QString, user);
        QFETCH(const QString, password);
        QFETCH(const int, mode);
        QFETCH(const bool, caThere);
        QFETCH(const QStringList, told);
        QTemporaryDir dir;
        MqttConfig config = PlainConfig(1883);
        config.user = user.toStdString();
        config.caFile = dir.filePath("ca.crt").toStdString();
        if (caThere) {
            WriteText(dir.filePath("ca.crt"), "", QFile::ReadOwner | QFile::WriteOwner);
        }
        if (password != "-") {
            config.passwordFile = dir.filePath("password").toStdString();
            if (password == "/") {
                QVERIFY(QDir(dir.path()).mkdir("password"));
            } else {
                WriteText(dir.filePath("password"), password.toUtf8(), {});
            }
            QCOMPARE(::chmod(config.passwordFile.c_str(), static_cast<mode_t>(mode)), 0);
        }
        const std::optional<std::string> trouble = MqttConfigTrouble(config);
        QCOMPARE(trouble.has_value(), !told.isEmpty());
        for (const QString& part : told) {
            QVERIFY2(QString::fromStdString(*trouble).contains(part), trouble->c_str());
        }
    }

    void nodeIdKeepsOnlyTopicCharacters_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("id");
        QTest::newRow("default profile") << "pi-4.local"
                                         << ""
                                         << "vorn_pi-4_local";
        QTest::newRow("named profile") << "cam"
                                       << "garden/west+#"
                                       << "vorn_cam_garden_west__";
    }
    void nodeIdKeepsOnlyTopicCharacters() {
        QFETCH(const QString, host);
        QFETCH(const QString, profile);
        QFETCH(const QString, id);
        QCOMPARE(HomeAssistantNodeId(host.toStdString(), profile.toStdString()), id.toStdString());
    }

    // A link connects, or tells its trouble once and keeps trying without connecting.
    void connectsOrTellsOnce_data() {
        QTest::addColumn<QString>("broker");    // its lines after the listener
        QTest::addColumn<QString>("password");  // empty: no login
        QTest::addColumn<QString>("names");     // the broker certificate's; empty: no TLS
        QTest::addColumn<QString>("caFile");    // the link's
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("trouble");  // empty: it connects

        const QString login = "allow_anonymous false\npassword_file %1\n";
        const QString tls = "allow_anonymous true\ncafile %1\ncertfile %2\nkeyfile %3\n";
        const QString ours = "IP:127.0.0.1,DNS:localhost";
        QTest::newRow("anonymous") << "allow_anonymous true\n"
                                   << ""
                                   << ""
                                   << ""
                                   << "127.0.0.1"
                                   << "";
        QTest::newRow("right password") << login << "right"
                                        << ""
                                        << ""
                                        << "127.0.0.1"
                                        << "";
        QTest::newRow("wrong password") << login << "wrong"
                                        << ""
                                        << ""
                                        << "127.0.0.1"
                                        << "connection refused: not authorised";
        QTest::newRow("TLS") << tls << "" << ours << "ca"
                             << "127.0.0.1"
                             << "";
        QTest::newRow("TLS by name") << tls << "" << ours << "ca"
                                     << "localhost"
                                     << "";
        QTest::newRow("TLS, another CA") << tls << "" << ours << "other"
                                         << "127.0.0.1"
                                         << "TLS";
        QTest::newRow("TLS, another host's certificate") << tls << ""
                                                         << "DNS:elsewhere.example"
                                                         << "ca"
                                                         << "127.0.0.1"
                                                         << "TLS";
    }
    void connectsOrTellsOnce() {
        QFETCH(const QString, broker);
        QFETCH(const QString, password);
        QFETCH(const QString, names);
        QFETCH(const QString, caFile);
        QFETCH(const QString, host);
        QFETCH(const QString, trouble);
        QTemporaryDir dir;
        QString more = broker;
        if (!password.isEmpty()) {
            QVERIFY(Run("mosquitto_passwd", {"-c", "-b", dir.filePath("passwd"), "cam", "right"}));
            more = broker.arg(dir.filePath("passwd"));
        } else if (!names.isEmpty()) {
            QVERIFY(MakeCertificates(dir.path(), "other", names));
            QVERIFY(MakeCertificates(dir.path(), "ca", names));
            more = broker.arg(dir.filePath("ca.crt"), dir.filePath("server.crt"),
                              dir.filePath("server.key"));
        }
        Broker server(more);
        MqttConfig config = PlainConfig(server.Port());
        config.host = host.toStdString();
        if (!password.isEmpty()) {
            config.user = "cam";
            config.passwordFile = dir.filePath("secret").toStdString();
            WriteText(dir.filePath("secret"), password.toUtf8() + "\n",
                      QFile::ReadOwner | QFile::WriteOwner);
        }
        if (!caFile.isEmpty()) {
            config.caFile = dir.filePath(caFile + ".crt").toStdString();
        }
        QVERIFY(!MqttConfigTrouble(config));
        Told told;
        MqttLink link(config, told.Callback());
        if (trouble.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kConnectMs);
            QCOMPARE(told.Count(), 0);
            return;
        }
        // Refused at least twice, told once.
        QTRY_VERIFY_WITH_TIMEOUT(server.Connections() >= 2, kReconnectMs);
        QVERIFY(!link.Connected());
        QCOMPARE(told.Count(), 1);
        const QString line = QString::fromStdString(told.Lines()[0]);
        QVERIFY2(line.startsWith(QString("MQTT broker %1:%2: ").arg(host).arg(server.Port())) &&
                     line.contains(trouble) && line.endsWith("; trying again"),
                 qPrintable(line));
    }

    void publishesEveryTopicRetained() {
        QTemporaryDir dir;
        WriteFrame(dir.filePath("wide.jpg"), 1280, 720);
        const QByteArray small = WriteFrame(dir.filePath("small.jpg"), 320, 240);
        Broker server;
        Subscriber live(server.Port());
        QVERIFY(live.Connected());
        MqttLink link(PlainConfig(server.Port()), nullptr);
        MqttReporter reporter(link, kDevice);
        reporter.Report(kState, kTroubles, LatestFrame{dir.filePath("wide.jpg").toStdString(), 1},
                        0);
        ExpectEveryTopicRetainedAfter(live, server.Port(), kState);
        const std::string latest = live.LastPayload(Topic("latest"));
        const JpegLayout layout = WalkJpeg(std::vector<uchar>(latest.begin(), latest.end()));
        QCOMPARE(layout.state, JpegLayout::State::Whole);
        QCOMPARE(layout.size, cv::Size(640, 360));
        for (const std::string& topic : live.TopicsStartingWith("homeassistant/")) {
            const QJsonObject config =
                QJsonDocument::fromJson(QByteArray::fromStdString(live.LastPayload(topic)))
                    .object();
            QVERIFY2(
                topic.ends_with("/vorn_testhost/" +
                                config["unique_id"].toString().mid(14).toStdString() + "/config"),
                topic.c_str());
            QCOMPARE(config["availability_topic"].toString(), QString("vorn/test/availability"));
            QCOMPARE(config["device"]["identifiers"][0].toString(), QString("vorn_testhost"));
            QVERIFY(!config["name"].toString().isEmpty());
            const QString source = config.contains("image_topic")
                                       ? config["image_topic"].toString()
                                       : config["state_topic"].toString();
            QVERIFY2(source.startsWith("vorn/test/"), topic.c_str());
        }

        // Live: a frame sooner than 10 s after the last waits, and only the newest is sent.
        reporter.Report(kState, kTroubles, LatestFrame{dir.filePath("wide.jpg").toStdString(), 2},
                        5'000);
        reporter.Report(kState, kTroubles, LatestFrame{dir.filePath("small.jpg").toStdString(), 3},
                        9'999);
        reporter.Report(kState, "[]", LatestFrame{dir.filePath("small.jpg").toStdString(), 3},
                        9'999);
        // Messages come in order, so the troubles' change tells that nothing else was sent.
        QTRY_COMPARE_WITH_TIMEOUT(live.LastPayload(Topic("trouble")), std::string("[]"),
                                  kConnectMs);
        QCOMPARE(live.Of(Topic("latest")).size(), std::size_t{1});
        QCOMPARE(live.Of(Topic("state")).size(), std::size_t{1});
        reporter.Report(kState, "[]", LatestFrame{dir.filePath("small.jpg").toStdString(), 3},
                        10'000);
        QTRY_COMPARE_WITH_TIMEOUT(live.Of(Topic("latest")).size(), std::size_t{2}, kConnectMs);
        QCOMPARE(live.LastPayload(Topic("latest")), small.toStdString());  // small: as it is
    }

    // The broker lost and started again, without the retained messages it had: the link tells
    // the loss once, then its return, and gives the broker every retained topic again, the ones
    // published meanwhile too.
    void republishesAfterBrokerRestart() {
        QTemporaryDir dir;
        WriteFrame(dir.filePath("frame.jpg"), 800, 600);
        const LatestFrame frame{dir.filePath("frame.jpg").toStdString(), 1};
        Broker server;
        Told told;
        MqttLink link(PlainConfig(server.Port()), told.Callback());
        MqttReporter reporter(link, kDevice);
        reporter.Report(kState, kTroubles, frame, 0);
        QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kConnectMs);

        server.Kill();
        QTRY_COMPARE_WITH_TIMEOUT(told.Count(), 1, kConnectMs);
        const std::string changed = R"({"frames_today":4})";
        reporter.Report(changed, kTroubles, frame, 1'000);
        // Lets the link be refused by the closed port at its next retries too.
        QTest::qWait(3'500);
        server.Start();
        Subscriber live(server.Port());
        QVERIFY(live.Connected());
        QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kReconnectMs);
        const std::vector<std::string> lines = told.Lines();
        QCOMPARE(lines.size(), std::size_t{2});
        QVERIFY2(lines[0].ends_with("; trying again"), lines[0].c_str());
        QVERIFY2(lines[1].ends_with(": connected again"), lines[1].c_str());
        ExpectEveryTopicRetainedAfter(live, server.Port(), changed);
    }

    // Whether the link ends cleanly or its process is killed, `offline` stays on the broker.
    void offlineWhenTheLinkEnds_data() {
        QTest::addColumn<bool>("killed");
        QTest::newRow("stopped") << false;
        QTest::newRow("killed") << true;
    }
    void offlineWhenTheLinkEnds() {
        QFETCH(const bool, killed);
        Broker server;
        Subscriber live(server.Port());
        QVERIFY(live.Connected());
        const std::string availability = Topic("availability");
        if (killed) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--link", QString::number(server.Port())});
            QTRY_COMPARE_WITH_TIMEOUT(live.LastPayload(availability), std::string("online"),
                                      kConnectMs);
            child.kill();
            child.waitForFinished(5'000);
        } else {
            {
                MqttLink link(PlainConfig(server.Port()), nullptr);
                QTRY_COMPARE_WITH_TIMEOUT(live.LastPayload(availability), std::string("online"),
                                          kConnectMs);
            }
            // A goodbye, after which the broker sends no will: `offline` is the link's own.
            QTRY_VERIFY_WITH_TIMEOUT(
                server.Log().contains(QRegularExpression("Client \\S+ disconnected\\.")),
                kConnectMs);
            QVERIFY(!server.Log().contains("closed its connection"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(live.LastPayload(availability), std::string("offline"),
                                  kConnectMs);
        Subscriber later(server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(later.Last(availability).has_value(), kConnectMs);
        QVERIFY(later.Last(availability)->retained);
        QCOMPARE(later.LastPayload(availability), std::string("offline"));
    }
};

int main(int argc, char** argv) {
    // The link of the killed-process row: connected until the test kills it.
    if (argc == 3 && std::strcmp(argv[1], "--link") == 0) {
        MqttLink link(PlainConfig(std::atoi(argv[2])), nullptr);
        for (;;) {
            ::pause();
        }
    }
    QCoreApplication application(argc, argv);
    MqttTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mqtt.moc"
