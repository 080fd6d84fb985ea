// Starts tools/fake-api for one test on a free port and stops it again.
#pragma once
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class FakeApiProcess {
public:
    // extraArgs: further command-line options (rules, --first-id, ...).
    // https: serve with the test certificate (DEZORIV_FAKE_API_CERT/KEY).
    explicit FakeApiProcess(std::vector<std::string> extraArgs = {}, bool https = false);
    ~FakeApiProcess();
    FakeApiProcess(const FakeApiProcess&) = delete;
    FakeApiProcess& operator=(const FakeApiProcess&) = delete;

    int Port() const { return FPort; }
    // "http://127.0.0.1:PORT" (or https).
    std::string BaseUrl() const;
    // Adds an answer rule through the control endpoint (same JSON as --rule).
    void AddRule(const nlohmann::json& rule);
    // The requests received so far, oldest first.
    std::vector<nlohmann::json> Requests() const;

    static bool HttpsAvailable();

private:
    int FPid = -1;
    int FPort = 0;
    bool FHttps = false;
    std::string FDir;
    std::string FRecordFile;
};
