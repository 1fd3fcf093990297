#pragma once

#include <QString>

class QCoreApplication;

namespace programador {

// Qt's own texts (message-box buttons, file dialogs, context menus) in Spanish, whatever the
// desktop's language: installs Qt's Spanish translation from `directory` (Qt's translations
// folder by default). Without it the program runs on with English buttons and says so once
// on standard error; returns whether it was installed.
bool installQtSpanish(QCoreApplication& app, const QString& directory = {});

} // namespace programador
