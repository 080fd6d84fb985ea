// A keyed SELECT and a keyed UPDATE on a small table, through TKVQuery and
// through the client library itself (libpq, fbclient), side by side on the
// local PostgreSQL server and on embedded Firebird. Both sides send the same
// statement texts, keep one transaction open and commit every 100 updates.
// Goal: the layer adds less than 10% to a round trip.
//
// Run (servers from the development scripts; embedded Firebird needs none):
//   eval "$(bash scripts/dev-servers.sh start)"
//   cmake --build build -j2 --target dataaccess_bench
//   ./build/bench/dataaccess/dataaccess_bench --benchmark_repetitions=3
//       (add --benchmark_report_aggregates_only=true for the summary only)
// Without DEZORIV_PG_HOST/PORT the PostgreSQL cases are skipped.
#include <benchmark/benchmark.h>
#include <ibase.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "dataaccess/TKVQuery.h"
#include "dataaccess/TKVTransaction.h"

namespace {

constexpr int kRows = 100;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string SelectText(int id) {
    return "SELECT ID, NOME, VALOR FROM BENCH WHERE ID = " + std::to_string(id);
}
std::string UpdateText(int id) {
    return "UPDATE BENCH SET VALOR = VALOR + 1 WHERE ID = " + std::to_string(id);
}

// ---- PostgreSQL ------------------------------------------------------------

bool HavePg() {
    return !Env("DEZORIV_PG_HOST").empty() && !Env("DEZORIV_PG_PORT").empty();
}

PGconn* PgConnect(const std::string& db) {
    const std::string host = Env("DEZORIV_PG_HOST"), port = Env("DEZORIV_PG_PORT"), user = Env("DEZORIV_PG_USER"),
                      password = Env("DEZORIV_PG_PASSWORD");
    const char* keys[] = {"host", "port", "user", "password", "dbname", "client_encoding", nullptr};
    const char* values[] = {host.c_str(), port.c_str(), user.c_str(), password.c_str(), db.c_str(), "UTF8", nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 0);
    if (PQstatus(c) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c));
    return c;
}

void PgRun(PGconn* c, const std::string& sql) {
    PGresult* r = PQexec(c, sql.c_str());
    const auto s = PQresultStatus(r);
    PQclear(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) throw std::runtime_error(PQerrorMessage(c));
}

// One benchmark database per process.
const std::string& PgDatabase() {
    static const std::string name = [] {
        const std::string n = "bench_" + std::to_string(getpid());
        PGconn* admin = PgConnect("postgres");
        PgRun(admin, "DROP DATABASE IF EXISTS " + n);
        PgRun(admin, "CREATE DATABASE " + n);
        PQfinish(admin);
        PGconn* c = PgConnect(n);
        PgRun(c, "CREATE TABLE BENCH (ID INTEGER PRIMARY KEY, NOME VARCHAR(40), VALOR NUMERIC(15,2))");
        PgRun(c, "INSERT INTO BENCH SELECT g, 'item ' || g, g * 1.5 FROM generate_series(1, " +
                     std::to_string(kRows) + ") g");
        PQfinish(c);
        return n;
    }();
    return name;
}

std::unique_ptr<TKVDatabase> KVPg() {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "PG";
    db->HostName = Env("DEZORIV_PG_HOST");
    db->Port = std::atoi(Env("DEZORIV_PG_PORT").c_str());
    db->Database = PgDatabase();
    db->User = Env("DEZORIV_PG_USER");
    db->Password = Env("DEZORIV_PG_PASSWORD");
    return db;
}

// ---- Firebird (embedded) ---------------------------------------------------

std::string FbMessage(const ISC_STATUS* status) {
    std::string m;
    char buf[512];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p)) m += std::string(buf) + "; ";
    return m;
}

void FbCheck(const ISC_STATUS* status) {
    if (status[0] == 1 && status[1]) throw std::runtime_error(FbMessage(status));
}

std::string Dpb() {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    auto add = [&](char tag, const std::string& v) {
        dpb += tag;
        dpb += static_cast<char>(v.size());
        dpb += v;
    };
    add(isc_dpb_user_name, "SYSDBA");
    add(isc_dpb_password, "masterkey");
    add(isc_dpb_lc_ctype, "UTF8");
    return dpb;
}

