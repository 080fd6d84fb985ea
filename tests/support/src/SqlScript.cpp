// Script files of several statements, run through a connection.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "test_support/TestDatabases.h"

namespace testsupport {

namespace {

std::string TrimRight(const std::string& s) {
    size_t e = s.size();
    while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(0, e);
}

bool OnlyBlanks(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

}  // namespace

std::vector<std::string> SplitSqlScript(const std::string& text) {
    std::vector<std::string> statements;
    std::string current, line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        line = TrimRight(line);
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, 2, "--") == 0) continue;
        if (!line.empty() && line.back() == ';') {
            current += line.substr(0, line.size() - 1);
            if (!OnlyBlanks(current)) statements.push_back(current);
            current.clear();
        } else {
            current += line + "\n";
        }
    }
    if (!OnlyBlanks(current)) statements.push_back(current);
    return statements;
}

void RunSqlText(TKVDatabase& db, const std::string& text) {
    auto& session = db.Session();
    for (const auto& statement : SplitSqlScript(text)) {
        try {
            session.Execute(statement, 0);
            session.CommitRetaining();
        } catch (const std::exception& e) {
            session.RollbackRetaining();
            throw std::runtime_error(std::string(e.what()) + "\nin statement:\n" + statement);
        }
    }
}

void RunSqlScript(TKVDatabase& db, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read SQL script " + path);
    std::ostringstream text;
    text << in.rdbuf();
    RunSqlText(db, text.str());
}

}  // namespace testsupport
