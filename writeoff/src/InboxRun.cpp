// One run of the write-off: inbox listing, records into the work tables,
// unit cost of each order, posting, and the move to the processed folder.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "dataaccess/KVPlatform.h"
#include "shell/ActivityLog.h"
#include "shell/FileMoves.h"
#include "shell/RegionalSettings.h"
#include "shell/ServiceNotify.h"
#include "shell/SqlHelpers.h"
#include "textutil/AsciiCase.h"
#include "shell/StopSignals.h"
#include "writeoff/InboxFile.h"
#include "writeoff/WriteOff.h"
#include "WriteOffSteps.h"

namespace writeoff {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMessageCaption = "ZI Zavovozirar";

using textutil::UpperAscii;

// Names in the folder that match "*.txt" (letter case ignored, folders
// included, as the system's listing gives them), in name order.
std::vector<std::string> ListInbox(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() >= 4 && UpperAscii(name.substr(name.size() - 4)) == ".TXT") names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        std::string ua = UpperAscii(a), ub = UpperAscii(b);
        return ua != ub ? ua < ub : a < b;
    });
    return names;
}

// What a look at a file saw: its size and last change.
struct FileState {
    bool seen = false;    // stat answered
    bool folder = false;
    off_t size = 0;
    timespec mtime{};

