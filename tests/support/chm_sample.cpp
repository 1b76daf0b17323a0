#include "support/chm_sample.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace kvxtest {

namespace {

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kFrame = 0x8000;

const char kMsCompressed[] = "::DataSpace/Storage/MSCompressed/";
const char kResetTable[] = "Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
                           "ResetTable";

std::string le(std::uint64_t v, int size) {
    std::string out(static_cast<std::size_t>(size), '\0');
    putLE(out, 0, v, size);
    return out;
}

std::string guid(std::uint32_t a, std::uint16_t b, std::uint16_t c, const char* tail) {
    return le(a, 4) + le(b, 2) + le(c, 2) + std::string(tail, 8);
}

std::string encint(std::uint64_t v) {
    std::string out(1, static_cast<char>(v & 0x7f));
    while (v >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7f)));
    return out;
}

// One LZX stream per frame (a decoder reset at each: small files), each a single uncompressed
// block. `data` is whole frames, or nothing (one empty block).
std::string lzxStored(const std::string& data, std::vector<std::uint64_t>& frameStarts) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kFrame, data.size() - at);
        // Bits, first to last: no E8 translation (1), block type 3 (3), block size (24),
        // then zero padding to the 16-bit word; words are stored little-endian.
        const std::uint32_t bits = (0u << 31) | (3u << 28) | (static_cast<std::uint32_t>(n) << 4);
        frameStarts.push_back(out.size());
        out += le(bits >> 16, 2) + le(bits & 0xffff, 2);
        out += le(1, 4) + le(1, 4) + le(1, 4); // R0, R1, R2
        out.append(data, at, n);
        at += n;
    } while (at < data.size());
    return out;
}

struct Listed {
    std::string name;
    int section;
    std::uint64_t offset, length;
};

bool lookupOrder(const Listed& a, const Listed& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) {
                                            return std::tolower(static_cast<unsigned char>(x)) <
                                                   std::tolower(static_cast<unsigned char>(y));
                                        });
}

} // namespace

void putLE(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::string chmSystemFile(const std::string& topic) {
    std::string data = le(3, 4);
    const std::string text = topic + '\0';
    data += le(2, 2) + le(text.size(), 2) + text;
    return data;
}

ChmSample makeChm(const std::vector<ChmSampleEntry>& entries, bool indexChunk) {
    std::string section0, plain;
    std::vector<Listed> listed;
    for (const ChmSampleEntry& e : entries) {
        std::string& into = e.compressed ? plain : section0;
        listed.push_back({e.name, e.compressed ? 1 : 0, into.size(), e.data.size()});
        into += e.data;
    }
    // Readers decode whole reset intervals: the stream is padded up to one.
    std::string padded = plain;
    padded.resize((plain.size() + kFrame - 1) / kFrame * kFrame, '\0');
    std::vector<std::uint64_t> frames;
    const std::string stream = lzxStored(padded, frames);
    const std::uint64_t frameCount = padded.size() / kFrame;
    frames.resize(frameCount + 1, stream.size());

    // A reset at every frame, a window of one frame.
    std::string control = le(6, 4) + "LZXC" + le(2, 4) + le(1, 4) + le(1, 4) + le(2, 4) + le(0, 4);
    std::string reset = le(2, 4) + le(frames.size(), 4) + le(8, 4) + le(0x28, 4) +
                        le(plain.size(), 8) + le(stream.size(), 8) + le(kFrame, 8);
    for (std::uint64_t f : frames)
        reset += le(f, 8);
    const std::string span = le(plain.size(), 8);
    const std::string ms = kMsCompressed;
    for (const auto& [name, data] :
         {std::pair(ms + "ControlData", control), std::pair(ms + kResetTable, reset),
          std::pair(ms + "SpanInfo", span), std::pair(ms + "Content", stream)}) {
        listed.push_back({name, 0, section0.size(), data.size()});
        section0 += data;
    }
    std::sort(listed.begin(), listed.end(), lookupOrder);

    // The listing chunk: its entries, then free space, then the entry count.
    std::string pmgl = "PMGL" + le(0, 4) + le(0, 4) + le(0xffffffff, 4) + le(0xffffffff, 4);
    for (const Listed& l : listed)
        pmgl += encint(l.name.size()) + l.name + encint(static_cast<std::uint64_t>(l.section)) +
                encint(l.offset) + encint(l.length);
    const std::size_t free = kChunk - pmgl.size();
    pmgl.resize(kChunk, '\0');
    putLE(pmgl, 4, free, 4);
    putLE(pmgl, kChunk - 2, listed.size(), 2);

    std::string pmgi;
    if (indexChunk) {
        pmgi = "PMGI" + le(0, 4) + encint(listed.front().name.size()) + listed.front().name +
               encint(0);
        const std::size_t freeI = kChunk - pmgi.size();
        pmgi.resize(kChunk, '\0');
        putLE(pmgi, 4, freeI, 4);
        putLE(pmgi, kChunk - 2, 1, 2);
    }
    const std::uint64_t chunks = indexChunk ? 2 : 1;
    std::string itsp = "ITSP" + le(1, 4) + le(0x54, 4) + le(10, 4) + le(kChunk, 4) + le(2, 4) +
                       le(indexChunk ? 2 : 1, 4) + le(indexChunk ? 1 : 0xffffffff, 4) + le(0, 4) +
                       le(0, 4) + le(0xffffffff, 4) + le(chunks, 4) + le(0x409, 4) +
                       guid(0x5D02926A, 0x212E, 0x11D0, "\x9D\xF9\x00\xA0\xC9\x22\xE6\xEC") +
                       le(0x54, 4) + le(0xffffffff, 4) + le(0xffffffff, 4) + le(0xffffffff, 4);
    const std::string directory = itsp + pmgl + pmgi;

    const std::size_t dirAt = 0x60 + 0x18;
    const std::size_t contentAt = dirAt + directory.size();
    const std::size_t total = contentAt + section0.size();
    std::string itsf =
        "ITSF" + le(3, 4) + le(0x60, 4) + le(1, 4) + le(0x12345678, 4) + le(0x409, 4) +
        guid(0x7C01FD10, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC") +
        guid(0x7C01FD11, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC") + le(0x60, 8) +
        le(0x18, 8) + le(dirAt, 8) + le(directory.size(), 8) + le(contentAt, 8);
    const std::string hs0 = le(0x1fe, 4) + le(0, 4) + le(total, 8) + le(0, 4) + le(0, 4);

    return {itsf + hs0 + directory + section0};
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string reportPages(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < n) {
        const std::string name = "plan " + std::to_string(rng() % 100000);
        text += "<html><body bgcolor=\"#FFFFFF\">\r\n<p><font face=\"Verdana, Arial\" size=\"2\">"
                "<b>File name: " +
                name + "</b></font></p>\r\n<table width=\"98%\"><tr><td><img src=\"" + name +
                ".dwg.jpg\" border=\"1\"></td></tr>\r\n";
        for (const char* label : {"Location", "Version", "Modified", "Size"})
            text += std::string("<tr><td width=\"16%\"><b>") + label + ":</b></td><td>/srv/plans/" +
                    std::to_string(rng() % 1000) + "/" + name + " " +
                    std::to_string(rng() % 100000) + "</td></tr>\r\n";
        text += "</table></body></html>\r\n";
    }
    text.resize(n);
    return text;
}

} // namespace kvxtest
