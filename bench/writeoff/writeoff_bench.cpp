// A write-off run over a generated inbox (files of orders with three consumed
// lots each) on PostgreSQL and embedded Firebird, beside the replay of the
// very statements it sent, straight through the driver session, on a second
// database with the same data: the replay is the floor the run is held to.
//
// Arguments: backend (0 PG, 1 embedded Firebird), orders, files per run, runs
// (the orders split evenly over the runs).
// Counters: orders/s of the run and of the replay, their ratio, the peak RSS
// of the run and its growth over the RSS before the run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "WriteOffHarness.h"

namespace {

using testsupport::Backend;
using writeofftest::Installation;

// Driver events of a run, streamed to a file so that recording keeps no
// memory of its own.
class RecordingSession : public kvdriver::Session {
public:
    RecordingSession(std::unique_ptr<kvdriver::Session> inner, std::ofstream& out)
        : FInner(std::move(inner)), FOut(out) {}
    void StartTransaction() override { FOut << "S\n"; FInner->StartTransaction(); }
    bool InTransaction() const override { return FInner->InTransaction(); }
    void CommitRetaining() override { FOut << "C\n"; FInner->CommitRetaining(); }
    void RollbackRetaining() override { FOut << "R\n"; FInner->RollbackRetaining(); }
    void Rollback() override { FInner->Rollback(); }
    kvdriver::ResultSet Execute(const std::string& sql, int timeoutMs) override {
        FOut << "E " << sql.size() << " " << timeoutMs << "\n" << sql;
        return FInner->Execute(sql, timeoutMs);
    }

private:
    std::unique_ptr<kvdriver::Session> FInner;
    std::ofstream& FOut;
};

long StatusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
    return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::string Number(int k) { return std::to_string(100000 + k); }

// Orders 100001.. of product PA-500 (one piece each, received into the
// product's existing lot 000000) with a time record, and
// stock enough for all of them.
void AddOrders(Installation& erp, int orders) {
    const std::string n = std::to_string(orders);
    if (erp.Backend() == Backend::PG) {
        erp.Execute("INSERT INTO OF1_001 (NUMERO, CODIGO, CODCLI, QTDE, QTDE_B, IMPOF) SELECT CAST(100000 + g AS "
                    "VARCHAR(6)), 'PA-500', '00010', 1, 0, 0 FROM generate_series(1, " + n + ") g");
        erp.Execute("INSERT INTO OF_ITEN_001 (NUMERO, CODIGO, COR, TAM, QTDE, QTDE_B) SELECT CAST(100000 + g AS "
                    "VARCHAR(6)), 'PA-500', '0', '0', 1, 0 FROM generate_series(1, " + n + ") g");
        erp.Execute("INSERT INTO OF_TEMPO_001 (NUMERO, SEQ, MAQUINA, INICIO, FIM, SITUACAO) SELECT CAST(100000 + g "
                    "AS VARCHAR(6)), 1, 'CORTE', '2024-03-04 08:00:00', '2024-03-04 09:00:00', '' FROM "
                    "generate_series(1, " + n + ") g");
    } else {
        erp.Execute("EXECUTE BLOCK AS DECLARE I INTEGER = 1; DECLARE N VARCHAR(6); BEGIN WHILE (I <= " + n +
                    ") DO BEGIN N = CAST(100000 + I AS VARCHAR(6)); "
                    "INSERT INTO OF1_001 (NUMERO, CODIGO, CODCLI, QTDE, QTDE_B, IMPOF) VALUES (:N, 'PA-500', "
                    "'00010', 1, 0, 0); "
                    "INSERT INTO OF_ITEN_001 (NUMERO, CODIGO, COR, TAM, QTDE, QTDE_B) VALUES (:N, 'PA-500', '0', "
                    "'0', 1, 0); "
                    "INSERT INTO OF_TEMPO_001 (NUMERO, SEQ, MAQUINA, INICIO, FIM, SITUACAO) VALUES (:N, 1, "
                    "'CORTE', '2024-03-04 08:00:00', '2024-03-04 09:00:00', ''); I = I + 1; END END");
    }
    erp.Execute("UPDATE MAT_ITEN_001 SET QTDE = 100000000");
    erp.Execute("UPDATE PA_ITEN_001 SET QUANTIDADE = 100000000 WHERE CODIGO = 'SUB-20'");
}

// Files of orders first+1 .. first+orders.
void DropInbox(Installation& erp, int first, int orders, int files) {
    int k = first;
    for (int f = 0; f < files; ++f) {
        std::ostringstream text;
        for (int i = 0; i < orders / files; ++i) {
            std::string of = Number(++k);
            text << "001;" << of << ";1;S;01;02;E;;BENCH\r\n"
                 << "002;MP-100;M;A12\r\n002;SUB-20;P;B7\r\n002;MP-200;M;P01\r\n";
        }
        char name[32];
        std::snprintf(name, sizeof name, "OF%06d.txt", first + f);
        erp.DropFile(name, text.str());
        // Written a while ago: the run takes the file without waiting for it
        // to settle, so the figures are those of the posting.
        std::filesystem::last_write_time(erp.Inbox() + name,
                                         std::filesystem::file_time_type::clock::now() - std::chrono::seconds(10));
    }
}

double Replay(Installation& erp, const std::string& path) {
    kvdriver::Session& session = erp.Form().dbKV.Session();
    std::ifstream in(path, std::ios::binary);
    std::string line, sql;
    auto start = std::chrono::steady_clock::now();
    while (std::getline(in, line)) {
        if (line == "S") {
            session.StartTransaction();
        } else if (line == "C") {
            session.CommitRetaining();
        } else if (line == "R") {
            session.RollbackRetaining();
        } else if (line.rfind("E ", 0) == 0) {
            size_t blank = line.find(' ', 2);
            sql.resize(std::stoul(line.substr(2, blank - 2)));
            const int timeoutMs = std::stoi(line.substr(blank + 1));
            in.read(sql.data(), static_cast<std::streamsize>(sql.size()));
            try {
                session.Execute(sql, timeoutMs);
            } catch (const std::exception&) {
                // the run met the same error and went on
            }
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WriteOffRun(benchmark::State& state) {
    const Backend backend = state.range(0) == 0 ? Backend::PG : Backend::FBEmbedded;
    const int orders = static_cast<int>(state.range(1));
    const int files = static_cast<int>(state.range(2));
    const int runs = static_cast<int>(state.range(3));
    if (!testsupport::BackendAvailable(backend)) {
        state.SkipWithError(testsupport::MissingServerReason(backend).c_str());
        return;
    }
    for (auto _ : state) {
        Installation run(backend), floor(backend);
        AddOrders(run, orders);
        AddOrders(floor, orders);
        const std::string trace = run.Folder() + "statements.rec";
        std::ofstream out(trace, std::ios::binary);
        run.Form().dbKV.SetSessionFactory([&](const std::string& d, const std::vector<std::string>& p) {
            return std::make_unique<RecordingSession>(kvdriver::OpenSession(d, p), out);
        });

        const long rssBefore = StatusKb("VmRSS:");
        ResetPeak();
        double runSeconds = 0;
        size_t lineCount = 0;
        for (int r = 0; r < runs; ++r) {
            DropInbox(run, r * (orders / runs), orders / runs, files);
            auto start = std::chrono::steady_clock::now();
            lineCount += run.RunOnce().size();
            runSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        const long peak = StatusKb("VmHWM:");
        out.close();
        if (lineCount != static_cast<size_t>(orders + runs * (files + 1))) {
            state.SkipWithError("unexpected number of pane lines");
            return;
        }
        double replaySeconds = Replay(floor, trace);

        state.SetIterationTime(runSeconds);
        state.counters["run_orders_per_s"] = orders / runSeconds;
        state.counters["replay_orders_per_s"] = orders / replaySeconds;
        state.counters["run_vs_replay"] = replaySeconds / runSeconds;
        state.counters["peak_rss_MB"] = peak / 1024.0;
        state.counters["peak_growth_MB"] = (peak - rssBefore) / 1024.0;
    }
}

BENCHMARK(BM_WriteOffRun)
    ->ArgNames({"backend", "orders", "files", "runs"})
    ->Args({1, 100, 10, 1})
    ->Args({1, 1000, 10, 1})
    ->Args({1, 3000, 10, 1})
    ->Args({1, 10000, 10, 1})
    ->Args({1, 10000, 10, 10})
    ->Args({0, 1000, 10, 1})
    ->Args({0, 10000, 10, 1})
    ->Args({0, 10000, 10, 10})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
