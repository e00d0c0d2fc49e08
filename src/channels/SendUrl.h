#pragma once

#include <QString>

struct ProfileState;

// The send request of the HTTP gateway: the profile's URL template with its
// placeholders filled in. Shared by the dispatch engine (one number) and the
// bulk sender ("<mobile>" holding up to 100 numbers joined by ",").
namespace SendUrl {

// The values put into the template. preparedText is the message after
// prepareText(); build() encodes it with UrlEncode.
struct Values
{
    QString userName; // profile user name
    QString password; // profile password
    QString mobile;   // the cleaned number, or numbers joined by ","
    QString gsmSid;   // GSM sender id
    QString cdmaSid;  // CDMA sender id
    QString preparedText;
};

// The profile's account and sender ids with the given number and text.
Values fromProfile(const ProfileState& profile, const QString& mobile, const QString& preparedText);

// Fills the template, every occurrence, in this order:
//   "<UName>"    user name         any letter case
//   "<PassWord>" password          exact case
//   "<mobile>"   number(s)         exact case
//   "<GsmSid>"   GSM sender id     exact case
//   "<CDMASid>"  CDMA sender id    exact case
//   "<msg>"      UrlEncode(text)   exact case
// Each replacement works on the result of the previous one, so a value put
// in early that holds a later placeholder is filled too; the message goes in
// last and is never searched again. Only the message is encoded.
QString build(const QString& urlTemplate, const Values& values);

// The number as sent: every blank removed, then every "-".
QString cleanNumber(const QString& storedMobile);

// The text as sent: every apostrophe becomes a blank, then every CR LF pair a
// blank (a lone CR or LF stays and is encoded).
QString prepareText(const QString& storedMsg);

} // namespace SendUrl
