#include "index_compile.h"

#include "sitemap.h"

#include "chm/chm_writer.h"
#include "chm/code_page.h"
#include "chm/fulltext_index.h"
#include "chm/ordered_pool.h"
#include "files/ascii.h"
#include "files/atomic_file.h"
#include "files/folder_work.h"
#include "files/paths.h"
#include "files/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hhc {

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isHtmlName(const std::string& name) {
    const std::string l = lowerAscii(name);
    return endsWith(l, ".htm") || endsWith(l, ".html");
}

// Pictures and archives are packed already: the compressor would only lose time on them.
bool isCompressible(const std::string& name) {
    static const char* const packed[] = {".jpg", ".jpeg", ".jpe", ".png", ".gif",  ".webp",
                                         ".zip", ".gz",   ".tgz", ".bz2", ".xz",   ".7z",
                                         ".rar", ".mp3",  ".mp4", ".ogg", ".webm", ".chm"};
    const std::string l = lowerAscii(name);
    for (const char* ext : packed)
        if (endsWith(l, ext))
            return false;
    return true;
}

CompileResult failure(CompileError error, std::string message) {
    CompileResult r;
    r.error = error;
    r.message = std::move(message);
    return r;
}

// Whether `path` is a regular file (its size in `size`, when given); `error` says why not. Whether
// it can be read shows when its bytes are loaded, which names it too: one system call here instead
// of three.
bool isRegularFile(const std::string& path, std::string& error, std::uint64_t* size = nullptr) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (size)
        *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// Where a file below the folder leads.
enum class Reach {
    Inside,     // a regular file whose real path lies inside the folder
    Missing,    // nothing there (or a link to nothing)
    Outside,    // a file elsewhere, through a symbolic link
    Unreadable, // there, but not to be read: `error` says why
};

bool isInside(const std::string& folderReal, const std::string& real) {
    const std::string prefix = folderReal == "/" ? folderReal : folderReal + "/";
    return real.size() > prefix.size() && real.compare(0, prefix.size(), prefix) == 0;
}

Reach reach(const std::string& folderReal, const std::string& path, std::string& real,
            std::string& error, std::uint64_t* size = nullptr) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Reach::Missing;
        error = std::strerror(errno);
        return Reach::Unreadable;
    }
    real = resolved;
    std::free(resolved);
    if (!isInside(folderReal, real))
        return Reach::Outside;
    return isRegularFile(real, error, size) ? Reach::Inside : Reach::Unreadable;
}

// Opens `real` (from reach()) unless it stopped being a regular file inside the folder since:
// the check is made on the file opened, so a link put in its place meanwhile is not followed.
// Returns the descriptor, or -1 with `error` set.
int openInside(const std::string& folderReal, const std::string& real, std::string& error) {
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    char opened[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), opened, PATH_MAX);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = "not a regular file";
    else if (n <= 0)
        error = std::string("cannot tell where it lies: ") + std::strerror(errno);
    else if (!isInside(folderReal, std::string(opened, static_cast<std::size_t>(n))))
        error = "moved outside the folder";
    else
        return fd;
    ::close(fd);
    return -1;
}

bool readInside(const std::string& folderReal, const std::string& real, std::string& bytes,
                std::string& error, std::size_t maxBytes) {
    const int fd = openInside(folderReal, real, error);
    if (fd < 0)
        return false;
    const bool ok = readWholeFile(fd, real, bytes, error, maxBytes) == ReadStatus::Ok;
    ::close(fd);
    return ok;
}

