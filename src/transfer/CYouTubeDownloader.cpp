#include "CYouTubeDownloader.h"

#include "LogLine.h"
#include "SafeText.h"
#include "PartFile.h"
#include "Platform.h"
#include "RequestHeaders.h"
#include "ServerAnswer.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkRequest>

namespace {

// Media never goes into the cache; the bound keeps anything else small.
constexpr qint64 maxCacheBytes = 8 * 1024 * 1024;
// How much the network layer may hold for us before it stops reading the
// socket: keeps memory flat however large the file, and small blocks stay
// in the processor's cache on their way to the disk.
constexpr qint64 replyBufferBytes = 256 * 1024;

int statusOf(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const int defaultA = a.scheme() == QLatin1String("https") ? 443 : 80;
    const int defaultB = b.scheme() == QLatin1String("https") ? 443 : 80;
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(defaultA) == b.port(defaultB);
}

bool isHttp(const QUrl &address)
{
    return address.isValid() && !address.host().isEmpty()
           && (address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https"));
}

} // namespace

CYouTubeDownloader::CYouTubeDownloader() : QThread(nullptr)
{
    networkManager = new QNetworkAccessManager;
    auto *cache = new QNetworkDiskCache(networkManager);
    cache->setCacheDirectory(Platform::cacheFolder() + QDir::separator() + QStringLiteral("transfer"));
    cache->setMaximumCacheSize(maxCacheBytes);
    networkManager->setCache(cache);
    connect(networkManager, &QNetworkAccessManager::finished, this, &CYouTubeDownloader::onDownloadFinished);
    connect(&m_idle, &QTimer::timeout, this, &CYouTubeDownloader::checkIdle);
}

CYouTubeDownloader::~CYouTubeDownloader()
{
    // Nothing may call back into a half-destroyed transfer.
    networkManager->disconnect(this);
    if (m_reply)
        m_reply->disconnect(this);
    delete networkManager;
    if (m_outcome == Outcome::Running)
        m_part.discard();
}

void CYouTubeDownloader::logStatus(const QString &text)
{
    LOG_DEBUG << "logStatus" << ":" << text;
}

void CYouTubeDownloader::startTransfer()
{
    TRACE("startTransfer");
    if (m_outcome != Outcome::NotStarted) {
        LOG_ERROR << "startTransfer" << ":" << "already started";
        return;
    }
    m_outcome = Outcome::Running;

    const QUrl address = QUrl::fromEncoded(url.toUtf8(), QUrl::TolerantMode);
    const RequestHeaders::Parsed parsed = RequestHeaders::parse(requestHeader);
    for (const RequestHeaders::Field &field : parsed.fields) {
        LOG_DEBUG << "startTransfer" << ":" << field.name << "*******"
                  << RequestHeaders::loggable(field.name, field.value);
        m_fields.append({field.name, field.value});
    }
    if (parsed.skippedLines > 0)
        LOG_DEBUG << "startTransfer" << ":" << "header lines not replayed" << ":" << parsed.skippedLines;
    LOG_DEBUG << "startTransfer" << ":" << "-------Header------";
    LOG_DEBUG << "startTransfer" << ":" << RequestHeaders::loggableBlock(requestHeader);
    LOG_DEBUG << "startTransfer" << ":" << SafeText::address(address);

    if (abortRequested) {
        QMetaObject::invokeMethod(this, [this] { end(Outcome::Canceled); }, Qt::QueuedConnection);
        return;
    }
    if (!isHttp(address)) {
        finishEarly(Failure::BadAddress, QStringLiteral("Not an HTTP address: %1")
                                             .arg(SafeText::address(address).left(120)));
        return;
    }
    if (filePath.isEmpty()) {
        finishEarly(Failure::Write, QStringLiteral("No file to save to."));
        return;
    }
    if (const auto problem = m_part.open(filePath)) {
        finishEarly(Failure::Write, problem->text);
        return;
    }
    m_firstUrl = address;
    // Checked often enough to keep to the limit, seldom enough to cost nothing.
    m_idle.start(qBound(10, idleTimeoutMs / 4, 1000));
    get(address);
}

void CYouTubeDownloader::get(const QUrl &address)
{
    QNetworkRequest request(address);
    const bool sameHost = sameOrigin(address, m_firstUrl);
    for (const auto &[name, value] : std::as_const(m_fields)) {
        // The browser's cookies and credentials belong to the host it asked.
        if (!sameHost && RequestHeaders::isHostBound(name))
            continue;
        request.setRawHeader(name, value);
    }
    // The saved bytes are the file itself, and the counts match the total.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    m_reply = networkManager->get(request);
    m_reply->setReadBufferSize(replyBufferBytes);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &CYouTubeDownloader::onDownloadProgress);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &CYouTubeDownloader::onError);
    connect(m_reply, &QNetworkReply::readyRead, this, &CYouTubeDownloader::onReadyRead);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &CYouTubeDownloader::onMetaData);
    connect(m_reply, &QNetworkReply::encrypted, this, [this] { m_sinceData.start(); });
    m_sinceData.start();
}

