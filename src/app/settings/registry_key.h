#pragma once
// One registry key kept in a hive file of our own, with the handful of operations the
// program needs: open an existing key, query a value, set a REG_SZ or a REG_DWORD, close. A Windows
// build would put the real registry behind the same calls.
//
// The key exists exactly when its hive file exists, reads as a registry file and holds the key's
// section line. A file that does not read as one (hive_format.h), or is read-only (no write bit for
// its owner), is a key that cannot be opened, and no operation ever writes to it.
//
// Every query reads the file afresh, so values written by another running copy are seen.
// Every change takes the advisory lock of the lock file beside the hive ("<hive>.lock"),
// reads the file again, changes that one value and puts the new file in place atomically
// (temporary file in the same folder, flush, rename). Two copies writing at the same time
// therefore never undo each other's values, and a crash leaves the old or the new file.
// No Qt: the setup command links this too.

#include "app/settings/hive_format.h"

#include <string>

namespace kvx {

enum class RegStatus {
    Ok,
    NotFound, // the value does not exist
    Failed,   // the key is not open, the file is gone, damaged or cannot be written
};

class RegistryKey {
public:
    // Opens `keyPath` ("HKEY_CURRENT_USER\Software\...") held in `hivePath`. Never creates
    // the file or the key. Failed leaves the object closed.
    RegStatus open(const std::string& hivePath, const std::string& keyPath);
    bool isOpen() const { return m_open; }
    void close();

    RegStatus query(const std::string& name, RegValue& value) const;
    RegStatus setString(const std::string& name, const std::string& text);
    RegStatus setDword(const std::string& name, std::uint32_t number);

    // Why the last operation failed, with the file's name (and line, for a damaged file).
    const std::string& problem() const { return m_problem; }
    const std::string& hivePath() const { return m_hivePath; }

private:
    RegStatus change(const std::string& name, const RegValue& value);
    RegStatus load(HiveDocument& doc, std::string& original) const;

    bool m_open = false;
    std::string m_hivePath;
    std::string m_keyPath;
    mutable std::string m_problem;
};

// `$XDG_CONFIG_HOME/<relative>` (default `~/.config/<relative>`).
std::string userConfigPath(const std::string& relative);

enum class ImportResult {
    Imported,     // the file was created, or the key's section added to it
    AlreadyThere, // the key exists: nothing was touched
    Damaged,      // the hive exists but is not a registry file: left as it is
    Failed,       // the default key is unusable or the hive could not be written
};

// Brings the key `keyPath` of `defaultKeyText` (a registry file) into the hive when the
// hive lacks it, under the same lock the writers take. An existing key is never touched.
ImportResult importKeyIfMissing(const std::string& hivePath, const std::string& keyPath,
                                const std::string& defaultKeyText, std::string& problem);

} // namespace kvx
