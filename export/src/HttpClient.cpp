#include "HttpClient.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <curl/curl.h>
#include <iconv.h>

#include "shell/StopSignals.h"
#include "shell/Utf8.h"
#include "TestSeams.h"
#include "textutil/AsciiCase.h"
#include "textutil/Blanks.h"

namespace exportjob {

namespace {

// libcurl's global state is set up once, while the program is still
// single-threaded (static initialisation runs before main).
struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};
const CurlGlobal curlGlobal;

std::string CharsetOf(const std::string& contentType) {
    std::string lower = textutil::LowerAscii(contentType);
    size_t p = lower.find("charset=");
    if (p == std::string::npos) return {};
    std::string cs = textutil::TrimBlanks(contentType.substr(p + 8));
    size_t end = cs.find(';');
    if (end != std::string::npos) cs = textutil::TrimBlanks(cs.substr(0, end));
    if (cs.size() >= 2 && cs.front() == '"' && cs.back() == '"') cs = cs.substr(1, cs.size() - 2);
    return cs;
}

struct TLimits {
    long connectMs = ConnectTimeoutMs;
    long totalMs = RequestTimeoutMs;
    long lowSpeedSeconds = LowSpeedSeconds;
};
TLimits limits;

struct Exchange {
    std::string body;
    std::string statusLine;
    bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    size_t n = size * count;
    if (exchange->body.size() + n > MaxAnswerBytes) {
        exchange->tooLarge = true;
        return 0;  // aborts the transfer
    }
    exchange->body.append(data, n);
    return n;
}

// Called by libcurl at least once a second while a request is in progress,
// also while it waits for a connection or an answer.
int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return shell::StopRequested() ? 1 : 0; }

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) static_cast<Exchange*>(user)->statusLine = textutil::TrimBlanks(line);
    return size * count;
}

}  // namespace

void testing::SetHttpLimits(long connectMs, long totalMs, long lowSpeedSeconds) {
    limits = {connectMs, totalMs, lowSpeedSeconds};
}

void testing::ResetHttpLimits() { limits = {}; }

std::string DecodeBody(const std::string& bytes, const std::string& contentType) {
    std::string charset = CharsetOf(contentType);
    std::string lower = textutil::LowerAscii(charset);
    if (lower.empty() || lower == "utf-8" || lower == "utf8") return shell::ReplaceInvalidUtf8(bytes);
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    // A charset we cannot convert: the answer is read as UTF-8, so an
    // accepted request is not taken for a failed one (and sent again).
    if (cd == reinterpret_cast<iconv_t>(-1)) return shell::ReplaceInvalidUtf8(bytes);
    std::string out;
    std::string in = bytes;
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char buf[4096];
    while (inLeft > 0) {
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, sizeof buf - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undecodable byte becomes the replacement character.
            out += "\xEF\xBF\xBD";
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return shell::ReplaceInvalidUtf8(out);
}

struct THttpClient::Impl {
    CURL* curl = nullptr;
};

THttpClient::THttpClient(int errorFromStatus, bool keepCookies)
    : FImpl(std::make_unique<Impl>()), FErrorFromStatus(errorFromStatus) {
    FImpl->curl = curl_easy_init();
    if (!FImpl->curl) throw EHttpError("Não foi possível iniciar o cliente HTTP");
    // An empty cookie file switches the in-memory cookie engine on.
    if (keepCookies) curl_easy_setopt(FImpl->curl, CURLOPT_COOKIEFILE, "");
}

THttpClient::~THttpClient() {
    if (FImpl->curl) curl_easy_cleanup(FImpl->curl);
}

THttpResponse THttpClient::Send(const std::string& method, const std::string& url, const std::string& body) {
    if (shell::StopRequested()) throw shell::TStopRequested{};
    CURL* curl = FImpl->curl;
    Exchange exchange;
    char errorText[CURL_ERROR_SIZE] = {0};

    curl_slist* headers = nullptr;
    auto addHeader = [&headers](const std::string& line) {
        // A line break would end the header early and start another one.
        if (line.find_first_of("\r\n") != std::string::npos)
            throw EHttpError("Cabeçalho HTTP com quebra de linha recusado");
        curl_slist* next = curl_slist_append(headers, line.c_str());
        if (!next) throw EHttpError("Sem memória para os cabeçalhos HTTP");
        headers = next;
    };
    struct ListGuard {
        curl_slist*& list;
        ~ListGuard() { curl_slist_free_all(list); }
    } guard{headers};
    if (!ContentType.empty()) addHeader("Content-Type: " + ContentType);
    addHeader("Accept: " + (Accept.empty() ? std::string("*/*") : Accept));
    // No "Expect: 100-continue" round trip for larger bodies.
    addHeader("Expect:");
    for (const auto& line : CustomHeaders) addHeader(line);

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method == "POST" ? nullptr : method.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "DEZORiv");
    // Certificates are always verified. CURL_CA_BUNDLE, as for the curl tool,
    // names another CA bundle (a company CA) instead of the system's store.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle && *bundle)
        curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    // No request can hold the service.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxAnswerBytes));
    // A stop of the service aborts the transfer.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    // A connection of its own for every request: libcurl resends a request
    // on a reused connection that turns out dead, and a POST must never go
    // out twice. Cookies live in the handle, not in the connection.
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);

    CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_ABORTED_BY_CALLBACK && shell::StopRequested()) throw shell::TStopRequested{};
    if (exchange.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
        throw EHttpError("Resposta do servidor maior que 16 MiB, recusada");
    if (rc != CURLE_OK) {
        std::string message = errorText[0] ? textutil::TrimBlanks(errorText) : curl_easy_strerror(rc);
        throw EHttpError(message);
    }

    THttpResponse response;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    response.Status = static_cast<int>(status);
    response.StatusLine = exchange.statusLine;
    const char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (type) response.ContentType = type;
    if (response.Status >= FErrorFromStatus) {
        std::string line = response.StatusLine.empty() ? "HTTP " + std::to_string(response.Status)
                                                       : response.StatusLine;
        throw EHttpError(line, response.Status);
    }
    response.Text = DecodeBody(exchange.body, response.ContentType);
    return response;
}

}  // namespace exportjob
