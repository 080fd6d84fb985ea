// The steps of one write-off run, shared by its source files.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

#include "dataaccess/TKVQuery.h"
#include "shell/TfmDEZORiv.h"

namespace writeoff {

// A value longer than the work-table column it goes into. Cut, it would name
// another order, lot or stock row, so the order it belongs to is refused.
class TValueTooLong : public std::runtime_error {
public:
    TValueTooLong(const std::string& field, int width, const std::string& value);
    std::string Field;  // column name, upper case
    int Width;
    std::string Value;
};

// Stores a text into a column of the current row of a work table; throws
// TValueTooLong when the text (trailing blanks aside) is longer than the column.
void SetText(shell::TWorkTable& table, const std::string& column, const std::string& value);

// Pane line of an order refused for a value too long.
std::string ValueTooLongLine(const TValueTooLong& e, const std::string& of);

// A consumed lot as stored in TbLotes (texts cut to the table's widths).
struct ConsumedLot {
    std::string Codigo;
    std::string Tipo;
    std::string Lote;
};

// Material requirements of the current TbOF order for one consumed lot:
// appends the matching stock rows to TbEstoque (on QryBusca). A stock value
// too long for its TbEstoque column raises TValueTooLong.
void BuscaEstoque(TfmDEZORiv& fm, const ConsumedLot& lot);

// What became of an order handed to the posting.
enum class TPosting {
    Posted,   // committed
    Refused,  // a check failed; nothing written
    Failed,   // the database refused a write; everything undone
    Retry,    // undone for a passing reason (time limit, deadlock): try again
};

// Posts the current TbOF order with the rows of TbEstoque: checks, writes,
// commit and audit record. Refusals and failed writes are reported on Memo1.
// A lost connection is raised (after undoing the order), so the run ends.
TPosting BaixaOF(TfmDEZORiv& fm);

// Receives the finished product of the current TbOF order into stock and
// re-costs it. Runs inside the posting's transaction; errors propagate.
void EntradaProduto(TfmDEZORiv& fm, const std::string& dateText);

// Weighted average cost of product p after receiving n units at unit cost u;
// 0 means that there is no new cost. Reads the current TbEstoque row.
double CustoMedio(TfmDEZORiv& fm, const std::string& produto, double n, double u);

// Next PA_MOV order number: highest ORDEM of the last 30 days plus one.
int ProximaOrdem(TfmDEZORiv& fm);

// After a stock UPDATE: true when it changed exactly one row. No row: false
// (the stock row was matched by the existence check only, through a LIKE
// wildcard): the caller writes no movement for it. More than one: raises,
// so the whole order is undone and reported. `row` names the row.
bool OneStockRow(const TKVQuery& update, const std::string& table, const std::string& row);

// Today's local date as 'MM/DD/YYYY' (quoted).
std::string QuotedDateText();

// Replaces the statement text of a query with the given lines.
void SetLines(TKVQuery& q, const std::vector<std::string>& lines);

// Appends the value lines of an INSERT: the first begins with "(", every
// other with ",", the last ends with ")".
void AddValueLines(std::vector<std::string>& lines, const std::vector<std::string>& values);

}  // namespace writeoff
