// Connection set-up without a server: name split, Name=Value lines per dialect,
// mapping rules, copying from a parent connection, driver availability.
#include <gtest/gtest.h>

#include "ScriptedSession.h"
#include "dataaccess/TKVDatabase.h"
#include "dataaccess/TKVTransaction.h"

namespace {

using Lines = std::vector<std::string>;

TEST(NameSplit, SplitsHostAndDatabaseAtTheFirstColon) {
    struct Case {
        std::string driver, name, host, database;
    } cases[] = {
        {"FB", "srv01:C:\\ERP\\DADOS.FDB", "srv01", "C:\\ERP\\DADOS.FDB"},
        {"FB", "localhost:/srv/erp/dados.fdb", "localhost", "/srv/erp/dados.fdb"},
        {"FB", " srv01 :  /srv/erp/dados.fdb  ", " srv01 ", "/srv/erp/dados.fdb"},
        {"PG", "ERPDB", "", "ERPDB"},
        {"FB", "C:\\DADOS.FDB", "C", "\\DADOS.FDB"},
        {"SQLite", "C:\\x.db", "", "C:\\x.db"},
        {"", "pgsrv:erp", "pgsrv", "erp"},  // no driver chosen yet: split like any other
        {"Ora", "orasrv:XE", "orasrv", "XE"},
    };
    for (const auto& c : cases) {
        TKVDatabase db;
        db.DriverName = c.driver;
        db.HostName = "old-host";
        db.SetDatabaseName(c.name);
        EXPECT_EQ(db.DatabaseName(), c.name);
        EXPECT_EQ(db.HostName, c.host) << c.name;
        EXPECT_EQ(db.Database, c.database) << c.name;
    }
}

TEST(NameSplit, AllBlankNameKeepsHostAndDatabase) {
    TKVDatabase db;
    db.SetDatabaseName("srv:/a.fdb");
    db.SetDatabaseName("   ");
    EXPECT_EQ(db.DatabaseName(), "   ");
    EXPECT_EQ(db.HostName, "srv");
    EXPECT_EQ(db.Database, "/a.fdb");
}

TEST(ConnectSetup, LinesPerDialect) {
    struct Case {
        std::string what, driver, host, database, user, password;
        int port;
        Lines expected;
    } cases[] = {
        {"FB remote", "FB", "srv01", "C:\\ERP\\DADOS.FDB", "SYSDBA", "masterkey", 0,
         {"Server=srv01", "Database=C:\\ERP\\DADOS.FDB", "User_name=SYSDBA", "Password=masterkey", "Protocol=TCPIP",
          "PageSize=4096"}},
        {"FB embedded", "FB", "", "/data/erp.fdb", "SYSDBA", "x", 0,
         {"Database=/data/erp.fdb", "User_name=SYSDBA", "Password=x", "PageSize=4096"}},
        {"FB remote with port", "FB", "127.0.0.1", "/d/e.fdb", "SYSDBA", "x", 3050,
         {"Server=127.0.0.1", "Database=/d/e.fdb", "User_name=SYSDBA", "Password=x", "Port=3050", "Protocol=TCPIP",
          "PageSize=4096"}},
        {"PG", "PG", "pgsrv", "erp", "erpuser", "s3cr3t", 5432,
         {"Server=pgsrv", "Database=erp", "User_name=erpuser", "Password=s3cr3t", "Port=5432"}},
        {"Ora", "Ora", "orasrv", "XE", "ERP", "pw", 1521,
         {"Server=orasrv", "Database=XE", "User_name=ERP", "Password=pw", "Port=1521", "AuthMode=NORMAL"}},
        {"values trimmed", "PG", "  pgsrv ", "  erp  ", " u ", " p ", 0,
         {"Server=pgsrv", "Database=erp", "User_name=u", "Password=p"}},
        {"empty user, password, database", "PG", "", "", "", "", 0, {"Database="}},
        {"blank host", "FB", "   ", "/a.fdb", "", "", 0, {"Database=/a.fdb", "PageSize=4096"}},
        {"other dialect", "MSSQL", "h", "d", "u", "p", 1433,
         {"Server=h", "Database=d", "User_name=u", "Password=p", "Port=1433"}},
    };
    for (const auto& c : cases) {
        TKVDatabase db;
        auto script = UseScriptedDriver(db);
        db.DriverName = c.driver;
        db.HostName = c.host;
        db.Database = c.database;
        db.User = c.user;
        db.Password = c.password;
        db.Port = c.port;
        db.SetConnected(true);
        EXPECT_EQ(db.Params(), c.expected) << c.what;
        EXPECT_EQ(script->params, c.expected) << c.what;
        EXPECT_EQ(script->driverName, c.driver) << c.what;
        EXPECT_EQ(db.DriverName, c.driver) << c.what;
    }
}

TEST(ConnectSetup, EveryConnectRebuildsTheLines) {
    TKVDatabase db;
    auto script = UseScriptedDriver(db);
    db.DriverName = "FB";
    db.SetDatabaseName("srv:/a.fdb");
    db.SetConnected(true);
    db.SetConnected(false);
    db.SetDatabaseName("/b.fdb");
    db.SetConnected(true);
    EXPECT_EQ(db.Params(), (Lines{"Database=/b.fdb", "PageSize=4096"}));
    EXPECT_EQ(script->connects, 2);
}

TEST(ConnectSetup, MappingRulesPerDialect) {
    using T = TKVFieldType;
    struct Case {
        std::string driver;
        kvdriver::ColumnInfo column;
        T delivered;
    } cases[] = {
        {"FB", {"V", T::BCD, 18, 2, 8}, T::Float},
        {"FB", {"V", T::BCD, 18, 15, 8}, T::Float},
        {"FB", {"V", T::BCD, 18, 1, 8}, T::BCD},
        {"FB", {"V", T::BCD, 22, 2, 8}, T::BCD},
        {"FB", {"V", T::FMTBcd, 9, 4, 8}, T::Float},
        {"FB", {"V", T::TimeStamp, 0, 0, 8}, T::Time},
        {"FB", {"V", T::LargeInt, 18, 0, 8}, T::LargeInt},
        {"FB", {"V", T::Date, 0, 0, 4}, T::Date},
        {"PG", {"v", T::BCD, 0, 0, 0}, T::Currency},
        {"PG", {"v", T::FMTBcd, 30, 10, 0}, T::Float},
        {"PG", {"v", T::DateTime, 0, 0, 0}, T::Date},
        {"PG", {"v", T::TimeStamp, 0, 0, 0}, T::Time},
        {"PG", {"v", T::WideMemo, 0, 0, 0}, T::Memo},
        {"PG", {"v", T::WideLargeMemo, 0, 0, 0}, T::LargeMemo},
        {"PG", {"v", T::WideString, 0, 0, 40}, T::String},
        {"PG", {"v", T::Integer, 0, 0, 4}, T::Integer},
        {"Ora", {"V", T::BCD, 15, 2, 8}, T::Currency},
        {"Ora", {"V", T::BCD, 15, 5, 8}, T::BCD},
        {"Ora", {"V", T::BCD, 9, 0, 0}, T::Integer},
        {"Ora", {"V", T::BCD, 10, 0, 0}, T::BCD},
        {"Ora", {"V", T::FMTBcd, 38, 38, 8}, T::Float},
        {"Ora", {"V", T::FMTBcd, 38, 38, 9}, T::FMTBcd},
        {"Ora", {"V", T::DateTime, 0, 0, 0}, T::Date},
        {"Ora", {"V", T::TimeStamp, 0, 0, 0}, T::Time},
        {"Ora", {"V", T::WideLargeMemo, 0, 0, 0}, T::LargeMemo},
        {"MSSQL", {"V", T::BCD, 15, 2, 8}, T::BCD},
    };
    for (const auto& c : cases) {
        TKVDatabase db;
        UseScriptedDriver(db);
        db.DriverName = c.driver;
        db.SetConnected(true);
        EXPECT_EQ(db.MapType(c.column), c.delivered)
            << c.driver << " type " << static_cast<int>(c.column.type) << " p" << c.column.precision << " s"
            << c.column.scale << " z" << c.column.size;
    }
}

TEST(ConnectSetup, FailedConnectStaysDisconnectedWithTheDriversMessage) {
    TKVDatabase db;
    auto script = UseScriptedDriver(db);
    script->connectError = "login refused";
    db.DriverName = "PG";
    db.Database = "erp";
    try {
        db.SetConnected(true);
        FAIL() << "connect should fail";
    } catch (const EKVDatabaseError& e) {
        EXPECT_STREQ(e.what(), "login refused");
    }
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(db.Database, "erp");
}

TEST(ConnectSetup, OracleAndUnknownDriversFailClearly) {
    for (const std::string driver : {"Ora", "SQLite", ""}) {
        TKVDatabase db;
        db.DriverName = driver;
        db.Database = "XE";
        try {
            db.SetConnected(true);
            FAIL() << driver << " should not connect";
        } catch (const EKVDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("não disponível nesta instalação"), std::string::npos) << e.what();
            if (driver == "Ora") {
                EXPECT_NE(std::string(e.what()).find("Oracle"), std::string::npos);
            }
        }
        EXPECT_FALSE(db.Connected());
    }
}

