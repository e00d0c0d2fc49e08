#include "programs/smsctl/Cli.h"

#include "common/ProgramHome.h"
#include "core/Schema.h"
#include "core/Startup.h"
#include "core/Store.h"

#include <QDir>

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
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QStringLiteral("--"))) {
            if (options.m_positional.size() >= maxPositional)
                throw UsageError(QStringLiteral("unexpected argument '%1'").arg(arg), command);
            options.m_positional << arg;
            continue;
        }
        QString name = arg.mid(2);
        QString value;
        bool inlineValue = false;
        const qsizetype eq = name.indexOf(u'=');
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : specs)
            if (s.name == name)
                spec = &s;
        if (!spec)
            throw UsageError(QStringLiteral("unknown option --%1").arg(name), command);
        if (options.has(name))
            throw UsageError(QStringLiteral("the option --%1 is given twice").arg(name), command);
        if (!spec->takesValue) {
            if (inlineValue)
                throw UsageError(QStringLiteral("the option --%1 takes no value").arg(name), command);
            options.m_flags.insert(name);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size())
                throw UsageError(QStringLiteral("the option --%1 needs a value").arg(name), command);
            value = args[++i];
        }
        options.m_values.insert(name, value);
    }
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
        Schema::upgrade(*store);
        return store;
    } catch (const StoreError& e) {
        throw CommandError(e.text());
    }
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
            "DIR is the program folder that holds SMS.db; without --home it is $SMSENGINE_HOME,\n"
            "or else the folder of the smsctl executable.\n");
    return text;
}

int main(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QStringList args = arguments.mid(1);
    QString home;
    // Global options come before the command.
    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("-"))) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            out << usage();
            return ExitOk;
        }
        if (arg == QStringLiteral("--home") || arg.startsWith(QStringLiteral("--home="))) {
            if (!home.isEmpty()) {
                err << "smsctl: the option --home is given twice\n" << usage();
                return ExitUsage;
            }
            if (arg == QStringLiteral("--home")) {
                if (args.isEmpty()) {
                    err << "smsctl: the option --home needs a value\n" << usage();
                    return ExitUsage;
                }
                home = args.takeFirst();
            } else {
                home = arg.mid(7);
            }
            if (home.isEmpty()) {
                err << "smsctl: the option --home needs a folder\n" << usage();
                return ExitUsage;
            }
            continue;
        }
        err << "smsctl: unknown option " << arg << '\n' << usage();
        return ExitUsage;
    }
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
    if (!home.isEmpty())
        ProgramHome::setOverride(home);
    Context context{ProgramHome::path(), out, err};
    try {
        return command->run(context, args);
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
