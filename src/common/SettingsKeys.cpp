#include "common/SettingsKeys.h"

#include <QSettings>

namespace SettingsKeys {

std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, Organization,
                                       Application);
}

} // namespace SettingsKeys
