#include "chm_extract.h"

#include "chm/chm_names.h"
#include "chm_cache.h"
#include "chm_reader.h"
#include "files/ascii.h"
#include "files/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvx::hh {

using namespace detail;

namespace {

// The system files read for the start page are small; more is not read.
constexpr std::uint64_t kMaxSystemFile = 1 << 20;

Extraction failure(ViewError error, const std::string& message) {
    Extraction e;
    e.error = error;
    e.message = message;
    return e;
}

std::string quotedName(const std::string& bytes) {
    return "\"" + shownName(bytes) + "\"";
}

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
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
    return endsWithIgnoringAsciiCase(name, ".htm") || endsWithIgnoringAsciiCase(name, ".html");
}

struct Entry {
    mschmd_file* file;
    std::string relative;
};

// The entry's path relative to the cache folder, or empty when the name is unsafe: "..", "."
// or empty components (so absolute paths too), or no "/" in front. Any other byte is a legal
// name here, control characters included.
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
            return relative;
        start = end + 1;
    }
}

std::string mib(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

} // namespace

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
            if (equalIgnoringAsciiCase(p, c))
                return p;
    }
    for (const std::string& p : sorted)
        if (endsWithPage(p))
            return p;
    return {};
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
    const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);

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
    const std::uint64_t section0End =
        fileSize - std::min<std::uint64_t>(static_cast<std::uint64_t>(h->sec0.offset), fileSize);
    // A system file of section 0, or empty when it is not there whole.
    auto readSection0 = [&](const mschmd_file* f, std::uint64_t most) {
        std::string bytes;
        if (!f || f->section->id != 0 || f->offset < 0 || f->length <= 0 ||
            static_cast<std::uint64_t>(f->length) > most ||
            static_cast<std::uint64_t>(f->offset) > section0End - f->length)
            return bytes;
        bytes.resize(static_cast<std::size_t>(f->length));
        const off_t at = static_cast<off_t>(h->sec0.offset + f->offset);
        if (::pread(input.fd, bytes.data(), bytes.size(), at) != f->length)
            bytes.clear();
        return bytes;
    };

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
    const std::string span = readSection0(h->sec1.spaninfo, 1000000);
    const std::string resetTable = readSection0(h->sec1.rtable, 1000000);
    const std::uint64_t compressedSpan = span.size() >= 8          ? le(span, 0, 8)
                                         : resetTable.size() >= 24 ? le(resetTable, 0x10, 8)
                                                                   : 0;
    // True when the entry lies inside its section.
    auto inside = [&](const mschmd_file* f) {
        const std::uint64_t end = f->section->id == 0 ? section0End : compressedSpan;
        return f->offset >= 0 && f->length >= 0 && static_cast<std::uint64_t>(f->offset) <= end &&
               static_cast<std::uint64_t>(f->length) <= end - static_cast<std::uint64_t>(f->offset);
    };
    // What this file may hold, from its size and the sections it declares.
    const std::uint64_t mostEntries =
        limits.fromFile && limits.bytesPerEntry
            ? std::max(limits.entries, fileSize / limits.bytesPerEntry)
            : limits.entries;
    const std::uint64_t mostBytes =
        limits.fromFile ? std::max(limits.totalBytes, compressedSpan > UINT64_MAX - section0End
                                                          ? UINT64_MAX
                                                          : section0End + compressedSpan)
                        : limits.totalBytes;
    Extraction result;
    for (mschmd_file* f = h->files; f; f = f->next) {
        if (++count > mostEntries)
            return failure(ViewError::TooLarge, "The file " + shown + " holds more than " +
                                                    std::to_string(mostEntries) +
                                                    " entries, the most hh.exe unpacks from a "
                                                    "file of its size.");
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
        if (name[0] != '/' || chm::isSystemName(name.c_str()) ||
            (name.back() == '/' && f->length == 0))
            continue;
        const std::string relative = nameHoldsNul(f) ? std::string() : safeRelativePath(name);
        if (relative.empty()) {
            result.warnings.push_back("The entry " + quotedName(name) + " of the file " + shown +
                                      " is skipped: its name can't be unpacked safely.");
            continue;
        }
        const std::uint64_t length = static_cast<std::uint64_t>(f->length);
        if (!inside(f))
            return failure(ViewError::Damaged, damaged + "the entry " + quotedName(name) +
                                                   " lies beyond the end of its section.");
        if (length > mostBytes - total)
            return failure(ViewError::TooLarge, "The file " + shown + " holds more than " +
                                                    mib(mostBytes) +
                                                    " of pages, the most hh.exe unpacks.");
        total += length;
        entries.push_back({f, relative});
    }

    // Unpacked in this order: the start page's records, then section 0, then the compressed
    // section front to back, so that its decoder runs forward wherever the entries let it.
    std::vector<mschmd_file*> records;
    for (mschmd_file* f : {systemFile, windowsFile, stringsFile})
        if (f && f->length > 0 && static_cast<std::uint64_t>(f->length) <= kMaxSystemFile &&
            inside(f))
            records.push_back(f);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.file->section->id != b.file->section->id)
            return a.file->section->id < b.file->section->id;
        return a.file->offset < b.file->offset;
    });
    std::vector<Step> steps;
    for (const mschmd_file* f : records)
        steps.push_back({f->section->id == 1, static_cast<std::uint64_t>(f->offset),
                         static_cast<std::uint64_t>(f->length)});
    for (const Entry& e : entries)
        steps.push_back({e.file->section->id == 1, static_cast<std::uint64_t>(e.file->offset),
                         static_cast<std::uint64_t>(e.file->length)});
    const Work cost =
        workOf(steps, resetPoints(readSection0(h->sec1.control, 28), resetTable), limits.entryCost);
    const std::uint64_t mostDecoded = scaled(fileSize, limits.decodedPerByte, limits.decodedFloor);
    const std::uint64_t mostWritten = scaled(fileSize, limits.writtenPerByte, limits.writtenFloor);
    if (cost.decoded > mostDecoded)
        return failure(ViewError::TooLarge,
                       "The file " + shown + " takes more than " + mib(mostDecoded) +
                           " of decoding to unpack, the most hh.exe does for a file of its size.");
    if (cost.written > mostWritten)
        return failure(ViewError::TooLarge, "The file " + shown + " unpacks to more than " +
                                                mib(mostWritten) +
                                                ", the most hh.exe writes for a file of its size.");

    // The start page, from the compiler's own records.
    auto readSmall = [&](mschmd_file* f) {
        std::string data;
        if (std::find(records.begin(), records.end(), f) == records.end())
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

    const std::string cannotWrite = "The cache folder " + quotedName(root) + " can't be written: ";
    auto cacheError = [&](int error) {
        return failure(ViewError::CannotWriteCache, cannotWrite + std::strerror(error) + ".");
    };
    if (const int error = makeFolders(root))
        return cacheError(error);
    Fd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (rootFd.fd < 0)
        return cacheError(errno);
    removeStaleWork(rootFd.fd);
    result.folder = root + "/" + key;
    result.topic = topic;

    // Unchanged since it was unpacked: the same folder serves again, if its start page is
    // still there. Anything else of that name (a link, a file) is replaced.
    if (holdsPage(rootFd.fd, key, topic)) {
        ::utimensat(rootFd.fd, key.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
        trimCache(rootFd.fd, key, pathKey, limits.keptIndexes);
        return result;
    }
    removeTree(rootFd.fd, key);

    // Unpacked beside, then renamed: a folder of that name is always complete.
    std::string workName;
    Fd work;
    if (const int error = makeWorkFolder(rootFd.fd, &workName, &work))
        return cacheError(error);
    auto abandon = [&](Extraction e) {
        removeTree(rootFd.fd, workName);
        return e;
    };
    for (const Entry& e : entries) {
        std::string leaf;
        Fd parent(openParent(work.fd, e.relative, &leaf, true));
        Fd out(parent.fd < 0
                   ? -1
                   : ::openat(parent.fd, leaf.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (out.fd < 0) {
            const int error = errno;
            if (error == EEXIST || error == ENOTDIR || error == EISDIR)
                return abandon(failure(ViewError::Damaged,
                                       damaged + "the entry " + quotedName(e.file->filename) +
                                           " is there twice or inside a page."));
            return abandon(
                failure(ViewError::CannotWriteCache,
                        cannotWrite + quotedName(e.relative) + ", " + std::strerror(error) + "."));
        }
        Stream stream;
        stream.fd = out.fd;
        if (!reader.extract(e.file, &stream)) {
            if (stream.error)
                return abandon(failure(ViewError::CannotWriteCache,
                                       cannotWrite + quotedName(e.relative) + ", " +
                                           std::strerror(stream.error) + "."));
            return abandon(failure(ViewError::Damaged, damaged + "the entry " +
                                                           quotedName(e.file->filename) +
                                                           " can't be read whole."));
        }
        const int fd = out.fd;
        out.fd = -1;
        if (::close(fd) != 0) {
            const int error = errno;
            return abandon(
                failure(ViewError::CannotWriteCache,
                        cannotWrite + quotedName(e.relative) + ", " + std::strerror(error) + "."));
        }
    }
    if (const int error = publish(rootFd.fd, workName, key))
        return cacheError(error);
    trimCache(rootFd.fd, key, pathKey, limits.keptIndexes);
    return result;
}

} // namespace kvx::hh