const std::string& FbFile() {
    static const std::string path = [] {
        const std::string p = std::filesystem::temp_directory_path().string() + "/dezoriv-bench-" +
                              std::to_string(getpid()) + ".fdb";
        std::filesystem::remove(p);
        ISC_STATUS_ARRAY st;
        isc_db_handle db = 0;
        isc_tr_handle tr = 0;
        // Forced writes off, as in the test databases: commits do not wait for the disk.
        std::string dpb = Dpb();
        dpb += static_cast<char>(isc_dpb_page_size);
        dpb += static_cast<char>(4);
        dpb += std::string("\x00\x10\x00\x00", 4);
        dpb += static_cast<char>(isc_dpb_force_write);
        dpb += static_cast<char>(4);
        dpb += std::string(4, '\0');
        dpb += static_cast<char>(isc_dpb_sql_dialect);
        dpb += static_cast<char>(4);
        dpb += std::string("\x03\x00\x00\x00", 4);
        dpb += static_cast<char>(isc_dpb_set_db_charset);
        dpb += static_cast<char>(4);
        dpb += "UTF8";
        isc_create_database(st, 0, p.c_str(), &db, static_cast<short>(dpb.size()), dpb.data(), 0);
        FbCheck(st);
        const char* ddl[] = {"CREATE TABLE BENCH (ID INTEGER NOT NULL PRIMARY KEY, NOME VARCHAR(40), VALOR NUMERIC(15,2))"};
        isc_start_transaction(st, &tr, 1, &db, 0, nullptr);
        FbCheck(st);
        isc_dsql_execute_immediate(st, &db, &tr, 0, ddl[0], 3, nullptr);
        FbCheck(st);
        isc_commit_retaining(st, &tr);
        for (int i = 1; i <= kRows; ++i) {
            const std::string ins = "INSERT INTO BENCH VALUES (" + std::to_string(i) + ", 'item " + std::to_string(i) +
                                    "', " + std::to_string(i * 1.5) + ")";
            isc_dsql_execute_immediate(st, &db, &tr, 0, ins.c_str(), 3, nullptr);
            FbCheck(st);
        }
        isc_commit_transaction(st, &tr);
        isc_detach_database(st, &db);
        return p;
    }();
    return path;
}

std::unique_ptr<TKVDatabase> KVFb() {
    auto db = std::make_unique<TKVDatabase>();
    db->DriverName = "FB";
    db->SetDatabaseName(FbFile());
    db->User = "SYSDBA";
    db->Password = "masterkey";
    return db;
}

// The minimal fbclient sequence for one statement text: allocate, prepare,
// execute (and fetch), free. Values are read into native types.
struct FbDirect {
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    FbDirect() {
        ISC_STATUS_ARRAY st;
        const std::string dpb = Dpb();
        isc_attach_database(st, 0, FbFile().c_str(), &db, static_cast<short>(dpb.size()), dpb.data());
        FbCheck(st);
        static const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_wait};
        isc_start_transaction(st, &tr, 1, &db, sizeof tpb, tpb);
        FbCheck(st);
    }
    ~FbDirect() {
        ISC_STATUS_ARRAY st;
        isc_commit_transaction(st, &tr);
        isc_detach_database(st, &db);
    }
    double Select(const std::string& sql) {
        ISC_STATUS_ARRAY st;
        isc_stmt_handle stmt = 0;
        isc_dsql_allocate_statement(st, &db, &stmt);
        FbCheck(st);
        alignas(8) char sqldaBuf[XSQLDA_LENGTH(3)] = {};
        auto* out = reinterpret_cast<XSQLDA*>(sqldaBuf);
        out->version = SQLDA_VERSION1;
        out->sqln = 3;
        isc_dsql_prepare(st, &tr, &stmt, 0, sql.c_str(), 3, out);
        FbCheck(st);
        alignas(8) char data[3][64];
        short nulls[3];
        for (int i = 0; i < 3; ++i) {
            out->sqlvar[i].sqldata = data[i];
            out->sqlvar[i].sqlind = &nulls[i];
        }
        isc_dsql_execute(st, &tr, &stmt, 3, nullptr);
        FbCheck(st);
        double sum = 0;
        while (isc_dsql_fetch(st, &stmt, 3, out) == 0) {
            ISC_LONG id;
            ISC_INT64 valor;
            std::memcpy(&id, data[0], sizeof id);
            std::memcpy(&valor, data[2], sizeof valor);
            short len;
            std::memcpy(&len, data[1], sizeof len);
            std::string nome(data[1] + 2, static_cast<size_t>(len));
            sum += id + static_cast<double>(valor) / 100.0 + static_cast<double>(nome.size());
        }
        isc_dsql_free_statement(st, &stmt, DSQL_drop);
        return sum;
    }
    void Exec(const std::string& sql) {
        ISC_STATUS_ARRAY st;
        isc_stmt_handle stmt = 0;
        isc_dsql_allocate_statement(st, &db, &stmt);
        FbCheck(st);
        isc_dsql_prepare(st, &tr, &stmt, 0, sql.c_str(), 3, nullptr);
        FbCheck(st);
        isc_dsql_execute(st, &tr, &stmt, 3, nullptr);
        FbCheck(st);
        isc_dsql_free_statement(st, &stmt, DSQL_drop);
    }
    void Commit() {
        ISC_STATUS_ARRAY st;
        isc_commit_retaining(st, &tr);
        FbCheck(st);
    }
};

