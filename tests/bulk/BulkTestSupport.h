#pragma once

#include "core/EngineContext.h"
#include "core/Schema.h"
#include "core/Store.h"
#include "ui/Prompt.h"

#include <QCoroTask>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <exception>
#include <memory>
#include <optional>

// A prompt that records every message and question and answers from a script.
class ScriptedPrompt : public Prompt
{
public:
    struct Shown
    {
        QString kind; // "message", "question", "file"
        QString title;
        QString text;
        Icon icon = Icon::None;
    };

    ScriptedPrompt() { Prompt::install(this); }
    ~ScriptedPrompt() override { Prompt::install(nullptr); }

    QList<Answer> answers; // for question(), in order; No when used up
    QStringList fileNames; // for openFileName(), in order; empty when used up
    QList<Shown> shown;

    void message(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        shown.append({QStringLiteral("message"), title, text, icon});
    }
    Answer question(QWidget*, const QString& title, const QString& text) override
    {
        shown.append({QStringLiteral("question"), title, text, Icon::Question});
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    bool input(QWidget*, const QString&, const QString&, QString&) override { return false; }
    QString openFileName(QWidget*, const QString& title, const QString& filter) override
    {
        shown.append({QStringLiteral("file"), title, filter, Icon::None});
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }

    QStringList messages() const
    {
        QStringList texts;
        for (const Shown& s : shown)
            if (s.kind == QLatin1String("message"))
                texts << s.text;
        return texts;
    }
};

// A fresh store in a temporary folder with the full schema and one gateway
// profile, wrapped in an engine context with that profile loaded.
class BulkFixture
{
public:
    explicit BulkFixture(
        const QString& sendUrl = QStringLiteral("http://127.0.0.1:9/send?to=<mobile>&t=<msg>"),
        const QString& consrt = QStringLiteral("C"), const QString& balstr = QString())
    {
        auto store = Store::openFile(dir.filePath(QStringLiteral("SMS.db")), true);
        Schema::createMissingTables(*store);
        context = std::make_unique<EngineContext>(std::move(store));
        addProfile(QStringLiteral("ACME"), sendUrl, consrt, 1, balstr);
        context->loadProfile(QString());
    }

    void addProfile(const QString& name, const QString& sendUrl, const QString& consrt, int isDefault,
                    const QString& balstr = QString(), int smsid = 100)
    {
        store().exec(
            QStringLiteral("INSERT INTO config (UName, Password, Provider, RepoStr, balstr, GsmSid, "
                           "CDMASid, TmInterval, Smsid, ConSrt, Defult) VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
            {name, QStringLiteral("pw"), sendUrl, QString(), balstr.isEmpty() ? QVariant() : balstr,
             QStringLiteral("GSMID"), QStringLiteral("CDMAID"), 5000, smsid, consrt, isDefault});
    }

    void addContact(const QString& name, const QString& mobile, const QString& group)
    {
        store().exec(QStringLiteral("INSERT INTO Clist (Nm, mob, GRP) VALUES (?,?,?)"),
                     {name, mobile, group});
    }

    int count(const QString& sql, const QVariantList& params = {})
    {
        return store().scalar(sql, params).toInt();
    }

    Store& store() { return context->store(); }

    QTemporaryDir dir;
    std::unique_ptr<EngineContext> context;
};

// Waits for a task that may throw. (QCoro::waitFor never returns when the
// task ends with an exception.) Returns the exception, or nullptr.
struct Caught
{
    std::exception_ptr error;
};

template <typename T> std::exception_ptr waitCatching(QCoro::Task<T> task, std::optional<T>* result = nullptr)
{
    auto guarded = [](QCoro::Task<T> t, std::optional<T>* out) -> QCoro::Task<Caught> {
        try {
            T value = co_await std::move(t);
            if (out)
                *out = std::move(value);
        } catch (...) {
            co_return Caught{std::current_exception()};
        }
        co_return Caught{};
    };
    return QCoro::waitFor(guarded(std::move(task), result)).error;
}

// The exception in p as type E, or nullptr.
template <typename E> const E* exceptionAs(const std::exception_ptr& p)
{
    static thread_local std::optional<E> kept;
    if (!p)
        return nullptr;
    try {
        std::rethrow_exception(p);
    } catch (const E& e) {
        kept.emplace(e);
        return &*kept;
    } catch (...) {
    }
    return nullptr;
}
