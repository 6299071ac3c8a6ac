// Replaces the file named by its first argument with its second argument's
// bytes, as the program replaces a response file; exits 1 on failure.
#include "common/Exception.h"
#include "common/ReplacementFile.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3)
        return 2;
    try {
        cto::replaceWholeFile(argv[1], argv[2]);
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s\n", failure.message().c_str());
        return 1;
    }
    return 0;
}
