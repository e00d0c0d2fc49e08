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

    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        m_manager.get(request), [](QNetworkReply* r) { r->deleteLater(); });

    // The transfer time-out of the network layer reports the same code as an
    // abort, so the time-out is kept here: the whole request, from sending to
    // the last byte of the body, must finish within it.
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QNetworkReply* const raw = reply.get();
    QObject::connect(&timer, &QTimer::timeout, raw, [raw, &timedOut] {
        timedOut = true;
        raw->abort();
    });
    timer.start(m_timeout);

    co_await raw;
    timer.stop();

    if (timedOut)
        throw ChannelError(ChannelError::TimedOut,
                           QStringLiteral("Request timed out: no answer from %1 within %2 s")
                               .arg(host)
                               .arg(m_timeout.count() / 1000.0));
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

    co_return bodyText(raw->readAll());
}
