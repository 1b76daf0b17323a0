#include "files/folder_work.h"

#include "files/paths.h"
#include "files/staged_replacements.h"
#include "files/temporary_names.h"
#include "files/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kvx {

namespace {

constexpr const char* kWorkPrefix = "w-";
constexpr const char* kTurnPrefix = "turn-";
constexpr std::size_t kMarkerBytes = 512;

// What tells this machine from others sharing the folder: its machine id, else its name.
const std::string& thisMachine() {
    static const std::string machine = [] {
        for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
            std::string bytes, error;
            if (readWholeFile(file, bytes, error, 4096) == ReadStatus::Ok) {
                bytes.erase(std::remove_if(bytes.begin(), bytes.end(),
                                           [](char c) { return c == '\n' || c == ' '; }),
                            bytes.end());
                if (!bytes.empty())
                    return bytes;
            }
        }
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        return std::string("host:") + host;
    }();
    return machine;
}

std::string randomLetters(std::size_t count) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[16];
    std::string out;
    while (out.size() < count) {
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            continue;
        for (const unsigned char byte : random)
            if (out.size() < count)
                out += kLetters[byte % (sizeof kLetters - 1)];
    }
    return out;
}

// The marker's text: who holds it and how often it was refreshed. The same length each time,
// so a refresh rewrites it in place.
std::string markerText(long pid, std::uint64_t beats) {
    char count[24];
    std::snprintf(count, sizeof count, "%020llu", static_cast<unsigned long long>(beats));
    return "korvenix at work\n" + thisMachine() + "\n" + std::to_string(pid) + "\n" + count + "\n";
}

enum class Life { Live, Dead };

// Whether the holder of the marker at `path` still works. `folderNow` is the folder's clock.
// A dead marker is removed here, while its lock is held where locks work.
Life judge(const std::string& path, const struct timespec& folderNow) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Life::Dead : Life::Live;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Life::Live; // nothing of ours: not judged, not touched
    }
    char text[kMarkerBytes] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    std::string machine;
    long pid = 0;
    if (n > 0) {
        const std::string bytes(text, static_cast<std::size_t>(n));
        const std::size_t first = bytes.find('\n');
        const std::size_t second = first == bytes.npos ? bytes.npos : bytes.find('\n', first + 1);
        if (second != bytes.npos) {
            machine = bytes.substr(first + 1, second - first - 1);
            pid = std::strtol(bytes.c_str() + second + 1, nullptr, 10);
        }
    }
    Life life;
    if (!machine.empty() && machine == thisMachine()) {
        // On this machine the holder's lock tells at once.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            life = Life::Dead;
        else if (errno == EWOULDBLOCK)
            life = Life::Live;
        else // no locks here: whether the process is still there
            life = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
                       ? Life::Live
                       : Life::Dead;
    } else {
        // Another machine's (or one not written yet): its age on the folder's clock. A time
        // ahead of it counts as fresh.
        const long age = static_cast<long>(folderNow.tv_sec - st.st_mtim.tv_sec);
        life = age < kMarkerStaleSeconds ? Life::Live : Life::Dead;
    }
    if (life == Life::Dead) {
        // Only the file judged: a new marker made under the name meanwhile stays.
        struct stat now {};
        if (::lstat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev)
            ::unlink(path.c_str());
    }
    ::close(fd);
    return life;
}

} // namespace

// A marker file held open and locked, rewritten every few seconds by a thread of its own.
class Marker {
public:
    // Makes `name` (a random one when empty) in the folder's work folder; nullptr with `err`
    // set when it cannot, EEXIST when `name` is taken.
    static std::unique_ptr<Marker> create(const std::string& folder, const std::string& name,
                                          int& err) {
        const std::string dir = joinPath(folder, kWorkFolderName);
        for (int attempt = 0; attempt < 8; ++attempt) {
            if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
                err = errno;
                return nullptr;
            }
            const std::string bare = name.empty() ? kWorkPrefix + randomLetters(6) : name;
            const std::string path = joinPath(dir, bare);
            const int fd =
                ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0) {
                err = errno;
                // The work folder went with another copy's last marker: made again.
                if (err == ENOENT || (err == EEXIST && name.empty()))
                    continue;
                return nullptr;
            }
            // Held for our whole life: on this machine the lock tells that we still work.
            ::flock(fd, LOCK_EX | LOCK_NB);
            std::unique_ptr<Marker> marker(new Marker(dir, path, bare, fd));
            // A local disk stamps the time as it writes; a share only once the write reaches
            // the server, so there each refresh is flushed.
            marker->m_flush = !folderFlushedBySyncfs(dir);
            if (!marker->refresh()) {
                err = errno ? errno : EIO;
                return nullptr;
            }
            marker->m_thread = std::thread([m = marker.get()] { m->beat(); });
            return marker;
        }
        err = EEXIST;
        return nullptr;
    }

    ~Marker() {
        if (m_thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_stopping = true;
            }
            m_wake.notify_one();
            m_thread.join();
        }
        struct stat mine {
        }, now{};
        if (::fstat(m_fd, &mine) == 0 && ::lstat(m_path.c_str(), &now) == 0 &&
            mine.st_ino == now.st_ino && mine.st_dev == now.st_dev)
            ::unlink(m_path.c_str());
        ::close(m_fd);
        ::rmdir(m_dir.c_str()); // only when no other copy's marker is left in it
    }

    const std::string& name() const { return m_name; }

