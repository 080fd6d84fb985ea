// The window, on a real display (Xvfb in the test run).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdlib>

#include "shell/MainWindow.h"
#include "shell/TfmDEZORiv.h"

namespace {

bool HasDisplay() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay()) {
            if (std::getenv("CI") || std::getenv("DEZORIV_REQUIRE_SERVERS"))
                FAIL() << "DISPLAY unset: the window test needs Xvfb (scripts/test-env/30-xvfb.sh)";
            GTEST_SKIP() << "DISPLAY unset: run through scripts/run-tests.sh for Xvfb";
        }
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
};

TEST_F(WindowTest, LayoutAsTheOperatorsKnowIt) {
    TfmDEZORiv form;
    auto window = shell::CreateMainWindow(form);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    EXPECT_EQ(window->windowTitle().toStdString(), "Integra\xC3\xA7\xC3\xA3o OP\"s");
    EXPECT_EQ(window->size(), QSize(878, 446));
    // Centred on the screen.
    QRect screen = window->screen()->availableGeometry();
    QPoint centre = window->geometry().center();
    EXPECT_LE(std::abs(centre.x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(centre.y() - screen.center().y()), 2);

    auto* pages = window->findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0).toStdString(), "Baixa autom\xC3\xA1tica de OP\xC2\xB4s");
    EXPECT_EQ(pages->tabText(1).toStdString(), "Envio Ordens Tecelagem");
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet2");
    EXPECT_EQ(pages->geometry().size(), window->size());  // fills the window

    auto* label = window->findChild<QLabel*>("Label1");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), "Log de execu\xC3\xA7\xC3\xA3o da baixa autom\xC3\xA1tica de OP\xC2\xB4s");
    EXPECT_TRUE(label->font().bold());

    for (const char* name : {"Memo1", "mmOrdemTecel"}) {
        auto* pane = window->findChild<QPlainTextEdit*>(name);
        ASSERT_NE(pane, nullptr) << name;
        EXPECT_TRUE(pane->isReadOnly()) << name;
    }
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("Memo1")->parentWidget()->objectName(), "TabSheet1");
    EXPECT_EQ(window->findChild<QPlainTextEdit*>("mmOrdemTecel")->parentWidget()->objectName(), "TabSheet2");

    auto* button = window->findChild<QPushButton*>("Button1");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), "Inicia Importa\xC3\xA7\xC3\xA3o");
    EXPECT_FALSE(button->isVisible());
    EXPECT_TRUE(button->isHidden());
}

TEST_F(WindowTest, PanesFollowTheFormAndTheButtonRunsTheInboxJob) {
    TfmDEZORiv form;
    form.Memo1.Add("antes da janela");
    auto window = shell::CreateMainWindow(form);
    auto* memo1 = window->findChild<QPlainTextEdit*>("Memo1");
    auto* ordem = window->findChild<QPlainTextEdit*>("mmOrdemTecel");
    form.Memo1.Add("linha 2");
    form.mmOrdemTecel.Add("envio");
    EXPECT_EQ(memo1->toPlainText().toStdString(), "antes da janela\nlinha 2");
    EXPECT_EQ(ordem->toPlainText().toStdString(), "envio");
    form.Memo1.Clear();
    EXPECT_EQ(memo1->toPlainText().toStdString(), "");

    int runs = 0;
    form.ProcessaArquivos = [&](TfmDEZORiv&) {
        ++runs;
        throw std::runtime_error("falha");
    };
    window->findChild<QPushButton*>("Button1")->click();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(form.ErrorCount(), 1);  // the error reached the handler, not the caller
    EXPECT_TRUE(form.tmVerifica.Enabled());

    // The window may go before the form: the form's panes stay usable.
    window.reset();
    form.Memo1.Add("depois da janela");
    EXPECT_EQ(form.Memo1.Count(), 3u);
}

TEST_F(WindowTest, PaneWidgetsKeepTheLastLinesOnly) {
    TfmDEZORiv form;
    auto window = shell::CreateMainWindow(form);
    auto* memo1 = window->findChild<QPlainTextEdit*>("Memo1");
    const int total = static_cast<int>(shell::TLinePane::MaxLines) + 50;
    for (int i = 1; i <= total; ++i) form.Memo1.Add("linha " + std::to_string(i));
    EXPECT_EQ(memo1->blockCount(), static_cast<int>(shell::TLinePane::MaxLines));
    EXPECT_EQ(memo1->document()->firstBlock().text().toStdString(), "linha 51");
    EXPECT_EQ(form.Memo1.Count(), shell::TLinePane::MaxLines);
}

}  // namespace
