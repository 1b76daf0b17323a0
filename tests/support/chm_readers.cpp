#include "support/chm_readers.h"

#include "chm/chm_names.h"
#include "support/shell_quote.h"

#include <chm_lib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace kvxtest {

namespace {

// An open file of an MspackMemory: the input read, or the output written.
struct MemFile {
    const std::string* in;
    std::string* out;
    std::size_t pos = 0;
};

MemFile* mem(mspack_file* f) {
    return reinterpret_cast<MemFile*>(f);
}
void quiet(mspack_file*, const char*, ...) {}

} // namespace

MspackMemory::MspackMemory(const std::string& in) : input(&in) {
    sys.open = [](mspack_system* self, const char* name, int mode) -> mspack_file* {
        auto* m = reinterpret_cast<MspackMemory*>(self);
        if (mode == MSPACK_SYS_OPEN_WRITE) {
            m->output.clear();
            return reinterpret_cast<mspack_file*>(new MemFile{nullptr, &m->output});
        }
        if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, "in") == 0)
            return reinterpret_cast<mspack_file*>(new MemFile{m->input, nullptr});
        return nullptr;
    };
    sys.close = [](mspack_file* f) { delete mem(f); };
    sys.read = [](mspack_file* file, void* buffer, int bytes) {
        MemFile* f = mem(file);
        if (!f->in || bytes < 0)
            return -1;
        const std::size_t n = std::min(f->in->size() - f->pos, static_cast<std::size_t>(bytes));
        std::memcpy(buffer, f->in->data() + f->pos, n);
        f->pos += n;
        return static_cast<int>(n);
    };
    sys.write = [](mspack_file* file, void* buffer, int bytes) {
        if (!mem(file)->out || bytes < 0)
            return -1;
        mem(file)->out->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
        return bytes;
    };
    sys.seek = [](mspack_file* file, off_t offset, int mode) {
        MemFile* f = mem(file);
        const off_t size = static_cast<off_t>(f->in ? f->in->size() : f->out->size());
        const off_t to = offset + (mode == MSPACK_SYS_SEEK_CUR   ? static_cast<off_t>(f->pos)
                                   : mode == MSPACK_SYS_SEEK_END ? size
                                                                 : 0);
        if (to < 0 || to > size)
            return -1;
        f->pos = static_cast<std::size_t>(to);
        return 0;
    };
    sys.tell = [](mspack_file* f) { return static_cast<off_t>(mem(f)->pos); };
    sys.message = quiet;
    sys.alloc = [](mspack_system*, size_t bytes) { return std::malloc(bytes); };
    sys.free = [](void* p) { std::free(p); };
    sys.copy = [](void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); };
    sys.null_ptr = nullptr;
}

namespace {

// The writer's own files at the top ("/#SYSTEM", "/#TOPICS", ...) are not among the files
// given to it.
bool isContentName(const std::string& name) {
    return name.size() >= 2 && name[0] == '/' && name.back() != '/' &&
           !kvx::chm::isSystemName(name.c_str());
}

// Keeps a listed file's content; false, with the problem noted, when it cannot be kept.
bool keep(ChmReadResult& r, const char* reader, const std::string& name, bool read,
          const std::string& content) {
    if (!read)
        r.problem = std::string(reader) + " cannot read \"" + name + "\"";
    else if (!r.files.emplace(name, content).second)
        r.problem = std::string(reader) + " lists \"" + name + "\" twice";
    return r.problem.empty();
}

bool retrieve(chmFile* h, chmUnitInfo& ui, std::string& content) {
    content.assign(static_cast<std::size_t>(ui.length), '\0');
    const auto length = static_cast<LONGINT64>(ui.length);
    return length == 0 ||
           chm_retrieve_object(h, &ui, reinterpret_cast<unsigned char*>(content.data()), 0,
                               length) == length;
}

bool run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

ChmReadResult readWithMspack(const std::string& chmBytes, const std::vector<std::string>& lookups) {
    ChmReadResult r;
    MspackMemory m(chmBytes);
    mschm_decompressor* d = mspack_create_chm_decompressor(&m.sys);
    mschmd_header* h = d ? d->open(d, "in") : nullptr;
    if (!h)
        r.problem = "libmspack cannot open the file";
    for (mschmd_file* f = h ? h->files : nullptr; f; f = f->next)
        if (isContentName(f->filename) &&
            !keep(r, "libmspack", f->filename, d->extract(d, f, "out") == MSPACK_ERR_OK, m.output))
            break;
    for (const std::string& name : lookups) {
        mschmd_file f{};
        if (h && d->fast_find(d, h, name.c_str(), &f, sizeof f) == MSPACK_ERR_OK && f.section &&
            d->extract(d, &f, "out") == MSPACK_ERR_OK)
            r.found[name] = m.output;
    }
    if (h)
        d->close(d, h);
    if (d)
        mspack_destroy_chm_decompressor(d);
    r.ok = r.problem.empty();
    return r;
}

ChmReadResult readWithChmlib(const std::string& chmPath, const std::vector<std::string>& lookups) {
    ChmReadResult r;
    chmFile* h = chm_open(chmPath.c_str());
    std::vector<chmUnitInfo> units;
    const auto collect = [](chmFile*, chmUnitInfo* ui, void* units) {
        static_cast<std::vector<chmUnitInfo>*>(units)->push_back(*ui);
        return CHM_ENUMERATOR_CONTINUE;
    };
    if (!h || chm_enumerate(h, CHM_ENUMERATE_ALL, collect, &units) == 0)
        r.problem = "chmlib cannot open and list the file";
    std::string content;
    for (chmUnitInfo& ui : units)
        if (isContentName(ui.path) &&
            !keep(r, "chmlib", ui.path, retrieve(h, ui, content), content))
            break;
    for (const std::string& name : lookups) {
        chmUnitInfo ui{};
        if (h && chm_resolve_object(h, name.c_str(), &ui) == CHM_RESOLVE_SUCCESS &&
            retrieve(h, ui, content))
            r.found[name] = content;
    }
    if (h)
        chm_close(h);
    r.ok = r.problem.empty();
    return r;
}

ChmReadResult readWith7z(const std::string& chmPath, const std::string& outDir) {
    ChmReadResult r;
    std::error_code ec;
    fs::remove_all(outDir, ec);
    const std::string file = shellQuoted(chmPath);
    if (!run("7z t " + file + " && 7z x -y -o" + shellQuoted(outDir) + " " + file)) {
        r.problem = "7z t or 7z x fails";
        return r;
    }
    // 7-Zip also unpacks the system files, under their own names or "::"- and "["-prefixed ones.
    for (const auto& e : fs::recursive_directory_iterator(outDir)) {
        const std::string relative = fs::relative(e.path(), outDir).string();
        if (!e.is_regular_file() || !isContentName("/" + relative) ||
            relative.rfind("::", 0) == 0 || relative.rfind("[", 0) == 0)
            continue;
        std::ifstream in(e.path(), std::ios::binary);
        r.files["/" + relative].assign(std::istreambuf_iterator<char>(in), {});
    }
    r.ok = r.problem.empty();
    return r;
}

} // namespace kvxtest
