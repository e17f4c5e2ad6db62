#include "ui/PrinterDialog.h"

#include "i18n/Language.h"
#include "ui/ErrorHandler.h"
#include "ui/PrinterPropertiesDialog.h"
#include "ui/WindowFile.h"
#include "ui/widgets/Panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

constexpr int ClientWidth = 344;
constexpr int ClientHeight = 237;
constexpr int ButtonBarHeight = 41;

} // namespace

PrinterDialog::PrinterDialog(const QStringList& names, const Printers& printers, QWidget* propertiesOwner,
                             QWidget* parent)
    : QDialog(parent)
    , m_printers(printers)
    , m_propertiesOwner(propertiesOwner)
    , m_list(nullptr)
{
    setObjectName(QStringLiteral("frmImpressora"));
    setWindowTitle(QStringLiteral("Impressoras"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* heading = new QLabel(QStringLiteral("Selecione a impressora"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    heading->setContentsMargins(8, 6, 8, 4);
    layout->addWidget(heading);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->addItems(names);
    auto* listArea = new QHBoxLayout;
    listArea->setContentsMargins(8, 0, 8, 8);
    listArea->addWidget(m_list);
    layout->addLayout(listArea, 1);

    auto* panel = new Panel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(ButtonBarHeight);
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(8, 4, 8, 4);
    buttons->addStretch();
    auto* properties = new QPushButton(QStringLiteral("Propriedade"), panel);
    properties->setObjectName(QStringLiteral("Button1"));
    buttons->addWidget(properties);
    auto* close = new QPushButton(QStringLiteral("Fechar"), panel);
    close->setObjectName(QStringLiteral("Button2"));
    buttons->addWidget(close);
    layout->addWidget(panel);

    connect(properties, &QPushButton::clicked, this, ErrorHandler::guarded([this] { showProperties(); }));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void PrinterDialog::showProperties()
{
    PrinterPropertiesDialog::showForSelected(*m_list, m_printers, m_propertiesOwner);
}

void PrinterDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    QDialog::showEvent(event);
}

} // namespace tollbook
