#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "shell/ConsoleEcho.h"
#include "shell/TfmDEZORiv.h"

namespace {

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

TEST(ConsoleEcho, PanesAreToldApartByTheirPrefix) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        TfmDEZORiv form;
        shell::TConsoleEcho echo(form, out, err);
        form.Memo1.Add("a");
        form.mmOrdemTecel.Add("b");
        form.Memo1.Add("Erro ao abrir a base \rfalhou\r\nde novo\nfim");
        form.ShowMessage("caption", "texto \n\rdo aviso");
    }
    EXPECT_EQ(Contents(out),
              "[Memo1] a\n[mmOrdemTecel] b\n[Memo1] Erro ao abrir a base \n[Memo1] falhou\n[Memo1] de novo\n[Memo1] fim\n");
    EXPECT_EQ(Contents(err), "texto \n\rdo aviso\n");
    std::fclose(out);
    std::fclose(err);
}

TEST(ConsoleEcho, StopsWithItsLifetime) {
    std::FILE* out = std::tmpfile();
    TfmDEZORiv form;
    {
        shell::TConsoleEcho echo(form, out, out);
        form.Memo1.Add("dentro");
    }
    form.Memo1.Add("fora");
    EXPECT_FALSE(form.ShowMessage);
    EXPECT_EQ(Contents(out), "[Memo1] dentro\n");
    std::fclose(out);
}

TEST(ConsoleEcho, PaneKeepsItsLastLinesAndTheConsoleGetsEveryOne) {
    std::FILE* out = std::tmpfile();
    TfmDEZORiv form;
    const size_t total = shell::TLinePane::MaxLines + 2500;
    {
        shell::TConsoleEcho echo(form, out, out);
        for (size_t i = 1; i <= total; ++i) form.mmOrdemTecel.Add("linha " + std::to_string(i));
    }
    ASSERT_EQ(form.mmOrdemTecel.Count(), shell::TLinePane::MaxLines);
    EXPECT_EQ(form.mmOrdemTecel.Lines().front(), "linha 2501");
    EXPECT_EQ(form.mmOrdemTecel.Lines().back(), "linha " + std::to_string(total));
    std::string text = Contents(out);
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), total);
    EXPECT_EQ(text.rfind("[mmOrdemTecel] linha 1\n", 0), 0u);
    std::fclose(out);
}

}  // namespace
