// A write-off installation on a database server of the test's own, for
// tests that stop, kill or cut off the server or kill the service: the
// server with the ERP fixture, the service folder (DEZORiv.ini pointing at
// the server or at a relay in front of it), a batch of generated orders with
// the invariants of their postings, the service in this process (ticks as
// the event loop runs them) and runs of the built program.
#pragma once
#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "shell/TfmDEZORiv.h"
#include "test_support/ChildProcess.h"
#include "test_support/PrivateDbServer.h"
#include "test_support/ServiceProgram.h"
#include "test_support/WriteOffInvariants.h"
#include "test_support/WriteOffOrders.h"

namespace faults {

enum class ServerKind { PG, FB };
// "PG" or "FBServer" (a test name suffix).
std::string KindName(ServerKind kind);
const std::vector<ServerKind>& AllKinds();

class FaultInstallation {
public:
    // Starts the server, loads the ERP and writes DEZORiv.ini (the server's port).
    explicit FaultInstallation(ServerKind kind);
    ~FaultInstallation();

    ServerKind Kind() const { return FKind; }
    testsupport::PrivateDbServer& Server() { return *FServer; }
    const std::string& Folder() const { return FFolder; }
    std::string Inbox() const { return FFolder + "Recebidos/"; }
    std::string Processed() const { return FFolder + "Processados/"; }

    // Rewrites DEZORiv.ini so that the service connects through 127.0.0.1:port
    // (0: the server's own port). Takes effect at the next start of the
    // service (the program, or the first use of Form()).
    void PointServiceAt(int port);
    // A connection of the test's own, straight to the server.
    std::unique_ptr<TKVDatabase> Connect() const;

    // A batch of orders in the ERP, its invariants taken from now on.
    void AddOrders(size_t files, size_t ordersPerFile, unsigned seed);
    const testsupport::WriteOffOrders& Orders() const { return *FOrders; }
    size_t Dropped() const { return FDropped; }
    // Drops the next `count` files of the batch into the inbox.
    void DropNext(size_t count = 1);
    testsupport::InvariantReport Check(bool inboxDone) const;

    // The service in this process, started from the folder on first use.
    TfmDEZORiv& Form();
    // One tick of tmVerifica through Dispatch, as the event loop runs it;
    // gives the Memo1 lines it wrote (without their stamp).
    std::vector<std::string> Tick();
    // Memo1 lines written since the last call of Tick or NewLines.
    std::vector<std::string> NewLines();

    // `dezoriv --dir Folder --headless --once`, started.
    std::unique_ptr<testsupport::ChildProcess> StartProgram() const;
    // Runs it to its end (at most `limit`); gives the exit status, with
    // its Memo1 lines in `lines`.
    int RunProgram(std::vector<std::string>& lines,
                   std::chrono::milliseconds limit = std::chrono::seconds(120)) const;

    // Names of the inbox's files, sorted.
    std::vector<std::string> InboxFiles() const;
    // Whether the inbox holds just the last files dropped (none, some or
    // all): a run that ended early leaves its current file and every later
    // one, and has moved every earlier one on.
    bool InboxHoldsTheLastFiles() const;

private:
    ServerKind FKind;
    std::unique_ptr<testsupport::PrivateDbServer> FServer;
    std::string FDatabase;
    std::string FFolder;
    std::unique_ptr<testsupport::WriteOffOrders> FOrders;
    std::unique_ptr<testsupport::WriteOffInvariants> FInvariants;
    size_t FDropped = 0;
    std::unique_ptr<TfmDEZORiv> FForm;
    size_t FLinesSeen = 0;
};

// How a write-off run ended, read from its Memo1 lines.
struct RunOutcome {
    size_t posted = 0;     // "IMPORTACAO CONCLUIDA DA OF"
    size_t refused = 0;    // "OF NAO ESTA EM ABERTO" (posted by an earlier run)
    size_t moved = 0;      // "ARQUIVO MOVIDO PARA PROCESSADO"
    std::vector<std::string> other;  // any other line but the scan line
};
RunOutcome ReadRun(const std::vector<std::string>& lines);
std::string Joined(const std::vector<std::string>& lines);

// The run met an unreachable database and ended as it must: no file set
// aside, exactly one line of another kind (naming the database error and
// saying that the files wait) and it is the last one. Empty when so,
// otherwise what is wrong.
std::string OutageRunProblem(const std::vector<std::string>& lines);

// The seed of a test: DEZORIV_FAULT_SEED when set, else the given one;
// printed so that a run can be repeated.
unsigned TestSeed(unsigned fallback, const std::string& what);

double SecondsSince(std::chrono::steady_clock::time_point start);

}  // namespace faults
