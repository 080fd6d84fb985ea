// A scripted driver for the translator's tests: records every statement the
// query sends and answers Oracle's USER_TAB_COLUMNS statement from a small
// table of columns, since there is no Oracle server to ask.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/KVDriver.h"
#include "dataaccess/KVErrors.h"
#include "dataaccess/TKVDatabase.h"

struct CatalogueScript {
    std::vector<std::string> executed;                        // every statement, in order
    std::map<std::string, std::vector<std::string>> columns;  // table -> column names
    std::string catalogueError;                               // when set, the catalogue statement fails

    bool IsCatalogue(const std::string& sql) const { return sql.find("USER_TAB_COLUMNS") != std::string::npos; }
};

class CatalogueSession : public kvdriver::Session {
public:
    explicit CatalogueSession(std::shared_ptr<CatalogueScript> s) : FScript(std::move(s)) {}
    void StartTransaction() override { FActive = true; }
    bool InTransaction() const override { return FActive; }
    void CommitRetaining() override {}
    void RollbackRetaining() override {}
    void Rollback() override { FActive = false; }
    kvdriver::ResultSet Execute(const std::string& sql, int) override {
        FScript->executed.push_back(sql);
        FActive = true;
        kvdriver::ResultSet result;
        if (!FScript->IsCatalogue(sql)) return result;
        if (!FScript->catalogueError.empty()) throw EKVDatabaseError(FScript->catalogueError);
        result.columns.push_back({"NMCAMPO", TKVFieldType::String, 0, 0, 30});
        for (const auto& [table, cols] : FScript->columns)
            if (sql.find("'" + table + "'") != std::string::npos)
                for (const auto& c : cols) result.rows.push_back({TKVValue{c}});
        return result;
    }

private:
    std::shared_ptr<CatalogueScript> FScript;
    bool FActive = false;
};

inline std::shared_ptr<CatalogueScript> UseCatalogueScript(TKVDatabase& db, const std::string& dialect) {
    auto script = std::make_shared<CatalogueScript>();
    db.DriverName = dialect;
    db.SetSessionFactory([script](const std::string&, const std::vector<std::string>&) {
        return std::unique_ptr<kvdriver::Session>(new CatalogueSession(script));
    });
    return script;
}
