#include "chm_extract.h"

#include <mspack.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <pwd.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hh {

namespace {

// The system files read for the start page are small; more is not read.
constexpr std::uint64_t kMaxSystemFile = 1 << 20;
// The names libmspack is given: the .chm itself and "the file being written".
constexpr char kInputToken[] = "input";
constexpr char kOutputToken[] = "output";

Extraction failure(ViewError error, const std::string& message) {
    Extraction e;
    e.error = error;
    e.message = message;
    return e;
}

std::string quotedName(const std::string& bytes) {
    return "\"" + escapedName(bytes) + "\"";
}

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string hex64(std::uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::uint64_t le(const std::string& data, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
    return v;
}

// The NUL-terminated text at `at`, or empty when `at` is outside.
std::string cString(const std::string& data, std::uint64_t at) {
    if (at >= data.size())
        return {};
    const std::size_t start = static_cast<std::size_t>(at);
    const std::size_t end = data.find('\0', start);
    return data.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool endsWithPage(const std::string& name) {
    auto ends = [&](const char* suffix) {
        const std::size_t n = std::strlen(suffix);
        if (name.size() < n)
            return false;
        for (std::size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i])
                return false;
        return true;
    };
    return ends(".htm") || ends(".html");
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && std::tolower(x) == std::tolower(y)))
            return false;
    }
    return true;
}

// ---- The file system of libmspack: our own descriptors, nothing opened by name ----------

struct Stream {
    int fd = -1; // the .chm (shared, not ours to close) or the entry being written
    bool input = false;
    off_t position = 0;            // reading only
    std::string* memory = nullptr; // the entry goes here instead of a file
    std::uint64_t written = 0;
    std::uint64_t limit = 0; // an entry writes its stated length and no more
};

struct System {
    mspack_system base;
    int input = -1;
    Stream* pendingOutput = nullptr; // handed out by the next open for writing
};

Stream* stream(mspack_file* f) {
    return reinterpret_cast<Stream*>(f);
}

mspack_file* sysOpen(mspack_system* self, const char* name, int mode) {
    System* sys = reinterpret_cast<System*>(self);
    if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, kInputToken) == 0) {
        Stream* s = new Stream;
        s->fd = sys->input;
        s->input = true;
        return reinterpret_cast<mspack_file*>(s);
    }
    if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kOutputToken) == 0 &&
        sys->pendingOutput) {
        Stream* s = sys->pendingOutput;
        sys->pendingOutput = nullptr;
        return reinterpret_cast<mspack_file*>(s);
    }
    return nullptr;
}

void sysClose(mspack_file* f) {
    // Output streams belong to the caller, which checks and closes them.
    if (stream(f)->input)
        delete stream(f);
}

int sysRead(mspack_file* f, void* buffer, int bytes) {
    Stream* s = stream(f);
    if (!s->input || bytes < 0)
        return -1;
    int done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(s->fd, static_cast<char*>(buffer) + done,
                                  static_cast<std::size_t>(bytes - done), s->position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<int>(n);
        s->position += n;
    }
    return done;
}

