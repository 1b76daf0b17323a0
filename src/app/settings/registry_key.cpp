#include "app/settings/registry_key.h"

#include "files/atomic_file.h"
#include "files/file_lock.h"
#include "files/paths.h"
#include "files/whole_file.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx {

namespace {

std::string lockPathFor(const std::string& hivePath) {
    return hivePath + ".lock";
}

// A hive without its owner's write bit is a key that cannot be opened with full access. The
// bit decides, not the right to write, which root has everywhere; a link stands for its file.
bool isReadOnly(const std::string& hivePath, std::string& problem) {
    struct stat st {};
    if (::stat(hivePath.c_str(), &st) != 0 || (st.st_mode & S_IWUSR) != 0)
        return false;
    problem = "'" + hivePath + "' is read-only";
    return true;
}

} // namespace

std::string userConfigPath(const std::string& relative) {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid and ignored, as the base directory rules say.
    if (configHome != nullptr && configHome[0] == '/')
        return joinPath(configHome, relative);
    const char* home = std::getenv("HOME");
    std::string base;
    if (home != nullptr && home[0] != '\0') {
        base = home;
    } else if (const passwd* pw = ::getpwuid(::getuid())) {
        base = pw->pw_dir;
    }
    return joinPath(joinPath(base, ".config"), relative);
}

RegStatus RegistryKey::load(HiveDocument& doc, std::string& original) const {
    std::string error;
    const ReadStatus read = readWholeFile(m_hivePath, original, error, HiveDocument::kMaxBytes);
    if (read != ReadStatus::Ok) {
        m_problem = error;
        return RegStatus::Failed;
    }
    HiveParseError parseError;
    auto parsed = HiveDocument::parse(original, parseError);
    if (!parsed) {
        m_problem = "'" + m_hivePath + "' is not a registry file (" + parseError.describe() + ")";
        return RegStatus::Failed;
    }
    if (!parsed->hasKey(m_keyPath)) {
        m_problem = "'" + m_hivePath + "' holds no key [" + m_keyPath + "]";
        return RegStatus::Failed;
    }
    doc = std::move(*parsed);
    return RegStatus::Ok;
}

RegStatus RegistryKey::open(const std::string& hivePath, const std::string& keyPath) {
    close();
    m_hivePath = hivePath;
    m_keyPath = keyPath;
    HiveDocument doc;
    std::string original;
    if (load(doc, original) != RegStatus::Ok || isReadOnly(m_hivePath, m_problem))
        return RegStatus::Failed;
    m_open = true;
    m_problem.clear();
    return RegStatus::Ok;
}

void RegistryKey::close() {
    m_open = false;
}

RegStatus RegistryKey::query(const std::string& name, RegValue& value) const {
    if (!m_open) {
        m_problem = "the key is not open";
        return RegStatus::Failed;
    }
    HiveDocument doc;
    std::string original;
    if (load(doc, original) != RegStatus::Ok)
        return RegStatus::Failed;
    auto found = doc.find(m_keyPath, name);
    if (!found)
        return RegStatus::NotFound;
    value = *found;
    return RegStatus::Ok;
}

RegStatus RegistryKey::setString(const std::string& name, const std::string& text) {
    const RegValue value = RegValue::text(text);
    return change(name, value);
}

RegStatus RegistryKey::setDword(const std::string& name, std::uint32_t number) {
    const RegValue value = RegValue::dword(number);
    return change(name, value);
}

RegStatus RegistryKey::change(const std::string& name, const RegValue& value) {
    if (!m_open) {
        m_problem = "the key is not open";
        return RegStatus::Failed;
    }
    FileLock lock;
    if (!lock.acquire(lockPathFor(m_hivePath), m_problem))
        return RegStatus::Failed;
    // Whatever an interrupted writer left behind is stale now that we hold the lock.
    removeLeftoverTemporaries(m_hivePath, Links::Follow);

    HiveDocument doc;
    std::string original;
    // The file may have been made read-only since the key was opened.
    if (load(doc, original) != RegStatus::Ok || isReadOnly(m_hivePath, m_problem))
        return RegStatus::Failed;
    if (!doc.set(m_keyPath, name, value)) {
        m_problem = "'" + name + "' cannot be written in the encoding of '" + m_hivePath + "'";
        return RegStatus::Failed;
    }
    const std::string updated = doc.serialize();
    if (updated == original)
        return RegStatus::Ok;
    if (!replaceFileAtomically(m_hivePath, updated, 0600, m_problem))
        return RegStatus::Failed;
    return RegStatus::Ok;
}

ImportResult importKeyIfMissing(const std::string& hivePath, const std::string& keyPath,
                                const std::string& defaultKeyText, std::string& problem) {
    HiveParseError parseError;
    const auto defaults = HiveDocument::parse(defaultKeyText, parseError);
    if (!defaults) {
        problem = "the default key is not a registry file (" + parseError.describe() + ")";
        return ImportResult::Failed;
    }
    if (!defaults->hasKey(keyPath)) {
        problem = "the default key text holds no key [" + keyPath + "]";
        return ImportResult::Failed;
    }

    // The folder is the user's own configuration; the lock file needs it first.
    const std::string folder = folderOf(hivePath);
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = "cannot create the folder '" + part + "'";
            return ImportResult::Failed;
        }
        if (slash == std::string::npos)
            break;
    }
    FileLock lock;
    if (!lock.acquire(lockPathFor(hivePath), problem))
        return ImportResult::Failed;
    removeLeftoverTemporaries(hivePath, Links::Follow);

    std::string original;
    const ReadStatus read = readWholeFile(hivePath, original, problem, HiveDocument::kMaxBytes);
    if (read == ReadStatus::Failed)
        return ImportResult::Damaged;
    std::string updated;
    if (read == ReadStatus::Missing) {
        updated = defaultKeyText;
    } else {
        auto current = HiveDocument::parse(original, parseError);
        if (!current) {
            problem = "'" + hivePath + "' is not a registry file (" + parseError.describe() + ")";
            return ImportResult::Damaged;
        }
        if (current->hasKey(keyPath))
            return ImportResult::AlreadyThere;
        if (isReadOnly(hivePath, problem))
            return ImportResult::Failed;
        if (!current->appendKeyFrom(*defaults, keyPath)) {
            problem = "the default key cannot be written in the encoding of '" + hivePath + "'";
            return ImportResult::Failed;
        }
        updated = current->serialize();
    }
    if (!replaceFileAtomically(hivePath, updated, 0600, problem))
        return ImportResult::Failed;
    return ImportResult::Imported;
}

} // namespace kvx
