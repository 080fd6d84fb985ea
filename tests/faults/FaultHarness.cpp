#include "FaultHarness.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dataaccess/KVPlatform.h"
#include "test_support/PrivateFbServer.h"
#include "test_support/PrivatePgServer.h"
#include "test_support/ServiceProgram.h"
#include "test_support/TestDatabases.h"
#include "writeoff/WriteOff.h"

#ifndef DEZORIV_PROGRAM
#error "DEZORIV_PROGRAM must name the built dezoriv program"
#endif

namespace fs = std::filesystem;

namespace faults {

namespace {

const std::string kScanLine = "FEITO VERIFICA\xC3\x87\xC3\x83O NA PASTA RECEBIDOS";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::string KindName(ServerKind kind) { return kind == ServerKind::PG ? "PG" : "FBServer"; }

const std::vector<ServerKind>& AllKinds() {
    static const std::vector<ServerKind> all{ServerKind::PG, ServerKind::FB};
    return all;
}

FaultInstallation::FaultInstallation(ServerKind kind) : FKind(kind) {
    if (kind == ServerKind::PG)
        FServer = std::make_unique<testsupport::PrivatePgServer>();
    else
        FServer = std::make_unique<testsupport::PrivateFbServer>();
    FServer->Start();
    FDatabase = testsupport::CreateWriteOffErp(*FServer);
    FFolder = testsupport::NewTestFolder("faults-");
    fs::create_directories(Inbox());
    fs::create_directories(Processed());
    PointServiceAt(0);
}

FaultInstallation::~FaultInstallation() {
    FForm.reset();
    FInvariants.reset();
    FServer.reset();
    std::error_code ec;
    fs::remove_all(FFolder, ec);
}

void FaultInstallation::PointServiceAt(int port) {
    std::ofstream(FFolder + "DEZORiv.ini", std::ios::trunc)
        << "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=5\n" << FServer->IniBancoSection(FDatabase, port);
}

std::unique_ptr<TKVDatabase> FaultInstallation::Connect() const { return FServer->Connection(FDatabase); }

void FaultInstallation::AddOrders(size_t files, size_t ordersPerFile, unsigned seed) {
    FOrders = std::make_unique<testsupport::WriteOffOrders>(100001, files, ordersPerFile, seed);
    auto db = Connect();
    FOrders->AddToErp(*db);
    db->Close();
    FInvariants = std::make_unique<testsupport::WriteOffInvariants>(*FOrders, [this] { return Connect(); }, FFolder);
    FDropped = 0;
}

void FaultInstallation::DropNext(size_t count) {
    for (size_t i = 0; i < count && FDropped < FOrders->Files().size(); ++i) FOrders->Drop(FDropped++, Inbox());
}

testsupport::InvariantReport FaultInstallation::Check(bool inboxDone) const {
    return FInvariants->Check(FDropped, inboxDone);
}

TfmDEZORiv& FaultInstallation::Form() {
    if (!FForm) {
        SetActiveWindowName("fmDEZORiv");
        FForm = std::make_unique<TfmDEZORiv>();
        FForm->ServiceFolder = FFolder;
        FForm->ProcessaArquivos = writeoff::ProcessaArquivos;
        FForm->ShowMessage = [](const std::string&, const std::string&) {};
        FForm->FormCreate();
        FLinesSeen = FForm->Memo1.Count();
    }
    return *FForm;
}

std::vector<std::string> FaultInstallation::Tick() {
    TfmDEZORiv& form = Form();
    form.Dispatch([&form] { form.tmVerificaTimer(); });
    return NewLines();
}

std::vector<std::string> FaultInstallation::NewLines() {
    const auto& all = Form().Memo1.Lines();
    std::vector<std::string> lines;
    for (size_t i = FLinesSeen; i < all.size(); ++i) lines.push_back(testsupport::WithoutStamp(all[i]));
    FLinesSeen = all.size();
    return lines;
}

std::unique_ptr<testsupport::ChildProcess> FaultInstallation::StartProgram() const {
    return std::make_unique<testsupport::ChildProcess>(testsupport::ServiceOnce(DEZORIV_PROGRAM, FFolder));
}

int FaultInstallation::RunProgram(std::vector<std::string>& lines, std::chrono::milliseconds limit) const {
    auto program = StartProgram();
    const std::optional<int> end = program->Wait(limit);
    const int status = end ? *end : program->Kill();
    lines = testsupport::PaneLines(program->Out());
    if (!end) lines.push_back("(the program did not end within " + std::to_string(limit.count()) + " ms)");
    return status;
}

std::vector<std::string> FaultInstallation::InboxFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Inbox())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool FaultInstallation::InboxHoldsTheLastFiles() const {
    const std::vector<std::string> inbox = InboxFiles();
    if (inbox.size() > FDropped) return false;
    for (size_t i = 0; i < inbox.size(); ++i)
        if (inbox[i] != FOrders->Files()[FDropped - inbox.size() + i].name) return false;
    return true;
}

RunOutcome ReadRun(const std::vector<std::string>& lines) {
    RunOutcome r;
    for (const auto& line : lines) {
        // The start-up line of a program run says what the run will do.
        if (line == kScanLine || (StartsWith(line, "DEZORIV ") && line.find(" INICIADO; ") != std::string::npos))
            continue;
        if (StartsWith(line, "IMPORTACAO CONCLUIDA DA OF: "))
            ++r.posted;
        else if (StartsWith(line, "OF NAO ESTA EM ABERTO. OF: "))
            ++r.refused;
        else if (StartsWith(line, "ARQUIVO MOVIDO PARA PROCESSADO: "))
            ++r.moved;
        else
            r.other.push_back(line);
    }
    return r;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += "\n    " + l;
    return text;
}

std::string OutageRunProblem(const std::vector<std::string>& lines) {
    const RunOutcome r = ReadRun(lines);
    for (const auto& line : lines)
        if (StartsWith(line, "ARQUIVO COM ERRO") || StartsWith(line, "EXECAO DO SISTEMA") ||
            StartsWith(line, "ARQUIVO NAO MOVIDO"))
            return "a file was treated as faulty:" + Joined(lines);
    if (r.other.size() != 1)
        return "expected one line about the unreachable database, got " + std::to_string(r.other.size()) + ":" +
               Joined(lines);
    if (lines.back() != r.other.front()) return "the run went on after the database was lost:" + Joined(lines);
    return {};
}

unsigned TestSeed(unsigned fallback, const std::string& what) {
    unsigned seed = fallback;
    if (const char* s = std::getenv("DEZORIV_FAULT_SEED"); s && *s) seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    std::cout << "[seed] " << what << ": " << seed << " (DEZORIV_FAULT_SEED=" << seed << " repeats it)" << std::endl;
    return seed;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace faults
