#include "shell/WorkTable.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <strings.h>

#include "shell/NumberText.h"
#include "shell/Utf8.h"

namespace shell {

namespace {

bool ParseNumber(const std::string& text, double& out) {
    std::string t;
    for (char c : text) t += (c == ',') ? '.' : c;
    size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    size_t e = t.find_last_not_of(" \t");
    t = t.substr(b, e - b + 1);
    char* end = nullptr;
    out = std::strtod(t.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out);
}

}  // namespace

std::string CutToWidth(const std::string& text, int width) {
    if (width <= 0) return text;
    int chars = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (chars == width) return text.substr(0, i);
        // A stray continuation byte counts as one character of its own.
        i += Utf8CharLength(text, i);
        ++chars;
    }
    return text;
}

// ---- TWorkField ----

const std::string& TWorkField::FieldName() const { return FTable->FColumns[FColumn].Name; }
TColumnKind TWorkField::Kind() const { return FTable->FColumns[FColumn].Kind; }
int TWorkField::Width() const { return FTable->FColumns[FColumn].Width; }

bool TWorkField::IsNull() const {
    const auto* cell = FTable->CurrentCellOrNull(FColumn);
    return !cell || std::holds_alternative<std::monostate>(*cell);
}

std::string TWorkField::AsString() const {
    const auto* cell = FTable->CurrentCellOrNull(FColumn);
    if (!cell) return {};
    if (auto s = std::get_if<std::string>(cell)) return *s;
    if (auto d = std::get_if<double>(cell)) return NumberText(*d);
    if (auto i = std::get_if<int32_t>(cell)) return std::to_string(*i);
    return {};
}

double TWorkField::AsFloat() const {
    const auto* cell = FTable->CurrentCellOrNull(FColumn);
    if (!cell) return 0.0;
    if (auto d = std::get_if<double>(cell)) return *d;
    if (auto i = std::get_if<int32_t>(cell)) return *i;
    if (auto s = std::get_if<std::string>(cell)) {
        double v = 0;
        return ParseNumber(*s, v) ? v : 0.0;
    }
    return 0.0;
}

int32_t TWorkField::AsInteger() const {
    const auto* cell = FTable->CurrentCellOrNull(FColumn);
    if (!cell) return 0;
    if (auto i = std::get_if<int32_t>(cell)) return *i;
    if (auto d = std::get_if<double>(cell)) return static_cast<int32_t>(std::llround(*d));
    if (auto s = std::get_if<std::string>(cell)) {
        double v = 0;
        return ParseNumber(*s, v) ? static_cast<int32_t>(std::llround(v)) : 0;
    }
    return 0;
}

void TWorkField::SetAsString(const std::string& value) {
    auto& cell = FTable->CurrentCell(FColumn);
    switch (Kind()) {
        case TColumnKind::Text:
            cell = CutToWidth(value, Width());
            break;
        case TColumnKind::Float:
        case TColumnKind::Integer: {
            double v = 0;
            if (value.find_first_not_of(" \t") == std::string::npos) {
                cell = std::monostate{};
                break;
            }
            if (!ParseNumber(value, v))
                throw std::invalid_argument("'" + value + "' is not a valid floating point value");
            if (Kind() == TColumnKind::Float)
                cell = v;
            else
                cell = static_cast<int32_t>(std::llround(v));
            break;
        }
    }
}

void TWorkField::SetAsFloat(double value) {
    auto& cell = FTable->CurrentCell(FColumn);
    switch (Kind()) {
        case TColumnKind::Text: cell = CutToWidth(NumberText(value), Width()); break;
        case TColumnKind::Float: cell = value; break;
        case TColumnKind::Integer: cell = static_cast<int32_t>(std::llround(value)); break;
    }
}

void TWorkField::SetAsInteger(int32_t value) {
    auto& cell = FTable->CurrentCell(FColumn);
    switch (Kind()) {
        case TColumnKind::Text: cell = CutToWidth(std::to_string(value), Width()); break;
        case TColumnKind::Float: cell = static_cast<double>(value); break;
        case TColumnKind::Integer: cell = value; break;
    }
}

void TWorkField::Clear() { FTable->CurrentCell(FColumn) = std::monostate{}; }

// ---- TWorkTable ----

TWorkTable::TWorkTable(std::string name, std::vector<TColumnDef> columns)
    : FName(std::move(name)), FColumns(std::move(columns)) {}

