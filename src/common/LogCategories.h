#pragma once

#include <QLoggingCategory>

// One category per module, so an administrator can turn one up or down
// (QT_LOGGING_RULES="smsengine.http.debug=true") without the others. Info
// and above are on by default.
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcIntake)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
Q_DECLARE_LOGGING_CATEGORY(lcModem)
Q_DECLARE_LOGGING_CATEGORY(lcDispatch)
Q_DECLARE_LOGGING_CATEGORY(lcReport)
Q_DECLARE_LOGGING_CATEGORY(lcBulk)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