private:
    Marker(std::string dir, std::string path, std::string name, int fd)
        : m_dir(std::move(dir)), m_path(std::move(path)), m_name(std::move(name)), m_fd(fd) {}

    // A write, not a change of times: the file system stamps it with the folder's clock.
    bool refresh() {
        errno = 0;
        return writeAll(m_fd, markerText(::getpid(), ++m_beats), 0) &&
               (!m_flush || ::fsync(m_fd) == 0);
    }

    void beat() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::seconds(kMarkerBeatSeconds),
                                [this] { return m_stopping; }))
            refresh(); // a share that is down misses a beat; the next one tries again
    }

    std::string m_dir, m_path, m_name;
    int m_fd;
    std::uint64_t m_beats = 0;
    bool m_flush = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

FolderWork::FolderWork() = default;
FolderWork::~FolderWork() = default;

bool FolderWork::begin(const std::string& folder, std::string& error) {
    end();
    int err = 0;
    m_marker = Marker::create(folder, std::string(), err);
    if (!m_marker)
        error = "cannot mark the work in '" + folder + "': " + std::strerror(err);
    return m_marker != nullptr;
}

void FolderWork::end() {
    m_marker.reset();
}

std::string FolderWork::name() const {
    return m_marker ? m_marker->name() : std::string();
}

FolderTurn::FolderTurn() = default;
FolderTurn::~FolderTurn() = default;

std::string FolderTurn::nameFor(const std::string& file) {
    return kTurnPrefix + file;
}

FolderTurn::Outcome FolderTurn::tryTake(const std::string& folder, const std::string& file,
                                        std::string& error, const std::string& ownMarker) {
    release();
    const std::string name = nameFor(file);
    for (int attempt = 0; attempt < 2; ++attempt) {
        int err = 0;
        m_marker = Marker::create(folder, name, err);
        if (m_marker)
            return Outcome::Taken;
        if (err != EEXIST) {
            error =
                "cannot take the turn for '" + joinPath(folder, file) + "': " + std::strerror(err);
            return Outcome::Failed;
        }
        // Held: by a live copy, or left by one that ended (then it goes, and we try again).
        // Its age is judged on the folder's clock: the time of our own marker there, else of a
        // fresh write made for the purpose.
        const std::string workDir = joinPath(folder, kWorkFolderName);
        std::unique_ptr<Marker> probe;
        std::string clock = ownMarker;
        if (clock.empty()) {
            int probeErr = 0;
            probe = Marker::create(folder, std::string(), probeErr);
            if (probe)
                clock = probe->name();
        }
        struct stat stamped {};
        if (clock.empty() || ::stat(joinPath(workDir, clock).c_str(), &stamped) != 0 ||
            judge(joinPath(workDir, name), stamped.st_mtim) == Life::Live)
            return Outcome::Busy;
    }
    return Outcome::Busy;
}

void FolderTurn::release() {
    m_marker.reset();
}

LeftoverSweep removeLeftoversWhenAlone(const std::string& folder,
                                       const std::vector<std::string>& ours,
                                       const std::vector<std::uint32_t>* keys) {
    LeftoverSweep sweep;
    // The temporaries first, the markers after: a copy that begins meanwhile marks itself
    // before it stages anything, so no file of its can be among those listed here.
    std::vector<std::string> temporaries;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            std::uint32_t key = 0;
            if (keyOfTemporary(entry->d_name, key) &&
                (!keys || std::find(keys->begin(), keys->end(), key) != keys->end()))
                temporaries.push_back(entry->d_name);
        }
        ::closedir(dir);
    }
    sweep.kept = temporaries.size();

    const std::string workDir = joinPath(folder, kWorkFolderName);
    // Our own marker's time is the folder's clock; without it nothing can be judged.
    struct stat own {};
    bool ownSeen = false;
    for (const std::string& name : ours)
        if (!name.empty() && ::stat(joinPath(workDir, name).c_str(), &own) == 0) {
            ownSeen = true;
            break;
        }
    if (!ownSeen)
        return sweep;
    std::vector<std::string> markers;
    if (DIR* dir = ::opendir(workDir.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." &&
                std::find(ours.begin(), ours.end(), name) == ours.end())
                markers.push_back(name);
        }
        ::closedir(dir);
    }
    sweep.alone = true;
    for (const std::string& name : markers)
        if (judge(joinPath(workDir, name), own.st_mtim) == Life::Live)
            sweep.alone = false;
    if (!sweep.alone)
        return sweep;
    for (const std::string& name : temporaries) {
        if (removeUnheldTemporary(joinPath(folder, name))) {
            ++sweep.removed;
            --sweep.kept;
        }
    }
    return sweep;
}

std::string workMarkerText(long pid) {
    return markerText(pid, 0);
}

std::vector<std::string> inheritedWork() {
    std::vector<std::string> names;
    const char* value = std::getenv(kInheritedWorkVariable);
    if (!value)
        return names;
    std::string current;
    for (const char* p = value;; ++p) {
        if (*p == ' ' || *p == '\0') {
            if (!current.empty() && current.find('/') == current.npos)
                names.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current += *p;
        }
    }
    return names;
}

} // namespace kvx
