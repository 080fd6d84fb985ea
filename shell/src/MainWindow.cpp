#include "shell/MainWindow.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

#include "shell/TfmDEZORiv.h"

namespace shell {

namespace {

QPlainTextEdit* NewPane(const char* name, QWidget* parent) {
    auto* pane = new QPlainTextEdit(parent);
    pane->setObjectName(name);
    pane->setReadOnly(true);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    pane->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The oldest lines go, as in the form's pane.
    pane->setMaximumBlockCount(static_cast<int>(TLinePane::MaxLines));
    return pane;
}

// Mirrors a pane of the form into a widget for as long as the widget lives.
void Follow(TLinePane& source, QPlainTextEdit* view) {
    for (const auto& line : source.Lines()) view->appendPlainText(QString::fromStdString(line));
    int id = source.AddObserver([view](const std::string& line) { view->appendPlainText(QString::fromStdString(line)); },
                                [view] { view->clear(); });
    QObject::connect(view, &QObject::destroyed, [&source, id] { source.RemoveObserver(id); });
}

}  // namespace

std::unique_ptr<QWidget> CreateMainWindow(TfmDEZORiv& form) {
    auto window = std::make_unique<QWidget>();
    window->setObjectName("fmDEZORiv");
    window->setWindowTitle(QString::fromUtf8(TfmDEZORiv::Caption));

    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pages = new QTabWidget(window.get());
    pages->setObjectName("PageControl1");
    layout->addWidget(pages);

    // First tab: the write-off log.
    auto* tab1 = new QWidget;
    tab1->setObjectName("TabSheet1");
    auto* tab1Layout = new QVBoxLayout(tab1);
    auto* label = new QLabel(QString::fromUtf8("Log de execu\xC3\xA7\xC3\xA3o da baixa autom\xC3\xA1tica de OP\xC2\xB4s"), tab1);
    label->setObjectName("Label1");
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    tab1Layout->addWidget(label);
    auto* memo1 = NewPane("Memo1", tab1);
    tab1Layout->addWidget(memo1, 1);
    auto* button = new QPushButton(QString::fromUtf8("Inicia Importa\xC3\xA7\xC3\xA3o"), tab1);
    button->setObjectName("Button1");
    button->setVisible(false);
    tab1Layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, [&form] { form.Dispatch([&form] { form.Button1Click(); }); });
    pages->addTab(tab1, QString::fromUtf8("Baixa autom\xC3\xA1tica de OP\xC2\xB4s"));

    // Second tab: the export log, filling the tab.
    auto* tab2 = new QWidget;
    tab2->setObjectName("TabSheet2");
    auto* tab2Layout = new QVBoxLayout(tab2);
    tab2Layout->setContentsMargins(0, 0, 0, 0);
    auto* ordem = NewPane("mmOrdemTecel", tab2);
    tab2Layout->addWidget(ordem);
    pages->addTab(tab2, QString::fromUtf8("Envio Ordens Tecelagem"));
    pages->setCurrentIndex(1);

    Follow(form.Memo1, memo1);
    Follow(form.mmOrdemTecel, ordem);

    QWidget* parent = window.get();
    form.ShowMessage = [parent](const std::string& caption, const std::string& text) {
        QMessageBox::information(parent, QString::fromStdString(caption), QString::fromStdString(text));
    };
    QObject::connect(window.get(), &QObject::destroyed, [&form] { form.ShowMessage = nullptr; });

    window->resize(WindowClientWidth, WindowClientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(WindowClientWidth / 2, WindowClientHeight / 2));
    }
    return window;
}

}  // namespace shell
