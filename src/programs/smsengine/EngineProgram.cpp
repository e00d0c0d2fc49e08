#include "programs/smsengine/EngineProgram.h"

#include "core/Startup.h"
#include "ui/Prompt.h"

#include <QPixmap>
#include <QSplashScreen>

#include <cstdio>
#include <memory>

namespace {

// The upgrade's index builds on a large ledger take seconds before the
// console exists: a notice says what the program is doing meanwhile. The
// event loop does not run yet, so the notice is repainted by hand per step.
class UpgradeNotice
{
public:
    void follow(const Schema::UpgradeStep& step)
    {
        if (!m_splash && !step.slow)
            return;
        if (!m_splash) {
            QPixmap background(460, 90);
            background.fill(Qt::white);
            m_splash = std::make_unique<QSplashScreen>(background);
            m_splash->setObjectName(QStringLiteral("upgradeNotice"));
            m_splash->show();
        }
        m_splash->showMessage(
            QStringLiteral("Upgrading the store (step %1 of %2)...").arg(step.number).arg(step.steps),
            Qt::AlignCenter);
        m_splash->repaint();
    }

private:
    std::unique_ptr<QSplashScreen> m_splash;
};

} // namespace

int runEngineProgram(const QString& programFolder, const ShowConsole& showConsole)
{
    StartupResult start = [&programFolder] {
        UpgradeNotice notice;
        return Startup::run(programFolder,
                            [&notice](const Schema::UpgradeStep& step) { notice.follow(step); });
    }();
    for (const QString& note : std::as_const(start.notes))
        std::fprintf(stderr, "smsengine: %s\n", qPrintable(note));
    switch (start.status) {
    case StartupResult::Status::Ready:
        return showConsole ? showConsole(*start.context) : Startup::ExitOk;
    case StartupResult::Status::AlreadyRunning:
        return start.exitCode();
    case StartupResult::Status::ProfileNotFound:
        std::fprintf(
            stderr,
            "smsengine: no default gateway profile (mark one with 'smsctl profile add ... --default')\n");
        Prompt::current().message(nullptr, QString(), start.message, Prompt::Icon::Critical);
        return start.exitCode();
    case StartupResult::Status::LockFailed:
    case StartupResult::Status::StoreUnavailable:
    case StartupResult::Status::ProfileFailed:
        std::fprintf(stderr, "smsengine: %s\n", qPrintable(start.message));
        Prompt::current().message(nullptr, QString(), start.message, Prompt::Icon::Critical);
        return start.exitCode();
    }
    return Startup::ExitStoreError;
}
