// Generated production orders: their ERP rows and their inbox files.
#include "test_support/WriteOffOrders.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

const std::vector<ConsumedPerPiece>& WriteOffOrderInputs() {
    static const std::vector<ConsumedPerPiece> inputs = {
        {"MAT", "MP-100", "A12", "01", 2.5},
        {"PA", "SUB-20", "B7", "01", 1},
        {"MAT", "MP-200", "P01", "01", 8},
    };
    return inputs;
}

WriteOffOrders::WriteOffOrders(int firstNumber, size_t files, size_t ordersPerFile, unsigned seed) {
    if (firstNumber < 100000 || firstNumber + static_cast<int>(files * ordersPerFile) > 999999)
        throw std::invalid_argument("order numbers must keep six digits");
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> quantity(1, 9), lot(0, 5);
    static const char* kLots[] = {"", "", "", "FLT1", "FLT2", "FLT3"};
    int number = firstNumber;
    for (size_t f = 0; f < files; ++f) {
        char name[40];
        std::snprintf(name, sizeof name, "OF_%06d.txt", number);
        std::ostringstream text;
        for (size_t i = 0; i < ordersPerFile; ++i) {
            ProductionOrder order{std::to_string(number++), quantity(random), kLots[lot(random)], f};
            text << "001;" << order.number << ";" << order.quantity << ";S;01;02;E;" << order.lot << ";FALHAS\r\n";
            for (const auto& input : WriteOffOrderInputs())
                text << "002;" << input.code << ";" << (std::string(input.table) == "MAT" ? "M" : "P") << ";"
                     << input.lot << "\r\n";
            FOrders.push_back(order);
        }
        FFiles.push_back({name, text.str()});
    }
}

void WriteOffOrders::AddToErp(TKVDatabase& db) const {
    kvdriver::Session& session = db.Session();
    if (!session.InTransaction()) session.StartTransaction();
    for (const auto& order : FOrders) {
        const std::string n = "'" + order.number + "'", q = std::to_string(order.quantity);
        session.Execute("INSERT INTO OF1_001 (NUMERO, CODIGO, CODCLI, DT_EMISSAO, QTDE, QTDE_B, IMPOF) VALUES (" + n +
                            ", 'PA-500', '00010', '2024-03-01', " + q + ", 0, 0)",
                        0);
        session.Execute("INSERT INTO OF_ITEN_001 (NUMERO, CODIGO, COR, TAM, QTDE, QTDE_B) VALUES (" + n +
                            ", 'PA-500', '0', '0', " + q + ", 0)",
                        0);
        session.Execute("INSERT INTO OF_TEMPO_001 (NUMERO, SEQ, MAQUINA, INICIO, FIM, SITUACAO) VALUES (" + n +
                            ", 1, 'CORTE', '2024-03-04 08:00:00', '2024-03-04 09:00:00', '')",
                        0);
    }
    for (const auto& input : WriteOffOrderInputs()) {
        const std::string where = " WHERE CODIGO = '" + std::string(input.code) + "' AND LOTE = '" + input.lot +
                                  "' AND DEPOSITO = '" + input.warehouse + "'";
        if (std::string(input.table) == "MAT")
            session.Execute("UPDATE MAT_ITEN_001 SET QTDE = 100000000" + where, 0);
        else
            session.Execute("UPDATE PA_ITEN_001 SET QUANTIDADE = 100000000" + where, 0);
    }
    session.CommitRetaining();
}

void WriteOffOrders::Drop(size_t index, const std::string& folder) const {
    const InboxFileText& file = FFiles.at(index);
    // Written under another name and renamed, so that a run never reads half a file.
    const std::string part = folder + file.name + ".part";
    {
        std::ofstream out(part, std::ios::binary);
        out << file.content;
        if (!out) throw std::runtime_error("cannot write " + part);
    }
    // Finished a while ago, as a file the shop floor wrote before the run:
    // the run takes it without waiting for it to settle.
    std::error_code ec;
    std::filesystem::last_write_time(part, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(10),
                                     ec);
    if (std::rename(part.c_str(), (folder + file.name).c_str()) != 0)
        throw std::runtime_error("cannot rename " + part);
}

}  // namespace testsupport
