#pragma once

#include "core/Store.h"

#include <QString>
#include <QStringList>

// The columns that let several engines share the server queue SendSMS. Other
// programs insert rows without them: every one is nullable and starts Null.
//
//   ClaimEngine  text(255)  the engine that holds the row while it sends it
//   ClaimTime    timestamp  when the claim was taken (the server's clock); a
//                           claim older than the lease is free again
//   FailCount    integer    failed sends of the row so far
//   RetryAfter   timestamp  a failed row is not taken again before this time
//   FailReason   text(255)  why the row was given up (with status "N")
namespace ServerQueueSchema {

inline const QString ClaimEngine = QStringLiteral("ClaimEngine");
inline const QString ClaimTime = QStringLiteral("ClaimTime");
inline const QString FailCount = QStringLiteral("FailCount");
inline const QString RetryAfter = QStringLiteral("RetryAfter");
inline const QString FailReason = QStringLiteral("FailReason");
constexpr int TextWidth = 255;

// The status of a row given up after too many failed sends.
inline const QString GivenUpStatus = QStringLiteral("N");

// The added columns and their types in the server's dialect, in order, as
// "name type".
QStringList columnDefinitions(Store::Dialect dialect);

// Adds the columns that SendSMS lacks; returns the names added. Looks before
// it alters, so that engines starting against a table that has them take no
// table lock. A table that does not exist is left to fail at the first pick.
QStringList ensureColumns(Store& server);

} // namespace ServerQueueSchema
