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
    m_pace.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &CYouTubeDownloader::pace);
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
    begin();
}

void CYouTubeDownloader::resume()
{
    TRACE("resume");
    if (m_outcome != Outcome::Suspended) {
        LOG_ERROR << "resume" << ":" << "not suspended";
        return;
    }
    resumePartial = true;
    resumeValidator = m_validator;
    resumeTotal = totalSize();
    m_suspendRequested = false;
    m_fields.clear();
    m_failure = Failure::None;
    m_errorString.clear();
    m_httpStatus = 0;
    m_redirects = 0;
    lastError = QNetworkReply::NoError;
    begin();
}

void CYouTubeDownloader::begin()
{
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
    LOG_DEBUG << "startTransfer" << ":" << "proxy" << ":" << route.shownProxy() << ":" << "rate limit"
              << route.bytesPerSecond;
    route.applyTo(networkManager);
    m_paceClock.invalidate();
    m_endPending = false;

    // Until an answer says otherwise, the part is what the caller said it is.
    const bool keep = resumePartial && ServerAnswer::isUsableValidator(resumeValidator);
    m_validator = keep ? resumeValidator : QByteArray();
    m_announced.reset();
    if (keep && resumeTotal >= 0)
        m_announced = quint64(resumeTotal);
    if (abortRequested) {
        QMetaObject::invokeMethod(this, [this] { end(Outcome::Canceled); }, Qt::QueuedConnection);
        return;
    }
    if (m_suspendRequested) {
        QMetaObject::invokeMethod(this, [this] { end(Outcome::Suspended); }, Qt::QueuedConnection);
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
    auto problem = m_part.open(filePath, keep);
    // A part as long as the file, or longer, is no part of it that can be trusted.
    if (!problem && m_announced && m_part.written() >= *m_announced)
        problem = m_part.restart();
    if (problem) {
        finishEarly(Failure::Write, problem->text);
        return;
    }
    m_ranged = m_part.written() > 0;
    m_offset = 0;
    if (!m_ranged) {
        m_validator.clear();
        m_announced.reset();
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
    if (m_ranged) {
        // The rest, but only of the very file the part holds: for any
        // other the server answers with the whole of it.
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_part.written()) + '-');
        request.setRawHeader("If-Range", m_validator);
    }
    m_headChecked = false;

    m_reply = networkManager->get(request);
    // Under a rate limit the socket is read no faster than the file is
    // written, so the sender slows down with it.
    m_reply->setReadBufferSize(route.bytesPerSecond > 0 ? qBound(qint64(16384), route.bytesPerSecond / 8, replyBufferBytes)
                                                        : replyBufferBytes);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &CYouTubeDownloader::onDownloadProgress);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &CYouTubeDownloader::onError);
    connect(m_reply, &QNetworkReply::readyRead, this, &CYouTubeDownloader::onReadyRead);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &CYouTubeDownloader::onMetaData);
    connect(m_reply, &QNetworkReply::encrypted, this, [this] { m_sinceData.start(); });
    m_sinceData.start();
}

