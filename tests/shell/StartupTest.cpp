#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "ShellTestUtil.h"
#include "shell/TfmDEZORiv.h"
#include "shell/Version.h"

using shelltest::FixedClock;
using shelltest::TempDir;

namespace {

constexpr const char* Stamp = "15/03/2024 14:05:09";

struct StartupCase {
    const char* name;
    std::optional<std::string> ini;  // nullopt: no DEZORiv.ini at all
    bool tipoInvalido = false;
    std::string driver, host, database, databaseName;
    int port = 0;
    std::string user, password;
    char timer = '-';  // 'V' tmVerifica, 'E' tmEnvioOP, '-' none
    long long interval = 300000;
    std::vector<std::string> memo1;        // lines after the date-time text
    std::vector<std::string> mmOrdemTecel;  // lines after the date-time text
    int errors = 0;
};

StartupCase Invalid(const char* name, std::optional<std::string> ini) {
    StartupCase c;
    c.name = name;
    c.ini = std::move(ini);
    c.tipoInvalido = true;
    return c;
}

std::vector<StartupCase> Cases() {
    const std::string inicio5 = " - Inicio do Processo. Intervalo de 5 minuto(s)";
    return {
        Invalid("no file", std::nullopt),
        Invalid("no Tipo", "[Tempo]\nMinutos=5\n"),
        Invalid("Tipo in lower case", "[Plataforma]\nTipo=met\n"),
        Invalid("Tipo unknown", "[Plataforma]\nTipo=XYZ\n"),
        Invalid("Tipo blank", "[Plataforma]\nTipo=   \n"),
        {"MET with blanks, all defaults", "[Plataforma]\nTipo= MET \n", false, "FB", "", "localhost", "localhost", 0,
         "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"Firebird with host and path", "[plataforma]\ntipo=MET\n[BANCO]\nSERVIDOR=srvdados:\nBase=C:\\ERP\\DADOS.FDB\n",
         false, "FB", "srvdados", "C:\\ERP\\DADOS.FDB", "srvdados:C:\\ERP\\DADOS.FDB", 0, "sysdba", "plumtrees", 'V',
         300000, {}, {}, 0},
        {"Firebird credentials with ; and #",
         "[Plataforma]\nTipo=MET\n[Banco]\nservidor=fb:\nbase=/srv/erp.fdb\nusuario=SYSDBA\nsenha=ma;ster#key\n",
         false, "FB", "fb", "/srv/erp.fdb", "fb:/srv/erp.fdb", 0, "SYSDBA", "ma;ster#key", 'V', 300000, {}, {}, 0},
        {"PostgreSQL host and port", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=dbhost:5433\nbase=erp\nbanco=postgres\n",
         false, "PG", "dbhost", "erp", "erp", 5433, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"PostgreSQL without port", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=dbhost\nbase=erp\nbanco=PoStGrEs\n",
         false, "PG", "dbhost", "erp", "erp", 5432, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"PostgreSQL port not a number", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=dbhost:abc\nbase=erp\nbanco=POSTGRES\n",
         false, "PG", "dbhost", "erp", "erp", 5432, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"PostgreSQL empty port", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=dbhost:\nbase=erp\nbanco=POSTGRES\n",
         false, "PG", "dbhost", "erp", "erp", 5432, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"Oracle without servidor", "[Plataforma]\nTipo=MET\n[Banco]\nbase=orasrv:1521/XE\nbanco=oracle\n", false, "Ora",
         "", "orasrv:1521/XE", "orasrv:1521/XE", 1521, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"Oracle with servidor", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=orahost\nbase=XE\nbanco=ORACLE\n", false,
         "Ora", "orahost", "XE", "XE", 1521, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"no database part: connection left alone", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=\nbase=\nbanco=POSTGRES\n",
         false, "", "", "", "", 0, "", "", 'V', 300000, {}, {}, 0},
        {"host only with a colon: no database", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=srv:\n", false, "", "srv", "",
         "srv:", 0, "", "", 'V', 300000, {}, {}, 0},
        {"other banco keeps Firebird", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=h:\nbase=/d.fdb\nbanco=mysql\n", false,
         "FB", "h", "/d.fdb", "h:/d.fdb", 0, "sysdba", "plumtrees", 'V', 300000, {}, {}, 0},
        {"MET interval", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=2\n", false, "FB", "", "localhost", "localhost", 0,
         "sysdba", "plumtrees", 'V', 120000, {}, {}, 0},
        {"MET Minutos 0", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=0\n", false, "FB", "", "localhost", "localhost", 0,
         "sysdba", "plumtrees", 'V', 0, {}, {}, 0},
        {"TEC writes its one line", "[Plataforma]\nTipo=TEC\n", false, "FB", "", "localhost", "localhost", 0, "sysdba",
         "plumtrees", 'E', 300000, {}, {inicio5}},
        {"TEC interval", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=10\n", false, "FB", "", "localhost", "localhost", 0,
         "sysdba", "plumtrees", 'E', 600000, {}, {" - Inicio do Processo. Intervalo de 10 minuto(s)"}},
        {"Minutos not a number", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=cinco\n", false, "", "", "", "", 0, "", "",
         'V', 300000,
         {"-EXECAO DO SISTEMA: 'CINCO' IS NOT A VALID INTEGER VALUE", "-ARQUIVO COM ERRO: "}, {}, 1},
        {"Minutos empty", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=\n", false, "", "", "", "", 0, "", "", 'V', 300000,
         {"-EXECAO DO SISTEMA: '' IS NOT A VALID INTEGER VALUE", "-ARQUIVO COM ERRO: "}, {}, 1},
    };
}

TEST(Startup, FromConfigurationToConnectionTimerAndLines) {
    FixedClock clock(shelltest::LocalTime(2024, 3, 15, 14, 5, 9));
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.ini) shelltest::WriteFile(dir.Path() / "DEZORiv.ini", *c.ini);
        TfmDEZORiv form;
        form.ServiceFolder = dir.Path().string();
        std::vector<std::string> messages;
        form.ShowMessage = [&](const std::string& caption, const std::string& text) {
            EXPECT_EQ(caption, "Integra\xC3\xA7\xC3\xA3o OP\"s");
            messages.push_back(text);
        };
        form.Memo1.Add("left from before");
        form.Dispatch([&] { form.FormCreate(); });

