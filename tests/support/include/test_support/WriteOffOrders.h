// Production orders for write-off runs of any size, and their inbox files.
//
// Every order is of the fixture's product PA-500 with a time record of one
// hour, and consumes the lots MP-100/A12 (2.5 per piece), SUB-20/B7 (1 per
// piece, a product input) and MP-200/P01 (4 x weight 2 = 8 per piece), all
// from warehouse 01; the product is received into warehouse 02, into its
// existing lot 000000 (empty lot field) or into a lot FLT1..FLT3 that the
// first posting creates. Quantities (1 to 9 pieces) and lots are drawn from
// a seeded generator, so a seed gives the same orders again.
#pragma once
#include <string>
#include <vector>

#include "dataaccess/TKVDatabase.h"

namespace testsupport {

struct ProductionOrder {
    std::string number;  // six digits
    int quantity = 0;    // pieces
    std::string lot;     // as in the file; "" is received into lot 000000
    size_t file = 0;     // index of its file
};

struct InboxFileText {
    std::string name;
    std::string content;  // CR LF lines
};

class WriteOffOrders {
public:
    // files x ordersPerFile orders numbered from firstNumber on.
    WriteOffOrders(int firstNumber, size_t files, size_t ordersPerFile, unsigned seed);

    const std::vector<ProductionOrder>& Orders() const { return FOrders; }
    const std::vector<InboxFileText>& Files() const { return FFiles; }

    // Order headers, items and time records in the ERP, and stock of the
    // three input lots raised far above what every order takes together.
    void AddToErp(TKVDatabase& db) const;
    // Writes file `index` into the folder (a path ending in '/'), whole at
    // once and with a modification time in the past.
    void Drop(size_t index, const std::string& folder) const;

private:
    std::vector<ProductionOrder> FOrders;
    std::vector<InboxFileText> FFiles;
};

// Per piece of an order: what each input lot gives up.
struct ConsumedPerPiece {
    const char* table;  // "MAT" (MAT_ITEN/MAT_MOV) or "PA" (PA_ITEN/PA_MOV)
    const char* code;
    const char* lot;
    const char* warehouse;
    double quantity;
};
const std::vector<ConsumedPerPiece>& WriteOffOrderInputs();

}  // namespace testsupport