int sysWrite(mspack_file* f, void* buffer, int bytes) {
    Stream* s = stream(f);
    if (s->input || bytes < 0 || static_cast<std::uint64_t>(bytes) > s->limit - s->written)
        return -1;
    if (s->memory) {
        s->memory->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    } else {
        int done = 0;
        while (done < bytes) {
            const ssize_t n = ::write(s->fd, static_cast<const char*>(buffer) + done,
                                      static_cast<std::size_t>(bytes - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return -1;
            done += static_cast<int>(n);
        }
    }
    s->written += static_cast<std::uint64_t>(bytes);
    return bytes;
}

int sysSeek(mspack_file* f, off_t offset, int mode) {
    Stream* s = stream(f);
    if (!s->input)
        return -1;
    off_t base = 0;
    if (mode == MSPACK_SYS_SEEK_CUR) {
        base = s->position;
    } else if (mode == MSPACK_SYS_SEEK_END) {
        struct stat st {};
        if (::fstat(s->fd, &st) != 0)
            return -1;
        base = st.st_size;
    } else if (mode != MSPACK_SYS_SEEK_START) {
        return -1;
    }
    if ((offset > 0 && base > std::numeric_limits<off_t>::max() - offset) || base + offset < 0)
        return -1;
    s->position = base + offset;
    return 0;
}

off_t sysTell(mspack_file* f) {
    return stream(f)->position;
}

// The reader's own remarks are not for the user; its errors come back as codes.
void sysMessage(mspack_file*, const char*, ...) {}

void* sysAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void sysFree(void* p) {
    std::free(p);
}

void sysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

struct Reader {
    System sys{};
    mschm_decompressor* chmd = nullptr;
    mschmd_header* header = nullptr;

    explicit Reader(int fd) {
        sys.base = {sysOpen,    sysClose, sysRead, sysWrite, sysSeek, sysTell,
                    sysMessage, sysAlloc, sysFree, sysCopy,  nullptr};
        sys.input = fd;
        chmd = mspack_create_chm_decompressor(&sys.base);
        if (chmd)
            header = chmd->open(chmd, kInputToken);
    }
    ~Reader() {
        if (header)
            chmd->close(chmd, header);
        if (chmd)
            mspack_destroy_chm_decompressor(chmd);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Writes the entry into `out`; true when all of its bytes came and no more.
    bool extract(mschmd_file* file, Stream* out) {
        out->limit = static_cast<std::uint64_t>(file->length);
        sys.pendingOutput = out;
        const int err = chmd->extract(chmd, file, kOutputToken);
        sys.pendingOutput = nullptr;
        return err == MSPACK_ERR_OK && out->written == out->limit;
    }
};

// ---- The cache folder: every step relative to a folder descriptor, no link followed ----

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

int openFolderAt(int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::vector<std::string> folderEntries(int folder) {
    std::vector<std::string> names;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return names;
    }
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

// Removes `name` in `at`: a link or a file is unlinked, a folder emptied first; a link is
// never followed, so what it points at stays untouched.
void removeTree(int at, const std::string& name) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(at, name.c_str(), 0);
        return;
    }
    const Fd folder(openFolderAt(at, name.c_str()));
    if (folder.fd >= 0)
        for (const std::string& child : folderEntries(folder.fd))
            removeTree(folder.fd, child);
    ::unlinkat(at, name.c_str(), AT_REMOVEDIR);
}

// Creates every missing folder of the absolute `path` (links there are the user's own).
bool makeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at)
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    return true;
}

// Work folders of viewers that ended without finishing; a running viewer holds a lock on
// its own, so it is left alone.
void removeStaleWork(int root) {
    for (const std::string& name : folderEntries(root)) {
        if (name.rfind(".unpack-", 0) != 0)
            continue;
        const Fd work(openFolderAt(root, name.c_str()));
        // A link or a file of that name goes too; a folder only once no viewer holds it.
        if (work.fd < 0 || ::flock(work.fd, LOCK_EX | LOCK_NB) == 0)
            removeTree(root, name);
    }
}

