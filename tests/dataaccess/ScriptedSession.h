// A scripted driver for tests that check what the components send to the
// driver layer: it records every call and answers through a handler.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"
#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVDatabase.h"

struct Script {
    std::string driverName;
    std::vector<std::string> params;
    std::vector<std::string> calls;  // "StartTransaction", "Execute <timeout>: <sql>", ...
    bool inTransaction = false;
    int connects = 0;
    std::string connectError;  // when set, connecting fails with it
    std::function<kvdriver::ResultSet(const std::string& sql, int timeoutMs)> onExecute;

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

class ScriptedSession : public kvdriver::Session {
public:
    explicit ScriptedSession(std::shared_ptr<Script> s) : FScript(std::move(s)) {}
    void StartTransaction() override {
        FScript->calls.push_back("StartTransaction");
        FScript->inTransaction = true;
    }
    bool InTransaction() const override { return FScript->inTransaction; }
    void CommitRetaining() override {
        FScript->calls.push_back("CommitRetaining");
        FScript->inTransaction = true;
    }
    void RollbackRetaining() override {
        FScript->calls.push_back("RollbackRetaining");
        FScript->inTransaction = true;
    }
    void Rollback() override {
        FScript->calls.push_back("Rollback");
        FScript->inTransaction = false;
    }
    kvdriver::ResultSet Execute(const std::string& sql, int timeoutMs) override {
        FScript->calls.push_back("Execute " + std::to_string(timeoutMs) + ": " + sql);
        FScript->inTransaction = true;  // the driver starts one on its own
        if (FScript->onExecute) return FScript->onExecute(sql, timeoutMs);
        return {};
    }

private:
    std::shared_ptr<Script> FScript;
};

// Installs a scripted driver on the connection; the script sees every call.
inline std::shared_ptr<Script> UseScriptedDriver(TKVCustomDatabase& db) {
    auto script = std::make_shared<Script>();
    db.SetSessionFactory([script](const std::string& driver, const std::vector<std::string>& params)
                             -> std::unique_ptr<kvdriver::Session> {
        script->driverName = driver;
        script->params = params;
        ++script->connects;
        if (!script->connectError.empty()) throw EKVDatabaseError(script->connectError);
        return std::make_unique<ScriptedSession>(script);
    });
    return script;
}

// A result of one row; columns given as (name, type, value).
struct ScriptedColumn {
    std::string name;
    TKVFieldType type;
    TKVValue value;
    int precision = 0, scale = 0, size = 0;
};

inline kvdriver::ResultSet OneRow(const std::vector<ScriptedColumn>& columns) {
    kvdriver::ResultSet rs;
    rs.rows.emplace_back();
    for (const auto& c : columns) {
        rs.columns.push_back({c.name, c.type, c.precision, c.scale, c.size});
        rs.rows[0].push_back(c.value);
    }
    return rs;
}
