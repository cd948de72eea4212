// Start-up: creates the data module and every window once, in their fixed order, ties them
// together, and destroys them at the end. The one place that knows every window.
#pragma once

#include <QString>

class TDBGrid;

namespace Startup {

// The application's help file.
extern QString HelpFile;

// Font substitutions for the families the layouts name, and the default font.
void setupFonts();

// Creates DM, fVelostok, fSettings, AboutBox, fSearchForm, fFiters, fModels, fPass, fEditor,
// fMarkAndModels, then fUniversalReport. False when the report window could not be created:
// the user has been told, and the program is to end without showing the main window.
bool createAll();
// Destroys what createAll made (closing the database).
void destroyAll();

// Runs the whole program: splash, creation, the main window and the message loop.
int run();

} // namespace Startup

// The windows the main window opens, each shown modally over it; only start-up knows them.
namespace Windows {

void showEditor();
void showSearch();
void showModels();
void showUsers();
// The history of the inventory's current row; the purged rows. Made for each showing.
void showRowHistory();
void showPurgedRows();
// The import window (made for each showing); the undo of the last import.
void showImport();
void showCompatibilityCheck();
void undoLastImport();
void showAbout();
void showSettings();
// The settings window, unless it is already open (it may be the one that connects).
void showSettingsIfHidden();
// The print preview of a grid's shown rows and columns.
void printGrid(TDBGrid *grid);
// The printer set-up of the reports' printer.
void printerSetup();

} // namespace Windows

// Set when the main window is first shown, before the database is connected; never cleared.
extern bool MainWindowShown;
