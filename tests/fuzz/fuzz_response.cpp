// Arbitrary bytes through the response path. Failures of this program's own
// kinds are expected answers; anything else (a crash, a sanitizer report, an
// escaping foreign exception) is a finding. Two properties are checked on
// top: the one-pass reader answers exactly what the whole-tree reference
// answers (element bytes, outcome fields, or failure kind and message), and
// whatever it extracts loads through the binding.
#include "common/Exception.h"
#include "response/PathComparison.h"
#include "response/ResponseExtraction.h"
#include "response/RespuestaSolicitud.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Shown with every byte that would not print as an escape, so that two
// answers that differ in a NUL or a control character look different.
std::string printable(const std::string& text) {
    std::string shown;
    for (const unsigned char c : text) {
        if (c == '\n' || (c >= 0x20 && c < 0x7f)) {
            shown += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            shown += escape;
        }
    }
    return shown;
}

void readEverything(cto::IXMLRespuestaSolicitudEncuesta& root) {
    const auto readField = [](auto&& read) {
        try {
            read();
        } catch (const cto::Exception&) {
        }
    };
    readField([&] { root.NumeroOrden(); });
    readField([&] { root.CodigoControl(); });
    readField([&] { root.AcuseEnvio(); });
    readField([&] { root.Errores()->Numero(); });
    auto list = root.Errores()->Error();
    const int count = list->Count();
    for (int i = 0; i < count; ++i) {
        auto item = list->Item(i);
        readField([&] { item->TipoError(); });
        readField([&] { item->LineaError(); });
        readField([&] { item->DescripcionError(); });
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string streamed = cto::test::streamedPath(bytes);
    const std::string reference = cto::test::referencePath(bytes);
    if (!cto::test::sameOutcome(streamed, reference)) {
        std::fprintf(stderr, "one pass:\n%s\nreference:\n%s\n", printable(streamed).c_str(),
                     printable(reference).c_str());
        std::abort();
    }

    std::string normalised;
    bool extracted = false;
    try {
        normalised = cto::extraerRespuestaDeMemoria(bytes);
        extracted = true;
    } catch (const cto::Exception&) {
    }
    if (extracted) {
        try {
            readEverything(*cto::cargarRespuestaDeMemoria(normalised));
        } catch (const cto::Exception& failure) {
            std::fprintf(stderr, "extracted bytes do not load: %s\n%s\n",
                         cto::failureMessage(failure).c_str(), normalised.c_str());
            std::abort();
        }
    }

    try {
        readEverything(*cto::cargarRespuestaDeMemoria(bytes));
    } catch (const cto::Exception&) {
    }
    return 0;
}
