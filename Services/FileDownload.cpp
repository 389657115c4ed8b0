// SPDX-License-Identifier: MIT
#include "FileDownload.h"

#include "SignalWaiter.h"

#include <QFile>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// Kept out of the coroutine: with UBSan and no optimisation, g++ 12 crashes on a local enumeration inside one.
enum TransferOutcome { transferEnded, downloadGone };

/// What libcurl hands the write callback at most: the only body bytes the transfer holds in memory.
constexpr long receiveBufferSize = 512 * 1024;
constexpr long maximumRedirects = 20;
/// The longest the transfer's thread sleeps between looks at cancel and the time-outs, should no wake-up come.
constexpr std::chrono::milliseconds longestWait{1000};

bool libcurlReady()
{
    // Before any thread uses libcurl; thread-safe as a static's initialisation.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

/// A failure of the connection or of the transfer that another try may not meet.
bool isTransient(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_OPERATION_TIMEDOUT:
        return true;
    default:
        return false;
    }
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// The file the body goes to, closed with the object.
class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    /// 0 on success, else the errno.
    int open(const QString &path, bool append)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
        return m_fd < 0 ? errno : 0;
    }
    bool isOpen() const { return m_fd >= 0; }

    /// 0 once every byte is written, else the errno.
    int write(const char *data, size_t size)
    {
        while (size > 0) {
            const ssize_t done = ::write(m_fd, data, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return done < 0 ? errno : ENOSPC;
            data += done;
            size -= size_t(done);
        }
        return 0;
    }

    /// 0 on success (or when nothing is open), else the errno.
    int close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int m_fd = -1;
};

} // namespace

struct FileDownload::Multi {
    Multi()
        : handle(curl_multi_init())
    {
    }
    ~Multi() { curl_multi_cleanup(handle); }
    Multi(const Multi &) = delete;
    Multi &operator=(const Multi &) = delete;

    CURLM *const handle;
};

/// The transfer's own state, on its thread: the callbacks libcurl calls while it runs.
class FileDownload::Transfer
{
public:
    explicit Transfer(FileDownload &download)
        : m_download(download)
        , m_lastActivity(Clock::now())
    {
    }

    void run();

private:
    static size_t onHeader(char *data, size_t, size_t size, void *self) { return static_cast<Transfer *>(self)->header(data, size); }
    static size_t onBody(char *data, size_t, size_t size, void *self) { return static_cast<Transfer *>(self)->body(data, size); }

    size_t header(const char *data, size_t size);
    size_t body(const char *data, size_t size);
    /// Hands the final answer to the caller's check; false when the body is not wanted (or has nowhere to go).
    bool judge();
    void halt(Stop reason);
    /// The headers of each answer, the status line first; an answer that libcurl follows or that is only interim is not judged.
    bool isFinal() const;
    void waitForSocket(Clock::time_point started);
    bool timedOut(Clock::time_point started) const;
    void conclude(CURLcode result, const char *detail, bool expired);

    FileDownload &m_download;
    HttpAnswer m_current;
    OutputFile m_file;
    Clock::time_point m_lastActivity;
};

bool FileDownload::Transfer::isFinal() const
{
    if (m_current.status >= 100 && m_current.status <= 199)
        return false;
    const bool followed = m_current.status >= 300 && m_current.status <= 399 && m_current.headers.contains("location");
    return !followed;
}

size_t FileDownload::Transfer::header(const char *data, size_t size)
{
    m_lastActivity = Clock::now();
    if (m_download.m_stop != Stop::none || m_download.m_cancelRequested)
        return 0;
    const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
    if (line.startsWith("HTTP/")) {
        m_current = HttpAnswer{};
        m_current.status = line.split(' ').value(1).toInt();
    } else if (line.isEmpty()) {
        if (!m_download.m_answer && isFinal() && !judge())
            return 0;
    } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        QByteArray &joined = m_current.headers[name];
        joined = joined.isEmpty() ? value : joined + ", " + value;
    }
    return size;
}

bool FileDownload::Transfer::judge()
{
    m_download.m_answer = m_current;
    const std::optional<qint64> offset = m_download.m_check(m_current);
    if (!offset) {
        halt(Stop::refused);
        return false;
    }
    m_download.m_offset = *offset;
    if (const int error = m_file.open(m_download.m_path, *offset > 0)) {
        m_download.m_errorString = systemError(error);
        halt(Stop::writeFailed);
        return false;
    }
    return true;
}

size_t FileDownload::Transfer::body(const char *data, size_t size)
{
    m_lastActivity = Clock::now();
    if (m_download.m_cancelRequested)
        halt(Stop::cancelled);
    if (m_download.m_stop != Stop::none)
        return 0;
    if (!m_download.m_answer && !isFinal())
        return size; // the body of an answer libcurl follows
    if (!m_download.m_answer && !judge())
        return 0;
    // Measured again as data arrives: the announced length may be absent or wrong, and other programs take space too.
    if (!m_download.m_space.allows(quint64(size))) {
        halt(Stop::outOfSpace);
        return 0;
    }
    if (const int error = m_file.write(data, size)) {
        m_download.m_errorString = systemError(error);
        halt(Stop::writeFailed);
        return 0;
    }
    m_download.m_written += qint64(size);
    if (m_download.m_onWritten)
        m_download.m_onWritten(QByteArrayView(data, qsizetype(size)));
    m_lastActivity = Clock::now();
    return size;
}

