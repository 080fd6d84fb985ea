// What must hold of a write-off installation after any fault, for a batch of
// WriteOffOrders whose files were dropped into its inbox:
//
// - every order is either posted exactly once (OF1.IMPOF = 1 and QTDE_B its
//   quantity, its item and time record closed, one movement row per consumed
//   lot with the lot's quantity, one receipt row) or not touched at all;
// - every stock row of MAT_ITEN and PA_ITEN changed by exactly the sum of
//   the batch's movements on it (rows new since the start count from zero);
// - every dropped file is, byte for byte, in Recebidos or in Processados, and
//   one in Processados holds posted orders only; no ".erro" file and no
//   other file is anywhere;
// - when the inbox is said to be done: Recebidos is empty and every dropped
//   order is posted.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "dataaccess/TKVDatabase.h"
#include "test_support/WriteOffOrders.h"

namespace testsupport {

struct InvariantReport {
    std::vector<std::string> violations;  // empty: everything holds
    size_t posted = 0;                    // orders of the batch posted once
    size_t untouched = 0;
    size_t inInbox = 0, processed = 0;    // dropped files in each folder

    bool Holds() const { return violations.empty(); }
    // One line per violation (at most 30), after a line with the counts.
    std::string Text() const;
};

class WriteOffInvariants {
public:
    using Connect = std::function<std::unique_ptr<TKVDatabase>()>;

    // Reads the stock rows as they are now, before any run of the batch.
    // serviceFolder ends in '/' and holds Recebidos and Processados.
    WriteOffInvariants(const WriteOffOrders& orders, Connect connect, std::string serviceFolder);

    // The first `dropped` files of the batch have been put into the inbox.
    InvariantReport Check(size_t dropped, bool inboxDone) const;

private:
    // (table, code, colour, lot, warehouse) of a stock row.
    using StockKey = std::tuple<std::string, std::string, std::string, std::string, std::string>;
    std::map<StockKey, long long> ReadStock(TKVDatabase& db) const;

    const WriteOffOrders& FOrders;
    Connect FConnect;
    std::string FFolder;
    std::map<StockKey, long long> FStockBefore;  // in ten-thousandths
};

}  // namespace testsupport
