// The invariants of a write-off batch, read from the ERP tables and the
// service's folders.
#include "test_support/WriteOffInvariants.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// Quantities in ten-thousandths, the scale of the ERP's NUMERIC(15,4).
long long Units(double quantity) { return std::llround(quantity * 10000); }

std::string Text(const TKVValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::string t = *s;
        while (!t.empty() && t.back() == ' ') t.pop_back();
        return t;
    }
    if (const auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        std::ostringstream o;
        o << *d;
        return o.str();
    }
    return "NULL";
}

long long UnitsOf(const TKVValue& v) {
    const std::string t = Text(v);
    if (t == "NULL" || t.empty()) return 0;
    return Units(std::stod(t));
}

std::string ShowUnits(long long units) {
    std::ostringstream o;
    o << static_cast<double>(units) / 10000;
    return o.str();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream all;
    all << f.rdbuf();
    return all.str();
}

// One movement row of an order, as compared: table, operation, code, lot,
// warehouse, quantity.
using Movement = std::tuple<std::string, std::string, std::string, std::string, std::string, long long>;

std::string Show(const Movement& m) {
    return std::get<0>(m) + "_MOV " + std::get<1>(m) + " " + std::get<2>(m) + " lot " + std::get<3>(m) + " wh " +
           std::get<4>(m) + " qty " + ShowUnits(std::get<5>(m));
}

std::vector<Movement> ExpectedMovements(const ProductionOrder& order) {
    std::vector<Movement> m;
    for (const auto& input : WriteOffOrderInputs())
        m.emplace_back(input.table, "S", input.code, input.lot, input.warehouse, Units(input.quantity * order.quantity));
    m.emplace_back("PA", "E", "PA-500", order.lot.empty() ? "000000" : order.lot, "02", Units(order.quantity));
    std::sort(m.begin(), m.end());
    return m;
}

struct OrderRows {
    std::string impof = "missing", situacao = "missing";
    long long qtdeB = -1, itemQtde = -1, itemQtdeB = -1;
    std::vector<Movement> movements;
};

}  // namespace

std::string InvariantReport::Text() const {
    std::ostringstream o;
    o << posted << " orders posted, " << untouched << " untouched; files: " << inInbox << " in Recebidos, "
      << processed << " in Processados; " << violations.size() << " violations";
    for (size_t i = 0; i < violations.size() && i < 30; ++i) o << "\n  " << violations[i];
    return o.str();
}

WriteOffInvariants::WriteOffInvariants(const WriteOffOrders& orders, Connect connect, std::string serviceFolder)
    : FOrders(orders), FConnect(std::move(connect)), FFolder(std::move(serviceFolder)) {
    auto db = FConnect();
    FStockBefore = ReadStock(*db);
    db->Close();
}

std::map<WriteOffInvariants::StockKey, long long> WriteOffInvariants::ReadStock(TKVDatabase& db) const {
    std::map<StockKey, long long> stock;
    kvdriver::Session& session = db.Session();
    const auto mat = session.Execute(
        "SELECT CODIGO, COR, LOTE, DEPOSITO, CAST(QTDE AS VARCHAR(40)) FROM MAT_ITEN_001", 0);
    for (const auto& r : mat.rows) stock[{"MAT", Text(r[0]), Text(r[1]), Text(r[2]), Text(r[3])}] += UnitsOf(r[4]);
    // PA_MOV names no size: the rows of every size of a lot count together.
    const auto pa = session.Execute(
        "SELECT CODIGO, COR, LOTE, DEPOSITO, CAST(QUANTIDADE AS VARCHAR(40)) FROM PA_ITEN_001", 0);
    for (const auto& r : pa.rows) stock[{"PA", Text(r[0]), Text(r[1]), Text(r[2]), Text(r[3])}] += UnitsOf(r[4]);
    session.Rollback();
    return stock;
}

