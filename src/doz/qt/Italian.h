// The window speaks Italian whatever the machine's language: the toolkit's own
// texts (standard buttons, file dialogs, calendar) come from its Italian
// translations, and the widgets' default locale is Italian. The separators the
// program writes into files follow the regional settings (platform/Regional),
// not this locale.
#pragma once

class QCoreApplication;

namespace doz {

// Loads the toolkit's Italian translations into `app` and makes Italian the
// default locale of the widgets. False when the translations are not installed
// (package qt6-translations-l10n); the window then still works, in part English.
bool installItalian(QCoreApplication& app);

// The title of every message box of the program: the window's name, not the
// program file's.
constexpr const char* kBoxTitle = "Creazione file per la banca";

}  // namespace doz
