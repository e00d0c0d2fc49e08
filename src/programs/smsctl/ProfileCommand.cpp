#include "core/ProfileLoader.h"
#include "core/Schema.h"
#include "core/ServerConnection.h"
#include "core/Store.h"
#include "dispatch/ReportHost.h"
#include "programs/smsctl/Commands.h"

#include <QSqlRecord>
#include <QUrl>
#include <limits>
#include <optional>

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

// The options of add and edit: edit changes only those given.
const QList<OptionSpec> kProfileOptions = {{QStringLiteral("user"), true},
                                           {QStringLiteral("password"), true},
                                           {QStringLiteral("password-stdin"), false},
                                           {QStringLiteral("send-url"), true},
                                           {QStringLiteral("report-url"), true},
                                           {QStringLiteral("balance-url"), true},
                                           {QStringLiteral("gsm-sid"), true},
                                           {QStringLiteral("cdma-sid"), true},
                                           {QStringLiteral("interval"), true},
                                           {QStringLiteral("smsid"), true},
                                           {QStringLiteral("consrt"), true},
                                           {QStringLiteral("default"), false}};

// The checks add and edit share, on the options given. Returns the password
// when one is given, read from standard input for --password-stdin.
std::optional<QString> checkProfileOptions(const Options& options)
{
    if (options.has(QStringLiteral("user")) && options.value(QStringLiteral("user")).trimmed().isEmpty())
        throw UsageError(QStringLiteral("--user must not be empty"), kCommand);
    // The ledger keeps the sender's user name in sms.Uname, text(15).
    checkWidth(options, QStringLiteral("user"), Schema::UnameWidth);
    checkUrl(options, QStringLiteral("send-url"));
    checkUrl(options, QStringLiteral("report-url"));
    checkUrl(options, QStringLiteral("balance-url"));
    checkWidth(options, QStringLiteral("gsm-sid"), SenderIdWidth);
    checkWidth(options, QStringLiteral("cdma-sid"), SenderIdWidth);
    options.number(QStringLiteral("interval"), DefaultInterval, 1, std::numeric_limits<qint32>::max(),
                   kCommand);
    options.number(QStringLiteral("smsid"), 0, 0, std::numeric_limits<qint32>::max(), kCommand);
    if (options.has(QStringLiteral("send-url"))) {
        // Refused outright: the gateway would take such a URL and every queued
        // message would be counted as sent without having gone anywhere.
        const QString problem = ProfileLoader::sendUrlProblem(options.value(QStringLiteral("send-url")));
        if (!problem.isEmpty())
            throw CommandError(problem);
    }
    if (options.has(QStringLiteral("password")) && options.has(QStringLiteral("password-stdin")))
        throw UsageError(QStringLiteral("give --password or --password-stdin, not both"), kCommand);
    if (options.has(QStringLiteral("password")))
        return options.value(QStringLiteral("password"));
    if (!options.has(QStringLiteral("password-stdin")))
        return std::nullopt;
    // One line: the rest of standard input is not part of the password.
    const QString password = readStandardInput().section(u'\n', 0, 0).remove(u'\r');
    if (password.isEmpty())
        throw UsageError(QStringLiteral("--password-stdin read no password"), kCommand);
    return password;
}