InvariantReport WriteOffInvariants::Check(size_t dropped, bool inboxDone) const {
    InvariantReport report;
    auto& v = report.violations;
    const auto& orders = FOrders.Orders();
    const auto& files = FOrders.Files();

    // Files.
    std::set<std::string> known;
    std::vector<bool> fileProcessed(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        known.insert(files[i].name);
        const fs::path inbox = FFolder + "Recebidos/" + files[i].name, done = FFolder + "Processados/" + files[i].name;
        const bool inInbox = fs::exists(inbox), isDone = fs::exists(done);
        if (i >= dropped) {
            if (inInbox || isDone) v.push_back(files[i].name + " is there before it was dropped");
            continue;
        }
        if (inInbox && isDone) v.push_back(files[i].name + " is in Recebidos and in Processados");
        if (!inInbox && !isDone) v.push_back(files[i].name + " is neither in Recebidos nor in Processados");
        if (inInbox) {
            ++report.inInbox;
            if (ReadFile(inbox) != files[i].content) v.push_back("Recebidos/" + files[i].name + " was changed");
        }
        if (isDone) {
            ++report.processed;
            fileProcessed[i] = true;
            if (ReadFile(done) != files[i].content) v.push_back("Processados/" + files[i].name + " was changed");
        }
    }
    for (const char* sub : {"Recebidos", "Processados"}) {
        std::error_code ec;
        for (fs::directory_iterator it(FFolder + sub, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".erro") == 0)
                v.push_back(std::string(sub) + "/" + name + " was set aside as faulty");
            else if (!known.count(name))
                v.push_back(std::string(sub) + "/" + name + " is a file nobody dropped");
        }
    }
    std::error_code ec;
    for (fs::recursive_directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string p = it->path().string();
        if (p.size() >= 5 && p.compare(p.size() - 5, 5, ".erro") == 0 && p.find("/Recebidos/") == std::string::npos &&
            p.find("/Processados/") == std::string::npos)
            v.push_back(p + " was set aside as faulty");
    }

    // Orders.
    std::map<std::string, OrderRows> rows;
    for (const auto& o : orders) rows[o.number];
    const std::string first = orders.front().number, last = orders.back().number;
    const std::string range = " BETWEEN '" + first + "' AND '" + last + "'";
    auto db = FConnect();
    kvdriver::Session& session = db->Session();
    auto each = [&](const std::string& sql, auto&& take) {
        for (const auto& r : session.Execute(sql, 0).rows) {
            auto found = rows.find(Text(r[0]));
            if (found != rows.end()) take(found->second, r);
        }
    };
    each("SELECT NUMERO, CAST(IMPOF AS VARCHAR(10)), CAST(QTDE_B AS VARCHAR(40)) FROM OF1_001 WHERE NUMERO" + range,
         [](OrderRows& o, const auto& r) {
             o.impof = Text(r[1]);
             o.qtdeB = UnitsOf(r[2]);
         });
    each("SELECT NUMERO, CAST(QTDE AS VARCHAR(40)), CAST(QTDE_B AS VARCHAR(40)) FROM OF_ITEN_001 WHERE NUMERO" +
             range,
         [](OrderRows& o, const auto& r) {
             o.itemQtde = UnitsOf(r[1]);
             o.itemQtdeB = UnitsOf(r[2]);
         });
    each("SELECT NUMERO, SITUACAO FROM OF_TEMPO_001 WHERE NUMERO" + range,
         [](OrderRows& o, const auto& r) { o.situacao = Text(r[1]); });
    each("SELECT NUM_DOCTO, CODIGO, LOTE, DEPOSITO, CAST(QTDE AS VARCHAR(40)) FROM MAT_MOV_001 WHERE NUM_DOCTO" +
             range,
         [](OrderRows& o, const auto& r) {
             o.movements.emplace_back("MAT", "S", Text(r[1]), Text(r[2]), Text(r[3]), UnitsOf(r[4]));
         });
    each("SELECT NUM_DOCTO, OPERACAO, CODIGO, LOTE, DEPOSITO, CAST(QTDE AS VARCHAR(40)) FROM PA_MOV_001 WHERE "
         "NUM_DOCTO" + range,
         [](OrderRows& o, const auto& r) {
             o.movements.emplace_back("PA", Text(r[1]), Text(r[2]), Text(r[3]), Text(r[4]), UnitsOf(r[5]));
         });
    // Movement sums per stock row, for the stock check (every lot of the
    // batch has colour 0).
    std::map<StockKey, long long> moved;
    for (auto& [number, o] : rows) {
        std::sort(o.movements.begin(), o.movements.end());
        for (const auto& m : o.movements) {
            const long long signedQty = std::get<1>(m) == "E" ? std::get<5>(m) : -std::get<5>(m);
            moved[{std::get<0>(m), std::get<2>(m), "0", std::get<3>(m), std::get<4>(m)}] += signedQty;
        }
    }
    const auto stockNow = ReadStock(*db);
    db->Close();

    std::vector<bool> filePosted(files.size(), true);
    for (const auto& order : orders) {
        const OrderRows& o = rows[order.number];
        const long long q = Units(order.quantity);
        const bool untouched = o.impof == "0" && o.qtdeB == 0 && o.itemQtde == q && o.itemQtdeB == 0 &&
                               o.situacao.empty() && o.movements.empty();
        const bool postedOnce = o.impof == "1" && o.qtdeB == q && o.itemQtde == 0 && o.itemQtdeB == q &&
                                o.situacao == "B" && o.movements == ExpectedMovements(order);
        if (postedOnce) {
            ++report.posted;
            if (order.file >= dropped) v.push_back("order " + order.number + " posted before its file was dropped");
        } else if (untouched) {
            ++report.untouched;
            filePosted[order.file] = false;
            if (inboxDone && order.file < dropped) v.push_back("order " + order.number + " was never posted");
        } else {
            filePosted[order.file] = false;
            std::ostringstream d;
            d << "order " << order.number << " (qty " << order.quantity << ") half posted or posted twice: IMPOF "
              << o.impof << ", QTDE_B " << ShowUnits(o.qtdeB) << ", item " << ShowUnits(o.itemQtde) << "/"
              << ShowUnits(o.itemQtdeB) << ", time record '" << o.situacao << "', " << o.movements.size()
              << " movements";
            for (const auto& m : o.movements) d << "; " << Show(m);
            v.push_back(d.str());
        }
    }
    for (size_t i = 0; i < files.size(); ++i)
        if (fileProcessed[i] && !filePosted[i]) v.push_back("Processados/" + files[i].name + " holds unposted orders");
    if (inboxDone && report.inInbox > 0)
        v.push_back(std::to_string(report.inInbox) + " dropped files still in Recebidos");

    // Stock rows against their movements.
    std::set<StockKey> keys;
    for (const auto& [k, q] : FStockBefore) keys.insert(k);
    for (const auto& [k, q] : stockNow) keys.insert(k);
    for (const auto& [k, q] : moved) keys.insert(k);
    for (const auto& k : keys) {
        const auto before = FStockBefore.find(k);
        const auto now = stockNow.find(k);
        const auto m = moved.find(k);
        const long long b = before == FStockBefore.end() ? 0 : before->second;
        const long long n = now == stockNow.end() ? 0 : now->second;
        const long long d = m == moved.end() ? 0 : m->second;
        if (before != FStockBefore.end() && now == stockNow.end())
            v.push_back("stock row " + std::get<0>(k) + " " + std::get<1>(k) + " lot " + std::get<3>(k) + " vanished");
        if (n - b != d)
            v.push_back("stock " + std::get<0>(k) + "_ITEN " + std::get<1>(k) + " lot " + std::get<3>(k) + " wh " +
                        std::get<4>(k) + " changed by " + ShowUnits(n - b) + ", its movements by " + ShowUnits(d));
    }
    return report;
}

}  // namespace testsupport
