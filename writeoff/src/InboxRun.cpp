// One run of the write-off: inbox listing, records into the work tables,
// unit cost of each order, posting, and the move to the processed folder.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "shell/ActivityLog.h"
#include "shell/RegionalSettings.h"
#include "shell/SqlHelpers.h"
#include "shell/StopSignals.h"
#include "writeoff/InboxFile.h"
#include "writeoff/WriteOff.h"
#include "WriteOffSteps.h"

namespace writeoff {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMessageCaption = "ZI Zavovozirar";

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Names in the folder that match "*.txt" (letter case ignored, folders
// included, as the system's listing gives them), in name order.
std::vector<std::string> ListInbox(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() >= 4 && Upper(name.substr(name.size() - 4)) == ".TXT") names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string ua = Upper(a), ub = Upper(b);
        return ua != ub ? ua < ub : a < b;
    });
    return names;
}

// The lots of one run by order number, in the order they were loaded: the
// same rows TbLotes holds, found without scanning the whole table per order
// (it is emptied only once per run and grows with every file).
using LotsByOrder = std::unordered_map<std::string, std::vector<ConsumedLot>>;

[[noreturn]] void MalformedLine(const std::string& file, size_t lineNo, const std::string& what) {
    throw std::runtime_error("Arquivo " + file + ", linha " + std::to_string(lineNo) + ": " + what);
}

// Loads the records of one file into TbOF and TbLotes.
void LoadRecords(TfmDEZORiv& fm, const std::string& name, const std::vector<std::string>& lines,
                 shell::TLookupValue& produto, shell::TLookupValue& cliente, LotsByOrder& lots) {
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = SplitFields(lines[i]);
        if (f.empty()) MalformedLine(name, i + 1, "linha vazia");
        if (f[0] == "001") {
            if (f.size() < 9)
                MalformedLine(name, i + 1,
                              "registro 001 com " + std::to_string(f.size()) + " campos, esperados 9");
            fm.TbOF.Append();
            fm.TbOF["OF"] = f[1];
            std::string numero = shell::QuotedStr(fm.TbOF["OF"].AsString());
            shell::LookupValue(fm.dbKV, "OF1", "NUMERO", "CODIGO", numero, produto);
            fm.TbOF["Produto"] = produto.AsString();
            shell::LookupValue(fm.dbKV, "OF1", "NUMERO", "CODCLI", numero, cliente);
            fm.TbOF["Cliente"] = cliente.AsString();
            fm.TbOF["QtdeBai"] = shell::StrToFloatLocale(f[2]);
            fm.TbOF["TpSaida"] = f[3];
            fm.TbOF["DepositoSaida"] = f[4];
            fm.TbOF["DepositoEntrada"] = f[5];
            fm.TbOF["TpEntrada"] = f[6];
            fm.TbOF["Lote"] = f[7];
            fm.TbOF["Local"] = f[8];
            fm.TbOF.Post();
        } else if (f[0] == "002" && fm.TbOF.HasCurrent() && !fm.TbOF["OF"].AsString().empty()) {
            if (f.size() < 4)
                MalformedLine(name, i + 1,
                              "registro 002 com " + std::to_string(f.size()) + " campos, esperados 4");
            std::string of = fm.TbOF["OF"].AsString();
            fm.TbLotes.Append();
            fm.TbLotes["OF"] = of;
            fm.TbLotes["Codigo"] = f[1];
            fm.TbLotes["Tipo"] = f[2];
            fm.TbLotes["Lote"] = f[3];
            fm.TbLotes.Post();
            lots[fm.TbLotes["OF"].AsString()].push_back(
                {fm.TbLotes["Codigo"].AsString(), fm.TbLotes["Tipo"].AsString(), fm.TbLotes["Lote"].AsString()});
        }
    }
}

void ShowTimeMessage(TfmDEZORiv& fm, TimePart part) {
    if (fm.ShowMessage)
        fm.ShowMessage(kMessageCaption, TimePartMessage(part));
    else
        std::cerr << kMessageCaption << ": " << TimePartMessage(part) << "\n";
}

