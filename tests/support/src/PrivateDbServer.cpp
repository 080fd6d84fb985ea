// What the private servers share: the write-off ERP database, passwords.
#include "test_support/PrivateDbServer.h"

#include <random>

#include "erp_fixture/ErpFixture.h"

namespace testsupport {

std::string CreateWriteOffErp(PrivateDbServer& server, const std::string& name) {
    const std::string database = server.CreateDatabase(name);
    auto db = server.Connection(database);
    erp_fixture::LoadWriteOff(*db);
    db->Close();
    return database;
}

std::string RandomPassword() {
    static const char kChars[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string password;
    for (int i = 0; i < 16; ++i) password += kChars[pick(random)];
    return password;
}

}  // namespace testsupport
