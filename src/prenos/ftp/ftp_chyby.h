// The platform code of a libcurl outcome, for the libcurl session of the FTP client
// (the table of codes and outcomes is in ftp.h). ftp_chyby.cpp holds it beside the
// codes' Czech descriptions and the masking of credentials in server replies.
#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace zevlon::ftp {

// 0 for CURLE_OK, else the platform code that the outcome stands for.
std::int32_t KodZCurl(CURLcode r);

}  // namespace zevlon::ftp