int add(Context& context, const QStringList& args)
{
    const Options options = parse(args, kProfileOptions, 0, kCommand);
    const QString user = options.required(QStringLiteral("user"), kCommand);
    const QString sendUrl = options.required(QStringLiteral("send-url"), kCommand);
    if (!options.has(QStringLiteral("password")) && !options.has(QStringLiteral("password-stdin")))
        throw UsageError(QStringLiteral("the option --password (or --password-stdin) is required"), kCommand);
    const QString password = *checkProfileOptions(options);
    const qint64 interval = options.number(QStringLiteral("interval"), DefaultInterval, 1,
                                           std::numeric_limits<qint32>::max(), kCommand);
    const qint64 smsId =
        options.number(QStringLiteral("smsid"), 0, 0, std::numeric_limits<qint32>::max(), kCommand);
    const bool isDefault = options.has(QStringLiteral("default"));

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

// The profile with this name (any letter case) as the store spells it; a
// CommandError when there is none.
QString existingName(Store& store, const QString& name)
{
    const QVariant same =
        store.scalar(QStringLiteral("SELECT UName FROM config WHERE lower(UName) = lower(?)"), {name});
    if (same.isNull())
        throw CommandError(QStringLiteral("there is no gateway profile named '%1'").arg(name));
    return same.toString();
}

QString profileName(const Options& options, const QString& what)
{
    if (options.positional().isEmpty())
        throw UsageError(QStringLiteral("profile %1 needs the name of a profile").arg(what), kCommand);
    return options.positional().first();
}

// "profile edit NAME [options of add]": changes only the columns given.
int edit(Context& context, const QStringList& args)
{
    const Options options = parse(args, kProfileOptions, 1, kCommand);
    const QString name = profileName(options, QStringLiteral("edit"));
    const std::optional<QString> password = checkProfileOptions(options);
    // option -> column; a text option given as "" is stored as Null, as add does
    static const QList<std::pair<QString, QString>> columns = {
        {QStringLiteral("user"), QStringLiteral("UName")},
        {QStringLiteral("send-url"), QStringLiteral("Provider")},
        {QStringLiteral("report-url"), QStringLiteral("RepoStr")},
        {QStringLiteral("balance-url"), QStringLiteral("balstr")},
        {QStringLiteral("gsm-sid"), QStringLiteral("GsmSid")},
        {QStringLiteral("cdma-sid"), QStringLiteral("CDMASid")},
        {QStringLiteral("interval"), QStringLiteral("TmInterval")},
        {QStringLiteral("smsid"), QStringLiteral("Smsid")},
        {QStringLiteral("consrt"), QStringLiteral("ConSrt")}};
    QStringList sets;
    QVariantList values;
    for (const auto& [option, column] : columns) {
        if (!options.has(option))
            continue;
        sets << column + QStringLiteral(" = ?");
        const QString value = options.value(option);
        if (option == QStringLiteral("interval") || option == QStringLiteral("smsid"))
            values << value.toLongLong();
        else
            values << (value.isEmpty() && option != QStringLiteral("user")
                           ? QVariant(QMetaType(QMetaType::QString))
                           : QVariant(value));
    }
    if (password) {
        sets << QStringLiteral("Password = ?");
        values << *password;
    }
    const bool makeDefault = options.has(QStringLiteral("default"));
    if (sets.isEmpty() && !makeDefault)
        throw UsageError(QStringLiteral("profile edit needs at least one option to change"), kCommand);

    const auto store = context.openStore();
    Store::Transaction transaction(*store);
    const QString stored = existingName(*store, name);
    const QString user = options.has(QStringLiteral("user")) ? options.value(QStringLiteral("user")) : stored;
    if (options.has(QStringLiteral("user")) && user.compare(stored, Qt::CaseInsensitive) != 0 &&
        !store->scalar(QStringLiteral("SELECT UName FROM config WHERE lower(UName) = lower(?)"), {user})
             .isNull())
        throw CommandError(QStringLiteral("a gateway profile named '%1' already exists").arg(user));
    if (makeDefault)
        store->exec(QStringLiteral("UPDATE config SET Defult = 0 WHERE Defult <> 0 OR Defult IS NULL"));
    if (makeDefault)
        sets << QStringLiteral("Defult = 1");
    store->exec(QStringLiteral("UPDATE config SET %1 WHERE UName = ?").arg(sets.join(QStringLiteral(", "))),
                values + QVariantList{stored});
    transaction.commit();
    context.out << "Changed the gateway profile '" << user << "'"
                << (makeDefault ? " and made it the default" : "") << '\n';
    return ExitOk;
}

// "profile remove NAME [--force]": the default profile is what the engine
// starts with, so removing it takes --force.
int removeProfile(Context& context, const QStringList& args)
{
    const Options options = parse(args, {{QStringLiteral("force"), false}}, 1, kCommand);
    const QString name = profileName(options, QStringLiteral("remove"));
    const auto store = context.openStore();
    Store::Transaction transaction(*store);
    const QString stored = existingName(*store, name);
    const bool isDefault =
        store->scalar(QStringLiteral("SELECT Defult = 1 FROM config WHERE UName = ?"), {stored}).toBool();
    if (isDefault && !options.has(QStringLiteral("force")))
        throw CommandError(QStringLiteral("'%1' is the default profile, which the engine loads at start; "
                                          "make another the default first or give --force")
                               .arg(stored));
    store->exec(QStringLiteral("DELETE FROM config WHERE UName = ?"), {stored});
    transaction.commit();
    context.out << "Removed the gateway profile '" << stored << "'\n";
    if (isDefault)
        context.err << "smsctl: warning: no profile is the default now; the engine does not start until "
                       "one is (smsctl profile default NAME)\n";
    return ExitOk;
}

// "profile default NAME"
int makeDefault(Context& context, const QStringList& args)
{
    const Options options = parse(args, {}, 1, kCommand);
    const QString name = profileName(options, QStringLiteral("default"));
    const auto store = context.openStore();
    Store::Transaction transaction(*store);
    const QString stored = existingName(*store, name);
    store->exec(QStringLiteral("UPDATE config SET Defult = CASE WHEN UName = ? THEN 1 ELSE 0 END"), {stored});
    transaction.commit();
    context.out << "The gateway profile '" << stored
                << "' is the default; a running engine loads it at its "
                   "next start\n";
    return ExitOk;
}

// A table whose columns are as wide as their widest cell; the last column
// is cut with "..." to keep each line within width characters.
void printTable(QTextStream& out, const QStringList& headers, const QList<QStringList>& rows, int width)
{
    QList<qsizetype> widths;
    for (const QString& h : headers)
        widths << h.size();
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    if (width > 0) {
        qsizetype used = 0;
        for (qsizetype i = 0; i + 1 < widths.size(); ++i)
            used += widths[i] + 2;
        widths.last() = std::max<qsizetype>(std::min(widths.last(), width - used), headers.last().size());
    }
    auto line = [&](const QStringList& values) {
        QString text;
        for (qsizetype i = 0; i < values.size(); ++i) {
            QString cellText = values[i];
            if (cellText.size() > widths[i])
                cellText = cellText.left(widths[i] - 3) + QStringLiteral("...");
            text += (i ? QStringLiteral("  ") : QString()) + cellText.leftJustified(widths[i]);
        }
        while (text.endsWith(u' '))
            text.chop(1);
        out << text << '\n';
    };
    line(headers);
    QStringList rule;
    for (qsizetype w : widths)
        rule << QString(w, u'-');
    line(rule);
    for (const QStringList& row : rows)
        line(row);
}

// "profile list" fits an 80-column terminal, cutting long texts; --wide
// shows every column whole.
int list(Context& context, const QStringList& args)
{
    const Options options = parse(args, {{QStringLiteral("wide"), false}}, 0, kCommand);
    const bool wide = options.has(QStringLiteral("wide"));
    const auto store = context.openStore();
    QStringList headers = {QStringLiteral("User"), QStringLiteral("Default"), QStringLiteral("Interval"),
                           QStringLiteral("ConSrt")};
    if (wide)
        headers << QStringLiteral("SMS id") << QStringLiteral("GSM SID") << QStringLiteral("CDMA SID")
                << QStringLiteral("Report URL") << QStringLiteral("Balance URL");
    headers << QStringLiteral("Send URL");
    QList<QStringList> rows;
    // Passwords are never shown: the column is not even read.
    QSqlQuery q =
        store->query(QStringLiteral("SELECT UName, Defult, TmInterval, Smsid, GsmSid, CDMASid, ConSrt, "
                                    "Provider, RepoStr, balstr FROM config ORDER BY rowid"));
    while (q.next()) {
        const QSqlRecord r = q.record();
        const QString consrt = cell(r, QStringLiteral("ConSrt"));
        QStringList row{cell(r, QStringLiteral("UName")),
                        cell(r, QStringLiteral("Defult")) == QStringLiteral("1") ? QStringLiteral("yes")
                                                                                 : QStringLiteral("no"),
                        cell(r, QStringLiteral("TmInterval")),
                        ServerConnection::isPostgresUri(consrt) ? ServerConnection::displayName(consrt)
                                                                : consrt};
        if (wide)
            row << cell(r, QStringLiteral("Smsid")) << cell(r, QStringLiteral("GsmSid"))
                << cell(r, QStringLiteral("CDMASid")) << cell(r, QStringLiteral("RepoStr"))
                << cell(r, QStringLiteral("balstr"));
        row << cell(r, QStringLiteral("Provider"));
        // A long server name must not push the send URL off the line.
        if (!wide && row[3].size() > 20)
            row[3] = row[3].left(17) + QStringLiteral("...");
        rows << row;
    }
    if (rows.isEmpty()) {
        context.out << "No gateway profiles in " << context.storePath() << '\n';
        return ExitOk;
    }
    printTable(context.out, headers, rows, wide ? 0 : 80);
    return ExitOk;
}
} // namespace

int runProfile(Context& context, const QStringList& args)
{
    if (args.isEmpty())
        throw UsageError(QStringLiteral("profile needs a subcommand: add, edit, remove, default or list"),
                         kCommand);
    const QString sub = args.first();
    if (sub == QStringLiteral("--help") || sub == QStringLiteral("-h"))
        throw HelpRequested(kCommand);
    if (sub == QStringLiteral("add"))
        return add(context, args.mid(1));
    if (sub == QStringLiteral("edit"))
        return edit(context, args.mid(1));
    if (sub == QStringLiteral("remove"))
        return removeProfile(context, args.mid(1));
    if (sub == QStringLiteral("default"))
        return makeDefault(context, args.mid(1));
    if (sub == QStringLiteral("list"))
        return list(context, args.mid(1));
    throw UsageError(QStringLiteral("unknown profile subcommand '%1'").arg(sub), kCommand);
}

} // namespace Cli
