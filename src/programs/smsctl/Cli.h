#pragma once

#include "core/Schema.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <stdexcept>

class Store;

// The frame of the smsctl commands: the command table, option parsing and the
// two kinds of failure (bad arguments: usage and status 2; anything else: one
// line and status 1).
namespace Cli {

constexpr int ExitOk = 0;
constexpr int ExitError = 1;
constexpr int ExitUsage = 2;

// Bad arguments. command names the command whose usage is shown ("" for the
// general usage).
class UsageError : public std::runtime_error
{
public:
    UsageError(const QString& message, const QString& command = QString())
        : std::runtime_error(message.toStdString()), m_message(message), m_command(command)
    {
    }
    const QString& message() const { return m_message; }
    const QString& command() const { return m_command; }

private:
    QString m_message;
    QString m_command;
};

// A command that cannot do its work (the store, a duplicate name, ...).
class CommandError : public std::runtime_error
{
public:
    explicit CommandError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// --help after a command: its usage on stdout, status 0.
class HelpRequested : public std::runtime_error
{
public:
    explicit HelpRequested(const QString& command) : std::runtime_error("help"), m_command(command) {}
    const QString& command() const { return m_command; }

private:
    QString m_command;
};

struct OptionSpec
{
    QString name;    // without the leading "--"
    bool takesValue; // "--name VALUE" or "--name=VALUE"; otherwise a flag
};

class Options
{
public:
    bool has(const QString& name) const { return m_values.contains(name) || m_flags.contains(name); }
    QString value(const QString& name) const { return m_values.value(name); }
    // The value of a required option; a UsageError when it is missing.
    QString required(const QString& name, const QString& command) const;
    // A whole number within [min, max]; def when the option is absent.
    qint64 number(const QString& name, qint64 def, qint64 min, qint64 max, const QString& command) const;
    const QStringList& positional() const { return m_positional; }

private:
    friend Options parse(const QStringList&, const QList<OptionSpec>&, int, const QString&);
    QMap<QString, QString> m_values;
    QSet<QString> m_flags;
    QStringList m_positional;
};

// Parses args against specs with QCommandLineParser; at most maxPositional
// words that are not options. Unknown, repeated or incomplete options throw
// UsageError for command; --help (or -h) throws HelpRequested.
Options parse(const QStringList& args, const QList<OptionSpec>& specs, int maxPositional,
              const QString& command);

// What every command gets: the program folder and the output streams.
struct Context
{
    QString home;
    QString homeReason; // why this folder (see ProgramHome)
    QTextStream& out;
    QTextStream& err;

    QString storePath() const;
    // Opens the existing store and brings its schema up to date; never
    // creates one. Throws CommandError naming the file.
    std::unique_ptr<Store> openStore() const;
    // Writes a line to err before each upgrade statement that takes seconds
    // (an index build over a large ledger), so that a silent terminal is not
    // taken for a hung one.
    Schema::UpgradeProgress upgradeProgress() const;
};

struct Command
{
    QString name;
    // The usage lines of the command, without "smsctl [--home DIR]".
    QStringList usage;
    int (*run)(Context& context, const QStringList& args);
};

// All of standard input as UTF-8 (text "-", --password-stdin).
QString readStandardInput();

// Every command, in the order the usage lists them.
const QList<Command>& commands();
const Command* findCommand(const QString& name);

// The full usage text, or that of one command.
QString usage(const QString& command = QString());

// The entry point of the smsctl program, without the QCoreApplication.
int main(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace Cli
