// The export's HTTP client on libcurl: one request at a time, custom header
// lines sent as written, an optional in-memory cookie store, bodies decoded by
// their declared charset, and statuses from a threshold on reported as errors.
//
// No request can hold the service: a connection must be made within
// ConnectTimeoutMs, the whole answer must have come within RequestTimeoutMs,
// and a request that receives under 1 byte per second for LowSpeedSeconds
// fails. A stop of the service aborts a request within about a second. Each
// request goes out on a connection of its own and is sent at most once: a
// connection that dies is an error of that request, never a silent resend.
#pragma once
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace exportjob {

// An error of the HTTP layer: no connection, TLS failure, or a status at or
// above the client's error threshold. The message is the text the service logs.
class EHttpError : public std::runtime_error {
public:
    EHttpError(const std::string& message, int status = 0) : std::runtime_error(message), FStatus(status) {}
    int Status() const { return FStatus; }  // 0 when no answer came

private:
    int FStatus;
};

struct THttpResponse {
    int Status = 0;
    std::string StatusLine;   // e.g. "HTTP/1.1 200 OK"
    std::string ContentType;  // as declared, may be empty
    std::string Text;         // body decoded to UTF-8
};

// Fixed limits of every request.
inline constexpr long ConnectTimeoutMs = 15000;
inline constexpr long RequestTimeoutMs = 120000;
inline constexpr long LowSpeedSeconds = 30;  // under 1 byte per second
// Largest answer body read; a longer one is an error of the request.
inline constexpr size_t MaxAnswerBytes = 16 * 1024 * 1024;

class THttpClient {
public:
    // errorFromStatus: answers with this status or above raise EHttpError.
    // keepCookies: cookies set by the server are stored and sent back.
    THttpClient(int errorFromStatus, bool keepCookies);
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // Request headers, replaced as a whole. Each entry is one header line as
    // it goes on the wire ("Authorization:Bearer x").
    std::string ContentType;  // "application/json; charset=utf-8"
    std::string Accept;       // "application/json"
    std::vector<std::string> CustomHeaders;

    // Sends a request with a body (POST, DELETE ...) and waits for the answer.
    // Raises EHttpError for a failed request and shell::TStopRequested when
    // a stop of the service is asked for before or during it.
    THttpResponse Send(const std::string& method, const std::string& url, const std::string& body);

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
    int FErrorFromStatus;
};

// Decodes a body in the charset that a Content-Type value declares; UTF-8
// when it declares none or one that cannot be converted. The result is
// always well-formed UTF-8: bytes that are not become U+FFFD.
std::string DecodeBody(const std::string& bytes, const std::string& contentType);

}  // namespace exportjob
