#include "index_compile.h"

#include "chm/chm_writer.h"
#include "chm/ordered_pool.h"
#include "files/ascii.h"
#include "files/atomic_file.h"
#include "files/folder_work.h"
#include "files/paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hhc {

namespace {

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
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

void appendUtf8(std::string& out, unsigned long c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Character references as attribute values carry them: numeric ones and the few named ones
// a link can hold. Anything else stays as written.
std::string decodeEntities(const std::string& s) {
    static const struct {
        const char* name;
        char c;
    } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi - i > 12) {
            out += s[i];
            continue;
        }
        const std::string ref = s.substr(i + 1, semi - i - 1);
        bool done = false;
        if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string digits = ref.substr(hex ? 2 : 1);
            if (!digits.empty() &&
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                    std::string::npos) {
                appendUtf8(out, std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
                done = true;
            }
        } else {
            for (const auto& n : named)
                if (ref == n.name) {
                    out += n.c;
                    done = true;
                }
        }
        if (done)
            i = semi;
        else
            out += s[i];
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A reference with a scheme ("http:", "mailto:", "javascript:") or a network path.
bool isAbsolute(const std::string& ref) {
    if (ref.rfind("//", 0) == 0 || ref[0] == '/' || ref[0] == '\\')
        return true;
    if (!isAlpha(ref[0]))
        return false;
    for (char c : ref) {
        if (c == ':')
            return true;
        if (!(isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))
            return false;
    }
    return false;
}

// The link an attribute value stands for, or empty when it names no file of ours.
std::string linkOf(const std::string& value) {
    std::string ref = decodeEntities(value);
    std::size_t a = 0, b = ref.size();
    while (a < b && isSpace(ref[a]))
        ++a;
    while (b > a && isSpace(ref[b - 1]))
        --b;
    ref = ref.substr(a, b - a);
    const std::size_t cut = ref.find_first_of("#?");
    if (cut != std::string::npos)
        ref.erase(cut);
    if (ref.empty() || isAbsolute(ref))
        return {};
    ref = percentDecode(ref);
    if (ref.empty() || ref.back() == '/' || ref.find('\0') != std::string::npos)
        return {};
    return ref;
}

// The attributes of the tag that starts at `i` (just after its name); returns where it ends.
std::size_t readAttributes(const std::string& html, std::size_t i,
                           std::vector<std::string>& links) {
    const std::size_t n = html.size();
    while (i < n) {
        while (i < n && (isSpace(html[i]) || html[i] == '/'))
            ++i;
        if (i >= n || html[i] == '>')
            return i;
        const std::size_t nameStart = i;
        while (i < n && !isSpace(html[i]) && html[i] != '=' && html[i] != '>' && html[i] != '/')
            ++i;
        const std::string name = lowerAscii(html.substr(nameStart, i - nameStart));
        if (i == nameStart) {
            ++i; // a stray character
            continue;
        }
        std::size_t j = i;
        while (j < n && isSpace(html[j]))
            ++j;
        if (j >= n || html[j] != '=')
            continue;
        ++j;
        while (j < n && isSpace(html[j]))
            ++j;
        std::string value;
        if (j < n && (html[j] == '"' || html[j] == '\'')) {
            const char quote = html[j];
            const std::size_t end = html.find(quote, j + 1);
            const std::size_t stop = end == std::string::npos ? n : end;
            value = html.substr(j + 1, stop - j - 1);
            i = stop == n ? n : stop + 1;
        } else {
            const std::size_t start = j;
            while (j < n && !isSpace(html[j]) && html[j] != '>')
                ++j;
            value = html.substr(start, j - start);
            i = j;
        }
        if (name == "href" || name == "src") {
            std::string link = linkOf(value);
            if (!link.empty())
                links.push_back(std::move(link));
        }
    }
    return i;
}

CompileResult failure(CompileError error, std::string message) {
    CompileResult r;
    r.error = error;
    r.message = std::move(message);
    return r;
}

// Whether `path` is a regular file; `error` says why not. Whether it can be read shows when
// its bytes are loaded, which names it too: one system call here instead of three.
bool readable(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
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
            std::string& error) {
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
    return readable(real, error) ? Reach::Inside : Reach::Unreadable;
}

// Reads `real` (from reach()) unless it stopped being a regular file inside the folder since:
// the check is made on the file opened, so a link put in its place meanwhile is not followed.
bool readInside(const std::string& folderReal, const std::string& real, std::string& bytes,
                std::string& error, std::size_t maxBytes) {
    const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    char opened[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), opened, PATH_MAX);
    bool ok = false;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = "not a regular file";
    else if (n <= 0)
        error = std::string("cannot tell where it lies: ") + std::strerror(errno);
    else if (!isInside(folderReal, std::string(opened, static_cast<std::size_t>(n))))
        error = "moved outside the folder";
    else
        ok = true;
    bytes.clear();
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            error = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
            ok = false;
        } else {
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return ok;
}

// Files read at once, and how many files the reading runs ahead of the compile at most.
constexpr unsigned kReaders = 8;
constexpr std::size_t kReadAhead = 4 * kReaders;
constexpr std::size_t kMaxPage = std::size_t{64} << 20;

// What the compile needs to know of a file before its turn.
struct Probe {
    Reach where = Reach::Missing;
    std::string real, error;
    bool read = false; // a page's bytes were read
    std::string bytes;
};

} // namespace

std::vector<std::string> pageLinks(const std::string& html) {
    std::vector<std::string> links;
    const std::size_t n = html.size();
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            if (end == std::string::npos)
                break;
            i = end + 3;
            continue;
        }
        ++i;
        if (i >= n || !isAlpha(html[i]))
            continue;
        while (i < n && !isSpace(html[i]) && html[i] != '>' && html[i] != '/')
            ++i;
        i = readAttributes(html, i, links);
    }
    return links;
}

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
    if (indexPage.empty() || !readable(indexPage, problem))
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
    // Two compiles in one folder take turns around hhctest.chm, and this one marks itself at
    // work there, unless the program that started us holds both for us (an index build).
    const std::vector<std::string> inherited = inheritedWork();
    std::vector<std::string> ours = inherited;
    FolderTurn turn;
    FolderWork work;
    const std::string turnName = FolderTurn::nameFor(baseNameOf(result.output));
    if (std::find(inherited.begin(), inherited.end(), turnName) == inherited.end()) {
        std::string error;
        FolderTurn::Outcome taken;
        while ((taken = turn.tryTake(folder, baseNameOf(result.output), error)) ==
               FolderTurn::Outcome::Busy)
            ::usleep(200 * 1000);
        if (taken == FolderTurn::Outcome::Failed)
            return failure(CompileError::CannotWrite, error);
        ours.push_back(turnName);
    }
    const bool workInherited = std::any_of(inherited.begin(), inherited.end(),
                                           [&](const std::string& n) { return n != turnName; });
    if (std::string error; !workInherited && work.begin(folder, error))
        ours.push_back(work.name());
    // A compile killed part-way leaves its temporary, as large as the file. It goes when no
    // other copy is at work in the folder: another's staged report may bear a name of the
    // same key.
    const std::vector<std::uint32_t> keys{TemporaryKey(baseNameOf(result.output)).value()};
    removeLeftoversWhenAlone(folder, ours, &keys);

    // Pages are read, and pictures looked up, a few ahead of their turn on several threads: on
    // a network share their round trips overlap (a picture's first lookup is one too).
    const auto probe = [folder, folderReal](const std::string& name) {
        Probe p;
        p.where = reach(folderReal, joinPath(folder, name), p.real, p.error);
        if (p.where == Reach::Inside && isHtmlName(name))
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
