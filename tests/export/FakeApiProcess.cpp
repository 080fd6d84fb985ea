#include "FakeApiProcess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

extern char** environ;

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
}  // namespace

bool FakeApiProcess::HttpsAvailable() {
    return !Env("DEZORIV_FAKE_API_CERT").empty() && !Env("DEZORIV_FAKE_API_KEY").empty();
}

FakeApiProcess::FakeApiProcess(std::vector<std::string> extraArgs, bool https) : FHttps(https) {
    char dirTemplate[] = "/tmp/fake-api.XXXXXX";
    if (!mkdtemp(dirTemplate)) throw std::runtime_error("mkdtemp failed");
    FDir = dirTemplate;
    FRecordFile = FDir + "/requests.jsonl";

    std::vector<std::string> args = {FAKE_API_PATH, "--port", "0", "--record", FRecordFile};
    if (https) {
        args.insert(args.end(), {"--cert", Env("DEZORIV_FAKE_API_CERT"), "--key", Env("DEZORIV_FAKE_API_KEY")});
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    // The fake API takes SIGTERM as any program does, also when the test
    // blocks it (as the service does).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        throw std::runtime_error("cannot start fake-api");
    }
    FPid = pid;
    std::string line;
    char c;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
    close(pipeFds[0]);
    if (std::sscanf(line.c_str(), "PORT %d", &FPort) != 1) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
        throw std::runtime_error("fake-api did not start: " + line);
    }
}

FakeApiProcess::~FakeApiProcess() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
    std::remove(FRecordFile.c_str());
    rmdir(FDir.c_str());
}

std::string FakeApiProcess::BaseUrl() const {
    return std::string(FHttps ? "https" : "http") + "://127.0.0.1:" + std::to_string(FPort);
}

void FakeApiProcess::AddRule(const nlohmann::json& rule) {
    // The control endpoint is reached over plain curl; the certificate of an
    // HTTPS instance is trusted explicitly.
    CURL* curl = curl_easy_init();
    std::string body = rule.dump();
    std::string url = BaseUrl() + "/__fake/rules";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    if (FHttps) curl_easy_setopt(curl, CURLOPT_CAINFO, Env("DEZORIV_FAKE_API_CERT").c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t s, size_t n, void*) { return s * n; });
    CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK || status != 200) throw std::runtime_error("fake-api refused the rule " + body);
}

std::vector<nlohmann::json> FakeApiProcess::Requests() const {
    std::vector<nlohmann::json> out;
    std::ifstream in(FRecordFile);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(nlohmann::json::parse(line));
    return out;
}
