// Start-up: the creation order of the data module and the windows, and how they are tied.
#include "Startup.h"

#include "AdministratorCheck.h"
#include "AppLog.h"
#include "Guard.h"
#include "MainMenus.h"
#include "Prompts.h"
#include "uAbout.h"
#include "uCompatibilityCheck.h"
#include "module/uDM.h"
#include "uFiters.h"
#include "uMarkAndModels.h"
#include "uModels.h"
#include "uPass.h"
#include "uImport.h"
#include "uPurgedRows.h"
#include "uRowHistory.h"
#include "uSearchForm.h"
#include "uSettings.h"
#include "uSplashForm.h"
#include "uUniversalReport.h"
#include "uVelostok.h"
#include "ueditor.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QToolBar>

bool MainWindowShown = false;

namespace Startup {

QString HelpFile;

void setupFonts()
{
    // The layouts were made with these families; Liberation Sans has Arial's metrics.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    QApplication::setFont(f);
}

bool createAll()
{
    HelpFile = QStringLiteral("Velostok.HLP");
    DM = new TDM;
    // The data module lets window messages through where its protocol says so, and tells what
    // fails where nobody else can (a last commit while closing).
    DM->ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    DM->ReportError = [](const QString &text) { prompts().message(text); };
    setAdminCheck(checkAdministrator);
    fVelostok = new TfVelostok;
    fSettings = new TfSettings(fVelostok);
    fSettings->applyToMainWindow = [] { fVelostok->applySettings(TfVelostok::Apply::Confirmed); };
    fSettings->mainToolBarShown = []() -> std::optional<bool> {
        if (!fVelostok->firstShowFinished())
            return std::nullopt;
        return fVelostok->ToolBar1->isVisible();
    };
    fSettings->hideLanguageMenu = [] { fVelostok->action(QStringLiteral("Language1"))->setVisible(false); };
    Guard::run([] { fSettings->FormCreate(); });
    AboutBox = new TAboutBox(fVelostok);
    fSearchForm = new TfSearchForm(fVelostok);
    fFiters = new TfFiters(fVelostok);
    fModels = new TfModels(fVelostok);
    fPass = new TfPass(fVelostok);
    fEditor = new TfEditor(fVelostok);
    fMarkAndModels = new TfMarkAndModels(fVelostok);
    try {
        fUniversalReport = new TfUniversalReport(fVelostok);
    } catch (const std::exception &e) {
        qCWarning(lcApp) << "report window:" << e.what();
        fUniversalReport = nullptr;
        prompts().message(QStringLiteral("Драйвера на принтера не поддържа този режим!"));
        return false;
    }
    return true;
}

void destroyAll()
{
    // The windows are children of the main window.
    delete fVelostok;
    fVelostok = nullptr;
    fSettings = nullptr;
    AboutBox = nullptr;
    fSearchForm = nullptr;
    fFiters = nullptr;
    fModels = nullptr;
    fPass = nullptr;
    fEditor = nullptr;
    fMarkAndModels = nullptr;
    fUniversalReport = nullptr;
    delete DM;
    DM = nullptr;
    setAdminCheck({});
}

int run()
{
    setupFonts();
    auto *splash = new TfSplashForm;
    splash->show(); // its show handler paints it
    const bool ok = createAll();
    splash->hide();
    delete splash;
    if (!ok) {
        destroyAll();
        return 0;
    }
    fVelostok->show();
    const int rc = QApplication::exec();
    destroyAll();
    return rc;
}

} // namespace Startup

namespace Windows {

void showEditor() { prompts().showModal(fEditor); }
void showSearch() { prompts().showModal(fSearchForm); }
void showModels() { prompts().showModal(fModels); }
void showUsers() { prompts().showModal(fFiters); }

void showRowHistory()
{
    TfRowHistory w(DM->tblMain, fVelostok);
    w.load();
    prompts().showModal(&w);
}

void showPurgedRows()
{
    TfPurgedRows w(DM->tblMain, fVelostok);
    w.load();
    prompts().showModal(&w);
}
void showImport()
{
    TfImport w(DM->tblMain, fVelostok);
    prompts().showModal(&w);
}

void showCompatibilityCheck()
{
    TfCompatibilityCheck w(fVelostok);
    prompts().showModal(&w);
}

void undoLastImport() { UndoLastImport(DM->tblMain); }

void showAbout() { prompts().showModal(AboutBox); }
void showSettings() { prompts().showModal(fSettings); }

void showSettingsIfHidden()
{
    if (fSettings && !fSettings->isVisible())
        prompts().showModal(fSettings);
}

void printGrid(TDBGrid *grid) { fUniversalReport->ShowGridReport(grid); }
void printerSetup() { prompts().printerSetup(reportPrinter()); }

} // namespace Windows