TEST(ConnectSetup, DisconnectSwitchesTracingOffAndRollsBackOpenWork) {
    TKVDatabase db;
    auto script = UseScriptedDriver(db);
    db.DriverName = "FB";
    db.SetGravaLog(true);
    db.Session().Execute("INSERT INTO T VALUES (1)", 0);
    db.SetConnected(false);
    EXPECT_FALSE(db.GravaLog);
    ASSERT_NE(db.DadosGravaLog(), nullptr);  // the holder stays
    EXPECT_EQ(script->calls.back(), "Rollback");
    db.SetConnected(true);
    EXPECT_FALSE(db.GravaLog);  // reconnecting does not switch it on again
}

TEST(GetDatabase, MissingParentIsRefused) {
    TKVDatabase db;
    try {
        db.GetDatabase(nullptr);
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Conexão pai não existe.");
    }
}

TEST(GetDatabase, CopiesEverySettingAndConnects) {
    TKVDatabase parent;
    parent.DriverName = "FB";
    parent.SetDatabaseName("srv01:/erp/dados.fdb");
    parent.Database = "/erp/outro.fdb";  // written after the split: the copy keeps it
    parent.User = "SYSDBA";
    parent.Password = "pw";
    parent.Port = 3051;
    TKVDatabase child;
    auto script = UseScriptedDriver(child);
    child.DriverName = "PG";
    child.SetConnected(true);
    child.SetGravaLog(true);
    child.GetDatabase(&parent);
    EXPECT_EQ(script->connects, 2);
    EXPECT_FALSE(child.GravaLog);
    EXPECT_EQ(child.DriverName, "FB");
    EXPECT_EQ(child.DatabaseName(), "srv01:/erp/dados.fdb");
    EXPECT_EQ(child.Params(), (Lines{"Server=srv01", "Database=/erp/outro.fdb", "User_name=SYSDBA", "Password=pw",
                                     "Port=3051", "Protocol=TCPIP", "PageSize=4096"}));
}