bool isIndexFolderName(const std::string& name) {
    if (name.size() != 33 || name[16] != '-')
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (i != 16 && !std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// Earlier versions of the same path go; of the rest, only the newest `keep` stay.
void trimCache(int root, const std::string& current, const std::string& pathKey, std::size_t keep) {
    std::vector<std::pair<std::int64_t, std::string>> others;
    for (const std::string& name : folderEntries(root)) {
        if (!isIndexFolderName(name) || name == current)
            continue;
        struct stat st {};
        if (name.compare(0, pathKey.size(), pathKey) == 0 ||
            ::fstatat(root, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            removeTree(root, name);
            continue;
        }
        others.emplace_back(
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, name);
    }
    std::sort(others.begin(), others.end(), std::greater<>());
    for (std::size_t i = keep > 0 ? keep - 1 : 0; i < others.size(); ++i)
        removeTree(root, others[i].second);
}

// Opens (creating them when `create`) the folders of `relative` below `folder`, never through
// a link; returns the innermost folder's descriptor and leaves the last component in `leaf`.
int openParent(int folder, const std::string& relative, std::string* leaf, bool create) {
    int current = ::dup(folder);
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        if (slash == std::string::npos) {
            *leaf = relative.substr(start);
            return current;
        }
        const std::string part = relative.substr(start, slash - start);
        if (create && ::mkdirat(current, part.c_str(), 0755) != 0 && errno != EEXIST) {
            ::close(current);
            return -1;
        }
        const int next = openFolderAt(current, part.c_str());
        ::close(current);
        if (next < 0)
            return -1;
        current = next;
        start = slash + 1;
    }
}

std::string randomName() {
    std::random_device device;
    const std::uint64_t v = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    return ".unpack-" + hex64(v ^ static_cast<std::uint64_t>(::getpid()));
}

struct Entry {
    mschmd_file* file;
    std::string relative;
};

// The entry's path relative to the cache folder, or empty when the name is refused:
// "..", "." or empty components (so absolute paths too), control characters, or no "/" in
// front.
std::string safeRelativePath(const std::string& entryName) {
    if (entryName.size() < 2 || entryName[0] != '/')
        return {};
    const std::string relative = entryName.substr(1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find('/', start);
        const std::string part = relative.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return {};
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    for (unsigned char c : relative)
        if (c < 0x20 || c == 0x7f)
            return {};
    return relative;
}

// True for the compiler's own files at the top ("/#SYSTEM", "/$FIftiMain", ...), which are
// no pages; "/#12 plan.dwg.htm" is a page.
bool isSystemEntry(const std::string& name) {
    // The compiler's files at the top; its keyword and associative-link trees are folders.
    static const char* const files[] = {
        "/#SYSTEM", "/#WINDOWS", "/#IDXHDR",  "/#ITBITS", "/#STRINGS",   "/#TOPICS",  "/#URLSTR",
        "/#URLTBL", "/#TOCIDX",  "/#SUBSETS", "/#IVB",    "/$FIftiMain", "/$OBJINST", "/$TitleMap"};
    static const char* const folders[] = {"/$WWKeywordLinks/", "/$WWAssociativeLinks/"};
    for (const char* f : files)
        if (name == f)
            return true;
    for (const char* f : folders)
        if (name.rfind(f, 0) == 0)
            return true;
    return name.empty() || name[0] != '/';
}

} // namespace

std::string escapedName(const std::string& bytes) {
    std::string out;
    auto escape = [&](unsigned char c) {
        char text[5];
        std::snprintf(text, sizeof text, "\\x%02X", c);
        out += text;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A whole UTF-8 sequence of a printable character stays as it is.
        std::size_t n = c >= 0xc2 && c <= 0xdf   ? 2
                        : c >= 0xe0 && c <= 0xef ? 3
                        : c >= 0xf0 && c <= 0xf4 ? 4
                                                 : 0;
        std::uint32_t code = n == 2 ? c & 0x1f : n == 3 ? c & 0x0f : c & 0x07;
        for (std::size_t k = 1; n && k < n; ++k) {
            if (i + k >= bytes.size() || (static_cast<unsigned char>(bytes[i + k]) & 0xc0) != 0x80)
                n = 0;
            else
                code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3f);
        }
        const bool shortest = (n == 2 && code >= 0x80) || (n == 3 && code >= 0x800) ||
                              (n == 4 && code >= 0x10000 && code <= 0x10ffff);
        const bool control =
            code < 0xa0 || (code >= 0xd800 && code <= 0xdfff) || code == 0x2028 || code == 0x2029;
        if (n && shortest && !control) {
            out.append(bytes, i, n);
            i += n;
        } else {
            escape(c);
            ++i;
        }
    }
    return out;
}

std::string fileUrl(const std::string& absolutePath) {
    std::string url = "file://";
    for (unsigned char c : absolutePath) {
        if (std::isalnum(c) && c < 0x80)
            url += static_cast<char>(c);
        else if (std::strchr("-._~/", c) && c != 0)
            url += static_cast<char>(c);
        else {
            char text[4];
            std::snprintf(text, sizeof text, "%%%02X", c);
            url += text;
        }
    }
    return url;
}

std::string chooseTopic(const std::string& system, const std::string& windows,
                        const std::string& strings, const std::vector<std::string>& pages) {
    std::vector<std::string> candidates;
    // #SYSTEM: a version, then records of a 16-bit code, a 16-bit length and the data;
    // code 2 is the default topic.
    for (std::size_t at = 4; at + 4 <= system.size();) {
        const std::uint64_t code = le(system, at, 2);
        const std::size_t length = static_cast<std::size_t>(le(system, at + 2, 2));
        at += 4;
        if (length > system.size() - at)
            break;
        if (code == 2) {
            candidates.push_back(cString(system.substr(at, length), 0));
            break;
        }
        at += length;
    }
    // #WINDOWS: a count and an entry size, then the entries; the first one's home page and
    // default file are offsets into #STRINGS.
    if (windows.size() >= 8 && le(windows, 0, 4) > 0) {
        const std::uint64_t entrySize = le(windows, 4, 4);
        if (entrySize >= 0x70 && entrySize <= windows.size() - 8) {
            candidates.push_back(cString(strings, le(windows, 8 + 0x6c, 4)));
            candidates.push_back(cString(strings, le(windows, 8 + 0x68, 4)));
        }
    }
    candidates.push_back("index.htm");

    std::vector<std::string> sorted = pages;
    std::sort(sorted.begin(), sorted.end());
    for (std::string c : candidates) {
        while (!c.empty() && c[0] == '/')
            c.erase(0, 1);
        if (c.empty())
            continue;
        if (std::binary_search(sorted.begin(), sorted.end(), c))
            return c;
        for (const std::string& p : sorted)
            if (sameIgnoringCase(p, c))
                return p;
    }
    for (const std::string& p : sorted)
        if (endsWithPage(p))
            return p;
    return {};
}

std::string cacheRoot() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.cache";
    }
    return base + "/korvenix31";
}