        EXPECT_EQ(form.sPath, dir.Slash());
        EXPECT_EQ(form.TipoInvalido(), c.tipoInvalido);
        if (c.tipoInvalido) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], "Definir o tipo de integra\xC3\xA7\xC3\xA3o. \n\rMET=Metal\xC3\xBArgico\n\rTEC=Tecelagem");
            EXPECT_EQ(form.dbKV.DriverName, "");
            EXPECT_EQ(form.dbKV.DatabaseName(), "");
        } else {
            EXPECT_TRUE(messages.empty());
        }
        EXPECT_EQ(form.dbKV.DriverName, c.driver);
        EXPECT_EQ(form.dbKV.HostName, c.host);
        EXPECT_EQ(form.dbKV.Database, c.database);
        EXPECT_EQ(form.dbKV.DatabaseName(), c.databaseName);
        EXPECT_EQ(form.dbKV.Port, c.port);
        EXPECT_EQ(form.dbKV.User, c.user);
        EXPECT_EQ(form.dbKV.Password, c.password);
        EXPECT_EQ(form.tmVerifica.Enabled(), c.timer == 'V');
        EXPECT_EQ(form.tmEnvioOP.Enabled(), c.timer == 'E');
        const auto& on = c.timer == 'E' ? form.tmEnvioOP : form.tmVerifica;
        if (c.timer != '-') {
            EXPECT_EQ(on.Interval(), c.interval);
        }
        EXPECT_EQ(form.ErrorCount(), c.errors);

        std::vector<std::string> memo1, ordem;
        EXPECT_FALSE(form.StartupLines().empty());
        for (auto& l : form.StartupLines()) memo1.push_back(std::string(Stamp) + "-" + l);
        for (auto& l : c.memo1) memo1.push_back(Stamp + l);
        for (auto& l : c.mmOrdemTecel) ordem.push_back(Stamp + l);
        // Cleared first, then the start-up line (and its warning), then only
        // the handler's lines.
        EXPECT_EQ(form.Memo1.Lines(), memo1);
        EXPECT_EQ(form.mmOrdemTecel.Lines(), ordem);
        // The activity log also went to the day's file.
        auto logFile = dir.Path() / "Logs/Brevant/Brevant_240315.log";
        if (ordem.empty()) {
            EXPECT_FALSE(std::filesystem::exists(logFile));
        } else {
            std::string expected;
            for (auto& l : ordem) expected += l + "\r\n";
            EXPECT_EQ(shelltest::ReadFile(logFile), expected);
        }
    }
}

