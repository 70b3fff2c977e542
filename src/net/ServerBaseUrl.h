#pragma once

#include <string>

namespace pellux {

// Base URL of the update server, ending with '/'. Settled at start-up.
const std::string& ServerBaseUrl();
void SetServerBaseUrl(const std::string& url);

// A usable base URL begins with http:// or https:// and ends with '/'.
bool IsValidServerBaseUrl(const std::string& url);

// Applies PUPDATE_SERVER_URL when set. False (with `error` filled) when the
// value is not a usable base URL; the address is then left unchanged.
bool ApplyServerUrlFromEnvironment(std::string& error);

}  // namespace pellux
