// The weaving-order export (TEC): login to the production-management web API
// and the export run that sends the unsent weaving orders of the ERP and
// marks the accepted lines as sent. The program wires both into the main
// object's hooks AutenticaUsuario and EnviaOPs.
#pragma once
#include <string>

#include <nlohmann/json.hpp>

#include "shell/TfmDEZORiv.h"

namespace exportjob {

// Logs in with the Tecelagem settings of the main object; on success the
// token goes to form.sToken. True lets the export run go ahead.
bool AutenticaUsuario(TfmDEZORiv& form);

// One export run over every unsent weaving-order line.
void EnviaOPs(TfmDEZORiv& form);

// Marks one order line as sent (TECEL_ITEN.ENVIADO = 'S') and commits. A
// failure is logged; a lost database connection is raised after that, and
// ends the run.
void AtualizaStatusEnviado(TfmDEZORiv& form, const std::string& numero, const std::string& codigo,
                           const std::string& cor);

// Text of a JSON value at `path` ("" is the value itself; "a.b[0]" goes down
// members and elements). Null or missing, or empty: `defaultValue`. One pair
// of surrounding double quotes is removed; "null" in any case gives "".
// A value that has no text (object, array) logs the error and gives "".
std::string LeCampoJSON(TfmDEZORiv& form, const nlohmann::ordered_json& value, const std::string& path,
                        bool upper, const std::string& defaultValue);

// Writes the dump of a failed request to
// sPath + "Logs/Brevant/Excecao/" + prefix + "_YYMMDD.log". Never raises.
void GravaArquivoExcecao(TfmDEZORiv& form, const std::string& prefix, const std::string& body,
                         const std::string& url, const std::string& exceptionText, const std::string& method);

}  // namespace exportjob