Extraction extractToCache(const std::string& chmPath, const std::string& root,
                          const Limits& limits) {
    const std::string shown = quotedName(chmPath);
    if (chmPath.empty())
        return failure(ViewError::CannotOpen, "The file \"\" can't be found.");
    // Not blocking: a named pipe given as the file is refused below instead of waited on.
    Fd input(::open(chmPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int openError = errno;
    if (input.fd < 0)
        return failure(ViewError::CannotOpen,
                       "The file " + shown +
                           (openError == ENOENT ? " can't be found." : " can't be read."));
    struct stat st {};
    if (::fstat(input.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return failure(ViewError::CannotOpen, "The file " + shown + " can't be read.");

    std::string absolute = chmPath;
    if (absolute[0] != '/') {
        std::vector<char> cwd(4096);
        while (!::getcwd(cwd.data(), cwd.size()) && errno == ERANGE)
            cwd.resize(cwd.size() * 2);
        absolute = std::string(cwd.data()) + "/" + chmPath;
    }
    const std::string pathKey = hex64(fnv1a(absolute));
    const std::string version =
        std::to_string(st.st_ino) + ' ' + std::to_string(st.st_dev) + ' ' +
        std::to_string(st.st_ctim.tv_sec) + '.' + std::to_string(st.st_ctim.tv_nsec) + ' ' +
        std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ' ' +
        std::to_string(st.st_size);
    const std::string key = pathKey + "-" + hex64(fnv1a(version));

    Reader reader(input.fd);
    if (!reader.header)
        return failure(ViewError::CannotOpen,
                       "The file " + shown + " is not a compiled help file.");
    mschmd_header* h = reader.header;
    const std::string damaged = "The file " + shown + " is damaged: ";

    // The whole listing is checked before anything is written.
    std::uint64_t count = 0;
    for (mschmd_file* f = h->sysfiles; f; f = f->next)
        ++count;
    std::vector<Entry> entries;
    mschmd_file* systemFile = nullptr;
    mschmd_file* windowsFile = nullptr;
    mschmd_file* stringsFile = nullptr;
    std::uint64_t total = 0;
    // The uncompressed length of the compressed section bounds its entries.
    std::uint64_t compressedSpan = 0;
    if (mschmd_file* span = h->sec1.spaninfo ? h->sec1.spaninfo : h->sec1.rtable) {
        std::string bytes(16, '\0');
        const std::uint64_t at = static_cast<std::uint64_t>(h->sec0.offset) +
                                 static_cast<std::uint64_t>(span->offset) +
                                 (span == h->sec1.rtable ? 0x10 : 0);
        if (span->length >= 8 && ::pread(input.fd, bytes.data(), 8, static_cast<off_t>(at)) == 8)
            compressedSpan = le(bytes, 0, 8);
    }
    for (mschmd_file* f = h->files; f; f = f->next) {
        if (++count > limits.entries)
            return failure(ViewError::TooLarge, "The file " + shown + " holds more than " +
                                                    std::to_string(limits.entries) +
                                                    " entries, the most hh.exe unpacks.");
        const std::string name = f->filename;
        if (name.size() > limits.nameLength)
            return failure(ViewError::TooLarge, "The file " + shown +
                                                    " holds an entry name longer than " +
                                                    std::to_string(limits.nameLength) +
                                                    " bytes, the longest hh.exe unpacks: " +
                                                    quotedName(name.substr(0, 64)) + "...");
        // The compiler's records, at the top with or without the leading "/".
        const std::string top = name[0] == '/' ? name.substr(1) : name;
        mschmd_file** record = top == "#SYSTEM"    ? &systemFile
                               : top == "#WINDOWS" ? &windowsFile
                               : top == "#STRINGS" ? &stringsFile
                                                   : nullptr;
        if (record && (!*record || name[0] == '/'))
            *record = f;
        if (isSystemEntry(name) || (name.back() == '/' && f->length == 0))
            continue;
        const std::string relative = safeRelativePath(name);
        if (relative.empty())
            return failure(ViewError::Damaged, damaged + "the entry " + quotedName(name) +
                                                   " has a name that can't be unpacked safely.");
        const std::uint64_t offset = static_cast<std::uint64_t>(f->offset);
        const std::uint64_t length = static_cast<std::uint64_t>(f->length);
        const bool first = f->section->id == 0;
        const std::uint64_t end =
            first ? static_cast<std::uint64_t>(st.st_size) -
                        std::min<std::uint64_t>(static_cast<std::uint64_t>(h->sec0.offset),
                                                static_cast<std::uint64_t>(st.st_size))
                  : compressedSpan;
        if (f->offset < 0 || f->length < 0 || offset > end || length > end - offset)
            return failure(ViewError::Damaged, damaged + "the entry " + quotedName(name) +
                                                   " lies beyond the end of its section.");
        if (length > limits.totalBytes - total)
            return failure(ViewError::TooLarge, "The file " + shown + " holds more than " +
                                                    std::to_string(limits.totalBytes >> 20) +
                                                    " MiB of pages, the most hh.exe unpacks.");
        total += length;
        entries.push_back({f, relative});
    }

    // The start page, from the compiler's own records.
    auto readSmall = [&](mschmd_file* f) {
        std::string data;
        if (!f || f->length <= 0 || static_cast<std::uint64_t>(f->length) > kMaxSystemFile)
            return data;
        Stream out;
        out.memory = &data;
        if (!reader.extract(f, &out))
            data.clear();
        return data;
    };
    std::vector<std::string> pages;
    for (const Entry& e : entries)
        pages.push_back(e.relative);
    const std::string topic =
        chooseTopic(readSmall(systemFile), readSmall(windowsFile), readSmall(stringsFile), pages);
    if (topic.empty())
        return failure(ViewError::NoTopic, "The file " + shown + " holds no page to show.");

    const std::string cannotWrite = "The cache folder " + quotedName(root) + " can't be written";
    if (!makeFolders(root))
        return failure(ViewError::CannotWriteCache, cannotWrite + ".");
    Fd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (rootFd.fd < 0)
        return failure(ViewError::CannotWriteCache, cannotWrite + ".");
    removeStaleWork(rootFd.fd);

    Extraction result;
    result.folder = root + "/" + key;
    result.topic = topic;

    // Unchanged since it was unpacked: the same folder serves again, if its start page is
    // still there. Anything else of that name (a link, a file) is replaced.
    struct stat existing {};
    if (::fstatat(rootFd.fd, key.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            Fd folder(openFolderAt(rootFd.fd, key.c_str()));
            struct stat page {};
            std::string leaf;
            const Fd parent(folder.fd >= 0 ? openParent(folder.fd, topic, &leaf, false) : -1);
            const bool whole =
                parent.fd >= 0 &&
                ::fstatat(parent.fd, leaf.c_str(), &page, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(page.st_mode);
            if (whole) {
                ::utimensat(rootFd.fd, key.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
                trimCache(rootFd.fd, key, pathKey, limits.keptIndexes);
                return result;
            }
        }
        removeTree(rootFd.fd, key);
    }

    // Unpacked beside, then renamed: a folder of that name is always complete.
    std::string workName;
    for (int attempt = 0; attempt < 16 && workName.empty(); ++attempt) {
        const std::string name = randomName();
        if (::mkdirat(rootFd.fd, name.c_str(), 0700) == 0)
            workName = name;
        else if (errno != EEXIST)
            break;
    }
    if (workName.empty())
        return failure(ViewError::CannotWriteCache, cannotWrite + ".");
    Fd work(openFolderAt(rootFd.fd, workName.c_str()));
    if (work.fd < 0 || ::flock(work.fd, LOCK_EX | LOCK_NB) != 0) {
        removeTree(rootFd.fd, workName);
        return failure(ViewError::CannotWriteCache, cannotWrite + ".");
    }
    auto abandon = [&](ViewError error, const std::string& message) {
        removeTree(rootFd.fd, workName);
        return failure(error, message);
    };

    // Section 0 first, then the compressed section front to back, so that its decoder only
    // ever runs forward.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.file->section->id != b.file->section->id)
            return a.file->section->id < b.file->section->id;
        return a.file->offset < b.file->offset;
    });
    for (const Entry& e : entries) {
        std::string leaf;
        Fd parent(openParent(work.fd, e.relative, &leaf, true));
        Fd out(parent.fd < 0
                   ? -1
                   : ::openat(parent.fd, leaf.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (out.fd < 0) {
            if (errno == EEXIST || errno == ENOTDIR || errno == EISDIR)
                return abandon(ViewError::Damaged, damaged + "the entry " +
                                                       quotedName(e.file->filename) +
                                                       " is there twice or inside a page.");
            return abandon(ViewError::CannotWriteCache, cannotWrite + ": " +
                                                            quotedName(e.relative) + ", " +
                                                            std::strerror(errno) + ".");
        }
        Stream stream;
        stream.fd = out.fd;
        if (!reader.extract(e.file, &stream))
            return abandon(ViewError::Damaged, damaged + "the entry " +
                                                   quotedName(e.file->filename) +
                                                   " can't be read whole.");
        const int fd = out.fd;
        out.fd = -1;
        if (::close(fd) != 0)
            return abandon(ViewError::CannotWriteCache, cannotWrite + ".");
    }
    bool renamed = ::renameat(rootFd.fd, workName.c_str(), rootFd.fd, key.c_str()) == 0;
    struct stat other {};
    if (!renamed && ::fstatat(rootFd.fd, key.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(other.st_mode)) {
        // Something put there meanwhile that is no folder (a link): it is replaced.
        ::unlinkat(rootFd.fd, key.c_str(), 0);
        renamed = ::renameat(rootFd.fd, workName.c_str(), rootFd.fd, key.c_str()) == 0;
    }
    if (!renamed) {
        // Another viewer unpacked the same file meanwhile: its folder serves.
        const bool theirs = ::fstatat(rootFd.fd, key.c_str(), &other, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISDIR(other.st_mode);
        removeTree(rootFd.fd, workName);
        if (!theirs)
            return failure(ViewError::CannotWriteCache, cannotWrite + ".");
    }
    trimCache(rootFd.fd, key, pathKey, limits.keptIndexes);
    return result;
}

} // namespace kvx::hh
