#pragma once

#include <QFileDialog>
#include <QString>

#include <memory>

namespace programador {

// The file dialog that "Elegir imagen..." opens: Qt's own dialog, in the program's Spanish
// whatever the desktop's language. The labels use its words ("archivo", never "fichero"), and
// the list names folders and files in Spanish ("Carpeta", "Archivo BIN") with their dates in
// Spanish. It lists the images (*.stb, *.bin in any letter case) and all files.
std::unique_ptr<QFileDialog> imageDialog(QWidget* parent, const QString& folder);
// The dialog, shown until the operator chooses: the image's path, or empty.
QString chooseImageFile(QWidget* parent, const QString& folder);
// The same dialog for "Guardar orden...": where the order file goes (*.ini), or empty.
QString chooseOrderFile(QWidget* parent, const QString& folder);

} // namespace programador