// The same in pieces of 1 MiB handed to `write`, for a file too large to hold.
bool streamInside(const std::string& folderReal, const std::string& real,
                  const std::function<void(std::string_view)>& write, std::string& error) {
    const int fd = openInside(folderReal, real, error);
    if (fd < 0)
        return false;
    std::string piece(std::size_t{1} << 20, '\0');
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            ok = false;
        }
        if (got <= 0)
            break;
        write(std::string_view(piece.data(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    return ok;
}

// Files read at once, and how many files the reading runs ahead of the compile at most.
constexpr unsigned kReaders = 8;
constexpr std::size_t kReadAhead = 4 * kReaders;
constexpr std::size_t kMaxPage = std::size_t{64} << 20;
// A page larger than this is read on its turn, not ahead: what waits in the read-ahead stays
// within kReadAhead of these.
constexpr std::uint64_t kMaxPageAhead = std::uint64_t{1} << 20;

// What the compile needs to know of a file before its turn.
struct Probe {
    Reach where = Reach::Missing;
    std::string real, error;
    bool read = false; // a page's bytes were read
    std::string bytes;
    std::uint64_t size = 0; // bounds what is read ahead: a large page waits for its turn
};

// A name for a file of the compiler's own beside the start page, clear of the compiled
// files' names in any letter case (lookups ignore case).
std::string freeName(const std::string& stem, const std::string& extension,
                     const std::set<std::string>& takenLower) {
    for (int n = 0;; ++n) {
        const std::string name = stem + (n == 0 ? "" : "-" + std::to_string(n)) + extension;
        if (takenLower.count(lowerAscii(name)) == 0)
            return name;
    }
}

// What help readers show besides the pages: every page as a topic with its title, the
// contents (the links of the pages the frames show), a keyword for each of its entries and
// the full-text index of the pages' words.
// `names` are the compiled files' paths below the folder, `files` their entries.
void addNavigation(const std::string& start, const std::vector<std::string>& names,
                   std::vector<chm::ChmFile>& files, chm::ChmOptions& options) {
    std::map<std::string, std::size_t> pages; // a page's path -> its entry in `files`
    std::set<std::string> compiledLower;
    for (std::size_t i = 0; i < names.size(); ++i) {
        compiledLower.insert(lowerAscii(names[i]));
        if (isHtmlName(names[i]) && !files[i].load)
            pages.emplace(names[i], i);
    }
    // The contents need the outlines of the few pages the frames show: each read once here.
    std::map<std::string, PageOutline> shown;
    const std::set<std::string> compiled(names.begin(), names.end());
    const std::vector<ContentsEntry> entries = contentsOf(
        start,
        [&](const std::string& page) -> const PageOutline* {
            const auto found = pages.find(page);
            if (found == pages.end())
                return nullptr;
            auto outline = shown.find(page);
            if (outline == shown.end())
                outline = shown.emplace(page, outlinePage(files[found->second].content)).first;
            return &outline->second;
        },
        [&compiled](const std::string& path) { return compiled.count(path) > 0; });
    shown.clear();

    std::map<std::string, std::string> entryNames; // page -> the name its entry gives it
    for (const ContentsEntry& e : entries)
        entryNames.emplace(e.target, entryName(e.text));
    // Topics in the order the pages were compiled, the start page first; each page's words go
    // into the full-text index as it comes, so that their text is never held all at once.
    chm::FullTextIndexBuilder words(options.language);
    for (const std::string& name : names) {
        const auto page = pages.find(name);
        if (page == pages.end())
            continue;
        const PageOutline outline = outlinePage(files[page->second].content);
        const auto entry = entryNames.find(name);
        chm::ChmTopic topic;
        topic.name = "/" + name;
        topic.inContents = entry != entryNames.end();
        const std::string title = !outline.title.empty()                    ? outline.title
                                  : topic.inContents                        ? entry->second
                                  : name == start && !options.title.empty() ? options.title
                                                                            : baseNameOf(name);
        // Shown by readers as they are: in the file's code page.
        topic.title = chm::windows1252(title);
        words.add(static_cast<std::uint32_t>(options.topics.size()), outline.text, title);
        options.topics.push_back(std::move(topic));
    }
    options.fullTextIndex = words.finish();

    const std::string stem = start.substr(0, start.rfind('.'));
    const std::string contents = freeName(stem, ".hhc", compiledLower);
    compiledLower.insert(lowerAscii(contents));
    const std::string keywords = freeName(stem, ".hhk", compiledLower);
    files.push_back({"/" + contents, true, sitemapFile(entries, false), nullptr});
    files.push_back({"/" + keywords, true, sitemapFile(entries, true), nullptr});
    options.contentsFile = "/" + contents;
    options.keywordFile = "/" + keywords;
}

} // namespace

std::string resolveLink(const std::string& page, const std::string& link) {
    std::vector<std::string> parts;
    auto walk = [&](const std::string& path, bool lastIsFile) {
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find('/', start);
            if (end == std::string::npos)
                end = path.size();
            const std::string part = path.substr(start, end - start);
            const bool last = end == path.size();
            start = end + 1;
            if (last && !lastIsFile)
                break;
            if (part.empty() || part == ".")
                continue;
            if (part == "..") {
                if (parts.empty())
                    return false;
                parts.pop_back();
                continue;
            }
            parts.push_back(part);
        }
        return true;
    };
    if (!walk(page, false) || !walk(link, true) || parts.empty())
        return {};
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

CompileResult compileIndexFolder(std::string indexPage, unsigned threads) {
    indexPage = unquoted(indexPage);
    std::string problem;
    if (indexPage.empty() || !isRegularFile(indexPage, problem))
        return failure(CompileError::NoIndexPage, "no index page \"" + shownName(indexPage) + "\"" +
                                                      (problem.empty() ? "" : ": " + problem));
    const std::string folder = folderOf(indexPage);
    const std::string start = baseNameOf(indexPage);
    if (!isHtmlName(start))
        return failure(CompileError::NotAnHtmlPage,
                       "\"" + shownName(indexPage) + "\" is not an HTML page (.htm)");

    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (!resolved)
        return failure(CompileError::NoIndexPage,
                       "no folder \"" + shownName(folder) + "\": " + std::strerror(errno));
    const std::string folderReal = resolved;
    std::free(resolved);
    CompileResult result;
    result.output = joinPath(folder, "hhctest.chm");
    // From here on, a failure keeps the warnings collected before it.
    const auto failure = [&result](CompileError error, std::string message) {
        CompileResult r = hhc::failure(error, std::move(message));
        r.warnings = std::move(result.warnings);
        return r;
    };
    // Two compiles in one folder take turns around hhctest.chm, and this one marks itself at
    // work there, unless the program that started us holds both for us (an index build).
    const std::vector<std::string> inherited = inheritedWork();
    std::vector<std::string> ours = inherited;
    FolderTurn turn;
    FolderWork work;
    const std::string turnName = FolderTurn::nameFor(baseNameOf(result.output));
    // Our marker: the parent's, else one of our own; its time is the folder's clock.
    std::string clock;
    for (const std::string& name : inherited)
        if (name != turnName)
            clock = name;
    if (std::string error; clock.empty() && work.begin(folder, error)) {
        clock = work.name();
        ours.push_back(clock);
    }
    if (std::find(inherited.begin(), inherited.end(), turnName) == inherited.end()) {
        std::string error;
        FolderTurn::Outcome taken;
        while ((taken = turn.tryTake(folder, baseNameOf(result.output), error, clock)) ==
               FolderTurn::Outcome::Busy)
            ::usleep(200 * 1000);
        if (taken == FolderTurn::Outcome::Failed)
            return failure(CompileError::CannotWrite, error);
        ours.push_back(turnName);
    }
    // A compile killed part-way leaves its temporary, as large as the file. It goes when no
    // other copy is at work in the folder: another's staged report may bear a name of the
    // same key.
    const std::vector<std::uint32_t> keys{TemporaryKey(baseNameOf(result.output)).value()};
    removeLeftoversWhenAlone(folder, ours, &keys);

    // Pages are read, and pictures looked up, a few ahead of their turn on several threads: on
    // a network share their round trips overlap (a picture's first lookup is one too).
    const auto probe = [folder, folderReal](const std::string& name) {
        Probe p;
        // One look-up gives the file's kind and size: on a share each is a round trip.
        p.where = reach(folderReal, joinPath(folder, name), p.real, p.error, &p.size);
        if (p.where == Reach::Inside && isHtmlName(name) && p.size <= kMaxPageAhead)
            p.read = readInside(folderReal, p.real, p.bytes, p.error, kMaxPage);
        return p;
    };
    std::optional<chm::OrderedPool<Probe>> probes; // gone once every file is found
    probes.emplace(kReaders);
    std::size_t probed = 0; // the queue's first files seen for the pool
    // Every file reachable from the index page, each once, in the order first met. A link to
    // nothing, or to something outside the folder, is left out with a warning.
    std::vector<chm::ChmFile> files;
    std::set<std::string> seen{start}, warnedLinks;
    std::deque<std::pair<std::string, std::string>> queue{{start, std::string()}};
    while (!queue.empty()) {
        for (; probed < queue.size() && probes->pending() < kReadAhead; ++probed)
            probes->submit([probe, name = queue[probed].first] { return probe(name); });
        const auto [name, linkedFrom] = queue.front();
        queue.pop_front();
        --probed;
        Probe found = probes->take();
        const std::string who =
            linkedFrom.empty() ? std::string() : "\"" + shownName(linkedFrom) + "\" links to ";
        const std::string& real = found.real;
        std::string& error = found.error;
        const Reach where = found.where;
        if (where == Reach::Missing || where == Reach::Outside) {
            const std::string what =
                who + "\"" + shownName(name) + "\", which " +
                (where == Reach::Missing ? "does not exist" : "leads outside the folder");
            if (linkedFrom.empty())
                return failure(CompileError::NoIndexPage, what);
            result.warnings.push_back(what + ": left out");
            continue;
        }
        if (where == Reach::Unreadable)
            return failure(CompileError::UnreadableLink,
                           who + "\"" + shownName(name) + "\", which cannot be read: " + error);
        chm::ChmFile file;
        file.name = "/" + name;
        file.compressible = isCompressible(name);
        if (isHtmlName(name)) {
            if (!found.read && found.error.empty()) // a large page, read on its turn
                found.read = readInside(folderReal, real, found.bytes, error, kMaxPage);
            if (!found.read)
                return failure(CompileError::UnreadableLink,
                               who + "\"" + shownName(name) + "\", which cannot be read: " + error);
            file.content = std::move(found.bytes);
            for (const std::string& link : pageLinks(file.content)) {
                const std::string target = resolveLink(name, link);
                if (target.empty()) {
                    if (warnedLinks.insert(link).second)
                        result.warnings.push_back("\"" + shownName(name) + "\" links to \"" +
                                                  shownName(link) +
                                                  "\", which names no file inside the folder: "
                                                  "left out");
                } else if (seen.insert(target).second) {
                    queue.emplace_back(target, name);
                }
            }
        } else {
            file.load = [folderReal, real, name](std::string& bytes, std::string& error) {
                if (readInside(folderReal, real, bytes, error, std::size_t{1} << 31))
                    return true;
                error = "\"" + shownName(name) + "\" cannot be read: " + error;
                return false;
            };
            file.loadSize = found.size;
            file.stream = [folderReal, real, name](const auto& write, std::string& error) {
                if (streamInside(folderReal, real, write, error))
                    return true;
                error = "\"" + shownName(name) + "\" cannot be read: " + error;
                return false;
            };
        }
        result.files.push_back(name);
        files.push_back(std::move(file));
    }
    probes.reset();

    chm::ChmOptions options;
    options.defaultTopic = start;
    std::string title = baseNameOf(folder == "." ? std::string() : folder);
    for (char& c : title)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    options.title = title;
    addNavigation(start, result.files, files, options);
    options.title = chm::windows1252(options.title);
    options.timestamp = static_cast<std::int64_t>(std::time(nullptr));
    // Builds that are to be reproducible give their time.
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch)
        options.timestamp = std::strtoll(epoch, nullptr, 10);
    options.readers = kReaders;
    options.threads = threads;
    const chm::ChmResult written = chm::writeChm(result.output, std::move(files), options);
    if (written.error == chm::ChmError::CannotLoad)
        return failure(CompileError::UnreadableLink, shownName(written.message));
    if (written.error == chm::ChmError::BadName)
        return failure(CompileError::BadName, shownName(written.message));
    if (!written)
        return failure(CompileError::CannotWrite, "cannot write \"" + shownName(result.output) +
                                                      "\": " + shownName(written.message));
    return result;
}

} // namespace kvx::hhc
