// Stock posting of one production order: six checks, then in one
// transaction the order's time records, header and items, the consumption of
// each input with its movement row, the product receipt, the commit and the
// audit record.
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "dataaccess/KVErrors.h"
#include "shell/RegionalSettings.h"
#include "shell/SqlHelpers.h"
#include "shell/NumberText.h"
#include "WriteOffSteps.h"

namespace writeoff {
namespace {

using shell::NumberText;
using shell::QuotedStr;
using shell::TableName;

constexpr const char* kTela = "OF_IMPORTACAO";
constexpr int kMovimentacao = 3;

// A database message on one pane line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

// Checks 1 to 6; false (with its pane line) when the order is refused.
bool OrderAccepted(TfmDEZORiv& fm) {
    const std::string of = fm.TbOF["OF"].AsString();
    const std::string tpSaida = fm.TbOF["TpSaida"].AsString();
    const std::string depEntrada = fm.TbOF["DepositoEntrada"].AsString();
    const std::string tpEntrada = fm.TbOF["TpEntrada"].AsString();

    if (!shell::RecordExists(fm.dbKV, "TABBAI", "CODIGO", QuotedStr(tpSaida))) {
        fm.LinhaMemo1("TIPO DE SAIDA INVALIDO: " + tpSaida + " OF: " + of);
        return false;
    }
    if (!shell::RecordExists(fm.dbKV, "DEPOSITO", "CODIGO", QuotedStr(depEntrada))) {
        fm.LinhaMemo1("DEPOSITO DE ENTRADA INVALIDO: " + depEntrada + " OF: " + of);
        return false;
    }
    if (!shell::RecordExists(fm.dbKV, "TABBAI", "CODIGO", QuotedStr(tpEntrada))) {
        fm.LinhaMemo1("TIPO DE ENTRADA INVALIDO: " + tpEntrada + " OF: " + of);
        return false;
    }
    if (fm.TbEstoque.IsEmpty()) {
        fm.LinhaMemo1("ESTOQUE INVALIDO: SEM REGISTRO OF: " + of);
        return false;
    }
    shell::TLookupValue impof;
    shell::LookupValue(fm.dbKV, "OF1", "NUMERO", "IMPOF", QuotedStr(of), impof);
    double imported = 0;
    if (!shell::TryStrToFloatLocale(impof.AsString(), imported)) imported = 0;
    if (imported != 0) {
        fm.LinhaMemo1("OF NAO ESTA EM ABERTO. OF: " + of);
        return false;
    }
    for (fm.TbEstoque.First(); !fm.TbEstoque.Eof(); fm.TbEstoque.Next()) {
        if (fm.TbEstoque["Estoque"].AsFloat() < fm.TbEstoque["Consumo"].AsFloat()) {
            std::string text = "ESTOQUE INSUFICIENTE DO INSUMO " + fm.TbEstoque["Codigo"].AsString() + " OF " + of;
            fm.LinhaMemo1(text);
            shell::AuditRecord(fm, kTela, text, kMovimentacao, of);
            return false;
        }
    }
    return true;
}

// A product price as a number: a text (the lookup found no row) must read as
// one, or the posting fails.
double PriceOf(const shell::TLookupValue& price) {
    if (std::holds_alternative<std::string>(price.Value)) return shell::StrToFloatLocale(price.AsString());
    return price.AsFloat();
}

void ConsumeProduct(TfmDEZORiv& fm, const std::string& dateText, shell::TLookupValue& price) {
    TKVQuery& q = fm.QryUpdate;
    const std::string of = fm.TbOF["OF"].AsString();
    const std::string codigo = QuotedStr(fm.TbEstoque["Codigo"].AsString());
    const std::string cor = QuotedStr(fm.TbEstoque["Cor"].AsString());
    const std::string lote = QuotedStr(fm.TbEstoque["Lote"].AsString());
    const std::string depSaida = QuotedStr(fm.TbOF["DepositoSaida"].AsString());
    const std::string consumo = NumberText(fm.TbEstoque["Consumo"].AsFloat());

    if (!shell::RecordExistsOrRaise(fm.dbKV, "PA_ITEN", "CODIGO, COR, LOTE, DEPOSITO",
                             codigo + "," + cor + "," + lote + "," +
                                 QuotedStr(fm.TbEstoque["Deposito"].AsString())))
        return;

    // The row of this size only: a product stocked in several sizes of one
    // lot keeps the others.
    const std::string tam = QuotedStr(fm.TbEstoque["Tam"].AsString());
    q.Close();
    SetLines(q, {"UPDATE " + TableName("PA_ITEN"), "SET QUANTIDADE = QUANTIDADE - " + consumo,
                 "WHERE CODIGO = " + codigo, "AND COR = " + cor, "AND DEPOSITO = " + depSaida,
                 "AND LOTE = " + lote, "AND TAM = " + tam});
    q.ExecSQL();
    if (!OneStockRow(q, "PA_ITEN", "CODIGO " + codigo + ", COR " + cor + ", LOTE " + lote + ", DEPOSITO " + depSaida +
                                       ", TAM " + tam))
        return;

    const int ordem = ProximaOrdem(fm);
    shell::LookupValue(fm.dbKV, "PRODUTO", "CODIGO", "PRECO", codigo, price);
    const double preco = PriceOf(price);

    std::vector<std::string> lines = {
        "INSERT INTO " + TableName("PA_MOV") + " ",
        "(CODIGO,TIP_BAI,COR,QTDE,LOTE,DEPOSITO,OPERACAO,NUM_DOCTO,DESCRICAO,DT_MVTO,CODFUN,ORDEM,TAMANHO,TIPO,CUSTO,TURNO,CODCLI,PRECO,TP_MOV)",
        "VALUES"};
    AddValueLines(lines, {codigo, QuotedStr(fm.TbOF["TpSaida"].AsString()), cor, consumo, lote, depSaida,
                          QuotedStr("S"), QuotedStr(of), QuotedStr("VELDOR"), dateText, QuotedStr(""),
                          std::to_string(ordem), fm.TbEstoque["Tam"].AsString(), QuotedStr("1"),
                          NumberText(fm.TbEstoque["Custo"].AsFloat()), QuotedStr("1"),
                          QuotedStr(fm.TbOF["Cliente"].AsString()), NumberText(preco), QuotedStr("BO")});
    q.Close();
    SetLines(q, lines);
    q.ExecSQL();
}

void ConsumeMaterial(TfmDEZORiv& fm, const std::string& dateText, int position) {
    TKVQuery& q = fm.QryUpdate;
    const std::string of = fm.TbOF["OF"].AsString();
    const std::string codigo = QuotedStr(fm.TbEstoque["Codigo"].AsString());
    const std::string cor = QuotedStr(fm.TbEstoque["Cor"].AsString());
    const std::string lote = QuotedStr(fm.TbEstoque["Lote"].AsString());
    const std::string depSaida = QuotedStr(fm.TbOF["DepositoSaida"].AsString());
    const std::string consumo = NumberText(fm.TbEstoque["Consumo"].AsFloat());
    const std::string custo = NumberText(fm.TbEstoque["Custo"].AsFloat());

    if (!shell::RecordExistsOrRaise(fm.dbKV, "MAT_ITEN", "CODIGO, COR, LOTE, DEPOSITO",
                             codigo + "," + cor + "," + lote + "," + depSaida))
        return;

    q.Close();
    SetLines(q, {"UPDATE " + TableName("MAT_ITEN") + " SET ", "QTDE = QTDE - " + consumo,
                 "WHERE CODIGO = " + codigo, "AND COR = " + cor, "AND LOTE = " + lote,
                 "AND DEPOSITO = " + depSaida});
    q.ExecSQL();
    if (!OneStockRow(q, "MAT_ITEN", "CODIGO " + codigo + ", COR " + cor + ", LOTE " + lote + ", DEPOSITO " + depSaida)) return;

    std::vector<std::string> lines = {"INSERT INTO " + TableName("MAT_MOV"),
                                      "(NUM_DOCTO, ORDEM, DT_MOVTO, CODCRE, CODIGO, COR, PRECO, CUSTO, ",
                                      "DEPOSITO, GRUPO, LOTE, DESCRICAO, OPERACAO, TIPO, TP_MOV, QTDE)",
                                      "VALUES"};
    AddValueLines(lines, {QuotedStr(of), std::to_string(position), dateText,
                          QuotedStr(fm.TbOF["Cliente"].AsString()), codigo, cor, custo, custo, depSaida,
                          QuotedStr(""), lote, QuotedStr("VELDOR"), QuotedStr("S"),
                          QuotedStr(fm.TbOF["TpSaida"].AsString()), QuotedStr("EN"), consumo});
    q.Close();
    SetLines(q, lines);
    q.ExecSQL();
}

// Steps 7 to 12: every write of the order, up to its commit.
void WriteOrder(TfmDEZORiv& fm, const std::string& dateText) {
    const std::string of = QuotedStr(fm.TbOF["OF"].AsString());
    const std::string quantity = NumberText(fm.TbOF["QtdeBai"].AsFloat());

    TKVQuery& g = fm.QryGrava;
    g.Close();
    SetLines(g, {"UPDATE " + TableName("OF_TEMPO") + " SET ", "SITUACAO = " + QuotedStr("B"),
                 "WHERE NUMERO = " + of, "AND SITUACAO = " + QuotedStr("")});
    g.ExecSQL();

    g.Close();
    SetLines(g, {"UPDATE " + TableName("OF1") + " SET ", "QTDE_B = QTDE_B + " + quantity,
                 ",DT_FINAL = " + dateText, ",IMPOF = 1 ", "WHERE NUMERO = " + of});
    g.ExecSQL();

    {
        TKVQuery items;
        items.SetDatabase(&fm.dbKV);
        SetLines(items, {"UPDATE " + TableName("OF_ITEN"), "SET QTDE = QTDE - " + quantity,
                         ",QTDE_B = QTDE_B + " + quantity, "WHERE NUMERO = " + of});
        items.ExecSQL();
    }

    // The product price of the inputs keeps its value from row to row.
    shell::TLookupValue price{0.0, TKVFieldType::Float};
    int position = 0;
    for (fm.TbEstoque.First(); !fm.TbEstoque.Eof(); fm.TbEstoque.Next()) {
        ++position;
        if (fm.TbEstoque["Tipo"].AsString() == "M")
            ConsumeMaterial(fm, dateText, position);
        else
            ConsumeProduct(fm, dateText, price);
    }

    if (fm.TbOF["QtdeBai"].AsFloat() > 0) EntradaProduto(fm, dateText);

    fm.KVTransaction.CommitRetaining();
}

}  // namespace

bool OneStockRow(const TKVQuery& update, const std::string& table, const std::string& row) {
    const long long changed = update.RowsAffected();
    if (changed == 0) return false;
    if (changed > 1)
        throw std::runtime_error("ATUALIZACAO DE ESTOQUE ALTERARIA " + std::to_string(changed) + " LINHAS DE " +
                                 table + ": " + row);
    return true;
}

std::string QuotedDateText() {
    std::tm t = shell::LocalNow();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900);
    return QuotedStr(buf);
}

