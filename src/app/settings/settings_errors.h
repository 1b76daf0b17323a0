#pragma once
// The three failures of the settings store, each carrying the name of the value concerned.
// what() is the exact text the "Erreur" box shows (UTF-8).

#include <stdexcept>
#include <string>

namespace kvx {

class SettingsError : public std::runtime_error {
public:
    const std::string& valueName() const { return m_valueName; }

protected:
    SettingsError(const std::string& message, std::string valueName)
        : std::runtime_error(message), m_valueName(std::move(valueName)) {}

private:
    std::string m_valueName;
};

// "Echec à l'obtention des données pour '%s'": a value that cannot be read (a missing
// Boolean, a key that is not open, a read the store refuses). `why`, when given, goes on a
// line of its own below: the settings file's name and what is wrong with it.
class SettingsReadError : public SettingsError {
public:
    explicit SettingsReadError(const std::string& valueName, const std::string& why = {});
};

// "Type de données incorrect pour '%s'": a value stored with a type its reader rejects.
class SettingsTypeError : public SettingsError {
public:
    explicit SettingsTypeError(const std::string& valueName);
};

// "Echec à la définition des données pour '%s'": a write the store refuses.
class SettingsWriteError : public SettingsError {
public:
    explicit SettingsWriteError(const std::string& valueName);
};

} // namespace kvx
