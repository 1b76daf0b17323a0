// The file, front to back:
//   ITSF header (version 3) | header section 0 (the file's length) | header section 1: the
//   ITSP directory header and its 4 KiB chunks (PMGL listing chunks, then PMGI index chunks
//   when there are several listing chunks), in room kept for them | content section 0.
// Content section 0 holds first the LZX stream of the MSCompressed section
// (::DataSpace/Storage/MSCompressed/Content), into which every "/..." file goes in directory
// order, then the system files stored as they are. The stream goes to the file as it is made;
// the front is written last, once every offset is known.
//
// What readers check, and so what must be exact here:
// - the "ITSF" signature and both header GUIDs (libmspack refuses the file otherwise), the
//   offsets of header section 1 and of content section 0, the file length of header section 0;
// - in ITSP: chunk size (at most 8 KiB for libmspack; 4 KiB is what everyone writes), the
//   quick-reference density, the index root (-1 or a chunk number below the chunk count), the
//   first and last listing chunk, the chunk count;
// - per chunk: "PMGL"/"PMGI", the free-space length (chmlib stops reading entries where the
//   free space begins; libmspack reads the quick-reference area from the end of the chunk and
//   the entry count from its last two bytes), PMGL's next-chunk link (chmlib lists entries by
//   following it from the first listing chunk);
// - entries sorted the way libmspack's lookup compares names (UTF-8 decoded, case folded),
//   since it binary-searches the quick-reference entries and then reads forward;
// - ControlData exactly 28 bytes, "LZXC", version 2 with the reset interval and the window in
//   32 KiB units; chmlib also wants the reset interval to be a multiple of half the window;
// - the reset table: frame length 32 KiB, 8-byte entries, an entry for every frame (one more
//   here: the stream's end), the uncompressed and compressed lengths. libmspack rounds the
//   uncompressed length up to a whole reset interval and chmlib always decodes whole frames,
//   so the section is padded with zeros to a reset point; the table's compressed length
//   leaves out the spare word after the last frame (7-Zip wants every byte it is given used);
// - ::DataSpace/NameList (7-Zip reads the section names from it).
#include "chm/chm_writer.h"

#include "chm/chm_directory.h"
#include "chm/chm_names.h"
#include "chm/lzx_encoder.h"
#include "chm/ordered_pool.h"
#include "chm/topic_tables.h"
#include "files/atomic_file.h"
#include "files/paths.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>
#include <string_view>

