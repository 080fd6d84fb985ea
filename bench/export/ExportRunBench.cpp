// One export tick (login and run) of 5 weaving orders with 3 lines each, at
// the service's real fixed waits: 500 ms after the login and 1000 ms after
// each of the 25 POSTs (3 lines, the main order and the grouping per order),
// 25.5 s in all. The counters put the run's time beside that sum; the goal
// is less than 5 % on top of the waits.
//
//   build/bench/export/export_run_bench
// Uses an embedded Firebird file (no server needed) and tools/fake-api.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "ExportHarness.h"
#include "TestSeams.h"
#include "export/Export.h"

namespace {

constexpr int Orders = 5;
constexpr int LinesPerOrder = 3;
constexpr double FixedWaitsSeconds = 0.5 + Orders * (LinesPerOrder + 2) * 1.0;

void ExportRunAtRealWaits(benchmark::State& state) {
    FakeApiProcess api;
    exporttest::Installation inst(testsupport::Backend::FBEmbedded, api);
    inst.Execute("DELETE FROM TECEL_ITEN_001");
    for (int o = 1; o <= Orders; ++o) {
        std::string numero = "'B0000" + std::to_string(o) + "'";
        inst.Execute("INSERT INTO TECEL_001 (NUMERO, MAQUINA, DT_INICIO, RPM, FICHA, TPONTO) VALUES (" + numero +
                     ", 'TEAR01', DATE '2024-03-01', 450, 'P100', 'T1')");
        for (int l = 0; l < LinesPerOrder; ++l) {
            std::string cor = "'00" + std::to_string(2 + l) + "'";
            inst.Execute("INSERT INTO TECEL_ITEN_001 (NUMERO, CODIGO, COR, QTDE, CICLOS) VALUES (" + numero +
                         ", 'TEC01', " + cor + ", 150, 40)");
        }
    }
    exportjob::testing::SetWaitScale(1.0);

    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        inst.Execute("UPDATE TECEL_ITEN_001 SET ENVIADO = NULL");
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        auto log = inst.RunOnce();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(log);
    }
    if (inst.Lines().size() != Orders * LinesPerOrder || inst.Lines().front().back() != 'S')
        state.SkipWithError("the run did not mark the lines as sent");
    double run = total / static_cast<double>(state.iterations());
    state.counters["run_s"] = run;
    state.counters["fixed_waits_s"] = FixedWaitsSeconds;
    state.counters["overhead_pct"] = (run - FixedWaitsSeconds) / FixedWaitsSeconds * 100.0;
    state.counters["requests"] = static_cast<double>(api.Requests().size()) / static_cast<double>(state.iterations());
}

BENCHMARK(ExportRunAtRealWaits)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
