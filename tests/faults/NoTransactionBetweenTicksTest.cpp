// Between two ticks the service holds no transaction on its server: its
// PostgreSQL session is 'idle' (not 'idle in transaction', which a server's
// idle-in-transaction limit would end and which holds locks), and its
// Firebird attachment has no transaction open (one would keep the oldest
// active transaction from moving for the life of the process).
#include <gtest/gtest.h>

#include <variant>

#include "FaultHarness.h"
#include "dataaccess/KVDriver.h"

namespace faults {
namespace {

std::string Text(const TKVValue& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&value)) return std::to_string(static_cast<long long>(*d));
    return "(null)";
}

// Each row: what the server shows of the service's connections (every one
// but the asking one), one row per connection, one text per column.
std::vector<std::vector<std::string>> ServiceConnections(FaultInstallation& erp) {
    const std::string sql =
        erp.Kind() == ServerKind::PG
            ? "SELECT state, coalesce(to_char(xact_start, 'HH24:MI:SS'), '-') FROM pg_stat_activity "
              "WHERE datname = current_database() AND pid <> pg_backend_pid() AND backend_type = 'client backend'"
            : "SELECT A.MON$ATTACHMENT_ID, (SELECT COUNT(*) FROM MON$TRANSACTIONS T "
              "WHERE T.MON$ATTACHMENT_ID = A.MON$ATTACHMENT_ID) FROM MON$ATTACHMENTS A "
              "WHERE A.MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND A.MON$SYSTEM_FLAG = 0";
    auto db = erp.Connect();
    kvdriver::Session& session = db->Session();
    if (!session.InTransaction()) session.StartTransaction();
    const kvdriver::ResultSet result = session.Execute(sql, 0);
    db->Close();
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : result.rows) {
        rows.emplace_back();
        for (const auto& value : row) rows.back().push_back(Text(value));
    }
    return rows;
}

class NoTransactionBetweenTicksTest : public ::testing::TestWithParam<ServerKind> {};

TEST_P(NoTransactionBetweenTicksTest, TheServiceHoldsNoTransactionAfterATick) {
    FaultInstallation erp(GetParam());
    erp.AddOrders(2, 3, TestSeed(GetParam() == ServerKind::PG ? 5101 : 5102, "idle " + KindName(GetParam())));

    // A tick that posts, then one that finds the inbox empty: after each the
    // session stays connected and holds nothing.
    for (int tick = 0; tick < 2; ++tick) {
        SCOPED_TRACE("tick " + std::to_string(tick));
        if (tick == 0) erp.DropNext(2);
        const auto lines = erp.Tick();
        EXPECT_TRUE(ReadRun(lines).other.empty()) << Joined(lines);
        const auto connections = ServiceConnections(erp);
        ASSERT_EQ(connections.size(), 1u) << "the service's session must stay connected between ticks";
        if (GetParam() == ServerKind::PG) {
            EXPECT_EQ(connections[0][0], "idle") << "transaction started at " << connections[0][1];
            EXPECT_EQ(connections[0][1], "-");
        } else {
            EXPECT_EQ(connections[0][1], "0") << "open transactions of the service's attachment";
        }
    }
    const auto report = erp.Check(true);
    EXPECT_TRUE(report.Holds()) << report.Text();
}

INSTANTIATE_TEST_SUITE_P(Servers, NoTransactionBetweenTicksTest, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace faults