TEST(Startup, SaysWhatTheServiceWillDo) {
    const std::string v = std::string("DEZORIV ") + shell::ProgramVersion() + " INICIADO; PASTA: ";
    struct {
        const char* name;
        const char* ini;  // nullptr: no DEZORiv.ini
        std::string tail;  // after "INI: <dir>DEZORiv.ini" or "INI: not found: <dir>DEZORiv.ini"
        std::string warning;
    } cases[] = {
        {"no file", nullptr, "; TIPO: INVALIDO (VAZIO); BANCO: NAO CONFIGURADO; INTERVALO: -", ""},
        {"unknown Tipo", "[Plataforma]\nTipo=met\n", "; TIPO: INVALIDO (met); BANCO: NAO CONFIGURADO; INTERVALO: -", ""},
        {"MET on PostgreSQL",
         "[Plataforma]\nTipo=MET\n[Banco]\nservidor=dbhost:5433\nbase=erp\nbanco=POSTGRES \nsenha=segredo\n",
         "; TIPO: MET; BANCO: PG dbhost:5433 BASE erp; INTERVALO: 5 MINUTO(S)", ""},
        {"TEC on a Firebird server", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=10\n[Banco]\nservidor=srvdados:\nbase=/srv/erp.fdb\n",
         "; TIPO: TEC; BANCO: FB srvdados BASE /srv/erp.fdb; INTERVALO: 10 MINUTO(S)", ""},
        {"embedded Firebird", "[Plataforma]\nTipo=MET\n[Banco]\nservidor=\nbase=/srv/erp.fdb\n",
         "; TIPO: MET; BANCO: FB (LOCAL) BASE /srv/erp.fdb; INTERVALO: 5 MINUTO(S)", ""},
        {"Minutos 0", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=0\n",
         "; TIPO: MET; BANCO: FB (LOCAL) BASE localhost; INTERVALO: 0 MINUTO(S)",
         "AVISO: TEMPO/MINUTOS = 0, O TEMPORIZADOR NUNCA DISPARA E A TAREFA NUNCA SERA EXECUTADA"},
        {"Minutos below 0", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=-3\n",
         "; TIPO: MET; BANCO: FB (LOCAL) BASE localhost; INTERVALO: -3 MINUTO(S)",
         "AVISO: TEMPO/MINUTOS = -3, O TEMPORIZADOR NUNCA DISPARA E A TAREFA NUNCA SERA EXECUTADA"},
        {"the longest interval the timer holds", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=35791\n",
         "; TIPO: TEC; BANCO: FB (LOCAL) BASE localhost; INTERVALO: 35791 MINUTO(S)", ""},
        {"beyond what the timer holds", "[Plataforma]\nTipo=TEC\n[Tempo]\nMinutos=35792\n",
         "; TIPO: TEC; BANCO: FB (LOCAL) BASE localhost; INTERVALO: 35792 MINUTO(S)",
         "AVISO: TEMPO/MINUTOS = 35792 ACIMA DO MAXIMO DE 35791 QUE O TEMPORIZADOR COMPORTA, INTERVALO REDUZIDO "
         "PARA 2147483647 MS"},
        {"Minutos not a number", "[Plataforma]\nTipo=MET\n[Tempo]\nMinutos=cinco\n",
         "; TIPO: MET; BANCO: NAO CONFIGURADO; INTERVALO: -", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.ini) shelltest::WriteFile(dir.Path() / "DEZORiv.ini", c.ini);
        TfmDEZORiv form;
        form.ServiceFolder = dir.Path().string();
        form.ShowMessage = [](const std::string&, const std::string&) {};
        form.Dispatch([&] { form.FormCreate(); });
        const std::string ini = dir.Slash() + "DEZORiv.ini";
        std::vector<std::string> expected{v + dir.Slash() + "; INI: " + (c.ini ? ini : "not found: " + ini) + c.tail};
        if (!c.warning.empty()) expected.push_back(c.warning);
        EXPECT_EQ(form.StartupLines(), expected);
        ASSERT_GE(form.Memo1.Count(), expected.size());
        EXPECT_EQ(form.Memo1.Lines()[0].substr(form.Memo1.Lines()[0].find('-') + 1), expected[0]);
    }
}