void FileDownload::Transfer::halt(Stop reason)
{
    if (m_download.m_stop == Stop::none)
        m_download.m_stop = reason;
}

bool FileDownload::Transfer::timedOut(Clock::time_point started) const
{
    const Clock::time_point now = Clock::now();
    return now - m_lastActivity >= m_download.m_request.idleTimeout || now - started >= m_download.m_request.wholeTimeout;
}

void FileDownload::Transfer::waitForSocket(Clock::time_point started)
{
    const Clock::time_point now = Clock::now();
    const auto untilIdle = m_lastActivity + m_download.m_request.idleTimeout - now;
    const auto untilEnd = started + m_download.m_request.wholeTimeout - now;
    const auto wait = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(std::min(untilIdle, untilEnd)), std::chrono::milliseconds(0), longestWait);
    curl_multi_poll(m_download.m_multi->handle, nullptr, 0, int(wait.count()), nullptr);
}

void FileDownload::Transfer::run()
{
    const std::unique_ptr<CURL, void (*)(CURL *)> easy(curl_easy_init(), &curl_easy_cleanup);
    curl_slist *list = nullptr;
    for (const auto &[name, value] : m_download.m_request.headers)
        list = curl_slist_append(list, QByteArray(name + ": " + value).constData());
    const std::unique_ptr<curl_slist, void (*)(curl_slist *)> headers(list, &curl_slist_free_all);
    if (!easy || !m_download.m_multi->handle || !libcurlReady())
        return conclude(CURLE_FAILED_INIT, nullptr, false);

    const QByteArray url = m_download.m_request.url.toEncoded();
    const bool secure = m_download.m_request.url.scheme() == QStringLiteral("https");
    char detail[CURL_ERROR_SIZE] = {};
    CURL *handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, maximumRedirects);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, receiveBufferSize);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);

    CURLM *multi = m_download.m_multi->handle;
    curl_multi_add_handle(multi, handle);
    const Clock::time_point started = Clock::now();
    CURLcode result = CURLE_OK;
    bool expired = false;
    for (;;) {
        int running = 0;
        const CURLMcode step = curl_multi_perform(multi, &running);
        int queued = 0;
        while (const CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                result = message->data.result;
        }
        if (step != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            std::strncpy(detail, curl_multi_strerror(step), sizeof detail - 1);
            break;
        }
        if (running == 0)
            break;
        if (m_download.m_cancelRequested) {
            halt(Stop::cancelled);
            break;
        }
        if (timedOut(started)) {
            expired = true;
            break;
        }
        waitForSocket(started);
    }
    curl_multi_remove_handle(multi, handle);
    conclude(result, detail, expired);
}

void FileDownload::Transfer::conclude(CURLcode result, const char *detail, bool expired)
{
    if (const int error = m_file.close(); error && m_download.m_stop == Stop::none) {
        m_download.m_errorString = systemError(error);
        m_download.m_stop = Stop::writeFailed;
    }
    if (m_download.m_stop != Stop::none) {
        m_download.m_ending = Ending::stopped;
        return;
    }
    if (expired || result == CURLE_OPERATION_TIMEDOUT) {
        m_download.m_ending = Ending::timedOut;
        m_download.m_errorString = QStringLiteral("The request timed out.");
        return;
    }
    if (result == CURLE_OK) {
        m_download.m_ending = Ending::complete;
        return;
    }
    m_download.m_ending = isTransient(result) ? Ending::broken : Ending::failed;
    m_download.m_errorString = QString::fromUtf8(detail && *detail ? detail : curl_easy_strerror(result));
}

FileDownload::FileDownload(Request request, QString path, DownloadSpace space, HeadersCheck check, ChunkHandler written, qint64 offset,
                           QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_path(std::move(path))
    , m_space(std::move(space))
    , m_check(std::move(check))
    , m_onWritten(std::move(written))
    , m_offset(offset)
{
    libcurlReady();
    m_multi = std::make_unique<Multi>();
}

FileDownload::~FileDownload()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void FileDownload::cancel()
{
    m_cancelRequested = true;
    if (m_multi && m_multi->handle)
        curl_multi_wakeup(m_multi->handle);
}

QCoro::Task<> FileDownload::run()
{
    SignalWaiter waiter;
    waiter.watch(this, &FileDownload::finished, transferEnded);
    waiter.watchDestruction(this, downloadGone);
    m_thread = std::thread([this] {
        Transfer(*this).run();
        QMetaObject::invokeMethod(this, [this] { Q_EMIT finished(); }, Qt::QueuedConnection);
    });
    // The transfer ends itself by its own time limit; the wait only needs to outlast it.
    std::optional<int> outcome = co_await waiter.wait(m_request.wholeTimeout + std::chrono::minutes(1));
    if (!outcome) {
        cancel();
        outcome = co_await waiter.wait(std::chrono::minutes(1));
    }
    if (outcome == transferEnded && m_thread.joinable())
        m_thread.join();
}
