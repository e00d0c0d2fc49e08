#include "common/LogCategories.h"

Q_LOGGING_CATEGORY(lcStore, "smsengine.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcIntake, "smsengine.intake", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHttp, "smsengine.http", QtInfoMsg)
Q_LOGGING_CATEGORY(lcModem, "smsengine.modem", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDispatch, "smsengine.dispatch", QtInfoMsg)
Q_LOGGING_CATEGORY(lcReport, "smsengine.report", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBulk, "smsengine.bulk", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "smsengine.ui", QtInfoMsg)
