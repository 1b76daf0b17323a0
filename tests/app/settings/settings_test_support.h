#pragma once
// Temporary folders, files and environment variables for the settings tests.

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kvxtest {

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/kvx-settings-XXXXXX";
        const char* made = ::mkdtemp(templ);
        m_path = made != nullptr ? made : "";
    }
    ~TempDir() { removeTree(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    static void removeTree(const std::string& path) {
        struct stat st {};
        if (path.empty() || ::lstat(path.c_str(), &st) != 0)
            return;
        if (S_ISDIR(st.st_mode)) {
            if (DIR* dir = ::opendir(path.c_str())) {
                std::vector<std::string> names;
                while (const dirent* e = ::readdir(dir))
                    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                        names.push_back(e->d_name);
                ::closedir(dir);
                for (const auto& n : names)
                    removeTree(path + "/" + n);
            }
            ::rmdir(path.c_str());
        } else {
            ::unlink(path.c_str());
        }
    }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(dir);
    }
    return names;
}

// Sets (or, with nullptr, removes) an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvOverride() {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// A hive holding the settings key with the given value lines (each without line break).
inline std::string hiveText(const std::vector<std::string>& valueLines) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31]\r\n";
    for (const auto& line : valueLines)
        text += line + "\r\n";
    return text + "\r\n";
}

} // namespace kvxtest
