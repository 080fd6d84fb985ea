#include "sqltranslate/SqlTranslate.h"

namespace sqltranslate {

std::string TranslateText(const std::string& text, const std::string&, const CatalogueRunner&) {
    return text;
}

}  // namespace sqltranslate
