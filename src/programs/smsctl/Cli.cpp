#include "programs/smsctl/Cli.h"

#include "common/ProgramHome.h"
#include "common/Version.h"
#include "core/Schema.h"
#include "core/Startup.h"
#include "core/Store.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

namespace Cli {

QString Options::required(const QString& name, const QString& command) const
{
    if (!m_values.contains(name))
        throw UsageError(QStringLiteral("the option --%1 is required").arg(name), command);
    return m_values.value(name);
}

qint64 Options::number(const QString& name, qint64 def, qint64 min, qint64 max, const QString& command) const
{
    if (!m_values.contains(name))
        return def;
    bool ok = false;
    const qint64 n = m_values.value(name).toLongLong(&ok);
    if (!ok || n < min || n > max)
        throw UsageError(QStringLiteral("--%1 must be a whole number from %2 to %3, not '%4'")
                             .arg(name)
                             .arg(min)
                             .arg(max)
                             .arg(m_values.value(name)),
                         command);
    return n;
}

Options parse(const QStringList& args, const QList<OptionSpec>& specs, int maxPositional,
              const QString& command)
{
    QCommandLineParser parser;
    // "-h" and "--help" alike; no bundled single-letter options to confuse.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOption(help);
    for (const OptionSpec& spec : specs)
        parser.addOption(
            QCommandLineOption(spec.name, QString(), spec.takesValue ? QStringLiteral("value") : QString()));
    if (!parser.parse(QStringList{QStringLiteral("smsctl")} + args)) {
        if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")))
            throw HelpRequested(command);
        QString text = parser.errorText();
        if (text.endsWith(u'.'))
            text.chop(1);
        throw UsageError(text.isEmpty() ? text : text.at(0).toLower() + text.mid(1), command);
    }
    if (parser.isSet(help))
        throw HelpRequested(command);
    Options options;
    const QStringList given = parser.optionNames();
    for (const OptionSpec& spec : specs) {
        const qsizetype times = given.count(spec.name);
        if (times == 0)
            continue;
        if (times > 1)
            throw UsageError(QStringLiteral("the option --%1 is given twice").arg(spec.name), command);
        if (spec.takesValue)
            options.m_values.insert(spec.name, parser.value(spec.name));
        else
            options.m_flags.insert(spec.name);
    }
    options.m_positional = parser.positionalArguments();
    if (options.m_positional.size() > maxPositional)
        throw UsageError(
            QStringLiteral("unexpected argument '%1'").arg(options.m_positional.value(maxPositional)),
            command);
    return options;
}

QString Context::storePath() const
{
    return Startup::storePath(home);
}

std::unique_ptr<Store> Context::openStore() const
{
    try {
        auto store = Store::openFile(storePath(), false);
        // A store written by an older version gets its missing columns first.
        Schema::upgradeWithReport(*store, upgradeProgress());
        return store;
    } catch (const StoreError& e) {
        throw CommandError(e.text());
    }
}

Schema::UpgradeProgress Context::upgradeProgress() const
{
    return [&err = err](const Schema::UpgradeStep& step) {
        if (!step.slow)
            return;
        err << "smsctl: upgrading the store (step " << step.number << " of " << step.steps << ", "
            << step.tableRows << " rows): " << step.statement << '\n';
        err.flush();
    };
}

QString readStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(in.readAll());
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

QString usage(const QString& command)
{
    QString text = QStringLiteral("Usage: smsctl [--home DIR] COMMAND ...\n");
    const Command* only = command.isEmpty() ? nullptr : findCommand(command);
    text += only ? QStringLiteral("\n") : QStringLiteral("\nCommands:\n");
    for (const Command& c : commands()) {
        if (only && only != &c)
            continue;
        for (const QString& line : c.usage)
            text += QStringLiteral("  smsctl ") + line + u'\n';
    }
    if (!only)
        text += QStringLiteral(
            "  smsctl help\n"
            "\n"
            "  smsctl --version\n"
            "\n"
            "Every command takes --help. DIR is the program folder that holds SMS.db; without\n"
            "--home it is $SMSENGINE_HOME, else the executable's folder when SMS.db is there,\n"
            "else (an installed smsctl) ~/.local/share/smsengine. `smsctl init` says which.\n");
    return text;
}

int main(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // Options of smsctl itself come before the command; everything after the
    // command is the command's own.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption homeOption(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption versionOption({QStringLiteral("V"), QStringLiteral("version")}, QString());
    parser.addOptions({homeOption, helpOption, versionOption});
    if (!parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("smsctl")} : arguments)) {
        err << "smsctl: " << parser.errorText() << '\n' << usage();
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        out << usage();
        return ExitOk;
    }
    if (parser.isSet(versionOption)) {
        out << "smsctl " << Version::text() << '\n';
        return ExitOk;
    }
    const QStringList homes = parser.values(homeOption);
    if (homes.size() > 1) {
        err << "smsctl: the option --home is given twice\n" << usage();
        return ExitUsage;
    }
    if (parser.isSet(homeOption) && homes.value(0).isEmpty()) {
        err << "smsctl: the option --home needs a folder\n" << usage();
        return ExitUsage;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        err << "smsctl: no command given\n" << usage();
        return ExitUsage;
    }
    const QString name = args.takeFirst();
    if (name == QStringLiteral("help")) {
        out << usage(args.value(0));
        return ExitOk;
    }
    const Command* command = findCommand(name);
    if (!command) {
        err << "smsctl: unknown command '" << name << "'\n" << usage();
        return ExitUsage;
    }
    if (!homes.isEmpty())
        ProgramHome::setOverride(homes.first());
    const ProgramHome::Choice home = ProgramHome::choice();
    Context context{home.path, home.reason(), out, err};
    try {
        return command->run(context, args);
    } catch (const HelpRequested& e) {
        out << usage(e.command().isEmpty() ? name : e.command());
        return ExitOk;
    } catch (const UsageError& e) {
        err << "smsctl: " << e.message() << '\n' << usage(e.command().isEmpty() ? name : e.command());
        return ExitUsage;
    } catch (const CommandError& e) {
        err << "smsctl: error: " << e.message() << '\n';
        return ExitError;
    } catch (const StoreError& e) {
        err << "smsctl: error: " << e.text() << '\n';
        return ExitError;
    }
}

} // namespace Cli
