#pragma once

#include <curl/curl.h>

#include <memory>

namespace cto::http {

// CURL and CURLM are both void to the compiler: one deleter type each.
struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
struct CurlDeleter {
    void operator()(CURLU* handle) const noexcept { curl_url_cleanup(handle); }
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
    void operator()(char* text) const noexcept { curl_free(text); }
};

using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using UrlHandle = std::unique_ptr<CURLU, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlDeleter>;
using CurlText = std::unique_ptr<char, CurlDeleter>;

} // namespace cto::http
