#include "chm_project.h"

#include "chm_directory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace kvx::hhc {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool hasControl(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// chmcmd trims a line and skips comments: such names would be listed as other files.
bool projectCanCarry(const std::string& name) {
    return !name.empty() && name[0] != ' ' && name[0] != ';' && !hasControl(name);
}

CompileResult failure(CompileError error, std::string message) {
    CompileResult r;
    r.error = error;
    r.message = std::move(message);
    return r;
}

// The work files of one run, beside the pages, removed whatever happens.
struct WorkFiles {
    fs::path project, outDir;
    ~WorkFiles() {
        std::error_code ec;
        if (!project.empty())
            fs::remove(project, ec);
        if (!outDir.empty())
            fs::remove_all(outDir, ec);
    }
};

bool writeWhole(const fs::path& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0;
}

struct ChildRun {
    bool started = false;
    int status = 0;
    std::string lastLine; // chmcmd's last line worth quoting
};

// Runs chmcmd on the project in `folder`; its chatter is read, only its last line kept.
ChildRun runCompiler(const std::string& chmcmd, const fs::path& folder, const fs::path& project) {
    ChildRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const std::string projectName = project.filename().string();
    char* argv[] = {const_cast<char*>(chmcmd.c_str()), const_cast<char*>("--no-html-scan"),
                    const_cast<char*>(projectName.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, chmcmd.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return run;
    }
    run.started = true;
    std::string tail;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        tail.append(buf, static_cast<std::size_t>(n));
        if (tail.size() > 8192)
            tail.erase(0, tail.size() - 4096);
    }
    ::close(fds[0]);
    while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    // The last line that says something: chmcmd's banner and blank lines do not.
    std::size_t end = tail.size();
    while (end > 0) {
        std::size_t start = tail.rfind('\n', end - 1);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = tail.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && line.rfind("chmcmd, a CHM compiler", 0) != 0 &&
            line.rfind("  $", 0) != 0) {
            run.lastLine = line;
            break;
        }
        end = start > 0 ? start - 1 : 0;
    }
    return run;
}

} // namespace

std::vector<std::string> listProjectFiles(const std::string& folder,
                                          std::vector<std::string>* leftOut) {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = lower(name);
        if (name[0] == '.' || !(endsWith(ext, ".htm") || endsWith(ext, ".jpg")))
            continue;
        std::error_code ec;
        if (!entry.is_regular_file(ec))
            continue;
        if (!projectCanCarry(name)) {
            if (leftOut)
                leftOut->push_back(name);
            continue;
        }
        files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string projectText(const std::string& compiledFile, const std::string& defaultTopic,
                        const std::string& title, const std::vector<std::string>& files) {
    std::string t;
    t += "[OPTIONS]\n";
    t += "Compiled file=" + compiledFile + "\n";
    t += "Default topic=" + defaultTopic + "\n";
    t += "Title=" + title + "\n";
    // Without a language, common viewers refuse the file.
    t += "Language=0x040c\n\n[FILES]\n";
    for (const std::string& f : files)
        t += f + "\n";
    return t;
}

CompileResult compileIndexFolder(std::string indexPage, const std::string& chmcmd) {
    if (indexPage.size() >= 2 && indexPage.front() == '"' && indexPage.back() == '"')
        indexPage = indexPage.substr(1, indexPage.size() - 2);
    std::error_code ec;
    if (indexPage.empty() || !fs::is_regular_file(indexPage, ec))
        return failure(CompileError::NoIndexPage, "no index page \"" + indexPage + "\"");
    const fs::path page = fs::absolute(indexPage, ec);
    const std::string pageName = page.filename().string();
    const std::string ext = lower(pageName);
    if (!endsWith(ext, ".htm") && !endsWith(ext, ".html"))
        return failure(CompileError::NotAnHtmlPage,
                       "\"" + indexPage + "\" is not an HTML page (.htm)");
    const fs::path folder = page.parent_path();

    CompileResult result;
    std::vector<std::string> files;
    try {
        files = listProjectFiles(folder.string(), &result.leftOut);
    } catch (const fs::filesystem_error& e) {
        return failure(CompileError::CannotList,
                       "cannot read the folder \"" + folder.string() + "\": " + e.code().message());
    }

    std::string title = folder.filename().string();
    for (char& c : title)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';

    // The compiled file takes shape in a work folder and is renamed into place once
    // complete, so an earlier hhctest.chm is never left half replaced.
    const std::string tag = ".hhc-" + std::to_string(::getpid());
    WorkFiles work;
    const fs::path outDir = folder / (tag + ".out");
    if (!fs::create_directory(outDir, ec) || ec)
        return failure(CompileError::CannotWriteProject,
                       "cannot write in \"" + folder.string() + "\": " + ec.message());
    work.outDir = outDir;
    const fs::path project = folder / (tag + ".hhp");
    const std::string compiled = tag + ".out/hhctest.chm";
    if (!writeWhole(project, projectText(compiled, pageName, title, files)))
        return failure(CompileError::CannotWriteProject, "cannot write the project file in \"" +
                                                             folder.string() +
                                                             "\": " + std::strerror(errno));
    work.project = project;

    const ChildRun run = runCompiler(chmcmd, folder, project);
    if (!run.started)
        return failure(CompileError::CompilerMissing,
                       "cannot start the help compiler \"" + chmcmd + "\" (package fp-utils)");
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        const std::string how = WIFEXITED(run.status)
                                    ? "exit code " + std::to_string(WEXITSTATUS(run.status))
                                    : "signal " + std::to_string(WTERMSIG(run.status));
        return failure(CompileError::CompilerFailed,
                       "the help compiler failed (" + how + ")" +
                           (run.lastLine.empty() ? "" : ": " + run.lastLine));
    }
    const fs::path made = outDir / "hhctest.chm";
    if (!fs::is_regular_file(made, ec) || fs::file_size(made, ec) == 0)
        return failure(CompileError::NoOutput,
                       "the help compiler wrote no file" +
                           (run.lastLine.empty() ? "" : ": " + run.lastLine));
    // chmcmd names the wrong first listing chunk in larger files; readers that list
    // entries (chmlib, and viewers built on it) would miss the first chunk's pages.
    std::string problem;
    if (!chm::repairListingHead(made.string(), &problem))
        return failure(CompileError::DamagedOutput,
                       "the help compiler wrote a damaged file: " + problem);
    const fs::path output = folder / "hhctest.chm";
    fs::rename(made, output, ec);
    if (ec)
        return failure(CompileError::CannotPlaceOutput,
                       "cannot write \"" + output.string() + "\": " + ec.message());
    result.output = output.string();
    return result;
}

} // namespace kvx::hhc