// Machine cost of the current order: hours of each time record (time of day
// of its duration) times the machine's rate.
double MachineCost(TfmDEZORiv& fm, const std::string& quotedOF) {
    TKVQuery& q = fm.QryAponta;
    q.Close();
    SetLines(q, {"SELECT OF_TEMPO.*, CADFLUXO.PRECO ",
                 "FROM " + shell::TableName("OF_TEMPO") + " OF_TEMPO ",
                 "LEFT JOIN " + shell::TableName("CADFLUXO") +
                     " CADFLUXO ON (OF_TEMPO.MAQUINA = CADFLUXO.CODIGO)",
                 "WHERE OF_TEMPO.NUMERO = " + quotedOF});
    q.Open();
    double cost = 0;
    for (q.First(); !q.Eof(); q.Next()) {
        double days = q.FieldByName("FIM").AsDateTime() - q.FieldByName("INICIO").AsDateTime();
        double hours = TimeTextToHours(DurationTimeText(days),
                                       [&](TimePart part) { ShowTimeMessage(fm, part); });
        cost += hours * q.FieldByName("PRECO").AsFloat();
    }
    q.Close();
    return cost;
}

enum class TFileOutcome { Posted, Retry, Stopped };

// Unit cost, material requirements and posting of every order of TbOF.
// Retry when an order was undone for a passing reason and must be tried
// again; Stopped when a stop of the service was asked for: the order being
// posted is finished, the ones after it are left for the next run.
TFileOutcome PostOrders(TfmDEZORiv& fm, const LotsByOrder& lots) {
    bool complete = true;
    for (fm.TbOF.First(); !fm.TbOF.Eof(); fm.TbOF.Next()) {
        if (shell::StopRequested()) return TFileOutcome::Stopped;
        fm.TbEstoque.EmptyDataSet();
        std::string of = fm.TbOF["OF"].AsString();

        // Lots of this order from every file of the run so far.
        double materialCost = 0;
        if (auto found = lots.find(of); found != lots.end()) {
            for (const ConsumedLot& lot : found->second) {
                BuscaEstoque(fm, lot);
                materialCost += fm.TbEstoque["Consumo"].AsFloat() * fm.TbEstoque["Custo"].AsFloat();
            }
        }

        double machineCost = MachineCost(fm, shell::QuotedStr(of));

        // A quantity of 0 would divide by zero: such an order gets no unit
        // cost, and the posting never reads it (it receives no product).
        double quantity = fm.TbOF["QtdeBai"].AsFloat();
        double unitCost = quantity != 0 ? (materialCost + machineCost) / quantity : 0.0;
        if (!std::isfinite(unitCost)) unitCost = 0;
        fm.TbOF["CustoProduto"] = unitCost;
        fm.TbOF.Post();

        if (BaixaOF(fm) == TPosting::Retry) complete = false;
    }
    return complete ? TFileOutcome::Posted : TFileOutcome::Retry;
}

}  // namespace

void ProcessaArquivos(TfmDEZORiv& fm) {
    fm.LinhaMemo1("FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS");
    fm.TbLotes.ClearFilter();
    fm.TbLotes.EmptyDataSet();

    const std::string inbox = fm.sPath + "Recebidos";
    const std::string processed = fm.sPath + "Processados";
    // The lookups of one run keep their values from order to order.
    shell::TLookupValue produto, cliente;
    LotsByOrder lots;

    const auto stopped = [&fm](const std::string& name) {
        // Orders already posted are refused as already imported next time.
        fm.LinhaMemo1("SERVICO PARANDO, IMPORTACAO INTERROMPIDA. ARQUIVO MANTIDO EM RECEBIDOS, AS OFS "
                      "RESTANTES SERAO IMPORTADAS NA PROXIMA EXECUCAO: " + name);
    };
    for (const std::string& name : ListInbox(inbox)) {
        if (shell::StopRequested()) return stopped(name);
        fm.TbOF.EmptyDataSet();
        fm.Origem = inbox + "/" + name;
        fm.Destino = processed + "/" + name;

        std::vector<std::string> lines = ReadInboxLines(fm.Origem);
        LoadRecords(fm, name, lines, produto, cliente, lots);
        TFileOutcome outcome = PostOrders(fm, lots);
        if (outcome == TFileOutcome::Stopped) return stopped(name);
        if (outcome == TFileOutcome::Retry) {
            // Its other orders are refused as already imported next time.
            fm.LinhaMemo1("ARQUIVO MANTIDO EM RECEBIDOS PARA NOVA TENTATIVA NA PROXIMA EXECUCAO: " + name);
            continue;
        }

        if (shell::MoveFileNoReplace(fm.Origem, fm.Destino))
            fm.LinhaMemo1("ARQUIVO MOVIDO PARA PROCESSADO: " + name);
        else
            fm.LinhaMemo1("ARQUIVO NAO MOVIDO, CONTINUA EM RECEBIDOS: " + name);
    }
}

}  // namespace writeoff
