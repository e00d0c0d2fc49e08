#pragma once

#include <QString>
#include <QtGlobal>

// The loaded gateway profile: one config row copied into the values that the
// sending, dispatching and reporting code reads. One instance lives in the
// EngineContext; loading another profile replaces it for every screen.
struct ProfileState
{
    QString userName;         // UName
    QString password;         // Password
    QString sendUrl;          // Provider: the send URL template
    qint32 interval = 0;      // TmInterval, milliseconds (starting on the GSM channel sets 10000)
    qint32 smsId = 0;         // Smsid: the message id counter
    QString reportUrl;        // RepoStr, Null read as empty
    QString balanceUrl;       // balstr with <UName> and <PassWord> filled in
    QString gsmSid;           // GsmSid
    QString cdmaSid;          // CdmaSid
    bool httpGateway = false; // ConSrt trimmed and upper-cased is "C"
};
