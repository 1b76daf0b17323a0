#pragma once
// hhc.exe and hh.exe run as the program runs them, for their tests: a scratch folder per test
// with a private cache, an opener that records the address it is given, and a time guard.

#include "support/shell_quote.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kvxtest {

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Every regular file and link below `root` (relative name to content or link target),
// leaving out the folders named in `skip`.
inline std::map<std::string, std::string> tree(const std::filesystem::path& root,
                                               const std::vector<std::string>& skip = {}) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    if (!fs::exists(fs::symlink_status(root)))
        return out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string rel = fs::relative(it->path(), root).string();
        if (std::find(skip.begin(), skip.end(), rel) != skip.end())
            it.disable_recursion_pending();
        else if (it->is_symlink())
            out[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            out[rel] = slurp(it->path());
    }
    return out;
}

// The path of a "file://" address, as bytes.
inline std::string pathOfUrl(const std::string& url) {
    std::string out;
    for (std::size_t i = 7; i < url.size(); ++i)
        if (url[i] == '%' && i + 2 < url.size()) {
            out += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += url[i];
        }
    return out;
}

struct ToolRun {
    bool ended = false; // before the guard ran out
    bool signalled = false;
    int exitCode = -1;
    std::string err;
};

class HelpToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kvx-help-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "cache");
        root = (dir / "cache" / "korvenix31").string();
        std::ofstream(dir / "opener.sh") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> "
                                         << shellQuoted((dir / "opened").string()) << "\n";
        std::filesystem::permissions(dir / "opener.sh", std::filesystem::perms::owner_all);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // `tool` on `argument` in the working folder `cwd`; killed after `guard` seconds (a hang).
    ToolRun run(const char* tool, const std::string& argument, const std::filesystem::path& cwd,
                int guard = 20) {
        const std::filesystem::path err = dir / "stderr.txt";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
            ::setenv("KORVENIX_OPENER", (dir / "opener.sh").c_str(), 1);
            ::setenv("KORVENIX_NO_MESSAGE_BOX", "1", 1);
            // Under AddressSanitizer, the tools' Qt keeps caches until exit: not our leaks.
            const char* asan = std::getenv("ASAN_OPTIONS");
            ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(),
                     1);
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 2) < 0 || ::chdir(cwd.c_str()) != 0)
                ::_exit(127);
            ::execl(tool, tool, argument.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ToolRun r;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guard);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                r.err = slurp(err);
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        r.ended = true;
        r.signalled = WIFSIGNALED(status);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = slurp(err);
        return r;
    }

    // The address the detached opener wrote last, once its line is whole; the record goes.
    std::string opened() {
        std::string text;
        for (int i = 0; i < 1200 && (text.empty() || text.back() != '\n'); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            text = slurp(dir / "opened");
        }
        std::filesystem::remove(dir / "opened");
        if (text.empty())
            return {};
        text.pop_back();
        return text.substr(text.rfind('\n') + 1);
    }

    std::filesystem::path dir;
    std::string root; // hh.exe's cache
};

} // namespace kvxtest
