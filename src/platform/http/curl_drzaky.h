// Owners of libcurl's handles: an easy handle, a multi handle and a header list are each
// released by the matching libcurl call when their owner goes.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace zevlon {

struct ZrusitCurl {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ZrusitMulti {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct UvolnitSeznam {
  void operator()(curl_slist* s) const { curl_slist_free_all(s); }
};

}  // namespace zevlon
