#include "channels/SendUrl.h"

#include "channels/UrlEncode.h"
#include "core/ProfileState.h"

namespace SendUrl {

Values fromProfile(const ProfileState& profile, const QString& mobile, const QString& preparedText)
{
    return Values{profile.userName, profile.password, mobile, profile.gsmSid, profile.cdmaSid, preparedText};
}

QString build(const QString& urlTemplate, const Values& values)
{
    QString url = urlTemplate;
    url.replace(QStringLiteral("<UName>"), values.userName, Qt::CaseInsensitive);
    url.replace(QStringLiteral("<PassWord>"), values.password, Qt::CaseSensitive);
    url.replace(QStringLiteral("<mobile>"), values.mobile, Qt::CaseSensitive);
    url.replace(QStringLiteral("<GsmSid>"), values.gsmSid, Qt::CaseSensitive);
    url.replace(QStringLiteral("<CDMASid>"), values.cdmaSid, Qt::CaseSensitive);
    url.replace(QStringLiteral("<msg>"), UrlEncode(values.preparedText), Qt::CaseSensitive);
    return url;
}

QString cleanNumber(const QString& storedMobile)
{
    QString number = storedMobile;
    number.remove(u' ');
    number.remove(u'-');
    return number;
}

QString prepareText(const QString& storedMsg)
{
    QString text = storedMsg;
    text.replace(u'\'', u' ');
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return text;
}

} // namespace SendUrl