    bool operator==(const FileState& o) const {
        return seen == o.seen && folder == o.folder && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
    bool operator!=(const FileState& o) const { return !(*this == o); }
};

FileState StateOf(const std::string& path) {
    FileState state;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return state;
    state.seen = true;
    state.folder = S_ISDIR(st.st_mode);
    state.size = st.st_size;
    state.mtime = st.st_mtim;
    return state;
}

// A file is taken only when it is complete: its size and modification time
// unchanged over kSettleMs. One last changed kOldEnoughMs ago or more has
// settled already (the margin covers file systems that keep whole seconds);
// for younger ones the run waits kSettleMs once and looks again.
constexpr int kSettleMs = 1000;
constexpr int kOldEnoughMs = 2000;

bool Young(const FileState& state) {
    if (!state.seen || state.folder) return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long ageMs = (static_cast<long long>(now.tv_sec) - state.mtime.tv_sec) * 1000 +
                            (now.tv_nsec - state.mtime.tv_nsec) / 1000000;
    return ageMs < kOldEnoughMs;  // a time in the future too
}

struct ListedFile {
    std::string name;
    FileState state;  // as the settling check left it
    bool complete = true;
};

// The listed names with their state; files still being written are marked.
// Anything stat cannot see (a file gone meanwhile) goes on as listed: the
// read reports it.
std::vector<ListedFile> SettledFiles(const std::string& inbox, const std::vector<std::string>& names) {
    std::vector<ListedFile> files;
    bool wait = false;
    for (const std::string& name : names) {
        files.push_back({name, StateOf(inbox + "/" + name)});
        wait = wait || Young(files.back().state);
    }
    if (!wait) return files;
    KVSleep(kSettleMs);
    for (ListedFile& file : files) {
        if (!Young(file.state)) continue;
        const FileState now = StateOf(inbox + "/" + file.name);
        file.complete = now == file.state;
        file.state = now;
    }
    return files;
}

// The lots of one run by order number, in the order they were loaded: the
// same rows TbLotes holds, found without scanning the whole table per order
// (it is emptied only once per run and grows with every file).
using LotsByOrder = std::unordered_map<std::string, std::vector<ConsumedLot>>;

[[noreturn]] void MalformedLine(const std::string& file, size_t lineNo, const std::string& what) {
    throw std::runtime_error("Arquivo " + file + ", linha " + std::to_string(lineNo) + ": " + what);
}

// Loads the records of one file into TbOF and TbLotes. `refusals` gets one
// entry per TbOF row: empty, or the pane line of an order refused because a
// value of it does not fit its column (such an order is neither looked up
// nor posted, and its lots are not loaded).
void LoadRecords(TfmDEZORiv& fm, const std::string& name, const std::vector<std::string>& lines,
                 shell::TLookupValue& produto, shell::TLookupValue& cliente, LotsByOrder& lots,
                 std::vector<std::string>& refusals) {
    static const char* const kOrderColumns[] = {"TpSaida", "DepositoSaida", "DepositoEntrada", "TpEntrada", "Lote",
                                                "Local"};
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = SplitFields(lines[i]);
        if (f.empty()) MalformedLine(name, i + 1, "linha vazia");
        if (f[0] == "001") {
            if (f.size() < 9)
                MalformedLine(name, i + 1,
                              "registro 001 com " + std::to_string(f.size()) + " campos, esperados 9");
            fm.TbOF.Append();
            refusals.emplace_back();
            try {
                SetText(fm.TbOF, "OF", f[1]);
                for (size_t k = 0; k < 6; ++k) SetText(fm.TbOF, kOrderColumns[k], f[3 + k]);
            } catch (const TValueTooLong& e) {
                refusals.back() = ValueTooLongLine(e, f[1]);
            }
            fm.TbOF["QtdeBai"] = shell::StrToFloatLocale(f[2]);
            if (!refusals.back().empty()) continue;
            std::string numero = shell::QuotedStr(fm.TbOF["OF"].AsString());
            shell::LookupValue(fm.dbKV, "OF1", "NUMERO", "CODIGO", numero, produto);
            shell::LookupValue(fm.dbKV, "OF1", "NUMERO", "CODCLI", numero, cliente);
            try {
                SetText(fm.TbOF, "Produto", produto.AsString());
                SetText(fm.TbOF, "Cliente", cliente.AsString());
            } catch (const TValueTooLong& e) {
                refusals.back() = ValueTooLongLine(e, f[1]);
            }
            fm.TbOF.Post();
        } else if (f[0] == "002" && fm.TbOF.HasCurrent() && !fm.TbOF["OF"].AsString().empty()) {
            if (f.size() < 4)
                MalformedLine(name, i + 1,
                              "registro 002 com " + std::to_string(f.size()) + " campos, esperados 4");
            if (refusals.empty() || !refusals.back().empty()) continue;
            std::string of = fm.TbOF["OF"].AsString();
            fm.TbLotes.Append();
            try {
                fm.TbLotes["OF"] = of;
                SetText(fm.TbLotes, "Codigo", f[1]);
                SetText(fm.TbLotes, "Tipo", f[2]);
                SetText(fm.TbLotes, "Lote", f[3]);
            } catch (const TValueTooLong& e) {
                refusals.back() = ValueTooLongLine(e, of);
                fm.TbLotes.Delete();
                continue;
            }
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
TFileOutcome PostOrders(TfmDEZORiv& fm, const LotsByOrder& lots, const std::vector<std::string>& refusals) {
    bool complete = true;
    size_t row = 0;
    for (fm.TbOF.First(); !fm.TbOF.Eof(); fm.TbOF.Next(), ++row) {
        if (shell::StopRequested()) return TFileOutcome::Stopped;
        shell::ServiceProgress();
        fm.TbEstoque.EmptyDataSet();
        if (row < refusals.size() && !refusals[row].empty()) {
            fm.LinhaMemo1(refusals[row]);
            continue;
        }
        std::string of = fm.TbOF["OF"].AsString();

        // Lots of this order from every file of the run so far.
        double materialCost = 0;
        try {
            if (auto found = lots.find(of); found != lots.end()) {
                for (const ConsumedLot& lot : found->second) {
                    BuscaEstoque(fm, lot);
                    materialCost += fm.TbEstoque["Consumo"].AsFloat() * fm.TbEstoque["Custo"].AsFloat();
                }
            }
        } catch (const TValueTooLong& e) {
            fm.TbEstoque.EmptyDataSet();
            fm.LinhaMemo1(ValueTooLongLine(e, of));
            continue;
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
    for (const ListedFile& file : SettledFiles(inbox, ListInbox(inbox))) {
        shell::ServiceProgress();
        const std::string& name = file.name;
        if (shell::StopRequested()) return stopped(name);
        if (!file.complete) {
            fm.LinhaMemo1("ARQUIVO AINDA EM GRAVACAO, CONTINUA EM RECEBIDOS PARA A PROXIMA EXECUCAO: " + name);
            continue;
        }
        fm.TbOF.EmptyDataSet();
        fm.Origem = inbox + "/" + name;
        fm.Destino = processed + "/" + name;

        std::vector<std::string> lines = ReadInboxLines(fm.Origem);
        // Written to between the check and the read: what was read may end
        // in a cut line.
        if (StateOf(fm.Origem) != file.state) {
            fm.LinhaMemo1("ARQUIVO ALTERADO DURANTE A LEITURA, NADA IMPORTADO, CONTINUA EM RECEBIDOS PARA A "
                          "PROXIMA EXECUCAO: " + name);
            continue;
        }
        std::vector<std::string> refusals;
        LoadRecords(fm, name, lines, produto, cliente, lots, refusals);
        TFileOutcome outcome = PostOrders(fm, lots, refusals);
        if (outcome == TFileOutcome::Stopped) return stopped(name);
        if (outcome == TFileOutcome::Retry) {
            // Its other orders are refused as already imported next time.
            fm.LinhaMemo1("ARQUIVO MANTIDO EM RECEBIDOS PARA NOVA TENTATIVA NA PROXIMA EXECUCAO: " + name);
            continue;
        }
        // Lines added while the orders were posted would be moved unread;
        // at the next run the posted orders are refused as imported and the
        // new ones are posted.
        if (StateOf(fm.Origem) != file.state) {
            fm.LinhaMemo1("ARQUIVO ALTERADO DURANTE A IMPORTACAO, CONTINUA EM RECEBIDOS PARA A PROXIMA EXECUCAO: " +
                          name);
            continue;
        }

        // A name already in Processados gives the file a new one.
        const std::string moved = shell::MoveFileUnique(fm.Origem, fm.Destino);
        if (moved.empty()) {
            fm.LinhaMemo1("ARQUIVO NAO MOVIDO, CONTINUA EM RECEBIDOS: " + name);
        } else if (moved == fm.Destino) {
            fm.LinhaMemo1("ARQUIVO MOVIDO PARA PROCESSADO: " + name);
        } else {
            fm.Destino = moved;
            fm.LinhaMemo1("ARQUIVO MOVIDO PARA PROCESSADO: " + name + " COMO " + shell::ExtractFileName(moved) +
                          " (JA HAVIA UM ARQUIVO COM ESSE NOME)");
        }
    }
}

}  // namespace writeoff
