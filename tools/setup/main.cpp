// korvenix31-setup: gives the current user the settings key of a fresh installation.
//
//   korvenix31-setup [--key FILE] [-- PROGRAM [ARGUMENT...]]
//
// Imports the default key (FILE, or the one installed with the program) into the user's
// hive when the key is missing. An existing key is never touched, and neither is a hive
// that cannot be read. After `--` it then runs PROGRAM in its place, whatever the outcome:
// the program reports a missing key itself.
//
// Exit status: 0 the key exists (imported now or before), 1 the import failed, 2 the hive
// exists but cannot be read and was left as it is.

#include "app/settings/registry_key.h"
#include "app/settings/settings_store.h"
#include "files/atomic_file.h"
#include "files/paths.h"
#include "files/whole_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The installed default key, found from this program's own folder so that the
// installation can be moved as a whole.
std::string installedDefaultKey() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return KVX_DEFAULT_KEY_RELATIVE;
    self[n] = '\0';
    return kvx::joinPath(kvx::folderOf(self), KVX_DEFAULT_KEY_RELATIVE);
}

int usage() {
    std::fprintf(stderr, "usage: korvenix31-setup [--key FILE] [-- PROGRAM [ARGUMENT...]]\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string keyFile;
    int programIndex = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
            keyFile = argv[++i];
        } else if (std::strcmp(argv[i], "--") == 0) {
            programIndex = i + 1;
            break;
        } else {
            return usage();
        }
    }
    if (keyFile.empty())
        keyFile = installedDefaultKey();

    int status = 0;
    std::string text;
    std::string problem;
    const std::string hive = kvx::settingsHivePath();
    if (kvx::readWholeFile(keyFile, text, problem) != kvx::ReadStatus::Ok) {
        std::fprintf(stderr, "korvenix31-setup: default key: %s\n", problem.c_str());
        status = 1;
    } else {
        switch (kvx::importKeyIfMissing(hive, kvx::kSettingsKeyPath, text, problem)) {
        case kvx::ImportResult::Imported:
            std::fprintf(stderr, "korvenix31-setup: settings created in %s\n", hive.c_str());
            break;
        case kvx::ImportResult::AlreadyThere:
            break;
        case kvx::ImportResult::Damaged:
            std::fprintf(stderr, "korvenix31-setup: %s; the file is left as it is\n",
                         problem.c_str());
            status = 2;
            break;
        case kvx::ImportResult::Failed:
            std::fprintf(stderr, "korvenix31-setup: %s\n", problem.c_str());
            status = 1;
            break;
        }
    }

    if (programIndex < argc) {
        std::vector<char*> args(argv + programIndex, argv + argc);
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::fprintf(stderr, "korvenix31-setup: cannot run %s: %s\n", args[0],
                     std::strerror(errno));
        return 127;
    }
    return status;
}