TEST(GetDatabase, ConnectFailureIsWrapped) {
    TKVDatabase parent;
    parent.DriverName = "PG";
    parent.Database = "erp";
    TKVDatabase child;
    auto script = UseScriptedDriver(child);
    script->connectError = "password authentication failed for user \"erp\"";
    try {
        child.GetDatabase(&parent);
        FAIL();
    } catch (const EKVDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "Erro ao abrir a base \rpassword authentication failed for user \"erp\"");
    }
    EXPECT_FALSE(child.Connected());
}

TEST(Transaction, BindsBothWaysAndFollowsTheSession) {
    TKVDatabase db;
    auto script = UseScriptedDriver(db);
    db.DriverName = "PG";
    {
        TKVTransaction t(&db);
        EXPECT_EQ(db.Transaction(), &t);
        EXPECT_FALSE(t.Active());
        t.StartTransaction();
        EXPECT_TRUE(t.Active());
        t.CommitRetaining();
        t.RollbackRetaining();
        EXPECT_EQ(script->calls, (Lines{"StartTransaction", "CommitRetaining", "RollbackRetaining"}));
    }
    EXPECT_EQ(db.Transaction(), nullptr);
    TKVTransaction unbound;
    EXPECT_FALSE(unbound.Active());
    EXPECT_THROW(unbound.CommitRetaining(), EKVDatabaseError);
}

}  // namespace
