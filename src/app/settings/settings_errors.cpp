#include "app/settings/settings_errors.h"

namespace kvx {

SettingsReadError::SettingsReadError(const std::string& valueName, const std::string& why)
    : SettingsError("Echec à l'obtention des données pour '" + valueName + "'" +
                        (why.empty() ? std::string() : "\n" + why),
                    valueName) {}

SettingsTypeError::SettingsTypeError(const std::string& valueName)
    : SettingsError("Type de données incorrect pour '" + valueName + "'", valueName) {}

SettingsWriteError::SettingsWriteError(const std::string& valueName)
    : SettingsError("Echec à la définition des données pour '" + valueName + "'", valueName) {}

} // namespace kvx
