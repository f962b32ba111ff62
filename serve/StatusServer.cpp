#include "serve/StatusServer.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/PosixFiles.h"
#include "serve/ConnectionRelay.h"
#include "serve/FolderStatus.h"

namespace {

// Worker threads: civetweb gives each open connection one, so an idle connection holds one until
// it times out; 100 idle ones beside 20 pollers leave room. Connections beyond these wait in the
// queue, then in the kernel's backlog.
constexpr int kWorkerThreads = 160;
constexpr int kConnectionQueue = 40;
// Request line and headers together: past kMaxRequestBytes a request is refused with 431; civetweb
// reads up to twice that (and refuses more with 400), so that the handler sees what it refuses.
constexpr std::size_t kMaxRequestBytes = 8192;
constexpr char kReadRequestBytes[] = "16384";

constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; media-src 'self'; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'";

// What every response carries, errors included, as header lines.
const std::string& SafetyHeaderLines() {
    static const std::string lines = std::string("X-Content-Type-Options: nosniff\r\n") +
                                     "Content-Security-Policy: " + kContentSecurityPolicy +
                                     "\r\nReferrer-Policy: no-referrer";
    return lines;
}

constexpr char kCookieName[] = "vorn_session";
// The cookie holds a digest keyed by the token, never the token itself.
constexpr char kCookieText[] = "Vorn status page";
// A year: a phone that opened the page once with its token keeps it.
constexpr char kCookieAttributes[] = "; HttpOnly; SameSite=Strict; Path=/; Max-Age=31536000";

struct Header {
    const char* name;
    std::string value;
};

QByteArray Digest(std::string_view text) {
    return QCryptographicHash::hash(
        QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
        QCryptographicHash::Sha256);
}

// Whether `given` is the secret whose digest is `expected`, in a time that does not depend on
// where they differ: digests of the same length, every byte compared.
bool SameSecret(std::string_view given, const QByteArray& expected) {
    const QByteArray digest = Digest(given);
    unsigned difference = 0;
    for (qsizetype i = 0; i < digest.size(); ++i) {
        difference |= static_cast<unsigned char>(digest[i] ^ expected[i]);
    }
    return difference == 0;
}

QByteArray Resource(const char* name) {
    QFile file(QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IsAddress(const std::string& text) {
    std::array<unsigned char, sizeof(in6_addr)> bytes{};
    return inet_pton(AF_INET, text.c_str(), bytes.data()) == 1 ||
           inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1;
}

// Whether a Host header names this machine by an address or as localhost. Without a token, a
// page of another site that had its name point at 127.0.0.1 would otherwise read this one.
bool IsAddressHost(const char* header) {
    if (header == nullptr) {
        return true;  // HTTP/1.0
    }
    std::string host(header);
    if (host.starts_with('[')) {
        host = host.substr(1, host.find(']') - 1);
    } else if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    return IsAddress(host) ||
           QByteArray::fromStdString(host).compare("localhost", Qt::CaseInsensitive) == 0;
}

// The path a request names, percent-decoded; nothing for one no page of this server names: a NUL,
// a backslash, an empty, "." or ".." segment.
std::optional<std::string> RequestPath(const char* uri) {
    std::string_view raw(uri == nullptr ? "" : uri);
    raw = raw.substr(0, raw.find('?'));
    if (!raw.starts_with('/')) {
        return std::nullopt;
    }
    const QByteArray path =
        QByteArray::fromPercentEncoding(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())));
    if (path.contains('\0') || path.contains('\\')) {
        return std::nullopt;
    }
    const QList<QByteArray> segments = path.mid(1).split('/');
    for (const QByteArray& segment : segments) {
        if (segment == "." || segment == ".." || (segment.isEmpty() && segments.size() > 1)) {
            return std::nullopt;
        }
    }
    return path.toStdString();
}

// The value of `token=` in a query, percent-decoded; nothing when the query has none.
std::optional<std::string> QueryToken(const char* query) {
    if (query == nullptr) {
        return std::nullopt;
    }
    for (const QByteArray& pair : QByteArray(query).split('&')) {
        if (pair.startsWith("token=")) {
            return QByteArray::fromPercentEncoding(pair.mid(6)).toStdString();
        }
    }
    return std::nullopt;
}

std::optional<std::string> BearerToken(const char* header) {
    constexpr std::string_view kScheme = "bearer ";
    if (header == nullptr || std::strlen(header) <= kScheme.size() ||
        QByteArray(header, kScheme.size()).toLower() != QByteArray(kScheme.data())) {
        return std::nullopt;
    }
    return std::string(header + kScheme.size());
}

std::optional<std::string> CookieValue(const char* header) {
    std::array<char, 128> value{};
    if (header == nullptr || mg_get_cookie(header, kCookieName, value.data(), value.size()) < 0) {
        return std::nullopt;
    }
    return std::string(value.data());
}

// The bytes of a request's line and headers, as they came.
std::size_t RequestBytes(const mg_request_info& request) {
    const auto length = [](const char* text) { return text == nullptr ? 0 : std::strlen(text); };
    std::size_t bytes = length(request.request_method) + length(request.request_uri) +
                        length(request.query_string) + length(request.http_version) + 12;
    for (int i = 0; i < request.num_headers; ++i) {
        bytes += length(request.http_headers[i].name) + length(request.http_headers[i].value) + 4;
    }
    return bytes;
}

// A part of a file: [first, end).
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

std::optional<std::uint64_t> Offset(std::string_view digits) {
    std::uint64_t value = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || stop != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// The part of a file of `size` bytes that a Range header asks for ("bytes=A-B", "bytes=A-",
// "bytes=-N"), empty when none of it is in the file; nothing for a header of another form,
// several ranges among them, which gets the whole file.
std::optional<ByteRange> RangeAsked(const char* header, std::uint64_t size) {
    constexpr std::string_view kUnit = "bytes=";
    const std::string_view text(header == nullptr ? "" : header);
    const auto dash = text.find('-');
    if (!text.starts_with(kUnit) || dash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view firstText = text.substr(kUnit.size(), dash - kUnit.size());
    const std::optional<std::uint64_t> first = Offset(firstText);
    const std::optional<std::uint64_t> last = Offset(text.substr(dash + 1));
    if (firstText.empty() && last) {
        return ByteRange{size - std::min(*last, size), size};
    }
    if (!first || (!last && dash + 1 != text.size()) || (last && *last < *first)) {
        return std::nullopt;
    }
    if (*first >= size) {
        return ByteRange{size, size};
    }
    return ByteRange{*first, last ? std::min(*last + 1, size) : size};
}

const char* MimeType(const std::string& name) {
    static constexpr std::pair<const char*, const char*> kTypes[] = {
        {".jpg", "image/jpeg"},       {".mp4", "video/mp4"},       {".webm", "video/webm"},
        {".mkv", "video/x-matroska"}, {".mov", "video/quicktime"}, {".avi", "video/x-msvideo"},
    };
    for (const auto& [ending, type] : kTypes) {
        if (name.ends_with(ending)) {
            return type;
        }
    }
    return "application/octet-stream";
}

// Sends a whole response: the status, the safety headers, `headers` and `body` (left out for
// HEAD, its length still given).
void Respond(mg_connection* conn, int status, const char* type, std::string_view body,
             const std::vector<Header>& headers = {}) {
    const mg_request_info* request = mg_get_request_info(conn);
    const bool head = request != nullptr && request->request_method != nullptr &&
                      std::strcmp(request->request_method, "HEAD") == 0;
    mg_response_header_start(conn, status);
    mg_response_header_add_lines(conn, SafetyHeaderLines().c_str());
    mg_response_header_add(conn, "Content-Type", type, -1);
    for (const Header& header : headers) {
        mg_response_header_add(conn, header.name, header.value.c_str(), -1);
    }
    mg_response_header_add(conn, "Content-Length", std::to_string(body.size()).c_str(), -1);
    mg_response_header_send(conn);
    if (!head) {
        mg_write(conn, body.data(), body.size());
    }
}

void RespondWithText(mg_connection* conn, int status, const std::string& text,
                     const std::vector<Header>& headers = {}) {
    Respond(conn, status, "text/plain; charset=utf-8", text + "\n", headers);
}

void RespondNotFound(mg_connection* conn) {
    RespondWithText(conn, 404, "Not found.");
}

// civetweb's own errors (a request too large or malformed, a file gone) get the same headers as
// every other response.
int RespondWithError(mg_connection* conn, int status, const char* /*message*/) {
    std::vector<Header> headers;
    if (status == 405) {
        headers.push_back({"Allow", "GET, HEAD"});
    }
    RespondWithText(conn, status, mg_get_response_code_text(conn, status), headers);
    return 0;
}

bool IsIpv6(const ListenAddress& address) {
    return address.host.find(':') != std::string::npos;
}

// Why a socket cannot listen, in words that need no knowledge of sockets.
std::string ListenErrorInWords(int error) {
    switch (error) {
        case EADDRINUSE:
            return "the port is in use";
        case EADDRNOTAVAIL:
            return "the address is not this machine's";
        default:
            return std::strerror(error);
    }
}

// A socket listening on `address`, not blocking; -1 and why not.
int OpenListener(const ListenAddress& address, std::string& why) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const auto port = htons(static_cast<std::uint16_t>(address.port));
    if (IsIpv6(address)) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = port;
        inet_pton(AF_INET6, address.host.c_str(), &v6->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = port;
        inet_pton(AF_INET, address.host.c_str(), &v4->sin_addr);
        length = sizeof(sockaddr_in);
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    // As civetweb does: a port whose last connections linger in TIME_WAIT is free. An IPv6
    // address means IPv6 only, even [::].
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (storage.ss_family == AF_INET6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        why = ListenErrorInWords(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Why `address` cannot be listened on, found by trying it; nothing when it can.
std::optional<std::string> ListenTrouble(const ListenAddress& address) {
    std::string why;
    const int fd = OpenListener(address, why);
    if (fd < 0) {
        return why;
    }
    ::close(fd);
    return std::nullopt;
}

}  // namespace

struct StatusServer::Site {
    explicit Site(const FolderStatus& folderStatus) : status(folderStatus) {}

    const FolderStatus& status;
    bool needsToken = false;
    QByteArray tokenDigest;
    std::string cookieValue;
    QByteArray cookieDigest;
    QByteArray page;
    QByteArray script;
    QByteArray style;
    // What civetweb said while it started, for the message when it could not.
    std::mutex startMutex;
    std::string startTrouble;

    enum class Access { Granted, Redirect, Refused, WrongHost };

    Access AccessOf(const mg_connection* conn, const mg_request_info& request) const {
        if (!needsToken) {
            return IsAddressHost(mg_get_header(conn, "Host")) ? Access::Granted : Access::WrongHost;
        }
        if (const std::optional<std::string> given = QueryToken(request.query_string)) {
            return SameSecret(*given, tokenDigest) ? Access::Redirect : Access::Refused;
        }
        if (const auto bearer = BearerToken(mg_get_header(conn, "Authorization"))) {
            return SameSecret(*bearer, tokenDigest) ? Access::Granted : Access::Refused;
        }
        if (const auto cookie = CookieValue(mg_get_header(conn, "Cookie"))) {
            return SameSecret(*cookie, cookieDigest) ? Access::Granted : Access::Refused;
        }
        return Access::Refused;
    }

    // The same path without its query, with the cookie that stands for the token.
    void RedirectWithCookie(mg_connection* conn, const mg_request_info& request) const {
        std::string path(request.request_uri == nullptr ? "/" : request.request_uri);
        path.resize(path.find('?') == std::string::npos ? path.size() : path.find('?'));
        // "//host" would lead to another site.
        const bool plain =
            path.starts_with('/') && !path.starts_with("//") &&
            std::all_of(path.begin(), path.end(), [](char c) { return c > ' ' && c <= '~'; });
        Respond(conn, 303, "text/plain; charset=utf-8", "",
                {{"Location", plain ? path : "/"},
                 {"Set-Cookie", std::string(kCookieName) + "=" + cookieValue + kCookieAttributes},
                 {"Cache-Control", "no-store"}});
    }

    // Sends `file`, or the part a Range header asks for. civetweb's own file sending answers
    // neither a suffix range nor one past the end correctly, and follows a link that took the
    // file's place since the folder was listed; this opens the file itself and never a link.
    static void SendFile(mg_connection* conn, const std::optional<ServedFile>& file) {
        struct stat status {};
        const UniqueFd fd =
            file ? OpenRegularFile(AT_FDCWD, file->path.c_str(), O_RDONLY, status) : UniqueFd();
        if (!fd.IsOpen()) {
            RespondNotFound(conn);
            return;
        }
        const auto size = static_cast<std::uint64_t>(status.st_size);
        const std::optional<ByteRange> asked = RangeAsked(mg_get_header(conn, "Range"), size);
        const ByteRange part = asked.value_or(ByteRange{0, size});
        if (asked && part.first == part.end) {
            RespondWithText(conn, 416, "The range is past the end of the file.",
                            {{"Content-Range", "bytes */" + std::to_string(size)}});
            return;
        }
        const mg_request_info* request = mg_get_request_info(conn);
        mg_response_header_start(conn, asked ? 206 : 200);
        mg_response_header_add_lines(conn, SafetyHeaderLines().c_str());
        mg_response_header_add(conn, "Content-Type", MimeType(file->name), -1);
        mg_response_header_add(conn, "Content-Length",
                               std::to_string(part.end - part.first).c_str(), -1);
        mg_response_header_add(conn, "Accept-Ranges", "bytes", -1);
        mg_response_header_add(conn, "Cache-Control", "no-store", -1);
        if (asked) {
            const std::string range = "bytes " + std::to_string(part.first) + "-" +
                                      std::to_string(part.end - 1) + "/" + std::to_string(size);
            mg_response_header_add(conn, "Content-Range", range.c_str(), -1);
        }
        mg_response_header_send(conn);
        if (std::strcmp(request->request_method, "HEAD") != 0) {
            SendBytes(conn, fd.Get(), part);
        }
    }

    static void SendBytes(mg_connection* conn, int fd, const ByteRange& part) {
        std::vector<char> buffer(std::size_t{1} << 16U);
        for (std::uint64_t at = part.first; at < part.end;) {
            const auto wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), part.end - at));
            const ssize_t got = ::pread(fd, buffer.data(), wanted, static_cast<off_t>(at));
            if (got <= 0 || mg_write(conn, buffer.data(), static_cast<std::size_t>(got)) <= 0) {
                return;  // the file shrank, or the client went away: the connection is closed
            }
            at += static_cast<std::uint64_t>(got);
        }
    }

    void Route(mg_connection* conn, const std::string& path) const {
        const std::vector<Header> noStore = {{"Cache-Control", "no-store"}};
        if (path == "/") {
            Respond(conn, 200, "text/html; charset=utf-8", page.toStdString());
        } else if (path == "/page.js") {
            Respond(conn, 200, "text/javascript; charset=utf-8", script.toStdString());
        } else if (path == "/page.css") {
            Respond(conn, 200, "text/css; charset=utf-8", style.toStdString());
        } else if (path == "/status.json") {
            Respond(conn, 200, "application/json", status.StatusJson(QDateTime::currentDateTime()),
                    noStore);
        } else if (path == "/latest.jpg") {
            SendFile(conn, status.LatestFrame());
        } else if (path.starts_with("/videos/")) {
            SendFile(conn, status.Video(std::string_view(path).substr(std::strlen("/videos/"))));
        } else if (path.starts_with("/days/")) {
            SendFile(conn, status.DayPicture(std::string_view(path).substr(1)));
        } else {
            RespondNotFound(conn);
        }
    }

    static int Answer(mg_connection* conn, void* data) {
        const Site& site = *static_cast<const Site*>(data);
        const mg_request_info& request = *mg_get_request_info(conn);
        const std::string_view method(request.request_method);
        if (RequestBytes(request) > kMaxRequestBytes) {
            RespondWithText(conn, 431, "The request's headers are too large.");
            return 431;
        }
        if (method != "GET" && method != "HEAD") {
            RespondWithText(conn, 405, "Only GET and HEAD are answered.", {{"Allow", "GET, HEAD"}});
            return 405;
        }
        switch (site.AccessOf(conn, request)) {
            case Access::Refused:
                RespondWithText(conn, 401,
                                "This page needs its token: open it once as /?token=TOKEN, with "
                                "the SERVE_TOKEN of the settings.",
                                {{"WWW-Authenticate", "Bearer"}, {"Cache-Control", "no-store"}});
                return 401;
            case Access::WrongHost:
                RespondWithText(conn, 403,
                                "Without a token the page answers only to an address of this "
                                "machine or localhost.");
                return 403;
            case Access::Redirect:
                site.RedirectWithCookie(conn, request);
                return 303;
            case Access::Granted:
                break;
        }
        if (const std::optional<std::string> path = RequestPath(request.request_uri)) {
            site.Route(conn, *path);
        } else {
            RespondNotFound(conn);
        }
        return 200;
    }
};

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    std::string host(text.substr(0, colon));
    const std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    ListenAddress address;
    address.port = std::stoi(std::string(port));
    std::array<unsigned char, sizeof(in6_addr)> bytes{};
    if (host == "localhost") {
        address.host = "127.0.0.1";
        address.loopback = true;
    } else if (inet_pton(AF_INET, host.c_str(), bytes.data()) == 1) {
        address.host = host;
        address.loopback = bytes[0] == 127;
    } else if (host.size() > 2 && host.starts_with('[') && host.ends_with(']') &&
               inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), bytes.data()) == 1) {
        address.host = host.substr(1, host.size() - 2);
        in6_addr v6{};
        std::memcpy(&v6, bytes.data(), sizeof(v6));
        address.loopback = IN6_IS_ADDR_LOOPBACK(&v6);
    } else {
        return std::nullopt;
    }
    if (address.port > 65535) {
        return std::nullopt;
    }
    return address;
}

