// erp-fixture FILE.fdb [EXTRA.sql ...]
//
// Creates the Firebird database file FILE.fdb (it must not exist), opens it
// embedded, loads the write-off tables with their master data, then runs each
// extra script in the order given. Used by the demos.
#include <filesystem>
#include <iostream>

#include "dataaccess/TKVDatabase.h"
#include "dataaccess/TKVTransaction.h"
#include "erp_fixture/ErpFixture.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: erp-fixture FILE.fdb [EXTRA.sql ...]\n";
        return 2;
    }
    std::string path = std::filesystem::absolute(argv[1]).string();
    if (std::filesystem::exists(path)) {
        std::cerr << "erp-fixture: " << path << " already exists\n";
        return 1;
    }
    try {
        erp_fixture::CreateFirebirdDatabase(path);
        TKVDatabase db;
        TKVTransaction transaction(&db);
        db.DriverName = "FB";
        db.SetDatabaseName(path);
        db.User = "SYSDBA";
        db.Password = "masterkey";
        erp_fixture::LoadWriteOff(db);
        for (int i = 2; i < argc; ++i) erp_fixture::RunScript(db, argv[i]);
        db.Close();
    } catch (const std::exception& e) {
        std::cerr << "erp-fixture: " << e.what() << "\n";
        return 1;
    }
    std::cout << path << "\n";
    return 0;
}
