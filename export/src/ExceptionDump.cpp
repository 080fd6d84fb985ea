// Dump of a failed request of the export.
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "export/Export.h"
#include "shell/RegionalSettings.h"

namespace exportjob {

namespace fs = std::filesystem;

void GravaArquivoExcecao(TfmDEZORiv& form, const std::string& prefix, const std::string& body,
                         const std::string& url, const std::string& exceptionText, const std::string& method) {
    fs::path folder;
    try {
        folder = fs::path(form.sPath) / "Logs" / "Brevant" / "Excecao";
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder)) return;
    } catch (...) {
        return;
    }
    try {
        // The prefix carries order numbers and colours from the database: a
        // path separator in them must not lead the file out of its folder.
        std::string name = prefix;
        for (char& c : name)
            if (c == '/' || c == '\\' || c == '\0') c = '_';
        std::tm today = shell::LocalNow();
        std::ostringstream day;
        day << std::setfill('0') << std::setw(2) << today.tm_year % 100 << std::setw(2) << today.tm_mon + 1
            << std::setw(2) << today.tm_mday;
        fs::path file = folder / (name + "_" + day.str() + ".log");

        const std::string crlf = "\r\n";
        std::string content;
        content += "URL: " + url + crlf;
        content += "Método: " + method + crlf;
        content += crlf;
        content += std::string(20, '-') + " BODY " + std::string(20, '-') + crlf;
        content += body + crlf;
        content += std::string(40, '-') + crlf;
        content += crlf;
        content += std::string(20, '-') + " EXCECAO " + std::string(20, '-') + crlf;
        content += exceptionText + crlf;
        content += std::string(40, '-') + crlf;

        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("Não foi possível criar o arquivo " + file.string());
        out << content;
        out.close();
        if (!out) throw std::runtime_error("Não foi possível gravar o arquivo " + file.string());
    } catch (const std::exception& e) {
        form.LogAtividade(std::string("Não foi possível gerar o arquivo Body. Exceção ") + e.what());
    }
}

}  // namespace exportjob