TEST(Startup, TecelagemSettingsAreReadForTecOnly) {
    const std::string tecelagem =
        "[Tecelagem]\nURLReq=https://api.example/v1\nURLAut=https://api.example/login\nUsuario=Jo\xC3\xA3o\n"
        "Senha=p;a#ss= w\nidCliente=12\n";
    struct {
        const char* tipo;
        const char* idCliente;
        bool read;
        int32_t id;
    } cases[] = {{"TEC", "12", true, 12}, {"TEC", "doze", true, 0}, {"MET", "12", false, 0}};
    for (const auto& c : cases) {
        TempDir dir;
        std::string ini = std::string("[Plataforma]\nTipo=") + c.tipo + "\n" + tecelagem;
        ini.replace(ini.find("idCliente=12"), 12, std::string("idCliente=") + c.idCliente);
        shelltest::WriteFile(dir.Path() / "DEZORiv.ini", ini);
        TfmDEZORiv form;
        form.ServiceFolder = dir.Slash();
        form.FormCreate();
        EXPECT_EQ(form.sTipo, c.tipo);
        EXPECT_EQ(form.sURLReq, c.read ? "https://api.example/v1" : "") << c.tipo;
        EXPECT_EQ(form.sURLAut, c.read ? "https://api.example/login" : "");
        EXPECT_EQ(form.sUsuario, c.read ? "Jo\xC3\xA3o" : "");
        EXPECT_EQ(form.sSenha, c.read ? "p;a#ss= w" : "");
        EXPECT_EQ(form.iIdCliente, c.id) << c.tipo << " " << c.idCliente;
        EXPECT_EQ(form.sToken, "");
    }
}

TEST(Startup, BeforeStartBothTimersAreOffWithFiveMinutes) {
    TfmDEZORiv form;
    EXPECT_FALSE(form.tmVerifica.Enabled());
    EXPECT_FALSE(form.tmEnvioOP.Enabled());
    EXPECT_EQ(form.tmVerifica.Interval(), 300000);
    EXPECT_EQ(form.tmEnvioOP.Interval(), 300000);
    EXPECT_EQ(form.iIdCliente, 0);
    EXPECT_EQ(form.dbKV.Port, 0);
    EXPECT_FALSE(form.dbKV.GravaLog);
    EXPECT_EQ(form.QryBusca.Database(), &form.dbKV);
    EXPECT_EQ(form.QryRaport.Database(), &form.dbKV);
    EXPECT_EQ(form.dbKV.Transaction(), &form.KVTransaction);
}

}  // namespace
