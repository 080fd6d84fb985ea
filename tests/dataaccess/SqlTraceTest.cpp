// The SQL trace: file name and folder, line layout byte for byte, the
// statement clean-up, and the trace switch with its holder.
#include <gtest/gtest.h>

#include <regex>

#include "ScriptedSession.h"
#include "TraceFiles.h"
#include "dataaccess/TKVGravaLog.h"
#include "dataaccess/TKVQuery.h"

namespace {

class SqlTrace : public TraceFolderFixture {};

std::string Stamp(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d/%m/%y %H:%M:%S", &tm);
    return buf;
}

TEST_F(SqlTrace, WritesOneLineByteForByte) {
    const std::time_t before = std::time(nullptr);
    WriteSqlTrace("PCFAB01", "192.0.2.17", "", "SELECT A FROM B\r\nWHERE C = 1\r\n");
    const std::time_t after = std::time(nullptr);
    const std::string all = ReadTrace("PCFAB01");
    const std::string expectedBefore = "|192.0.2.17|fmDEZORiv||" + Stamp(before) + "|SELECT A FROM B WHERE C = 1|\r\n";
    const std::string expectedAfter = "|192.0.2.17|fmDEZORiv||" + Stamp(after) + "|SELECT A FROM B WHERE C = 1|\r\n";
    EXPECT_TRUE(all == expectedBefore || all == expectedAfter) << all;
    EXPECT_TRUE(std::regex_match(all.substr(23, 17), std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)")));
}

TEST_F(SqlTrace, StatementFieldIsCleanedUp) {
    struct Case {
        std::string text, field;
    } cases[] = {
        {"SELECT A | B FROM T\r\n", "SELECT A \xC3\x9F B FROM T"},
        {"A\rB\nC\r\n", "A\rB\nC"},  // only CR LF pairs become blanks
        {"\r\n  \tSELECT 1\r\n\r\n", "SELECT 1"},
        {"X\r\n\r\nY", "X  Y"},
        {"\x01 UPDATE T SET A = '|' \x02", "UPDATE T SET A = '\xC3\x9F'"},
        {"", ""},
        {"SELECT 'ação' FROM T", "SELECT 'ação' FROM T"},
    };
    for (const auto& c : cases) WriteSqlTrace("M", "1.2.3.4", "USR", c.text);
    const auto lines = TraceLines("M");
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "|1.2.3.4|fmDEZORiv|USR|<stamp>|" + cases[i].field + "|") << i;
}

TEST_F(SqlTrace, EntriesAroundMidnightGoToTwoFiles) {
    TDateTime now = EncodeKVDateTime({2024, 3, 5, 23, 59, 59, 900});
    SetKVClock([&] { return now; });
    WriteSqlTrace("PC1", "ip", "", "BEFORE");
    now = EncodeKVDateTime({2024, 3, 6, 0, 0, 0, 100});
    WriteSqlTrace("PC1", "ip", "", "AFTER");
    SetKVClock({});
    auto read = [&](const std::string& name) {
        std::ifstream in(folder + "/Logs/" + name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_EQ(read("PC1-20240305.log"), "|ip|fmDEZORiv||05/03/24 23:59:59|BEFORE|\r\n");
    EXPECT_EQ(read("PC1-20240306.log"), "|ip|fmDEZORiv||06/03/24 00:00:00|AFTER|\r\n");
}

TEST_F(SqlTrace, UnknownMachineNoWindowAndEmptyUser) {
    SetActiveWindowName("");
    WriteSqlTrace("", "", "", "SELECT 1");
    EXPECT_EQ(TraceLines(""), std::vector<std::string>{"||||<stamp>|SELECT 1|"});
    EXPECT_TRUE(std::filesystem::exists(folder + "/Logs/MaqDesconhecida-" + Today() + ".log"));
}

TEST_F(SqlTrace, AppendsToTheDaysFile) {
    WriteSqlTrace("PC1", "ip", "", "ONE");
    WriteSqlTrace("PC2", "ip", "", "OTHER MACHINE");
    WriteSqlTrace("PC1", "ip", "", "TWO");
    EXPECT_EQ(TraceLines("PC1"), (std::vector<std::string>{"|ip|fmDEZORiv||<stamp>|ONE|", "|ip|fmDEZORiv||<stamp>|TWO|"}));
    EXPECT_EQ(TraceLines("PC2").size(), 1u);
}

TEST_F(SqlTrace, FallsBackToTheServiceFolderWhenLogsCannotBeMade) {
    std::ofstream(folder + "/Logs") << "a file in the way";
    WriteSqlTrace("PC1", "ip", "", "SELECT 1");
    std::ifstream in(folder + "/PC1-" + Today() + ".log", std::ios::binary);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line.substr(0, 14), "|ip|fmDEZORiv|");
}

TEST_F(SqlTrace, UnwritableFileIsAnInputOutputError) {
    std::ofstream(folder + "/blocker") << "x";
    SetApplicationFolder(folder + "/blocker/sub");
    EXPECT_THROW(WriteSqlTrace("PC1", "ip", "", "SELECT 1"), EKVInOutError);
}

TEST_F(SqlTrace, TraceFailureReplacesTheDatabaseErrorOfExecSQL) {
    TKVDatabase db;
    db.DriverName = "FB";
    auto script = UseScriptedDriver(db);
    script->onExecute = [](const std::string&, int) -> kvdriver::ResultSet { throw EKVDatabaseError("deadlock"); };
    std::ofstream(folder + "/blocker") << "x";
    SetApplicationFolder(folder + "/blocker/sub");
    TKVCustomQuery q;
    q.SetDatabase(&db);
    q.SQL.Add("UPDATE T SET A = 1");
    EXPECT_THROW(q.ExecSQL(), EKVInOutError);
    TKVCustomQuery::SetRetryWait(1);
    EXPECT_THROW(q.TryExecSQL(), EKVInOutError);  // "deadlock" retried, then the trace fails
    TKVCustomQuery::SetRetryWait(1000);
}

TEST_F(SqlTrace, FailedExecutionCarriesTheConnectionsUser) {
    TKVDatabase db;
    db.DriverName = "FB";
    db.NmUsuario = "OPERADOR";
    auto script = UseScriptedDriver(db);
    script->onExecute = [](const std::string&, int) -> kvdriver::ResultSet { throw EKVDatabaseError("Token unknown"); };
    TKVCustomQuery q;
    q.SetDatabase(&db);
    q.SQL.Add("UPDAT T");
    EXPECT_THROW(q.ExecSQL(), EKVDatabaseError);
    EXPECT_EQ(TraceLines(GetMachineName()),
              std::vector<std::string>{"|" + GetLocalIP() + "|fmDEZORiv|OPERADOR|<stamp>|ExecSQL (Token unknown): UPDAT T|"});
}

TEST(TraceSwitch, HolderFollowsSetGravaLog) {
    TKVDatabase db;
    EXPECT_EQ(db.DadosGravaLog(), nullptr);
    db.GravaLog = true;  // the property alone makes no holder
    EXPECT_EQ(db.DadosGravaLog(), nullptr);
    db.SetGravaLog(true);
    ASSERT_NE(db.DadosGravaLog(), nullptr);
    EXPECT_EQ(db.DadosGravaLog()->NmMaquina, GetMachineName());
    EXPECT_EQ(db.DadosGravaLog()->NrIP, GetLocalIP());
    // A holder with a name is read again; one with a blank name is left alone.
    db.DadosGravaLog()->NrIP = "x";
    db.SetGravaLog(true);
    EXPECT_EQ(db.DadosGravaLog()->NrIP, GetLocalIP());
    db.DadosGravaLog()->NmMaquina = "  ";
    db.DadosGravaLog()->NrIP = "x";
    db.SetGravaLog(true);
    EXPECT_EQ(db.DadosGravaLog()->NrIP, "x");
    db.SetGravaLog(false);
    EXPECT_FALSE(db.GravaLog);
    EXPECT_EQ(db.DadosGravaLog(), nullptr);
}

TEST(Platform, MachineNameAndAddress) {
    const std::string name = GetMachineName();
    EXPECT_LE(name.size(), 15u);
    EXPECT_EQ(name.find('.'), std::string::npos);
    const std::string ip = GetLocalIP();
    if (!ip.empty()) {
        EXPECT_TRUE(std::regex_match(ip, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << ip;
    }
    SetApplicationFolder("/srv/dezoriv");
    EXPECT_EQ(ApplicationFolder(), "/srv/dezoriv/");
}

}  // namespace