void CYouTubeDownloader::suspend()
{
    TRACE("suspend");
    if (m_outcome != Outcome::NotStarted && m_outcome != Outcome::Running)
        return;
    m_suspendRequested = true;
    if (m_reply)
        QMetaObject::invokeMethod(m_reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
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
    if (reply && (abortRequested || m_suspendRequested)) {
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    // Redirect hops and error pages are not the file.
    if (reply && (reply != m_reply || !isSavedReply(reply)))
        return;
    if (bytesTotal > 0 && bytesReceived >= 0)
        emit OnProgress(m_offset + static_cast<unsigned long long>(bytesReceived), true,
                        m_offset + static_cast<unsigned long long>(bytesTotal));
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
    if (status < 200 || status > 299 || reply->error() != QNetworkReply::NoError || m_headChecked)
        return; // redirects and errors are settled when the reply ends
    m_headChecked = true;
    const auto check = [reply, status](quint64 from) {
        return ServerAnswer::check(status, reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray(),
                                   reply->rawHeader("Content-Range"), reply->rawHeader("Content-Length"),
                                   reply->rawHeader("Content-Encoding"), from);
    };
    if (m_ranged && status == 206) {
        const ServerAnswer::Verdict rest = check(m_part.written());
        if (rest.problem.isEmpty() && (!m_announced || rest.length == m_announced)) {
            m_offset = m_part.written();
            m_announced = rest.length;
            return;
        }
        LOG_DEBUG << "onMetaData" << ":" << "not the rest of the part:" << reply->rawHeader("Content-Range").left(100);
        startOver(reply->url());
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    const ServerAnswer::Verdict verdict = check(0);
    if (!verdict.problem.isEmpty()) {
        fail(Failure::BadAnswer, verdict.problem);
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        return;
    }
    if (m_ranged) {
        // The whole file instead of the rest: it changed, or the server
        // does not do ranges. Never after the part.
        LOG_DEBUG << "onMetaData" << ":" << "the whole file again, HTTP" << status;
        m_ranged = false;
        if (const auto problem = m_part.restart()) {
            fail(Failure::Write, problem->text);
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            return;
        }
    }
    m_offset = 0;
    m_announced = verdict.length;
    m_validator =
        ServerAnswer::validator(reply->rawHeader("ETag"), reply->rawHeader("Last-Modified"), reply->rawHeader("Accept-Ranges"));
    if (!m_announced)
        m_part.limitToFreeSpace();
}

bool CYouTubeDownloader::startOver(const QUrl &address)
{
    m_ranged = false;
    m_offset = 0;
    m_validator.clear();
    m_announced.reset();
    if (const auto problem = m_part.restart()) {
        fail(Failure::Write, problem->text);
        return false;
    }
    // Without Range this time, so it happens once.
    get(address);
    return true;
}

void CYouTubeDownloader::checkIdle()
{
    if (!m_reply || m_sinceData.elapsed() < idleTimeoutMs)
        return;
    const int seconds = (idleTimeoutMs + 999) / 1000;
    fail(Failure::TimedOut, route.throughProxy()
                                ? QStringLiteral("Nothing came through the proxy %1 for %2 s").arg(route.shownProxy()).arg(seconds)
                                : QStringLiteral("The server sent nothing for %1 s").arg(seconds));
    QMetaObject::invokeMethod(m_reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
}

bool CYouTubeDownloader::failedLocally() const
{
    return m_failure == Failure::Write || m_failure == Failure::DiskFull || m_failure == Failure::TooLarge;
}

qint64 CYouTubeDownloader::allowance()
{
    if (route.bytesPerSecond <= 0)
        return readBlock;
    if (!m_paceClock.isValid()) {
        m_paceClock.start();
        m_paced = 0;
    }
    // What the rate allows since the clock started, less what was read; a
    // quarter of a second's worth at most, so a pause brings no burst.
    const qint64 due = route.bytesPerSecond * m_paceClock.elapsed() / 1000;
    m_paced = qMax(m_paced, due - qMax(qint64(1), route.bytesPerSecond / 4));
    return qMin(readBlock, due - m_paced);
}

void CYouTubeDownloader::pace()
{
    if (!m_reply)
        return;
    // Bytes held back by the limit are no silence of the server.
    if (m_reply->bytesAvailable() > 0)
        m_sinceData.start();
    drain(m_reply);
    if (m_endPending && m_reply && (m_reply->bytesAvailable() == 0 || m_failure != Failure::None || abortRequested)) {
        m_endPending = false;
        onDownloadFinished(m_reply);
    }
}

void CYouTubeDownloader::drain(QNetworkReply *reply, bool paced)
{
    if (m_buffer.size() != readBlock)
        m_buffer.resize(readBlock);
    while (m_failure == Failure::None) {
        const qint64 allowed = paced ? allowance() : readBlock;
        if (allowed <= 0) {
            if (!m_pace.isActive())
                m_pace.start(int(qBound(qint64(5), 4096 * 1000 / route.bytesPerSecond, qint64(100))));
            return;
        }
        const qint64 got = reply->read(m_buffer.data(), allowed);
        if (got <= 0)
            return;
        m_paced += got;
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
    if (reply == m_reply && route.bytesPerSecond > 0 && reply->bytesAvailable() > 0 && m_failure == Failure::None
        && !abortRequested && !m_suspendRequested && isSavedReply(reply)) {
        // Its last bytes wait for the limit like the others did.
        m_endPending = true;
        if (!m_pace.isActive())
            m_pace.start(0);
        return;
    }
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
    // A complete answer still counts; anything less waits in the part.
    if (m_suspendRequested && (lastError != QNetworkReply::NoError || m_httpStatus < 200 || m_httpStatus > 299)) {
        end(Outcome::Suspended);
        return;
    }
    if (m_ranged && m_httpStatus == 416) {
        LOG_DEBUG << "onDownloadFinished" << ":" << "the part is not of this file; the whole file again";
        if (!startOver(reply->url()))
            end(Outcome::Failed);
        return;
    }
    const QString reason =
        ServerAnswer::shortText(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    if (lastError != QNetworkReply::NoError) {
        if (m_httpStatus >= 400)
            fail(Failure::HttpStatus, QStringLiteral("HTTP %1 %2").arg(m_httpStatus).arg(reason).trimmed());
        // Through a proxy, a connection that fails is the proxy's (its own errors and the socket's).
        else if (route.throughProxy() && lastError != QNetworkReply::SslHandshakeFailedError
                 && lastError < QNetworkReply::ContentAccessDenied)
            fail(Failure::Network, QStringLiteral("The proxy %1 failed: %2")
                                       .arg(route.shownProxy(), ServerAnswer::shortText(reply->errorString())));
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
    drain(reply, false);
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
    m_pace.stop();
    m_endPending = false;
    m_outcome = outcome;
    if (outcome == Outcome::Suspended)
        m_part.keep();
    else if (outcome != Outcome::Succeeded)
        m_part.discard();
    switch (outcome) {
    case Outcome::Succeeded:
        LOG_DEBUG << "onDownloadFinished" << ":" << "saved" << filePath << ":" << m_part.written();
        break;
    case Outcome::Suspended:
        LOG_DEBUG << "onDownloadFinished" << ":" << "suspended" << partPath() << ":" << m_part.written();
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