int TWorkTable::FieldIndex(const std::string& name) const {
    for (size_t i = 0; i < FColumns.size(); ++i)
        if (strcasecmp(FColumns[i].Name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
}

TWorkField TWorkTable::FieldByName(const std::string& name) {
    int index = FieldIndex(name);
    if (index < 0) throw std::out_of_range(FName + ": Field '" + name + "' not found");
    return TWorkField(this, index);
}

bool TWorkTable::Visible(int row) const {
    for (const auto& [column, value] : FFilter)
        if (CellText(row, column) != value) return false;
    return true;
}

int TWorkTable::NextVisible(int from) const {
    for (int r = from; r < static_cast<int>(FRows.size()); ++r)
        if (Visible(r)) return r;
    return -1;
}

int TWorkTable::PriorVisible(int from) const {
    for (int r = from; r >= 0; --r)
        if (Visible(r)) return r;
    return -1;
}

std::string TWorkTable::CellText(int row, int column) const {
    const Cell& cell = FRows[row][column];
    if (auto s = std::get_if<std::string>(&cell)) return *s;
    if (auto d = std::get_if<double>(&cell)) return NumberText(*d);
    if (auto i = std::get_if<int32_t>(&cell)) return std::to_string(*i);
    return {};
}

TWorkTable::Cell& TWorkTable::CurrentCell(int column) {
    if (FCurrent < 0) throw std::logic_error(FName + ": no current record");
    return FRows[FCurrent][column];
}

const TWorkTable::Cell* TWorkTable::CurrentCellOrNull(int column) const {
    if (FCurrent < 0) return nullptr;
    return &FRows[FCurrent][column];
}

void TWorkTable::Append() {
    FRows.emplace_back(FColumns.size());
    FCurrent = static_cast<int>(FRows.size()) - 1;
    FEof = false;
    FBof = false;
}

void TWorkTable::EmptyDataSet() {
    FRows.clear();
    FCurrent = -1;
    FEof = true;
    FBof = true;
}

void TWorkTable::Delete() {
    if (FCurrent < 0) return;
    FRows.erase(FRows.begin() + FCurrent);
    int next = NextVisible(FCurrent);
    if (next < 0) next = PriorVisible(FCurrent - 1);
    FCurrent = next;
    FEof = next < 0;
    FBof = next < 0;
}

void TWorkTable::First() {
    FCurrent = NextVisible(0);
    FEof = FCurrent < 0;
    FBof = true;
}

void TWorkTable::Last() {
    FCurrent = PriorVisible(static_cast<int>(FRows.size()) - 1);
    FEof = true;
    FBof = FCurrent < 0;
}

void TWorkTable::Next() {
    if (FCurrent < 0) {
        FEof = true;
        return;
    }
    int next = NextVisible(FCurrent + 1);
    if (next < 0) {
        FEof = true;  // the last row stays current
    } else {
        FCurrent = next;
        FEof = false;
        FBof = false;
    }
}

void TWorkTable::Prior() {
    if (FCurrent < 0) {
        FBof = true;
        return;
    }
    int prior = PriorVisible(FCurrent - 1);
    if (prior < 0) {
        FBof = true;
    } else {
        FCurrent = prior;
        FBof = false;
        FEof = false;
    }
}

bool TWorkTable::Eof() const { return FEof || FCurrent < 0; }
bool TWorkTable::Bof() const { return FBof || FCurrent < 0; }

int TWorkTable::RecordCount() const {
    if (FFilter.empty()) return static_cast<int>(FRows.size());
    int n = 0;
    for (int r = 0; r < static_cast<int>(FRows.size()); ++r)
        if (Visible(r)) ++n;
    return n;
}

int TWorkTable::RecNo() const {
    if (FCurrent < 0) return 0;
    int n = 0;
    for (int r = 0; r <= FCurrent; ++r)
        if (Visible(r)) ++n;
    return n;
}

bool TWorkTable::Locate(const std::string& column, const std::string& value) {
    int index = FieldIndex(column);
    if (index < 0) throw std::out_of_range(FName + ": Field '" + column + "' not found");
    for (int r = 0; r < static_cast<int>(FRows.size()); ++r)
        if (Visible(r) && CellText(r, index) == value) {
            FCurrent = r;
            FEof = false;
            FBof = false;
            return true;
        }
    return false;
}

void TWorkTable::SetFilter(std::vector<TWorkFilter> filter) {
    FFilter.clear();
    for (auto& f : filter) {
        int index = FieldIndex(f.Column);
        if (index < 0) throw std::out_of_range(FName + ": Field '" + f.Column + "' not found");
        FFilter.emplace_back(index, std::move(f.Value));
    }
    First();
}

void TWorkTable::ClearFilter() { FFilter.clear(); }

// ---- layouts ----

std::vector<TColumnDef> TbOFColumns() {
    using K = TColumnKind;
    return {{"OF", K::Text, 6},          {"QtdeBai", K::Float, 0},   {"TpSaida", K::Text, 1},
            {"DepositoSaida", K::Text, 6}, {"DepositoEntrada", K::Text, 6}, {"TpEntrada", K::Text, 1},
            {"Lote", K::Text, 15},       {"Local", K::Text, 30},     {"Produto", K::Text, 15},
            {"Cliente", K::Text, 5},     {"CustoProduto", K::Float, 0}};
}

std::vector<TColumnDef> TbLotesColumns() {
    using K = TColumnKind;
    return {{"Codigo", K::Text, 15}, {"Lote", K::Text, 20}, {"OF", K::Text, 20}, {"Tipo", K::Text, 1}};
}

std::vector<TColumnDef> TbEstoqueColumns() {
    using K = TColumnKind;
    return {{"Codigo", K::Text, 15}, {"Deposito", K::Text, 6}, {"Lote", K::Text, 15},
            {"Custo", K::Float, 0},  {"Cor", K::Text, 6},      {"Tipo", K::Text, 1},
            {"Consumo", K::Float, 0}, {"Unidade", K::Text, 3}, {"Tam", K::Text, 4},
            {"Estoque", K::Float, 0}};
}

std::vector<TColumnDef> CDSOrdTecelagemColumns() {
    using K = TColumnKind;
    return {{"SelOrdTecPai", K::Text, 1}, {"IDProg", K::Integer, 0}, {"QtdePai", K::Float, 0},
            {"QtdeFilho", K::Float, 0},   {"Numero", K::Text, 6},    {"Codigo", K::Text, 15},
            {"Cor", K::Text, 6},
            // The line's values whole, as read and sent: the export marks the
            // line by them, since the columns above may hold a cut copy.
            {"NumeroLinha", K::Text, 0}, {"CodigoLinha", K::Text, 0}, {"CorLinha", K::Text, 0}};
}

}  // namespace shell
