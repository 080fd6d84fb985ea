// In-memory work tables of the main object: typed, width-limited columns and
// a current row, emptied and refilled by the jobs.
//
// Current row: Append() adds a row and makes it current; First()/Next() walk
// the rows (of the restriction, when one is set); Next() on the last row sets
// Eof() and leaves the last row current. Fields are read and written on the
// current row by column name (case-insensitive). A text value longer than its
// column is cut to the column's width in characters (UTF-8 aware). A column
// never set reads as empty text, 0 or 0.0.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace shell {

enum class TColumnKind { Text, Float, Integer };

struct TColumnDef {
    std::string Name;
    TColumnKind Kind = TColumnKind::Text;
    int Width = 0;  // characters, text columns only
};

class TWorkTable;

// A column of the current row of a work table.
class TWorkField {
public:
    const std::string& FieldName() const;
    TColumnKind Kind() const;
    int Width() const;

    bool IsNull() const;  // never set (or the table has no current row)
    std::string AsString() const;  // numbers: "." decimal, up to 15 digits
    double AsFloat() const;        // text: a number with "." or ","; otherwise 0
    int32_t AsInteger() const;

    // Writing needs a current row (std::logic_error otherwise). Text into a
    // numeric column must be a number; a number into a text column is
    // written as its text.
    void SetAsString(const std::string& value);
    void SetAsFloat(double value);
    void SetAsInteger(int32_t value);
    void Clear();  // back to "never set"

    TWorkField& operator=(const std::string& value) { SetAsString(value); return *this; }
    TWorkField& operator=(const char* value) { SetAsString(value); return *this; }
    TWorkField& operator=(double value) { SetAsFloat(value); return *this; }
    TWorkField& operator=(int32_t value) { SetAsInteger(value); return *this; }

private:
    friend class TWorkTable;
    TWorkField(TWorkTable* table, int column) : FTable(table), FColumn(column) {}
    TWorkTable* FTable;
    int FColumn;
};

// A restriction: rows whose column text equals the value (exact comparison).
struct TWorkFilter {
    std::string Column;
    std::string Value;
};

class TWorkTable {
public:
    TWorkTable(std::string name, std::vector<TColumnDef> columns);
    TWorkTable(const TWorkTable&) = delete;
    TWorkTable& operator=(const TWorkTable&) = delete;

    const std::string& Name() const { return FName; }
    const std::vector<TColumnDef>& Columns() const { return FColumns; }
    int FieldIndex(const std::string& name) const;  // -1 when absent

    // Adds an empty row at the end and makes it current.
    void Append();
    // Kept for the jobs' readability: rows are stored as soon as fields are set.
    void Edit() {}
    void Post() {}
    // Removes every row (the restriction stays).
    void EmptyDataSet();
    // Removes the current row; the next row (or the new last) becomes current.
    void Delete();

    // Navigation over the visible rows (the restriction's, or all).
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const { return RecordCount() == 0; }
    int RecordCount() const;  // visible rows
    int RecNo() const;        // 1-based among visible rows; 0 without a current row
    bool HasCurrent() const { return FCurrent >= 0; }
    // Makes the first visible row whose column text equals value current.
    bool Locate(const std::string& column, const std::string& value);

    // Field of the current row; std::out_of_range for an unknown column.
    TWorkField FieldByName(const std::string& name);
    TWorkField operator[](const std::string& name) { return FieldByName(name); }

    // Restriction by column values (all must match). Setting it moves to the
    // first matching row; clearing it keeps the current row.
    void SetFilter(std::vector<TWorkFilter> filter);
    void SetFilter(const std::string& column, const std::string& value) {
        SetFilter(std::vector<TWorkFilter>{{column, value}});
    }
    void ClearFilter();
    bool Filtered() const { return !FFilter.empty(); }

    // Rows in storage order regardless of the restriction (tests, views).
    int TotalRows() const { return static_cast<int>(FRows.size()); }

private:
    friend class TWorkField;
    using Cell = std::variant<std::monostate, std::string, double, int32_t>;
    bool Visible(int row) const;
    int NextVisible(int from) const;
    int PriorVisible(int from) const;
    Cell& CurrentCell(int column);
    const Cell* CurrentCellOrNull(int column) const;
    std::string CellText(int row, int column) const;

    std::string FName;
    std::vector<TColumnDef> FColumns;
    std::vector<std::vector<Cell>> FRows;
    std::vector<std::pair<int, std::string>> FFilter;  // column index, value
    int FCurrent = -1;
    bool FEof = true;
    bool FBof = true;
};

// Cuts a UTF-8 text to at most `width` characters.
std::string CutToWidth(const std::string& text, int width);

// Column layouts of the four work tables.
std::vector<TColumnDef> TbOFColumns();
std::vector<TColumnDef> TbLotesColumns();
std::vector<TColumnDef> TbEstoqueColumns();
std::vector<TColumnDef> CDSOrdTecelagemColumns();

}  // namespace shell
