// One response through the whole response path, as the send workflow takes it:
// extraction, the normalised bytes written out, the binding loaded from them
// (the bytes still held, as the workflow keeps them), the errors counted.
#include "common/AllocatorTuning.h"
#include "common/Exception.h"
#include "common/FileStream.h"
#include "response/ResponseExtraction.h"
#include "response/RespuestaSolicitud.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <response file> <normalised output file>\n", argv[0]);
        return 2;
    }
    cto::tuneAllocatorForLargeTrees(); // as the program does
    try {
        const std::string normalised = cto::extraerRespuesta(argv[1]);
        cto::writeWholeFile(argv[2], normalised);
        const auto root = cto::cargarRespuesta(argv[2]);
        std::printf("%zu bytes, %d errors\n", normalised.size(), root->Errores()->Error()->Count());
    } catch (const cto::Exception& failure) {
        std::fprintf(stderr, "%s\n", cto::failureMessage(failure).c_str());
        return 1;
    }
    return 0;
}