void CYouTubeDownloader::requestAbort()
{
    TRACE("requestAbort");
    abortRequested = true;
    // At once rather than at the next progress notification, which a stalled
    // server may never send.
    if (m_reply)
        QMetaObject::invokeMethod(m_reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
}

bool CYouTubeDownloader::isSavedReply(QNetworkReply *reply) const
{
    const int status = statusOf(reply);
    return status >= 200 && status <= 299 && reply->error() == QNetworkReply::NoError;
}

void CYouTubeDownloader::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply && abortRequested) {
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    // Redirect hops and error pages are not the file.
    if (reply && (reply != m_reply || !isSavedReply(reply)))
        return;
    if (bytesTotal > 0 && bytesReceived >= 0)
        emit OnProgress(static_cast<unsigned long long>(bytesReceived), true,
                        static_cast<unsigned long long>(bytesTotal));
}

void CYouTubeDownloader::onError(QNetworkReply::NetworkError code)
{
    LOG_ERROR << "onError" << ":" << "ERRROROR!!!!!!!!" << static_cast<int>(code);
}

void CYouTubeDownloader::onReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    if (reply == m_reply)
        m_sinceData.start();
    if (reply != m_reply || !isSavedReply(reply) || m_failure != Failure::None || abortRequested) {
        reply->readAll(); // not ours to keep; reading keeps the buffer empty
        return;
    }
    drain(reply);
}

void CYouTubeDownloader::onMetaData()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != m_reply)
        return;
    m_sinceData.start();
    const int status = statusOf(reply);
    if (status < 200 || status > 299 || reply->error() != QNetworkReply::NoError)
        return; // redirects and errors are settled when the reply ends
    const ServerAnswer::Verdict verdict = ServerAnswer::check(
        status, reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray(),
        reply->rawHeader("Content-Range"), reply->rawHeader("Content-Length"), reply->rawHeader("Content-Encoding"));
    if (!verdict.problem.isEmpty()) {
        fail(Failure::BadAnswer, verdict.problem);
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    m_announced = verdict.length;
    if (!m_announced)
        m_part.limitToFreeSpace();
}

