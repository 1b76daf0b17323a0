// hhc.exe reads only files that lie inside the folder when it opens them: a folder swapped for
// a link to elsewhere between the look-up and the read is refused, not followed.

#include "index_compile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {
// The folder whose "sub" is swapped for a link to `g_elsewhere` once "sub/p.jpg" is looked up.
std::string g_folder, g_elsewhere;
bool g_swapped = false;
} // namespace

// The compiler's look-ups pass through here, so that the swap lands right after one.
extern "C" char* realpath(const char* path, char* resolved) {
    using Real = char* (*)(const char*, char*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "realpath"));
    char* result = real(path, resolved);
    const std::string p = path;
    if (!g_swapped && !g_folder.empty() && p.size() >= 10 &&
        p.compare(p.size() - 10, 10, "/sub/p.jpg") == 0) {
        g_swapped = true;
        std::filesystem::rename(g_folder + "/sub", g_folder + "/sub-moved");
        std::filesystem::create_directory_symlink(g_elsewhere, g_folder + "/sub");
    }
    return result;
}

namespace {

TEST(HhcSwap, aFolderSwappedForALinkMidRunIsNotFollowed) {
    char templ[] = "/tmp/kvx-swap-XXXXXX";
    const std::string root = ::mkdtemp(templ);
    g_folder = root + "/plans";
    g_elsewhere = root + "/private";
    std::filesystem::create_directories(g_folder + "/sub");
    std::filesystem::create_directories(g_elsewhere);
    std::ofstream(g_folder + "/index.htm") << "<a href=\"sub/p.jpg\">p</a>";
    std::ofstream(g_folder + "/sub/p.jpg") << "picture";
    std::ofstream(g_elsewhere + "/p.jpg") << "private";

    const kvx::hhc::CompileResult r = kvx::hhc::compileIndexFolder(g_folder + "/index.htm", 1);
    EXPECT_TRUE(g_swapped);
    EXPECT_EQ(r.error, kvx::hhc::CompileError::UnreadableLink) << r.message;
    EXPECT_NE(r.message.find("outside"), std::string::npos) << r.message;
    EXPECT_FALSE(std::filesystem::exists(g_folder + "/hhctest.chm"));
    g_folder.clear();
    std::filesystem::remove_all(root);
}

} // namespace
