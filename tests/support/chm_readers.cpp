#include "support/chm_readers.h"

#include <chm_lib.h>
#include <mspack.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace kvxtest {

namespace {

// libmspack reads and writes through these: "in" is the file in memory, anything opened for
// writing lands in `output`.
struct MemFile {
    const std::string* source = nullptr;
    std::string* sink = nullptr;
    std::size_t pos = 0;
};

mspack_file* memOpen(mspack_system* self, const char* name, int mode) {
    auto* m = reinterpret_cast<MspackMemory*>(self);
    auto* f = new MemFile;
    if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, "in") == 0) {
        f->source = m->input;
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        m->output.clear();
        f->sink = &m->output;
    } else {
        delete f;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(f);
}
void memClose(mspack_file* file) {
    delete reinterpret_cast<MemFile*>(file);
}
int memRead(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<MemFile*>(file);
    if (!f->source || bytes < 0)
        return -1;
    const std::size_t left = f->source->size() - f->pos;
    const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(bytes));
    std::memcpy(buffer, f->source->data() + f->pos, n);
    f->pos += n;
    return static_cast<int>(n);
}
int memWrite(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<MemFile*>(file);
    if (!f->sink || bytes < 0)
        return -1;
    f->sink->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    return bytes;
}
int memSeek(mspack_file* file, off_t offset, int mode) {
    auto* f = reinterpret_cast<MemFile*>(file);
    const off_t size = static_cast<off_t>(f->source ? f->source->size() : f->sink->size());
    off_t to = offset;
    if (mode == MSPACK_SYS_SEEK_CUR)
        to += static_cast<off_t>(f->pos);
    else if (mode == MSPACK_SYS_SEEK_END)
        to += size;
    if (to < 0 || to > size)
        return -1;
    f->pos = static_cast<std::size_t>(to);
    return 0;
}
off_t memTell(mspack_file* file) {
    return static_cast<off_t>(reinterpret_cast<MemFile*>(file)->pos);
}
void memMessage(mspack_file*, const char*, ...) {}
void* memAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}
void memFree(void* p) {
    std::free(p);
}
void memCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

struct Mspack {
    MspackMemory mem;
    mschm_decompressor* chmd = nullptr;
    explicit Mspack(const std::string& bytes) : mem(bytes) {
        chmd = mspack_create_chm_decompressor(&mem.sys);
    }
    ~Mspack() {
        if (chmd)
            mspack_destroy_chm_decompressor(chmd);
    }
};

} // namespace

MspackMemory::MspackMemory(const std::string& in)
    : sys{memOpen,    memClose, memRead, memWrite, memSeek, memTell,
          memMessage, memAlloc, memFree, memCopy,  nullptr},
      input(&in) {}

namespace {

// The writer's own files at the top ("/#SYSTEM", ...) are not among the files given to it.
bool isContentName(const std::string& name) {
    for (const char* own : {"/#SYSTEM", "/#IDXHDR", "/#ITBITS", "/#STRINGS"})
        if (name == own)
            return false;
    return name.size() >= 2 && name[0] == '/' && name.back() != '/';
}

} // namespace

ChmReadResult readWithMspack(const std::string& chmBytes) {
    ChmReadResult r;
    Mspack m(chmBytes);
    mschmd_header* h = m.chmd->open(m.chmd, "in");
    if (!h) {
        r.problem =
            "libmspack cannot open the file: error " + std::to_string(m.chmd->last_error(m.chmd));
        return r;
    }
    r.ok = true;
    for (mschmd_file* f = h->files; f; f = f->next) {
        const std::string name = f->filename;
        if (!isContentName(name))
            continue;
        if (m.chmd->extract(m.chmd, f, "out") != MSPACK_ERR_OK) {
            r.ok = false;
            r.problem = "libmspack cannot extract \"" + name + "\": error " +
                        std::to_string(m.chmd->last_error(m.chmd));
            break;
        }
        if (!r.files.emplace(name, m.mem.output).second) {
            r.ok = false;
            r.problem = "libmspack lists \"" + name + "\" twice";
            break;
        }
    }
    m.chmd->close(m.chmd, h);
    return r;
}

