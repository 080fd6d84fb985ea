// State of one export run, shared by the send operations of an order.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "JsonText.h"
#include "dataaccess/KVDateTime.h"
#include "dataaccess/TKVQuery.h"
#include "shell/TfmDEZORiv.h"

namespace exportjob {

// One row of the selection of unsent lines.
struct TOrderLine {
    std::string Numero, Codigo, Cor, DescMat, Unidade, Rpm, Maquina, Ficha, ArtCli;
    double Qtde = 0, Peso = 0, KgHora = 0;
    int32_t Ciclos = 0;
    TDateTime Entrega = 0;
};

// Reads the current row of the selection.
TOrderLine ReadOrderLine(TKVQuery& selection);

struct TRunContext {
    explicit TRunContext(TfmDEZORiv& form) : Form(form) {}
    TfmDEZORiv& Form;
    TOrderLine Line;    // current line of the selection
    TOrderLine Header;  // first line of the current order
    double PiecesTotal = 0;
    int32_t CyclesTotal = 0;
    std::string ResponseText;  // of the last request
};

// The selection of unsent lines, one clause per line.
// Fills a query with a statement whose lines are separated by LF.
void SetLines(TKVQuery& query, const std::string& text);

std::string SelectionSQL();
// The raport statement of one roll kind of an order.
std::string RaportSQL(const std::string& numero, const std::string& kind);
// The update that marks a line as sent.
std::string MarkSentSQL(const std::string& numero, const std::string& codigo, const std::string& cor);

// Order-line document of the current line (throws when it cannot be built).
Json OrderDocument(const TRunContext& ctx);
// "InformacoesComplementares" of an order: PEDIDO, DATA ENTREGA, DESENHO.
Json OrderInformation(const std::string& ficha, TDateTime entrega, const std::string& artCli);
// The weaving operation of a routing.
Json WeavingOperation(const std::string& maquina, int sequencia, int32_t quantidadePorCiclo,
                      const std::string& rpm, double kgHora);
// Host short date text of a date value.
std::string ShortDate(TDateTime value);

bool EnviaOrdem(TRunContext& ctx);
bool EnviaOrdemPrincipal(TRunContext& ctx);
void EnviaOrdemAgrupamento(TRunContext& ctx);
bool DeletarPorCodigo(TRunContext& ctx, const std::string& numero);

}  // namespace exportjob