void CYouTubeDownloader::checkIdle()
{
    if (!m_reply || m_sinceData.elapsed() < idleTimeoutMs)
        return;
    const int seconds = (idleTimeoutMs + 999) / 1000;
    fail(Failure::TimedOut, QStringLiteral("The server sent nothing for %1 s").arg(seconds));
    QMetaObject::invokeMethod(m_reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
}

bool CYouTubeDownloader::failedLocally() const
{
    return m_failure == Failure::Write || m_failure == Failure::DiskFull || m_failure == Failure::TooLarge;
}

void CYouTubeDownloader::drain(QNetworkReply *reply)
{
    if (m_buffer.size() != readBlock)
        m_buffer.resize(readBlock);
    while (m_failure == Failure::None) {
        const qint64 got = reply->read(m_buffer.data(), readBlock);
        if (got <= 0)
            return;
        if (const auto problem = m_part.write(m_buffer.constData(), got)) {
            LOG_ERROR << "onDownloadFinished" << ":"
                      << "[CYouTubeDownloader::onDownloadFinished] Error while writing reply to file";
            static constexpr Failure failures[] = {Failure::Write, Failure::DiskFull, Failure::TooLarge};
            fail(failures[problem->kind], problem->text);
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            return;
        }
    }
}

void CYouTubeDownloader::onDownloadFinished(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->deleteLater();
    if (reply != m_reply)
        return; // a reply this transfer has already given up
    m_reply = nullptr;

    LOG_DEBUG << "onDownloadFinished" << ":" << "finished!!" << reply->errorString();
    lastError = reply->error();
    m_httpStatus = statusOf(reply);

    if (abortRequested) {
        end(Outcome::Canceled);
        return;
    }
    if (m_failure != Failure::None) {
        end(Outcome::Failed);
        return;
    }
    const QString reason =
        ServerAnswer::shortText(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    if (lastError != QNetworkReply::NoError) {
        if (m_httpStatus >= 400)
            fail(Failure::HttpStatus, QStringLiteral("HTTP %1 %2").arg(m_httpStatus).arg(reason).trimmed());
        else
            fail(Failure::Network, ServerAnswer::shortText(reply->errorString()));
        end(Outcome::Failed);
        return;
    }
    if (isRedirectStatus(m_httpStatus)) {
        if (!followRedirect(reply))
            end(Outcome::Failed);
        return;
    }
    if (m_httpStatus < 200 || m_httpStatus > 299) {
        fail(Failure::HttpStatus, QStringLiteral("HTTP %1 %2").arg(m_httpStatus).arg(reason).trimmed());
        end(Outcome::Failed);
        return;
    }
    drain(reply);
    if (m_failure == Failure::None && commitFile()) {
        end(Outcome::Succeeded);
        return;
    }
    end(Outcome::Failed);
}

bool CYouTubeDownloader::followRedirect(QNetworkReply *reply)
{
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    const QUrl next = reply->url().resolved(location);
    LOG_DEBUG << "followRedirect" << ":" << SafeText::address(next);
    if (location.isEmpty() || !isHttp(next)) {
        fail(Failure::Redirect, QStringLiteral("HTTP %1 without a usable new address").arg(m_httpStatus));
        return false;
    }
    // No step down from an encrypted connection to a plain one.
    if (reply->url().scheme() == QLatin1String("https") && next.scheme() == QLatin1String("http")) {
        fail(Failure::Redirect, QStringLiteral("Refused redirect to an unencrypted address"));
        return false;
    }
    if (++m_redirects > maxRedirects) {
        fail(Failure::Redirect, QStringLiteral("Too many redirects"));
        return false;
    }
    get(next);
    return true;
}

bool CYouTubeDownloader::commitFile()
{
    if (m_announced && *m_announced != m_part.written()) {
        fail(Failure::Incomplete,
             QStringLiteral("The connection closed after %1 of %2 bytes").arg(m_part.written()).arg(*m_announced));
        return false;
    }
    if (const auto problem = m_part.commit()) {
        fail(Failure::Write, problem->text);
        return false;
    }
    return true;
}

void CYouTubeDownloader::fail(Failure failure, const QString &text)
{
    if (m_failure != Failure::None)
        return; // the first cause is the one the user needs
    m_failure = failure;
    m_errorString = text;
}

void CYouTubeDownloader::finishEarly(Failure failure, const QString &text)
{
    fail(failure, text);
    // Queued: whoever started the transfer is connected and waiting first.
    QMetaObject::invokeMethod(this, [this] { end(Outcome::Failed); }, Qt::QueuedConnection);
}

void CYouTubeDownloader::end(Outcome outcome)
{
    m_idle.stop();
    m_outcome = outcome;
    if (outcome != Outcome::Succeeded)
        m_part.discard();
    switch (outcome) {
    case Outcome::Succeeded:
        LOG_DEBUG << "onDownloadFinished" << ":" << "saved" << filePath << ":" << m_part.written();
        break;
    case Outcome::Canceled:
        m_errorString = QStringLiteral("Download canceled.");
        LOG_DEBUG << "onDownloadFinished" << ":" << "canceled";
        break;
    default:
        LOG_ERROR << "onDownloadFinished" << ":" << m_errorString;
        break;
    }
    emit finished();
}
