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
#include <fstream>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frames/FrameFile.h"
#include "notify/MqttLink.h"
#include "notify/MqttReporter.h"

namespace {

// Every wait's bound: enough for a broker's start, or a link's retries 1 + 2 + 4 s after a loss.
constexpr int kWaitMs = 20'000;
constexpr char kPrefix[] = "vorn/test";
const HomeAssistantDevice kDevice{kPrefix, "vorn_testhost", "Vorn on testhost", "9.9"};
const std::string kState = R"({"frames_today":3,"free_mb":900,"capturing":true})";
const std::string kTroubles = R"([{"code":"stalled","message":"no frame","since":"x"}])";

std::string Topic(const char* subtopic) {
    return std::string(kPrefix) + "/" + subtopic;
}

bool Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30'000) && process.exitCode() == 0;
}

void WriteFile(const QString& path, const QByteArray& bytes, mode_t mode = 0600) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes.toStdString();
    QCOMPARE(::chmod(path.toLocal8Bit().constData(), mode), 0);
}

// A JPEG of noise at `path`, its bytes returned.
QByteArray WriteFrame(const QString& path, int width, int height) {
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, 0, 256);
    std::vector<uchar> bytes;
    cv::imencode(".jpg", picture, bytes);
    QByteArray jpeg(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    WriteFile(path, jpeg);
    return jpeg;
}

// In `dir`: two CAs, ca and other, and the broker's key and certificate for `names`
// ("IP:127.0.0.1,DNS:localhost") signed by ca.
bool MakeCertificates(const QString& dir, const QString& names) {
    return Run(
        "sh",
        {"-c", R"(set -e; cd "$1"; key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        for ca in ca other; do openssl req -x509 $key -days 2 -keyout $ca.key -out $ca.crt -subj /CN=$ca; done
        openssl req $key -keyout server.key -out server.csr -subj /CN=broker
        echo "subjectAltName=$2" > ext.cnf
        openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
            -extfile ext.cnf -out server.crt)",
         "sh", dir, names});
}

