// One response through the whole response path, as the send workflow takes it:
// the answer read once from its file, the element written to the response
// file, the outcome's fields collected on the way.
#include "common/Exception.h"
#include "common/FileStream.h"
#include "response/ResponseExtraction.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <response file> <normalised output file>\n", argv[0]);
        return 2;
    }
    try {
        cto::FileStream answer = cto::FileStream::openForReading(argv[1]);
        cto::FileStream element = cto::FileStream::create(argv[2]);
        const std::filesystem::path folder = std::filesystem::absolute(argv[2]).parent_path();
        cto::FileStream spool = cto::FileStream::createUnnamed(folder.string());
        const cto::ResponseSummary summary = cto::extractResponse(answer, element, spool);
        const long long written = element.size();
        element.close();
        std::printf("%lld bytes, %d errors\n", written, summary.errorCount);
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s\n", cto::failureMessage(failure).c_str());
        return 1;
    }
    return 0;
}