StatusServer::StatusServer(const FolderStatus& status, const std::string& token,
                           std::chrono::milliseconds idleTimeout)
    : m_site(std::make_unique<Site>(status)), m_idleTimeout(idleTimeout) {
    m_site->needsToken = !token.empty();
    m_site->tokenDigest = Digest(token);
    m_site->cookieValue =
        QMessageAuthenticationCode::hash(kCookieText, QByteArray::fromStdString(token),
                                         QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    m_site->cookieDigest = Digest(m_site->cookieValue);
    m_site->page = Resource(":/serve/index.html");
    m_site->script = Resource(":/serve/page.js");
    m_site->style = Resource(":/serve/page.css");
}

StatusServer::~StatusServer() {
    Stop();
}

std::optional<std::string> StatusServer::Start(const ListenAddress& address) {
    m_address = address;
    // civetweb as Debian builds it has no IPv6: an IPv6 address is the relay's, and civetweb
    // listens on a port of its own on 127.0.0.1 behind it.
    int relayListener = -1;
    if (IsIpv6(address)) {
        std::string why;
        relayListener = OpenListener(address, why);
        if (relayListener < 0) {
            return why;
        }
    }
    const std::string ports = relayListener >= 0
                                  ? std::string("127.0.0.1:0")
                                  : address.host + ":" + std::to_string(address.port);
    const std::string threads = std::to_string(kWorkerThreads);
    const std::string queue = std::to_string(kConnectionQueue);
    const std::string timeout = std::to_string(m_idleTimeout.count());
    // No document_root: civetweb serves no file of its own, only what Answer sends.
    const std::pair<const char*, const char*> settings[] = {
        {"listening_ports", ports.c_str()},
        {"num_threads", threads.c_str()},
        {"connection_queue", queue.c_str()},
        {"max_request_size", kReadRequestBytes},
        {"request_timeout_ms", timeout.c_str()},
        {"keep_alive_timeout_ms", timeout.c_str()},
        {"enable_keep_alive", "yes"},
        // The headers and the body go out in two writes: without this the body would wait for
        // the client's delayed acknowledgement of the headers.
        {"tcp_nodelay", "1"},
        // Paths as they were sent: RequestPath decodes them and refuses a NUL, at which
        // civetweb's decoding would cut them.
        {"decode_url", "no"},
        {"access_control_allow_origin", ""},
    };
    std::vector<const char*> options;
    for (const auto& [name, value] : settings) {
        options.insert(options.end(), {name, value});
    }
    options.push_back(nullptr);
    mg_callbacks callbacks{};
    callbacks.http_error = RespondWithError;
    callbacks.log_message = [](const mg_connection* conn, const char* message) {
        auto* site = static_cast<Site*>(mg_get_user_data(mg_get_context(conn)));
        if (site != nullptr) {
            const std::lock_guard lock(site->startMutex);
            site->startTrouble = message;
        }
        return 1;  // told by the caller, if at all
    };
    mg_init_library(0);
    m_context = mg_start(&callbacks, m_site.get(), options.data());
    if (m_context == nullptr) {
        mg_exit_library();
        if (relayListener >= 0) {
            ::close(relayListener);
        } else if (std::optional<std::string> trouble = ListenTrouble(address)) {
            // civetweb's own words do not say why a port cannot be had.
            return trouble;
        }
        const std::lock_guard lock(m_site->startMutex);
        return m_site->startTrouble.empty() ? "the server did not start" : m_site->startTrouble;
    }
    mg_set_request_handler(m_context, "**", Site::Answer, m_site.get());
    if (relayListener >= 0) {
        m_relay = std::make_unique<ConnectionRelay>(relayListener, CivetwebPort(), m_idleTimeout,
                                                    kWorkerThreads + kConnectionQueue);
    }
    return std::nullopt;
}

int StatusServer::CivetwebPort() const {
    std::array<mg_server_port, 2> ports{};
    if (m_context == nullptr || mg_get_server_ports(m_context, ports.size(), ports.data()) < 1) {
        return 0;
    }
    return ports[0].port;
}

int StatusServer::Port() const {
    return m_relay ? m_relay->Port() : CivetwebPort();
}

std::string StatusServer::Url() const {
    return "http://" + (IsIpv6(m_address) ? "[" + m_address.host + "]" : m_address.host) + ":" +
           std::to_string(Port()) + "/";
}

void StatusServer::Stop() {
    // The relay first: none of its connections is left on a server that is gone.
    m_relay.reset();
    if (m_context != nullptr) {
        mg_stop(m_context);
        m_context = nullptr;
        mg_exit_library();
    }
}