// A mosquitto broker on a free loopback port; `more` are the lines after its listener's.
class Broker {
public:
    explicit Broker(const QString& more = "allow_anonymous true\n") {
        QTcpServer free;
        free.listen(QHostAddress::LocalHost, 0);
        m_port = free.serverPort();
        free.close();
        WriteFile(m_dir.filePath("mosquitto.conf"),
                  QString("user %1\npersistence false\nlog_type all\nlistener %2 127.0.0.1\n%3")
                      .arg(getpwuid(geteuid())->pw_name)
                      .arg(m_port)
                      .arg(more)
                      .toUtf8());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        Start();
    }
    ~Broker() { Kill(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    void Start() {
        const qsizetype runs = Log().count(" running");
        m_process.start(QStandardPaths::findExecutable("mosquitto", {"/usr/sbin"}),
                        {"-c", m_dir.filePath("mosquitto.conf")});
        QTRY_VERIFY_WITH_TIMEOUT(Log().count(" running") > runs, kWaitMs);
    }
    void Kill() {
        Log();
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
    QString Log() {  // of every run
        m_log += m_process.isOpen() ? m_process.readAll() : QByteArray();
        return QString::fromUtf8(m_log);
    }
    int Port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    int m_port = 0;
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
        QCOMPARE(mosquitto_connect(m_client, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
        QCOMPARE(mosquitto_subscribe(m_client, nullptr, "#", 0), MOSQ_ERR_SUCCESS);
        QCOMPARE(mosquitto_loop_start(m_client), MOSQ_ERR_SUCCESS);
    }
    ~Subscriber() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    std::map<std::string, std::vector<Message>> Messages() {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::size_t Count(const std::string& topic) { return Messages()[topic].size(); }
    std::optional<Message> Last(const std::string& topic) {
        const std::vector<Message> messages = Messages()[topic];
        return messages.empty() ? std::nullopt : std::optional(messages.back());
    }
    std::string Payload(const std::string& topic) {
        return Last(topic).value_or(Message{}).payload;
    }

private:
    mosquitto* m_client;
    std::mutex m_mutex;
    std::map<std::string, std::vector<Message>> m_messages;
};

// The lines a link tells, from its thread.
struct Told {
    std::function<void(const std::string&)> Callback() {
        return [this](const std::string& line) {
            const std::lock_guard lock(mutex);
            lines.push_back(line);
        };
    }
    std::vector<std::string> Lines() {
        const std::lock_guard lock(mutex);
        return lines;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

MqttConfig Config(int port) {
    MqttConfig config;
    config.host = "127.0.0.1";
    config.port = port;
    config.prefix = kPrefix;
    return config;
}

// Whether `subscriber` has every topic a link and its reporter give, `retained` each when asked
// (a message that comes while one subscribes is not retained for it).
bool HasEveryTopic(Subscriber& subscriber, const std::string& state, bool retained) {
    std::size_t discovery = 0;
    for (const auto& [topic, messages] : subscriber.Messages()) {
        discovery += topic.starts_with("homeassistant/") ? 1 : 0;
        if (retained && !messages.back().retained) {
            return false;
        }
    }
    return discovery == DiscoveryMessages(kDevice).size() && subscriber.Count(Topic("latest")) &&
           subscriber.Payload(Topic("availability")) == "online" &&
           subscriber.Payload(Topic("state")) == state &&
           subscriber.Payload(Topic("trouble")) == kTroubles;
}

// That a subscriber coming after `live` saw every topic gets them all retained.
void ExpectEveryTopicRetainedAfter(Subscriber& live, int port, const std::string& state) {
    QTRY_VERIFY_WITH_TIMEOUT(HasEveryTopic(live, state, false), kWaitMs);
    Subscriber later(port);
    QTRY_VERIFY_WITH_TIMEOUT(HasEveryTopic(later, state, true), kWaitMs);
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
        MqttConfig config = Config(1883);
        config.user = user.toStdString();
        config.caFile = dir.filePath("ca.crt").toStdString();
        if (caThere) {
            WriteFile(dir.filePath("ca.crt"), "");
        }
        if (password != "-") {
            config.passwordFile = dir.filePath("password").toStdString();
            if (password == "/") {
                QVERIFY(QDir(dir.path()).mkdir("password"));
            }
            WriteFile(dir.filePath("password"), password.toUtf8(), static_cast<mode_t>(mode));
        }
        const std::optional<std::string> trouble = MqttConfigTrouble(config);
        QCOMPARE(trouble.has_value(), !told.isEmpty());
        for (const QString& part : told) {
            QVERIFY2(QString::fromStdString(*trouble).contains(part), trouble->c_str());
        }
    }

    void nodeIdKeepsOnlyTopicCharacters() {
        QCOMPARE(HomeAssistantNodeId("pi-4.local", ""), std::string("vorn_pi-4_local"));
        QCOMPARE(HomeAssistantNodeId("cam", "garden/west+#"),
                 std::string("vorn_cam_garden_west__"));
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
        const QString untrusted = "certificate verify failed";
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
                                         << "127.0.0.1" << untrusted;
        QTest::newRow("TLS, another host's certificate") << tls << ""
                                                         << "DNS:elsewhere.example"
                                                         << "ca"
                                                         << "127.0.0.1" << untrusted;
    }
    void connectsOrTellsOnce() {
        QFETCH(const QString, broker);
        QFETCH(const QString, password);
        QFETCH(const QString, names);
        QFETCH(const QString, caFile);
        QFETCH(const QString, host);
        QFETCH(const QString, trouble);
        QTemporaryDir dir;
        MqttConfig config = Config(0);
        QString more = broker;
        if (!password.isEmpty()) {
            QVERIFY(Run("mosquitto_passwd", {"-c", "-b", dir.filePath("passwd"), "cam", "right"}));
            more = broker.arg(dir.filePath("passwd"));
            config.user = "cam";
            config.passwordFile = dir.filePath("secret").toStdString();
            WriteFile(dir.filePath("secret"), password.toUtf8() + "\n");
        } else if (!names.isEmpty()) {
            QVERIFY(MakeCertificates(dir.path(), names));
            more = broker.arg(dir.filePath("ca.crt"), dir.filePath("server.crt"),
                              dir.filePath("server.key"));
            config.caFile = dir.filePath(caFile + ".crt").toStdString();
        }
        Broker server(more);
        config.host = host.toStdString();
        config.port = server.Port();
        QVERIFY(!MqttConfigTrouble(config));
        Told told;
        MqttLink link(config, told.Callback());
        if (trouble.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kWaitMs);
            QVERIFY(told.Lines().empty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(server.Log().count("New connection from") >= 2, kWaitMs);
        QVERIFY(!link.Connected());
        QCOMPARE(told.Lines().size(), std::size_t{1});
        const QString line = QString::fromStdString(told.Lines()[0]);
        QVERIFY2(line.startsWith(QString("MQTT broker %1:%2: ").arg(host).arg(server.Port())) &&
                     line.contains(trouble) && line.endsWith("; trying again"),
                 qPrintable(line));
    }

    void publishesEveryTopicRetained() {
        QTemporaryDir dir;
        WriteFrame(dir.filePath("wide.jpg"), 1280, 720);
        const QByteArray small = WriteFrame(dir.filePath("small.jpg"), 320, 240);
        const LatestFrame wide{dir.filePath("wide.jpg").toStdString(), 1};
        const LatestFrame smallFrame{dir.filePath("small.jpg").toStdString(), 3};
        Broker server;
        Subscriber live(server.Port());
        MqttLink link(Config(server.Port()), nullptr);
        MqttReporter reporter(link, kDevice);
        reporter.Report(kState, kTroubles, wide, 0);
        ExpectEveryTopicRetainedAfter(live, server.Port(), kState);
        const std::string latest = live.Payload(Topic("latest"));
        const JpegLayout layout = WalkJpeg(std::vector<uchar>(latest.begin(), latest.end()));
        QCOMPARE(layout.state, JpegLayout::State::Whole);
        QCOMPARE(layout.size, cv::Size(640, 360));
        for (const auto& [topic, messages] : live.Messages()) {
            const QJsonObject config =
                QJsonDocument::fromJson(QByteArray::fromStdString(messages.back().payload))
                    .object();
            if (!topic.starts_with("homeassistant/")) {
                continue;
            }
            QCOMPARE(QString::fromStdString(topic).section('/', 2),
                     "vorn_testhost/" + config["unique_id"].toString().mid(14) + "/config");
            QCOMPARE(config["availability_topic"].toString(), QString("vorn/test/availability"));
            QCOMPARE(config["device"]["identifiers"][0].toString(), QString("vorn_testhost"));
            QVERIFY(!config["name"].toString().isEmpty());
            QVERIFY((config["state_topic"].toString() + config["image_topic"].toString())
                        .startsWith("vorn/test/"));
        }

        // A frame sooner than 10 s after the last waits, and only the newest is sent; messages
        // come in order, so the troubles' change tells that nothing else was sent before it.
        reporter.Report(kState, kTroubles, LatestFrame{wide.path, 2}, 5'000);
        reporter.Report(kState, "[]", smallFrame, 9'999);
        QTRY_COMPARE_WITH_TIMEOUT(live.Payload(Topic("trouble")), std::string("[]"), kWaitMs);
        QCOMPARE(live.Count(Topic("latest")), std::size_t{1});
        QCOMPARE(live.Count(Topic("state")), std::size_t{1});
        reporter.Report(kState, "[]", smallFrame, 10'000);
        QTRY_COMPARE_WITH_TIMEOUT(live.Count(Topic("latest")), std::size_t{2}, kWaitMs);
        QCOMPARE(live.Payload(Topic("latest")), small.toStdString());  // narrow: as it is
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
        MqttLink link(Config(server.Port()), told.Callback());
        MqttReporter reporter(link, kDevice);
        reporter.Report(kState, kTroubles, frame, 0);
        QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kWaitMs);

        server.Kill();
        QTRY_COMPARE_WITH_TIMEOUT(told.Lines().size(), std::size_t{1}, kWaitMs);
        const std::string changed = R"({"frames_today":4})";
        reporter.Report(changed, kTroubles, frame, 1'000);
        QTest::qWait(3'500);  // lets the link's next retries be refused by the closed port too
        server.Start();
        Subscriber live(server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(link.Connected(), kWaitMs);
        const std::vector<std::string> lines = told.Lines();
        QCOMPARE(lines.size(), std::size_t{2});
        QVERIFY2(lines[0].ends_with(": the connection was lost; trying again"), lines[0].c_str());
        QVERIFY2(lines[1].ends_with(": connected again"), lines[1].c_str());
        ExpectEveryTopicRetainedAfter(live, server.Port(), changed);
    }

    // Whether the link stops or its process is killed, `offline` stays on the broker: told by the
    // link itself at a stop (the broker sends no will after a goodbye), by its will when killed.
    void offlineWhenTheLinkEnds_data() {
        QTest::addColumn<bool>("killed");
        QTest::newRow("stopped") << false;
        QTest::newRow("killed") << true;
    }
    void offlineWhenTheLinkEnds() {
        QFETCH(const bool, killed);
        Broker server;
        Subscriber live(server.Port());
        const std::string availability = Topic("availability");
        QProcess child;
        std::optional<MqttLink> link;
        if (killed) {
            child.start(QCoreApplication::applicationFilePath(),
                        {"--link", QString::number(server.Port())});
        } else {
            link.emplace(Config(server.Port()), nullptr);
        }
        QTRY_COMPARE_WITH_TIMEOUT(live.Payload(availability), std::string("online"), kWaitMs);
        if (killed) {
            child.kill();
        } else {
            link.reset();
            QTRY_VERIFY_WITH_TIMEOUT(
                server.Log().contains(QRegularExpression("Client \\S+ disconnected\\.")), kWaitMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(live.Payload(availability), std::string("offline"), kWaitMs);
        Subscriber later(server.Port());
        QTRY_VERIFY_WITH_TIMEOUT(later.Last(availability).has_value(), kWaitMs);
        QVERIFY(later.Last(availability)->retained);
        QCOMPARE(later.Payload(availability), std::string("offline"));
    }
};

int main(int argc, char** argv) {
    // The link of the killed row, connected until the test kills it.
    if (argc == 3 && std::strcmp(argv[1], "--link") == 0) {
        MqttLink link(Config(std::atoi(argv[2])), nullptr);
        for (;;) {
            ::pause();
        }
    }
    QCoreApplication application(argc, argv);
    MqttTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mqtt.moc"
