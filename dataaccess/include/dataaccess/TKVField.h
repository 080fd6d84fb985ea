// Result columns of a query: name, type, value, NULL test.
#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "dataaccess/KVDateTime.h"

// Column data types as the driver layer describes them. The connection's
// mapping rules turn a source type into the type a column is delivered as.
enum class TKVFieldType {
    Unknown, String, WideString, Integer, LargeInt, SmallInt, Float, Currency, BCD, FMTBcd,
    Date, Time, DateTime, TimeStamp, Memo, WideMemo, FmtMemo, WideLargeMemo, LargeMemo,
    OraClob, Blob, Boolean, AutoInc
};

// One value of a result column; std::monostate is NULL. Dates and times are
// held as TDateTime (double) and told apart from numbers by the field's type.
using TKVValue = std::variant<std::monostate, std::string, int64_t, double>;

// A column of the current row of an open result set.
class TKVField {
public:
    TKVField(std::string name, TKVFieldType type) : FFieldName(std::move(name)), FDataType(type) {}
    virtual ~TKVField() = default;

    const std::string& FieldName() const { return FFieldName; }
    TKVFieldType DataType() const { return FDataType; }

    bool IsNull() const { return std::holds_alternative<std::monostate>(FValue); }
    const TKVValue& Value() const { return FValue; }
    void SetValue(TKVValue v) { FValue = std::move(v); }

    // Conversions as the application reads them. NULL gives "", 0 or 0.0.
    // Texts are UTF-8. A number as text uses "." and no thousands separator.
    virtual std::string AsString() const;
    virtual double AsFloat() const;
    virtual int64_t AsInteger() const;
    virtual TDateTime AsDateTime() const;

private:
    std::string FFieldName;
    TKVFieldType FDataType;
    TKVValue FValue;
};

// Currency columns are read through this class: a plain double, shown
// without a currency symbol. A declared size above 32 is refused with
// "Invalid field size".
class TKVFloatField : public TKVField {
public:
    TKVFloatField(std::string name, int size = 0);
};

// Memo, formatted memo and Oracle CLOB columns: stored as memo, read as text.
class TKVBlobField : public TKVField {
public:
    explicit TKVBlobField(std::string name, TKVFieldType assignedType = TKVFieldType::Memo);
};