namespace kvx::chm {

namespace {

constexpr std::uint32_t kItsfSize = 0x60;
constexpr std::uint32_t kSection0HeaderSize = 0x18;
constexpr std::uint32_t kItspSize = 0x54;

const char* const kContentName = "::DataSpace/Storage/MSCompressed/Content";
const char* const kControlName = "::DataSpace/Storage/MSCompressed/ControlData";
const char* const kSpanName = "::DataSpace/Storage/MSCompressed/SpanInfo";
const char* const kTransformListName = "::DataSpace/Storage/MSCompressed/Transform/List";
const char* const kLzxGuid = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";
const char* const kResetTableName = "::DataSpace/Storage/MSCompressed/Transform/"
                                    "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
                                    "ResetTable";
const char* const kNameListName = "::DataSpace/NameList";

// {7C01FD10-7BAA-11D0-9E0C-00A0C922E6EC} and {7C01FD11-...}, as stored.
const std::uint8_t kItsfGuid1[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                     0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
const std::uint8_t kItsfGuid2[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                     0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
// {5D02926A-212E-11D0-9DF9-00A0C922E6EC}
const std::uint8_t kItspGuid[16] = {0x6A, 0x92, 0x02, 0x5D, 0x2E, 0x21, 0xD0, 0x11,
                                    0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

void putUtf16(std::string& s, std::string_view ascii) {
    for (char c : ascii)
        put16(s, static_cast<unsigned char>(c));
}

// The files of section 0, stored as they are: readers look the help system's own up with the
// leading "/", as the usual compilers write them. The others (#STRINGS, the topic tables,
// #WINDOWS, $FIftiMain) go into the compressed section with the pages.
const char* const kSystemNames[] = {"/#SYSTEM",         "/#IDXHDR",      "/#ITBITS",
                                    kNameListName,      kControlName,    kSpanName,
                                    kTransformListName, kResetTableName, kContentName};

std::string checkName(const std::string& name) {
    if (name.size() < 2 || name[0] != '/')
        return "a name must start with \"/\" and name a file";
    if (isSystemName(name.c_str()))
        return "the name is one of the help system's own files";
    for (const char* reserved : kSystemNames)
        if (name == reserved)
            return "the name is one of the help system's own files";
    if (name.size() > kMaxNameLength)
        return "the name is longer than " + std::to_string(kMaxNameLength) + " bytes";
    if (name.find('\0') != std::string::npos)
        return "the name holds a NUL byte";
    if (name.back() == '/')
        return "the name ends with \"/\", which readers take for a folder";
    return {};
}

std::uint64_t fileTime(std::int64_t unixSeconds) {
    return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
}

void putSystemRecord(std::string& s, std::uint32_t code, const std::string& data) {
    put16(s, code);
    put16(s, static_cast<std::uint32_t>(data.size()));
    s += data;
}

// #SYSTEM, version 3, with the records help compilers write, in their order.
std::string systemFile(const ChmOptions& o, bool window) {
    std::string s;
    put32(s, 3);
    std::string stamp;
    put32(stamp, static_cast<std::uint32_t>(o.timestamp));
    putSystemRecord(s, 10, stamp);
    putSystemRecord(s, 9, std::string("Korvenix 3.1 hhc.exe") + '\0');
    std::string language;
    put32(language, o.language);
    put32(language, 0);                               // no double-byte character set
    put32(language, o.fullTextIndex.empty() ? 0 : 1); // full-text search
    put32(language, 0);                               // no K links
    put32(language, 0);                               // no A links
    put64(language, fileTime(o.timestamp));
    put32(language, 0);
    put32(language, 0);
    putSystemRecord(s, 4, language);
    putSystemRecord(s, 2, o.defaultTopic + '\0');
    putSystemRecord(s, 3, o.title + '\0');
    putSystemRecord(s, 6, o.compiledName + '\0');
    // Contents and keyword index, without the leading "/", and the window that shows them.
    if (!o.contentsFile.empty())
        putSystemRecord(s, 0, o.contentsFile.substr(1) + '\0');
    if (!o.keywordFile.empty())
        putSystemRecord(s, 1, o.keywordFile.substr(1) + '\0');
    if (window)
        putSystemRecord(s, 5, std::string(kWindowName) + '\0');
    std::string zero;
    put32(zero, 0);
    putSystemRecord(s, 12, zero); // information types
    putSystemRecord(s, 15, zero); // their checksum
    return s;
}

std::string idxhdrFile(const ChmOptions& o, std::uint32_t topics) {
    std::string s = "T#SM";
    put32(s, static_cast<std::uint32_t>(o.timestamp));
    put32(s, 1);
    put32(s, topics);
    s.resize(4096, '\0');
    return s;
}

std::string nameListFile() {
    std::string s;
    const char* const names[] = {"Uncompressed", "MSCompressed"};
    std::string body;
    put16(body, 2);
    for (const char* n : names) {
        put16(body, static_cast<std::uint32_t>(std::strlen(n)));
        putUtf16(body, n);
        put16(body, 0);
    }
    put16(s, static_cast<std::uint32_t>((body.size() + 2) / 2)); // length in 16-bit words
    return s + body;
}

std::string controlDataFile(const LzxOptions& lzx) {
    std::string s;
    put32(s, 6); // 32-bit words that follow
    s += "LZXC";
    put32(s, 2); // version 2: interval and window in 32 KiB units
    put32(s, lzx.resetIntervalFrames);
    put32(s, (1u << lzx.windowBits) / LzxEncoder::kFrameSize);
    put32(s, 1); // cache size
    put32(s, 0);
    return s;
}

std::string resetTableFile(const std::vector<std::uint64_t>& frames, std::uint64_t plainLength) {
    std::string s;
    put32(s, 2);
    put32(s, static_cast<std::uint32_t>(frames.size()));
    put32(s, 8);    // entry size
    put32(s, 0x28); // header size
    put64(s, plainLength);
    put64(s, frames.empty() ? 0 : frames.back());
    put64(s, LzxEncoder::kFrameSize);
    for (std::uint64_t f : frames)
        put64(s, f);
    return s;
}

ChmResult failure(ChmError error, std::string message) {
    ChmResult r;
    r.error = error;
    r.message = std::move(message);
    return r;
}

// Where the file goes: memory, or a file beside its path. The compressed stream is written
// as the encoder makes it; the front (headers and directory), known only at the end, goes
// into room kept for it.
class Output {
public:
    virtual ~Output() = default;
    virtual bool append(std::string_view bytes, std::string& error) = 0;
    virtual bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& error) = 0;
};

class MemoryOutput : public Output {
public:
    explicit MemoryOutput(std::string& out) : m_out(out) { m_out.clear(); }
    bool append(std::string_view bytes, std::string&) override {
        m_out.append(bytes.data(), bytes.size());
        return true;
    }
    bool writeAt(std::uint64_t offset, std::string_view bytes, std::string&) override {
        const auto at = static_cast<std::size_t>(offset);
        if (m_out.size() < at + bytes.size())
            m_out.resize(at + bytes.size());
        m_out.replace(at, bytes.size(), bytes.data(), bytes.size());
        return true;
    }

private:
    std::string& m_out;
};

class FileOutput : public Output {
public:
    explicit FileOutput(AtomicFileWriter& file) : m_file(file) {}
    bool append(std::string_view bytes, std::string& error) override {
        return m_file.write(bytes, error);
    }
    bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& error) override {
        return m_file.writeAt(offset, bytes, error);
    }

private:
    AtomicFileWriter& m_file;
};

ChmResult build(std::vector<ChmFile> files, const ChmOptions& options, Output& out) {
    for (const ChmFile& f : files) {
        const std::string problem = checkName(f.name);
        if (!problem.empty())
            return failure(ChmError::BadName, "\"" + shownName(f.name) + "\": " + problem);
    }
    // The help system's tables of the pages go into the compressed section with them.
    {
        std::set<std::string_view> given;
        for (const ChmFile& f : files)
            given.insert(f.name);
        for (const ChmTopic& t : options.topics)
            if (given.count(t.name) == 0)
                return failure(ChmError::BadName,
                               "the topic \"" + shownName(t.name) + "\" is none of the files");
        for (const std::string* named : {&options.contentsFile, &options.keywordFile})
            if (!named->empty() && given.count(*named) == 0)
                return failure(ChmError::BadName,
                               "\"" + shownName(*named) + "\" is none of the files");
    }
    const std::size_t givenFiles = files.size();
    TopicTables tables = topicTables(options);
    const bool window = !tables.windows.empty();
    auto addTable = [&files](const char* name, std::string& bytes) {
        ChmFile f;
        f.name = name;
        f.content = std::move(bytes);
        files.push_back(std::move(f));
    };
    addTable("/#STRINGS", tables.strings);
    if (!options.topics.empty()) {
        addTable("/#TOPICS", tables.topics);
        addTable("/#URLTBL", tables.urlTable);
        addTable("/#URLSTR", tables.urlStrings);
    }
    if (window)
        addTable("/#WINDOWS", tables.windows);
    if (!options.fullTextIndex.empty()) {
        std::string index = options.fullTextIndex;
        addTable("/$FIftiMain", index);
    }

    // Directory order, worked out once per name.
    std::vector<SortKey> keys(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        keys[i] = {foldedChars(files[i].name), i};
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
        return keyLess(a.chars, files[a.index].name, b.chars, files[b.index].name);
    });
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (files[keys[i].index].name == files[keys[i - 1].index].name)
            return failure(ChmError::DuplicateName,
                           "\"" + shownName(files[keys[i].index].name) + "\" is given twice");

    // Every name of the directory, in its order: the system names merged into the others.
    std::vector<std::string> names;
    names.reserve(keys.size() + std::size(kSystemNames));
    for (const SortKey& k : keys)
        names.push_back(files[k.index].name);
    for (const char* n : kSystemNames)
        names.push_back(n);
    const auto systemNames = names.begin() + static_cast<std::ptrdiff_t>(keys.size());
    std::sort(systemNames, names.end(), directoryOrder);
    std::inplace_merge(names.begin(), systemNames, names.end(), directoryOrder);
    const std::size_t roomChunks = plannedChunks(names);
    const std::uint64_t directoryOffset = kItsfSize + kSection0HeaderSize;
    const std::uint64_t section0Offset =
        directoryOffset + kItspSize + std::uint64_t{kChunkSize} * roomChunks;
    std::string error;
    if (!out.append(std::string(static_cast<std::size_t>(section0Offset), '\0'), error))
        return failure(ChmError::CannotWrite, error);

    LzxOptions lzxOptions;
    lzxOptions.threads = options.threads;
    LzxEncoder encoder(lzxOptions);
    std::uint64_t streamSize = 0;
    bool streamFailed = false;
    encoder.setSink([&](const std::uint8_t* data, std::size_t size) {
        if (!streamFailed &&
            !out.append(std::string_view(reinterpret_cast<const char*>(data), size), error))
            streamFailed = true;
        streamSize += size;
    });
    // Files are loaded a few at a time ahead of their turn: on a network share each one's
    // round trips then overlap the others'.
    struct Loaded {
        bool ok = false;
        std::string bytes, error;
    };
    const unsigned readers = std::max(1u, options.readers);
    OrderedPool<Loaded> loads(readers);
    const std::size_t readAhead = readers > 1 ? 4 * std::size_t{readers} : 1;
    std::size_t nextLoad = 0;             // keys before it have had their load given to the pool
    std::deque<std::uint64_t> aheadSizes; // of the loads given and not yet taken, in order
    std::uint64_t aheadBytes = 0;
    // The compressed section, in directory order, so that reading the files in that order
    // decodes the stream forward only.
    std::vector<Entry> entries;
    entries.reserve(names.size());
    // A large file that can be streamed is neither loaded ahead nor held.
    const auto streamed = [&options](const ChmFile& f) {
        return f.stream && f.loadSize > options.readAheadBytes;
    };
    for (const SortKey& k : keys) {
        ChmFile& f = files[k.index];
        if (streamed(f)) {
            Entry e;
            e.name = std::move(f.name);
            e.section = 1;
            e.offset = encoder.uncompressedSize();
            std::string problem;
            const bool got = f.stream(
                [&](std::string_view piece) {
                    encoder.write(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size(),
                                  f.compressible);
                },
                problem);
            if (!got)
                return failure(ChmError::CannotLoad, problem);
            e.length = encoder.uncompressedSize() - e.offset;
            if (e.length > 0xFFFFFFFFu || encoder.uncompressedSize() > (1ull << 40))
                return failure(ChmError::TooLarge, "\"" + shownName(e.name) + "\" is too large");
            entries.push_back(std::move(e));
            if (streamFailed)
                return failure(ChmError::CannotWrite, error);
            continue;
        }
        if (f.load) {
            for (; nextLoad < keys.size() && loads.pending() < readAhead; ++nextLoad) {
                const ChmFile& next = files[keys[nextLoad].index];
                if (!next.load || streamed(next))
                    continue;
                // With nothing ahead, the next load is this file's own.
                if (!aheadSizes.empty() && next.loadSize > options.readAheadBytes - aheadBytes)
                    break;
                const std::uint64_t size = std::min(next.loadSize, options.readAheadBytes);
                aheadSizes.push_back(size);
                aheadBytes += size;
                loads.submit([load = next.load] {
                    Loaded l;
                    l.ok = load(l.bytes, l.error);
                    return l;
                });
            }
            Loaded loaded = loads.take();
            aheadBytes -= aheadSizes.front();
            aheadSizes.pop_front();
            if (!loaded.ok)
                return failure(ChmError::CannotLoad, loaded.error);
            f.content = std::move(loaded.bytes);
            f.load = nullptr;
        }
        if (f.content.size() > 0xFFFFFFFFu || encoder.uncompressedSize() > (1ull << 40))
            return failure(ChmError::TooLarge, "\"" + shownName(f.name) + "\" is too large");
        Entry e;
        e.name = std::move(f.name);
        e.section = 1;
        e.offset = encoder.uncompressedSize();
        e.length = f.content.size();
        encoder.write(reinterpret_cast<const std::uint8_t*>(f.content.data()), f.content.size(),
                      f.compressible);
        std::string().swap(f.content);
        entries.push_back(std::move(e));
        if (streamFailed)
            return failure(ChmError::CannotWrite, error);
    }
    // The encoder pads the content out to a reset point with zeros: readers decode whole
    // reset intervals, whatever length the table gives.
    encoder.finish();
    if (streamFailed)
        return failure(ChmError::CannotWrite, error);
    const std::uint64_t padded = encoder.decodedSize();

    // Section 0: the stream, then the system files.
    Entry content;
    content.name = kContentName;
    content.offset = 0;
    content.length = streamSize;
    std::string section0;
    auto addSystem = [&](const std::string& name, const std::string& bytes) {
        Entry e;
        e.name = name;
        e.section = 0;
        e.offset = streamSize + section0.size();
        e.length = bytes.size();
        section0 += bytes;
        entries.push_back(std::move(e));
    };
    std::string span;
    put64(span, padded);
    std::string transforms;
    putUtf16(transforms, kLzxGuid);
    addSystem("/#SYSTEM", systemFile(options, window));
    addSystem("/#IDXHDR", idxhdrFile(options, static_cast<std::uint32_t>(
                                                  options.topics.empty() ? givenFiles
                                                                         : options.topics.size())));
    addSystem("/#ITBITS", "");
    addSystem(kNameListName, nameListFile());
    addSystem(kControlName, controlDataFile(lzxOptions));
    addSystem(kSpanName, span);
    addSystem(kTransformListName, transforms);
    addSystem(kResetTableName, resetTableFile(encoder.frameOffsets(), padded));
    entries.push_back(std::move(content));
    if (!out.append(section0, error))
        return failure(ChmError::CannotWrite, error);

    // The content files are in order already: the system files are merged in.
    const auto byName = [](const Entry& a, const Entry& b) {
        return directoryOrder(a.name, b.name);
    };
    const auto systemStart = entries.begin() + static_cast<std::ptrdiff_t>(files.size());
    std::sort(systemStart, entries.end(), byName);
    std::inplace_merge(entries.begin(), systemStart, entries.end(), byName);
    const Directory dir = buildDirectory(entries);
    if (dir.chunks.size() > roomChunks) // plannedChunks() is an upper bound: never here
        return failure(ChmError::TooLarge, "the directory outgrew the room kept for it");

    const std::uint64_t directoryLength = kItspSize + std::uint64_t{kChunkSize} * dir.chunks.size();
    const std::uint64_t fileLength = section0Offset + streamSize + section0.size();

    std::string h;
    h.reserve(static_cast<std::size_t>(directoryOffset + directoryLength));
    h += "ITSF";
    put32(h, 3);
    put32(h, kItsfSize);
    put32(h, 1);
    put32(h, static_cast<std::uint32_t>(options.timestamp));
    put32(h, options.language);
    putBytes(h, kItsfGuid1, 16);
    putBytes(h, kItsfGuid2, 16);
    put64(h, kItsfSize);
    put64(h, kSection0HeaderSize);
    put64(h, directoryOffset);
    put64(h, directoryLength);
    put64(h, section0Offset);

    put32(h, 0x01FE);
    put32(h, 0);
    put64(h, fileLength);
    put32(h, 0);
    put32(h, 0);

    h += "ITSP";
    put32(h, 1);
    put32(h, kItspSize);
    put32(h, 0x0A);
    put32(h, kChunkSize);
    put32(h, kDensity);
    put32(h, dir.depth);
    put32(h, static_cast<std::uint32_t>(dir.indexRoot));
    put32(h, 0);               // first listing chunk
    put32(h, dir.lastListing); // last listing chunk
    put32(h, 0xFFFFFFFFu);
    put32(h, static_cast<std::uint32_t>(dir.chunks.size()));
    put32(h, options.language);
    putBytes(h, kItspGuid, 16);
    put32(h, kItspSize);
    put32(h, 0xFFFFFFFFu);
    put32(h, 0xFFFFFFFFu);
    put32(h, 0xFFFFFFFFu);
    for (const std::string& chunk : dir.chunks)
        h += chunk;
    // Between the directory and section 0, any room not needed stays zeros.
    if (!out.writeAt(0, h, error))
        return failure(ChmError::CannotWrite, error);
    return {};
}

} // namespace

ChmResult buildChm(std::vector<ChmFile> files, const ChmOptions& options, std::string& out) {
    MemoryOutput output(out);
    return build(std::move(files), options, output);
}

ChmResult writeChm(const std::string& path, std::vector<ChmFile> files, const ChmOptions& options) {
    AtomicFileWriter file;
    std::string error;
    if (!file.open(path, 0644, error, nullptr, Links::Replace))
        return failure(ChmError::CannotWrite, error);
    FileOutput output(file);
    ChmResult r = build(std::move(files), options, output);
    if (r && !file.commit(error))
        return failure(ChmError::CannotWrite, error);
    return r;
}

} // namespace kvx::chm
