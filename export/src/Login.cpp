// Login to the web API and the JSON field reader.
#include <algorithm>
#include <stdexcept>
#include <vector>

#include "RequestExchange.h"
#include "export/Export.h"
#include "shell/SqlHelpers.h"
#include "shell/StopSignals.h"
#include "textutil/AsciiCase.h"
#include "textutil/Blanks.h"

namespace exportjob {

namespace {

// Follows "a.b[0].c" below a value; nullptr when a step is missing.
const Json* Find(const Json& value, const std::string& path) {
    const Json* current = &value;
    size_t i = 0;
    while (i < path.size() && current) {
        if (path[i] == '.') { ++i; continue; }
        if (path[i] == '[') {
            size_t close = path.find(']', i);
            if (close == std::string::npos) throw std::invalid_argument("Caminho JSON inválido: " + path);
            size_t index = static_cast<size_t>(StrToInt(path.substr(i + 1, close - i - 1)));
            current = current->is_array() && index < current->size() ? &(*current)[index] : nullptr;
            i = close + 1;
            continue;
        }
        size_t end = path.find_first_of(".[", i);
        std::string name = path.substr(i, end == std::string::npos ? std::string::npos : end - i);
        if (current->is_object()) {
            auto it = current->find(name);
            current = it == current->end() ? nullptr : &*it;
        } else {
            current = nullptr;
        }
        i = end == std::string::npos ? path.size() : end;
    }
    return current;
}

// Parses an answer of the web API; invalid JSON gives a discarded value. Of
// several members of one object with the same name the first counts (a
// plain parse would keep the last).
Json ParseAnswer(const std::string& text) {
    std::vector<std::vector<std::string>> names;  // member names per open object
    auto firstOnly = [&names](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start: names.emplace_back(); break;
            case Json::parse_event_t::object_end:
                if (!names.empty()) names.pop_back();
                break;
            case Json::parse_event_t::key: {
                if (names.empty()) break;
                const std::string& name = parsed.get_ref<const std::string&>();
                auto& seen = names.back();
                if (std::find(seen.begin(), seen.end(), name) != seen.end()) return false;
                seen.push_back(name);
                break;
            }
            default: break;
        }
        return true;
    };
    return Json::parse(text, firstOnly, false);
}

// Why a token cannot go into a header line, or "" when it can.
std::string TokenFault(const std::string& token) {
    for (unsigned char c : token)
        if (c < 0x20 || c == 0x7F) return "O token recebido contém caracteres de controle e foi recusado";
    return {};
}

}  // namespace

std::string LeCampoJSON(TfmDEZORiv& form, const Json& value, const std::string& path, bool upper,
                        const std::string& defaultValue) {
    try {
        const Json* found = path.empty() ? &value : Find(value, path);
        std::string text;
        if (found && !found->is_null()) {
            switch (found->type()) {
                case Json::value_t::string: text = found->get<std::string>(); break;
                case Json::value_t::boolean: text = found->get<bool>() ? "true" : "false"; break;
                case Json::value_t::number_integer:
                case Json::value_t::number_unsigned:
                case Json::value_t::number_float: text = JsonToText(*found); break;
                default: throw std::invalid_argument("O valor JSON não pode ser convertido em texto");
            }
        }
        if (text.empty()) return defaultValue;
        if (text.front() == '"') text.erase(0, 1);
        if (!text.empty() && text.back() == '"') text.pop_back();
        if (textutil::UpperAscii(text) == "NULL") return {};
        return upper ? shell::UpperCaseText(text) : text;
    } catch (const std::exception& e) {
        form.LogAtividade("Não foi possivel encontrar o campo no JSON " + path + " Erro: " + e.what());
        return {};
    }
}

bool AutenticaUsuario(TfmDEZORiv& form) {
    bool result = true;
    form.LogAtividade("Autenticando usuário " + form.sUsuario + " para envio das OPs.");
    try {
        // A client of its own for every login: no headers, cookies or
        // connection shared with the order client. Statuses of 500 and above
        // are errors.
        THttpClient client(500, false);
        client.ContentType = "application/json";
        client.Accept = "application/json";
        std::string url = form.sURLAut;
        while (!url.empty() && url.back() == '/') url.pop_back();

        Json body = Json::object();
        body["login"] = form.sUsuario;
        body["senha"] = form.sSenha;
        body["idCliente"] = form.iIdCliente;
        THttpResponse response = client.Send("POST", url, JsonToAsciiText(body));
        WaitMs(500);

        Json answer = ParseAnswer(response.Text);
        if (textutil::TrimBlanksView(response.Text).empty() || answer.is_discarded()) return result;
        if (!answer.is_object()) throw std::runtime_error("A resposta da autenticação não é um objeto JSON");
        auto message = answer.find("message");
        if (message == answer.end()) {
            form.LogAtividade("Não foi possível gerar o token de autenticação.");
            return false;
        }
        // A refusal of the request (status 400 to 499) that carries a
        // "message" holds the server's reason, not a token: the login failed.
        if (response.Status >= 400 && response.Status <= 499) {
            throw EHttpError(response.StatusLine.empty() ? "HTTP " + std::to_string(response.Status)
                                                         : response.StatusLine,
                             response.Status);
        }
        std::string token = LeCampoJSON(form, *message, "", false, "");
        // The token goes into a header line: a line break in it would add
        // headers of the server's choosing to every request.
        if (std::string fault = TokenFault(token); !fault.empty()) throw std::runtime_error(fault);
        form.sToken = token;
        form.LogAtividade("Usuário " + form.sUsuario + " autenticado, para envio das OPs.");
    } catch (const shell::TStopRequested&) {
        form.LogAtividade(MsgEnvioInterrompido);
        result = false;
    } catch (const std::exception& e) {
        form.LogAtividade(std::string("Não foi possível conectar para envio das OPs. ") + LogText(e.what()));
        result = false;
    }
    return result;
}

}  // namespace exportjob
