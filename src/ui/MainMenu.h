#pragma once

class QAction;
class QMenuBar;

namespace tollbook {

// The main window's menu items by what they do. The menu is built in one place (MainWindow) from one
// table that also gives every item its component name for the language files; the command objects of
// src/app connect to these members, never to names.
struct MainMenu
{
    // Arquivo1
    QAction* printerProperties = nullptr; // PropriedadedasImpressoras1
    QAction* printersFolder = nullptr;    // Impressoras1
    QAction* installService = nullptr;    // IniciarcomoServio1
    QAction* removeService = nullptr;     // RemoverServio1
    QAction* exit = nullptr;              // Sair1
    // Ferramenta1
    QAction* purge = nullptr;         // ManutenodaBase1
    QAction* printQueue = nullptr;    // Tollwatch1
    QAction* configuration = nullptr; // Configurao1
    QAction* developerMode = nullptr; // AtivaPermisso1, hidden, Ctrl+Alt+A
    // Relatrios1, in the order of the report catalogue
    QAction* reportByUser = nullptr;           // ImpressoporUsurios1
    QAction* reportByUserSummary = nullptr;    // ImpressoporUsurioResumo1
    QAction* reportBySector = nullptr;         // ImpressoporSetor1
    QAction* reportBySectorSummary = nullptr;  // ImpressoporSetorResumo1
    QAction* reportByProject = nullptr;        // ImpressoporProjetos1
    QAction* reportByProjectSummary = nullptr; // ImpressoporProjetosResumo1
    QAction* reportByUserAndPrinter = nullptr; // SintticoporImpressoraUsurios1
    QAction* reportByPrinter = nullptr;        // SintticoporImpressoras1
    // Idioma1
    QAction* portuguese = nullptr; // PortugusBrasilBR1
    QAction* english = nullptr;    // InglsEN1
    QAction* spanish = nullptr;    // EspanholES1
    // Ajuda1
    QAction* help = nullptr;  // Ajuda2, F1
    QAction* about = nullptr; // SobreoSistema1
};

} // namespace tollbook
