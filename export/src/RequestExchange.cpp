#include "RequestExchange.h"

#include <chrono>
#include <algorithm>
#include <climits>
#include <stdexcept>
#include <thread>

#include "export/Export.h"
#include "shell/StopSignals.h"
#include "TestSeams.h"
#include "textutil/Blanks.h"

// The order client as the main object holds it.
class TIdHTTPOrdens {
public:
    // Statuses of 400 and above are errors; cookies are kept for the life
    // of the program.
    exportjob::THttpClient Client{400, true};
};

namespace exportjob {

namespace {

double waitScale = 1.0;

}  // namespace

void testing::SetWaitScale(double scale) { waitScale = scale < 0 ? 0 : scale; }

void WaitMs(int ms) {
    using namespace std::chrono;
    const auto until =
        steady_clock::now() + duration_cast<steady_clock::duration>(duration<double, std::milli>(ms * waitScale));
    // In slices, so that a stop is seen at once.
    while (!shell::StopRequested()) {
        auto left = until - steady_clock::now();
        if (left <= steady_clock::duration::zero()) break;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(left, milliseconds(50)));
    }
}

std::string LogText(const std::string& text) {
    std::string out = text.substr(0, std::min(text.size(), MaxLogTextBytes));
    bool cut = out.size() < text.size();
    if (cut) {
        // Back to the start of the character that the cut went through.
        size_t end = out.size();
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        out.resize(end);
    }
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    if (cut) out += " [...]";
    return out;
}

THttpClient& OrderClient(TfmDEZORiv& form) {
    if (!form.IdHTTPOrdens)
        form.IdHTTPOrdens = {new TIdHTTPOrdens, TIdHTTPOrdensDeleter{[](TIdHTTPOrdens* client) { delete client; }}};
    return form.IdHTTPOrdens->Client;
}

void SetOrderHeaders(TfmDEZORiv& form) {
    THttpClient& client = OrderClient(form);
    client.ContentType = "application/json; charset=utf-8";
    client.Accept = "application/json";
    client.CustomHeaders.clear();
    client.CustomHeaders.push_back("Authorization:Bearer " + form.sToken);
}

TAnswer PostOrder(TfmDEZORiv& form, const std::string& url, const std::string& body) {
    THttpResponse response = OrderClient(form).Send("POST", url, body);
    WaitMs(1000);
    return {response.Status, response.Text};
}

TAnswer DeleteOrder(TfmDEZORiv& form, const std::string& url, const std::string& body) {
    THttpResponse response = OrderClient(form).Send("DELETE", url, body);
    return {response.Status, response.Text};
}

bool Accepted(const TAnswer& answer) { return answer.Status == 200 && !textutil::TrimBlanksView(answer.Text).empty(); }

int StrToInt(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    bool digits = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') { digits = false; break; }
        digits = true;
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (i != text.size() || !digits) throw std::invalid_argument("'" + text + "' não é um valor inteiro válido");
    if (negative) value = -value;
    if (value < INT_MIN || value > INT_MAX) throw std::invalid_argument("'" + text + "' não é um valor inteiro válido");
    return static_cast<int>(value);
}

int ParseCreatedId(const std::string& responseText) {
    size_t close = responseText.find(']');
    if (close == std::string::npos)
        throw std::invalid_argument("'" + responseText + "' não é um valor inteiro válido");
    std::string digits = close >= 1 ? responseText.substr(1, close - 1) : std::string();
    return StrToInt(digits);
}

double Divide(double dividend, double divisor) {
    if (divisor == 0) {
        if (dividend == 0) throw std::domain_error("Operação de ponto flutuante inválida");
        throw std::domain_error("Divisão de ponto flutuante por zero");
    }
    return dividend / divisor;
}

}  // namespace exportjob
