// The one way the program talks to the service's web endpoints: a form POST
// with a 10-second limit on the whole transfer.
#include <windows.h>

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "service.h"
#include "service_internal.h"

namespace {
std::string baseUrlOverride, caFileOverride;
bool caFileOverridden = false;
// Far beyond any real answer (500 queues are some 40 KB); a service that
// sends more is faulty or hostile and must not fill the memory.
const size_t MAX_ANSWER_BYTES = 4u << 20;
// libcurl's write callback: appends the chunk to the std::string at target.
size_t collectResponse(char *data, size_t size, size_t count, void *target) {
  size_t bytes = size * count;
  std::string *answer = static_cast<std::string *>(target);
  if (bytes > MAX_ANSWER_BYTES - std::min(answer->size(), MAX_ANSWER_BYTES))
    return 0; // too long: libcurl ends the transfer as failed
  try {
    answer->append(data, bytes);
  } catch (...) {
    return 0; // out of memory: libcurl ends the transfer as failed
  }
  return bytes;
}

// libcurl calls this about once a second, and more often while data flows.
// The transfer runs on the window thread, so the window is kept painted from
// here: paint messages only; clicks and keys stay queued until it is over.
// A transfer that stops when the session ends (stopsAtEnd points to true) is
// cut short as soon as the end is known: on Windows the end of the session is
// sent to the window, and handled, inside PeekMessage; the Linux layer posts
// it, and it waits in the queue.
int keepWindowPainted(void *stopsAtEnd, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  MSG message;
  while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
    DispatchMessageA(&message);
  if (!*static_cast<bool *>(stopsAtEnd))
    return 0;
  if (app.sessionEnding ||
      PeekMessageA(&message, nullptr, WM_ENDSESSION, WM_ENDSESSION, PM_NOREMOVE)) {
    app.sessionEnding = true;
    return 1; // libcurl ends the transfer as failed
  }
  return 0;
}

// libcurl's global state, set up once for the whole process (it is not safe
// to set up or tear down while another thread might use libcurl) and torn
// down at exit. False when it could not be set up.
bool curlReady() {
  static const bool ready = [] {
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK)
      return false;
    std::atexit(curl_global_cleanup);
    return true;
  }();
  return ready;
}
} // namespace

const char *serviceBaseUrl() {
  return baseUrlOverride.empty() ? SERVICE_BASE_URL : baseUrlOverride.c_str();
}

void setServiceHostForTests(const char *location) {
  std::string text = location ? location : "";
  bool hasScheme = text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
  baseUrlOverride = text.empty() || hasScheme ? text : "http://" + text;
}

void setServiceCaFileForTests(const char *pemFile) {
  caFileOverridden = pemFile != nullptr;
  caFileOverride = pemFile ? pemFile : "";
}

namespace {
const char *serviceCaFile() { return caFileOverridden ? caFileOverride.c_str() : SERVICE_CA_FILE; }
} // namespace

std::string formEncode(const std::string &value) {
  if (value.empty())
    return value; // a length of 0 would make libcurl measure the text itself
  // libcurl keeps A-Z a-z 0-9 - . _ ~ whatever the locale; it has needed no
  // handle for this since 7.82.
  char *escaped = curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size()));
  if (!escaped)
    throw std::bad_alloc(); // as the string itself would
  std::string out = escaped;
  curl_free(escaped);
  return out;
}

TransferResult postForm(const char *path, const std::string &body, std::string &response,
                        long &status, long limitMs, bool stopsAtEnd) {
  status = 0;
  std::string url = std::string(serviceBaseUrl()) + path;

  CURL *handle = curlReady() ? curl_easy_init() : nullptr;
  app.httpHandle = handle;
  if (!handle)
    return TRANSFER_NO_HANDLE;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist *>(nullptr));
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, limitMs);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collectResponse);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, keepWindowPainted);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &stopsAtEnd);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  if (url.compare(0, 8, "https://") == 0) {
    // The password and the SIP account travel here: the peer must prove it
    // is the service. Any TLS failure fails the transfer; there is no retry
    // in plain http, and redirects are never followed.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (*serviceCaFile())
      curl_easy_setopt(handle, CURLOPT_CAINFO, serviceCaFile());
  }

  // An answer cut off by the time-out or a dropped connection can still
  // carry status 200 and a body that parses; only a finished transfer counts.
  HCURSOR previousCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  CURLcode result = curl_easy_perform(handle);
  SetCursor(previousCursor);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(handle);
  app.httpHandle = nullptr;
  return result == CURLE_OK ? TRANSFER_DONE : TRANSFER_FAILED;
}

bool sendLogoutNotice(long limitMs) {
  try {
    std::string body = "codigo=" + formEncode(app.savedLoginCode);
    std::string response;
    long status = 0;
    return postForm("/appConsultoria/remove_login.php", body, response, status, limitMs) !=
           TRANSFER_NO_HANDLE;
  } catch (...) {
    return false;
  }
}
