// Values of the write-off stored into the work tables without being cut.
#include "shell/SqlHelpers.h"
#include "shell/TextCase.h"
#include "WriteOffSteps.h"

namespace writeoff {
namespace {

std::string WithoutTrailingBlanks(const std::string& s) {
    const size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

}  // namespace

TValueTooLong::TValueTooLong(const std::string& field, int width, const std::string& value)
    : std::runtime_error("Valor maior que o campo " + field + " (" + std::to_string(width) + "): " + value),
      Field(shell::UpperCaseText(field)),
      Width(width),
      Value(value) {}

void SetText(shell::TWorkTable& table, const std::string& column, const std::string& value) {
    shell::TWorkField field = table[column];
    // Blanks that only pad the value (fixed-width columns of the ERP) may go.
    const std::string text = WithoutTrailingBlanks(value);
    if (field.Kind() == shell::TColumnKind::Text && field.Width() > 0 &&
        shell::CutToWidth(text, field.Width()) != text)
        throw TValueTooLong(field.FieldName(), field.Width(), value);
    field = value;
}

std::string ValueTooLongLine(const TValueTooLong& e, const std::string& of) {
    return "CAMPO " + e.Field + " COM MAIS DE " + std::to_string(e.Width) +
           " CARACTERES, OF NAO IMPORTADA: " + e.Value + " OF: " + of;
}

}  // namespace writeoff
