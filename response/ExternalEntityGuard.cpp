#include "response/ExternalEntityGuard.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <mutex>

namespace cto {

namespace {

thread_local int activeGuards = 0;
thread_local std::vector<std::string> refused;
xmlExternalEntityLoader previousLoader = nullptr;

xmlParserInputPtr refusingLoader(const char* url, const char* id, xmlParserCtxtPtr context) {
    if (activeGuards == 0 && previousLoader != nullptr)
        return previousLoader(url, id, context);
    // Only recent refusals are of interest; a long run must not grow without end.
    if (refused.size() >= 1024)
        refused.erase(refused.begin(), refused.begin() + 512);
    refused.emplace_back(url != nullptr ? url : (id != nullptr ? id : ""));
    return nullptr;
}

} // namespace

ExternalEntityGuard::ExternalEntityGuard() {
    // The loader is process-wide in libxml2; install ours once, keeping the old one
    // for code that parses outside a guard.
    static std::once_flag installed;
    std::call_once(installed, [] {
        xmlInitParser();
        previousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(refusingLoader);
    });
    ++activeGuards;
}

ExternalEntityGuard::~ExternalEntityGuard() {
    --activeGuards;
}

const std::vector<std::string>& refusedExternalLoads() {
    return refused;
}

} // namespace cto