void SetLines(TKVQuery& q, const std::vector<std::string>& lines) {
    q.SQL.Clear();
    for (const std::string& line : lines) q.SQL.Add(line);
}

void AddValueLines(std::vector<std::string>& lines, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        std::string line = (i == 0 ? "(" : ",") + values[i];
        if (i + 1 == values.size()) line += ")";
        lines.push_back(line);
    }
}

int ProximaOrdem(TfmDEZORiv& fm) {
    TKVQuery q;
    q.SetDatabase(&fm.dbKV);
    SetLines(q, {"SELECT MAX(ORDEM) AS ORDEM FROM " + TableName("PA_MOV"), "WHERE DT_MVTO > CURRENT_DATE-30"});
    q.Open();
    int next = q.IsEmpty() ? 1 : static_cast<int>(q.FieldByName("ORDEM").AsInteger()) + 1;
    q.Close();
    return next;
}

TPosting BaixaOF(TfmDEZORiv& fm) {
    const std::string of = fm.TbOF["OF"].AsString();
    try {
        if (!OrderAccepted(fm)) return TPosting::Refused;
    } catch (const std::exception& e) {
        // A check that could not be answered now refuses nothing.
        if (!IsTransient(e)) throw;
        fm.LinhaMemo1("ERRO TEMPORARIO NA VERIFICACAO, OF NAO IMPORTADA, NOVA TENTATIVA NA PROXIMA EXECUCAO. OF: " +
                      of + " - " + OneLine(e.what()));
        return TPosting::Retry;
    }

    const std::string dateText = QuotedDateText();
    bool committed = false;
    TPosting result = TPosting::Posted;
    try {
        WriteOrder(fm, dateText);
        committed = true;
        shell::AuditRecord(fm, kTela, "IMPORTACAO CONCLUIDA DA OF: " + of, kMovimentacao, of);
    } catch (const std::exception& e) {
        try {
            fm.KVTransaction.RollbackRetaining();
        } catch (...) {
        }
        fm.TbEstoque.EmptyDataSet();
        // The server has undone the order; the run ends and its file waits.
        if (IsConnectionLost(e)) throw;
        // The operator must learn that the order was not posted (or, after
        // the commit, that only its audit row is missing).
        if (committed) {
            fm.LinhaMemo1("ERRO AO GRAVAR O LOG DA OF: " + of + " - " + OneLine(e.what()));
        } else if (IsTransient(e)) {
            fm.LinhaMemo1("ERRO TEMPORARIO NA BAIXA, OF NAO IMPORTADA (ALTERACOES DESFEITAS), NOVA TENTATIVA NA "
                          "PROXIMA EXECUCAO. OF: " + of + " - " + OneLine(e.what()));
            result = TPosting::Retry;
        } else {
            fm.LinhaMemo1("ERRO NA BAIXA, OF NAO IMPORTADA (ALTERACOES DESFEITAS). OF: " + of + " - " +
                          OneLine(e.what()));
            result = TPosting::Failed;
        }
    }
    fm.TbEstoque.EmptyDataSet();
    return result;
}

}  // namespace writeoff