// ---- The cases ---------------------------------------------------------------

double ReadRow(TKVQuery& q) {
    return static_cast<double>(q.FieldByName("ID").AsInteger()) + q.FieldByName("VALOR").AsFloat() +
           static_cast<double>(q.FieldByName("NOME").AsString().size());
}

void KVSelect(benchmark::State& state, std::unique_ptr<TKVDatabase> db) {
    TKVTransaction t(db.get());
    int id = 0;
    double sum = 0;
    for (auto _ : state) {
        TKVQuery q;
        q.SetDatabase(db.get());
        q.SQL.Add(SelectText(id % kRows + 1));
        q.Open();
        sum += ReadRow(q);
        q.Close();
        ++id;
    }
    benchmark::DoNotOptimize(sum);
}

void KVUpdate(benchmark::State& state, std::unique_ptr<TKVDatabase> db) {
    TKVTransaction t(db.get());
    int id = 0;
    for (auto _ : state) {
        TKVQuery q;
        q.SetDatabase(db.get());
        q.SQL.Add(UpdateText(id % kRows + 1));
        q.ExecSQL();
        if (++id % 100 == 0) t.CommitRetaining();
    }
    t.CommitRetaining();
}

void BM_PG_Select_TKVQuery(benchmark::State& state) {
    if (!HavePg()) return state.SkipWithError("DEZORIV_PG_HOST/PORT not set");
    KVSelect(state, KVPg());
}

void BM_PG_Select_libpq(benchmark::State& state) {
    if (!HavePg()) return state.SkipWithError("DEZORIV_PG_HOST/PORT not set");
    PGconn* c = PgConnect(PgDatabase());
    PgRun(c, "BEGIN");
    int id = 0;
    double sum = 0;
    for (auto _ : state) {
        PGresult* r = PQexec(c, (SelectText(id % kRows + 1) + "\r\n").c_str());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) throw std::runtime_error(PQerrorMessage(c));
        for (int row = 0; row < PQntuples(r); ++row)
            sum += std::atoi(PQgetvalue(r, row, 0)) + std::strtod(PQgetvalue(r, row, 2), nullptr) +
                   static_cast<double>(std::string(PQgetvalue(r, row, 1)).size());
        PQclear(r);
        ++id;
    }
    PgRun(c, "COMMIT");
    PQfinish(c);
    benchmark::DoNotOptimize(sum);
}

void BM_PG_Update_TKVQuery(benchmark::State& state) {
    if (!HavePg()) return state.SkipWithError("DEZORIV_PG_HOST/PORT not set");
    KVUpdate(state, KVPg());
}

void BM_PG_Update_libpq(benchmark::State& state) {
    if (!HavePg()) return state.SkipWithError("DEZORIV_PG_HOST/PORT not set");
    PGconn* c = PgConnect(PgDatabase());
    PgRun(c, "BEGIN");
    int id = 0;
    for (auto _ : state) {
        PgRun(c, UpdateText(id % kRows + 1) + "\r\n");
        if (++id % 100 == 0) {
            PgRun(c, "COMMIT");
            PgRun(c, "BEGIN");
        }
    }
    PgRun(c, "COMMIT");
    PQfinish(c);
}

void BM_FBEmbedded_Select_TKVQuery(benchmark::State& state) {
    KVSelect(state, KVFb());
}

void BM_FBEmbedded_Select_fbclient(benchmark::State& state) {
    FbDirect fb;
    int id = 0;
    double sum = 0;
    for (auto _ : state) sum += fb.Select(SelectText(id++ % kRows + 1) + "\r\n");
    benchmark::DoNotOptimize(sum);
}

void BM_FBEmbedded_Update_TKVQuery(benchmark::State& state) {
    KVUpdate(state, KVFb());
}

void BM_FBEmbedded_Update_fbclient(benchmark::State& state) {
    FbDirect fb;
    int id = 0;
    for (auto _ : state) {
        fb.Exec(UpdateText(id % kRows + 1) + "\r\n");
        if (++id % 100 == 0) fb.Commit();
    }
}

}  // namespace

BENCHMARK(BM_PG_Select_TKVQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PG_Select_libpq)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PG_Update_TKVQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PG_Update_libpq)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FBEmbedded_Select_TKVQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FBEmbedded_Select_fbclient)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FBEmbedded_Update_TKVQuery)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FBEmbedded_Update_fbclient)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
