// make_index_folder FOLDER COUNT: writes an index folder of COUNT reports (screenshots, trials).
#include "support/index_folder.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_index_folder FOLDER COUNT\n");
        return 2;
    }
    kvxtest::writeIndexFolder(argv[1], std::atoi(argv[2]));
    return 0;
}
