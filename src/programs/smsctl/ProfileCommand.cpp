#include "core/ProfileLoader.h"
#include "core/Schema.h"
#include "core/ServerConnection.h"
#include "core/Store.h"
#include "dispatch/ReportHost.h"
#include "programs/smsctl/Commands.h"

#include <QSqlRecord>
#include <QUrl>
#include <limits>

namespace Cli {

namespace {
const QString kCommand = QStringLiteral("profile");

constexpr qint64 DefaultInterval = 5000;
constexpr int SenderIdWidth = 15; // config.GsmSid and config.CDMASid are text(15)

void checkUrl(const Options& options, const QString& name)
{
    if (!options.has(name))
        return;
    const QString text = options.value(name);
    const QUrl url(text, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (text.trimmed().isEmpty() || !url.isValid() || url.host().isEmpty() ||
        (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")))
        throw UsageError(
            QStringLiteral("--%1 must be an http:// or https:// address, not '%2'").arg(name, text),
            kCommand);
}

void checkWidth(const Options& options, const QString& name, int width)
{
    if (options.value(name).size() > width)
        throw UsageError(QStringLiteral("--%1 holds at most %2 characters").arg(name).arg(width), kCommand);
}

// An optional text option: Null in the store when it is not given.
QVariant optional(const Options& options, const QString& name)
{
    return options.has(name) ? QVariant(options.value(name)) : QVariant(QMetaType(QMetaType::QString));
}

// What the profile is stored with but will not do, said on stderr: the
// command itself has succeeded.
void warnAboutDelivery(Context& context, const Options& options, const QString& user, const QString& sendUrl)
{
    const QString consrt = options.value(QStringLiteral("consrt"));
    if (!ProfileLoader::httpGatewayFlag(consrt))
        context.err << "smsctl: warning: the HTTP gateway of the profile '" << user
                    << "' is off, so the HTTP channel sends nothing with it"
                    << (ProfileLoader::namesServer(consrt) ? " (--consrt names a server)" : "")
                    << "; --consrt C turns it on\n";
    if (options.has(QStringLiteral("report-url"))) {
        const ReportHost::Effective host = ReportHost::effective();
        if (!ReportHost::polledFor(sendUrl, host.host))
            context.err
                << "smsctl: warning: the send URL does not contain the report host " << host.host
                << ", so no delivery report is ever asked for with this profile; "
                << (host.source == ReportHost::Source::Environment
                        ? QStringLiteral("the host comes from %1").arg(ReportHost::EnvironmentVariable)
                        : QStringLiteral("set it with 'smsctl config report-host HOST'"))
                << '\n';
    }
}

int add(Context& context, const QStringList& args)
{
    const Options options = parse(args,
                                  {{QStringLiteral("user"), true},
                                   {QStringLiteral("password"), true},
                                   {QStringLiteral("send-url"), true},
                                   {QStringLiteral("report-url"), true},
                                   {QStringLiteral("balance-url"), true},
                                   {QStringLiteral("gsm-sid"), true},
                                   {QStringLiteral("cdma-sid"), true},
                                   {QStringLiteral("interval"), true},
                                   {QStringLiteral("smsid"), true},
                                   {QStringLiteral("consrt"), true},
                                   {QStringLiteral("default"), false}},
                                  0, kCommand);
    const QString user = options.required(QStringLiteral("user"), kCommand);
    const QString password = options.required(QStringLiteral("password"), kCommand);
    const QString sendUrl = options.required(QStringLiteral("send-url"), kCommand);
    if (user.trimmed().isEmpty())
        throw UsageError(QStringLiteral("--user must not be empty"), kCommand);
    // The ledger keeps the sender's user name in sms.Uname, text(15).
    checkWidth(options, QStringLiteral("user"), Schema::UnameWidth);
    checkUrl(options, QStringLiteral("send-url"));
    checkUrl(options, QStringLiteral("report-url"));
    checkUrl(options, QStringLiteral("balance-url"));
    checkWidth(options, QStringLiteral("gsm-sid"), SenderIdWidth);
    checkWidth(options, QStringLiteral("cdma-sid"), SenderIdWidth);
    const qint64 interval = options.number(QStringLiteral("interval"), DefaultInterval, 1,
                                           std::numeric_limits<qint32>::max(), kCommand);
    const qint64 smsId =
        options.number(QStringLiteral("smsid"), 0, 0, std::numeric_limits<qint32>::max(), kCommand);
    const bool isDefault = options.has(QStringLiteral("default"));
    // Refused outright: the gateway would take such a URL and every queued
    // message would be counted as sent without having gone anywhere.
    const QString problem = ProfileLoader::sendUrlProblem(sendUrl);
    if (!problem.isEmpty())
        throw CommandError(problem);

    const auto store = context.openStore();
    Store::Transaction transaction(*store);
    const QVariant same =
        store->scalar(QStringLiteral("SELECT UName FROM config WHERE lower(UName) = lower(?)"), {user});
    if (!same.isNull())
        throw CommandError(
            QStringLiteral("a gateway profile named '%1' already exists").arg(same.toString()));
    if (isDefault)
        store->exec(QStringLiteral("UPDATE config SET Defult = 0 WHERE Defult <> 0 OR Defult IS NULL"));
    store->exec(
        QStringLiteral("INSERT INTO config (UName, Password, Provider, RepoStr, balstr, GsmSid, CDMASid, "
                       "TmInterval, Smsid, ConSrt, Defult) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {user, password, sendUrl, optional(options, QStringLiteral("report-url")),
         optional(options, QStringLiteral("balance-url")), optional(options, QStringLiteral("gsm-sid")),
         optional(options, QStringLiteral("cdma-sid")), interval, smsId,
         optional(options, QStringLiteral("consrt")), isDefault ? 1 : 0});
    const bool anyDefault =
        store->scalar(QStringLiteral("SELECT count(*) FROM config WHERE Defult = 1")).toInt() > 0;
    transaction.commit();

    context.out << "Added the gateway profile '" << user << "'" << (isDefault ? " as the default" : "")
                << '\n';
    if (!anyDefault)
        context.out << "Note: no profile is the default yet; the engine starts only with one "
                       "(add one with --default)\n";
    warnAboutDelivery(context, options, user, sendUrl);
    return ExitOk;
}

QString cell(const QSqlRecord& r, const QString& column)
{
    return Store::text(r, column);
}

int list(Context& context, const QStringList& args)
{
    parse(args, {}, 0, kCommand);
    const auto store = context.openStore();
    const QStringList headers = {QStringLiteral("User"),       QStringLiteral("Default"),
                                 QStringLiteral("Interval"),   QStringLiteral("SMS id"),
                                 QStringLiteral("GSM SID"),    QStringLiteral("CDMA SID"),
                                 QStringLiteral("ConSrt"),     QStringLiteral("Send URL"),
                                 QStringLiteral("Report URL"), QStringLiteral("Balance URL")};
    QList<QStringList> rows;
    // Passwords are never shown: the column is not even read.
    QSqlQuery q =
        store->query(QStringLiteral("SELECT UName, Defult, TmInterval, Smsid, GsmSid, CDMASid, ConSrt, "
                                    "Provider, RepoStr, balstr FROM config ORDER BY rowid"));
    while (q.next()) {
        const QSqlRecord r = q.record();
        const QString consrt = cell(r, QStringLiteral("ConSrt"));
        rows << QStringList{cell(r, QStringLiteral("UName")),
                            cell(r, QStringLiteral("Defult")) == QStringLiteral("1") ? QStringLiteral("yes")
                                                                                     : QStringLiteral("no"),
                            cell(r, QStringLiteral("TmInterval")),
                            cell(r, QStringLiteral("Smsid")),
                            cell(r, QStringLiteral("GsmSid")),
                            cell(r, QStringLiteral("CDMASid")),
                            ServerConnection::isPostgresUri(consrt) ? ServerConnection::displayName(consrt)
                                                                    : consrt,
                            cell(r, QStringLiteral("Provider")),
                            cell(r, QStringLiteral("RepoStr")),
                            cell(r, QStringLiteral("balstr"))};
    }
    if (rows.isEmpty()) {
        context.out << "No gateway profiles in " << context.storePath() << '\n';
        return ExitOk;
    }
    QList<qsizetype> widths;
    for (const QString& h : headers)
        widths << h.size();
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    auto line = [&](const QStringList& values) {
        QString text;
        for (qsizetype i = 0; i < values.size(); ++i)
            text += (i ? QStringLiteral("  ") : QString()) + values[i].leftJustified(widths[i]);
        while (text.endsWith(u' '))
            text.chop(1);
        context.out << text << '\n';
    };
    line(headers);
    QStringList rule;
    for (qsizetype w : widths)
        rule << QString(w, u'-');
    line(rule);
    for (const QStringList& row : rows)
        line(row);
    return ExitOk;
}
} // namespace

int runProfile(Context& context, const QStringList& args)
{
    if (args.isEmpty())
        throw UsageError(QStringLiteral("profile needs a subcommand: add or list"), kCommand);
    const QString sub = args.first();
    if (sub == QStringLiteral("add"))
        return add(context, args.mid(1));
    if (sub == QStringLiteral("list"))
        return list(context, args.mid(1));
    throw UsageError(QStringLiteral("unknown profile subcommand '%1'").arg(sub), kCommand);
}

} // namespace Cli
