#include "channels/HttpFetcher.h"

#include "channels/ChannelError.h"
#include "channels/Windows1252.h"

#include <QCoroNetworkReply>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

HttpFetcher::HttpFetcher(QObject* parent) : QObject(parent) {}

QUrl HttpFetcher::requestUrl(const QString& builtUrl)
{
    QString text = builtUrl.trimmed();
    text.replace(u'#', QLatin1String("%23"));
    // Tolerant parsing keeps valid escapes, encodes what may not stand in a
    // URL and turns a "%" that starts no escape into "%25".
    return QUrl::fromEncoded(text.toUtf8(), QUrl::TolerantMode);
}

QString HttpFetcher::bodyText(const QByteArray& body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return Windows1252::decode(body);
}

QCoro::Task<QString> HttpFetcher::fetch(const QString& builtUrl)
{
    return fetch(requestUrl(builtUrl));
}

QCoro::Task<QString> HttpFetcher::fetch(QUrl url)
{
    const QString host =
        url.host().isEmpty() ? url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo) : url.host();
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        throw ChannelError(QNetworkReply::ProtocolUnknownError,
                           QStringLiteral("Cannot fetch an invalid URL (host '%1')").arg(host));

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);

    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        m_manager.get(request), [](QNetworkReply* r) { r->deleteLater(); });
    QNetworkReply* const raw = reply.get();
    // Without a bound the network thread reads ahead of this one for as long
    // as the server keeps sending, however much that is: the count below
    // would only see it all at once.
    raw->setReadBufferSize(256 * 1024);

    // The connections below die with this scope, before the reply is deleted.
    QObject scope;
    enum class Cut
    {
        None,
        TimedOut,
        TooLarge,
        Redirected,
    } cut = Cut::None;
    QString redirectHost;
    QByteArray body;

    // The transfer time-out of the network layer reports the same code as an
    // abort, so the time-out is kept here: the whole request, from sending to
    // the last byte of the body, must finish within it.
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &scope, [raw, &cut] {
        cut = Cut::TimedOut;
        raw->abort();
    });
    timer.start(m_timeout);

    // Counted as read (after any decompression), and as announced, so a
    // huge answer is cut before it arrives.
    QObject::connect(raw, &QNetworkReply::downloadProgress, &scope, [raw, &cut](qint64, qint64 total) {
        if (total > MaxReplyBytes && cut == Cut::None) {
            cut = Cut::TooLarge;
            raw->abort();
        }
    });
    QObject::connect(raw, &QIODevice::readyRead, &scope, [raw, &cut, &body] {
        body.append(raw->readAll());
        if (body.size() > MaxReplyBytes && cut == Cut::None) {
            cut = Cut::TooLarge;
            body.clear();
            raw->abort();
        }
    });
    QObject::connect(raw, &QNetworkReply::redirected, &scope,
                     [raw, url, &cut, &redirectHost](const QUrl& to) {
                         const QUrl target = url.resolved(to);
                         if (target.scheme() == url.scheme() && target.host() == url.host() &&
                             target.port(-1) == url.port(-1)) {
                             Q_EMIT raw->redirectAllowed();
                             return;
                         }
                         redirectHost = target.host().isEmpty() ? target.scheme() : target.host();
                         cut = Cut::Redirected;
                         raw->abort();
                     });

    co_await raw;
    timer.stop();

    switch (cut) {
    case Cut::None:
        break;
    case Cut::TimedOut:
        throw ChannelError(ChannelError::TimedOut,
                           QStringLiteral("Request timed out: no answer from %1 within %2 s")
                               .arg(host)
                               .arg(m_timeout.count() / 1000.0));
    case Cut::TooLarge:
        throw ChannelError(ChannelError::ReplyTooLarge,
                           QStringLiteral("Answer from %1 too large: more than %2 bytes, transfer cut")
                               .arg(host)
                               .arg(MaxReplyBytes));
    case Cut::Redirected:
        throw ChannelError(
            ChannelError::RedirectedAway,
            QStringLiteral("Redirect from %1 to another host (%2) refused").arg(host, redirectHost));
    }
    const int status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        const QString reason = raw->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        throw ChannelError(status,
                           QStringLiteral("HTTP %1 %2 from %3").arg(status).arg(reason, host).simplified());
    }
    if (raw->error() != QNetworkReply::NoError) {
        // Some texts quote the whole URL; keep the query (and its password) out of the trace.
        QString text = raw->errorString();
        text.replace(url.toString(), host);
        text.replace(QString::fromUtf8(url.toEncoded()), host);
        throw ChannelError(raw->error(), QStringLiteral("%1 (%2)").arg(text, host));
    }
    if (status >= 300 && status < 400)
        throw ChannelError(
            ChannelError::RedirectedAway,
            QStringLiteral("HTTP %1 from %2: a redirect without a usable target").arg(status).arg(host));

    body.append(raw->readAll());
    if (body.size() > MaxReplyBytes)
        throw ChannelError(
            ChannelError::ReplyTooLarge,
            QStringLiteral("Answer from %1 too large: more than %2 bytes").arg(host).arg(MaxReplyBytes));
    co_return bodyText(body);
}
