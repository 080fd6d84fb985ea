// The one way every request of the export is built, sent and judged, the
// order HTTP client of the main object, and the fixed waits.
#pragma once
#include <string>

#include "HttpClient.h"
#include "JsonText.h"
#include "shell/TfmDEZORiv.h"

namespace exportjob {

// API paths below sURLReq.
inline constexpr const char* PathCreate = "/OrdensProducao/CreateDinamico";
inline constexpr const char* PathGrouping = "/OrdensProducaoAgrupamento";
inline constexpr const char* PathDelete = "/OrdensProducao/DeletarPorCodigo";

// The long-lived order client, created in form.IdHTTPOrdens on first use.
THttpClient& OrderClient(TfmDEZORiv& form);
// Sets the order client's request headers from form.sToken.
void SetOrderHeaders(TfmDEZORiv& form);

// The fixed waits (scaled by the test seam). A stop of the service cuts a
// wait short: the caller goes on to judge the answer it has, and the next
// request raises shell::TStopRequested instead of going out.
void WaitMs(int milliseconds);

// Longest text of an answer or error that goes into a log line, in bytes.
inline constexpr size_t MaxLogTextBytes = 2000;
// Text from the wire as it goes into a log line: control characters (CR and
// LF among them) shown as blanks, so it stays on its line, and cut at
// MaxLogTextBytes on a character boundary, with " [...]" after the cut.
std::string LogText(const std::string& text);

// Logged when a stop of the service ends a login or an export run early.
inline constexpr const char* MsgEnvioInterrompido =
    "Envio das OPs interrompido: o serviço está parando. As OPs não marcadas como enviadas serão enviadas "
    "na próxima execução.";

struct TAnswer {
    int Status = 0;
    std::string Text;
};

// POST of a body with the order client, then the wait of 1000 ms. Errors of
// the HTTP layer (statuses of 400 and above included) propagate.
TAnswer PostOrder(TfmDEZORiv& form, const std::string& url, const std::string& body);
// DELETE with a body; no wait.
TAnswer DeleteOrder(TfmDEZORiv& form, const std::string& url, const std::string& body);

// A POST is accepted with status 200 and a response text that is not blank.
bool Accepted(const TAnswer& answer);

// Identifier of a created order: the characters from the second up to the
// first "]" as a decimal integer ("[57]" gives 57). Raises otherwise.
int ParseCreatedId(const std::string& responseText);


// Strict decimal reading of a 32-bit integer (optional sign, digits only).
int StrToInt(const std::string& text);

// Floating division that refuses a zero divisor, as the ERP's arithmetic does.
double Divide(double dividend, double divisor);

}  // namespace exportjob
