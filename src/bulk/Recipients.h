#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Gathering the numbers of one bulk send and cutting them into requests.
namespace Recipients {

// Numbers per gateway request.
constexpr int BatchSize = 100;
// From this many recipients on, the operator confirms the send.
constexpr int ConfirmFrom = 5;

// The number box's text as one comma-separated text: every line break
// (CR LF, LF or CR) becomes ",".
QString fromNumberBox(const QString& text);

// The numbers of the selected contacts, each followed by ",".
QString fromContacts(const QStringList& mobiles);

// The recipient list: the text split at ",", blanks around each entry
// dropped, empty entries and repetitions dropped, in descending order of
// their character codes.
QStringList recipientList(const QString& joined);

// The list cut, in its order, into runs of at most size numbers.
QList<QStringList> batches(const QStringList& recipients, int size = BatchSize);

// The confirmation asked from ConfirmFrom recipients on.
QString confirmTitle(int count);
QString confirmText(int count);

} // namespace Recipients

namespace PartCounter {

constexpr int MessageLimit = 480;
constexpr int PartLength = 160;

// "L/ P": the text's length, then one more than the whole parts of 160
// (0/ 1, 159/ 1, 160/ 2, 480/ 4).
QString caption(const QString& text);

} // namespace PartCounter
