// The fetch, through the module that holds libcurl.
#include "platform/http_fetch.h"
#include "platform/pavo_module.h"

#include <string>

namespace pavo {
namespace {

FetchEntry* loadFetchModule() {
    std::string error;
    void* module = openPavoModule(PAVO_FETCH_MODULE_NAME, PAVO_FETCH_MODULE_BUILD_PATH, error);
    if (module == nullptr) return nullptr;
    return librarySymbol<FetchEntry>(module, kFetchEntry);
}

}  // namespace

QString fetchText(const QString& url, const FetchOptions& options) {
    // Loaded once, on whichever thread first asks; later callers wait for that loading.
    static FetchEntry* const fetch = loadFetchModule();
    QString text;
    if (fetch != nullptr) fetch(&url, &options, &text);
    return text;
}

}  // namespace pavo
