#include "EngineFleet.h"

#include "channels/ServerQueueClaim.h"
#include "common/SettingsKeys.h"

#include <QSettings>

#include <csignal>

EngineFleet::EngineFleet(PostgresServer& server) : m_server(server) {}

EngineFleet::~EngineFleet()
{
    for (auto& e : m_engines)
        if (e->process.state() != QProcess::NotRunning) {
            e->process.kill();
            e->process.waitForFinished(5000);
        }
}

bool EngineFleet::setClaimSettings(int leaseSeconds, int failureBound, double retrySeconds)
{
    // Where QSettings' native format puts the per-user file under XDG_CONFIG_HOME.
    QSettings s(
        m_settings.filePath(SettingsKeys::Organization + u'/' + SettingsKeys::Application + u".conf"_s),
        QSettings::IniFormat);
    s.setValue(SettingsKeys::ServerLease, leaseSeconds);
    s.setValue(SettingsKeys::ServerFailureBound, failureBound);
    s.setValue(SettingsKeys::ServerRetryDelay, retrySeconds);
    s.sync();
    m_error = s.status() == QSettings::NoError ? QString() : u"cannot write the settings"_s;
    return m_error.isEmpty();
}

bool EngineFleet::add(const QStringList& modemOptions)
{
    auto e = std::make_unique<Engine>();
    if (!e->modem.start(QStringList{u"--echo"_s, u"off"_s} + modemOptions)) {
        m_error = e->modem.errorString();
        return false;
    }
    e->folder.addProfile(
        u"acme"_s, {{u"Defult"_s, 1}, {u"ConSrt"_s, m_server.uri()}, {u"RepoStr"_s, {}}, {u"balstr"_s, {}}});
    m_engines.push_back(std::move(e));
    return true;
}

bool EngineFleet::start(int i)
{
    Engine& e = *m_engines[i];
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"SMSENGINE_HOME"_s);
    env.insert(u"XDG_CONFIG_HOME"_s, m_settings.path());
    e.process.setProcessEnvironment(env);
    e.process.setProcessChannelMode(QProcess::MergedChannels);
    e.process.start(QStringLiteral(SMS_SMSCTL_PATH),
                    {u"--home"_s, home(i), u"run"_s, u"--channel"_s, u"gsm"_s, u"--interval"_s, u"1"_s,
                     u"--modem-device"_s, e.modem.device()});
    if (!e.process.waitForStarted(10000)) {
        m_error = e.process.errorString();
        return false;
    }
    return true;
}

bool EngineFleet::startAll()
{
    for (int i = 0; i < size(); ++i)
        if (!start(i))
            return false;
    return true;
}

void EngineFleet::kill(int i)
{
    m_engines[i]->process.kill();
    m_engines[i]->process.waitForFinished(5000);
}

void EngineFleet::stopAll()
{
    for (auto& e : m_engines)
        if (e->process.state() == QProcess::Running)
            ::kill(pid_t(e->process.processId()), SIGTERM);
    for (auto& e : m_engines)
        if (!e->process.waitForFinished(30000))
            e->process.kill();
}

QString EngineFleet::engineId(int i) const
{
    return ServerQueueClaim::engineIdFor(home(i));
}

QStringList EngineFleet::sentTexts(int i)
{
    // Only an ended simulator has surely handed over all it printed.
    m_engines[i]->modem.stop();
    QStringList texts;
    // "message <ref> to <number>: <text>"
    for (const QString& line : m_engines[i]->modem.messages())
        texts << line.section(u": "_s, 1);
    return texts;
}

QString EngineFleet::output(int i)
{
    Engine& e = *m_engines[i];
    e.output += QString::fromUtf8(e.process.readAll());
    return e.output;
}

bool EngineFleet::queue(int first, int last)
{
    const bool ok = m_server.exec(
        u"INSERT INTO SendSMS (MobileNo, SmsText, status, Piority) SELECT '90000' || lpad(g::text, 5, '0'), "
        "'text ' || g, '', g % 3 FROM generate_series(%1, %2) AS g"_s.arg(first)
            .arg(last));
    m_error = ok ? QString() : m_server.error();
    return ok;
}