bool findWithMspack(const std::string& chmBytes, const std::string& name, std::string& content) {
    Mspack m(chmBytes);
    mschmd_header* h = m.chmd->fast_open(m.chmd, "in");
    if (!h)
        return false;
    mschmd_file f{};
    bool found = m.chmd->fast_find(m.chmd, h, name.c_str(), &f, sizeof f) == MSPACK_ERR_OK &&
                 f.section != nullptr && m.chmd->extract(m.chmd, &f, "out") == MSPACK_ERR_OK;
    if (found)
        content = m.mem.output;
    m.chmd->close(m.chmd, h);
    return found;
}

namespace {

int collect(chmFile*, chmUnitInfo* ui, void* context) {
    static_cast<std::vector<chmUnitInfo>*>(context)->push_back(*ui);
    return CHM_ENUMERATOR_CONTINUE;
}

bool retrieve(chmFile* h, chmUnitInfo& ui, std::string& content) {
    content.assign(static_cast<std::size_t>(ui.length), '\0');
    if (ui.length == 0)
        return true;
    return chm_retrieve_object(h, &ui, reinterpret_cast<unsigned char*>(content.data()), 0,
                               static_cast<LONGINT64>(ui.length)) ==
           static_cast<LONGINT64>(ui.length);
}

} // namespace

ChmReadResult readWithChmlib(const std::string& chmPath) {
    ChmReadResult r;
    chmFile* h = chm_open(chmPath.c_str());
    if (!h) {
        r.problem = "chmlib cannot open the file";
        return r;
    }
    std::vector<chmUnitInfo> units;
    if (chm_enumerate(h, CHM_ENUMERATE_ALL, collect, &units) == 0) {
        r.problem = "chmlib cannot list the file";
        chm_close(h);
        return r;
    }
    r.ok = true;
    for (chmUnitInfo& ui : units) {
        const std::string name = ui.path;
        if (!isContentName(name))
            continue;
        std::string content;
        if (!retrieve(h, ui, content)) {
            r.ok = false;
            r.problem = "chmlib cannot retrieve \"" + name + "\"";
            break;
        }
        if (!r.files.emplace(name, content).second) {
            r.ok = false;
            r.problem = "chmlib lists \"" + name + "\" twice";
            break;
        }
    }
    chm_close(h);
    return r;
}

bool findWithChmlib(const std::string& chmPath, const std::string& name, std::string& content) {
    chmFile* h = chm_open(chmPath.c_str());
    if (!h)
        return false;
    chmUnitInfo ui{};
    const bool found =
        chm_resolve_object(h, name.c_str(), &ui) == CHM_RESOLVE_SUCCESS && retrieve(h, ui, content);
    chm_close(h);
    return found;
}

namespace {

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// 7-Zip also unpacks the system files, under their own names or "::"- and "["-prefixed ones.
bool isSystemName(const std::string& relative) {
    return !isContentName("/" + relative) || relative.rfind("::", 0) == 0 ||
           relative.rfind("[", 0) == 0;
}

} // namespace

ChmReadResult readWith7z(const std::string& chmPath, const std::string& outDir) {
    ChmReadResult r;
    if (!run("7z t " + quoted(chmPath))) {
        r.problem = "7z t fails";
        return r;
    }
    std::error_code ec;
    fs::remove_all(outDir, ec);
    fs::create_directories(outDir);
    if (!run("7z x -y -o" + quoted(outDir) + " " + quoted(chmPath))) {
        r.problem = "7z x fails";
        return r;
    }
    r.ok = true;
    for (const auto& e : fs::recursive_directory_iterator(outDir)) {
        if (!e.is_regular_file())
            continue;
        const std::string relative = fs::relative(e.path(), outDir).string();
        if (isSystemName(relative))
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        r.files.emplace("/" + relative, bytes.str());
    }
    return r;
}

} // namespace kvxtest
