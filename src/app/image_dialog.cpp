#include "image_dialog.h"

#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

namespace programador {

namespace {

// What the list shows of each entry: its kind and its date in Spanish. Qt's model takes them from
// the desktop's language and from words its Spanish translation lacks ("Folder", "10 Dec").
class SpanishFiles : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    enum Column { Name, Size, Kind, Modified };

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files || role != Qt::DisplayRole || (index.column() != Kind && index.column() != Modified))
            return QIdentityProxyModel::data(index, role);
        const QFileInfo info = files->fileInfo(mapToSource(index));
        if (index.column() == Modified)
            return QLocale(QLocale::Spanish, QLocale::Spain).toString(info.lastModified(), QLocale::ShortFormat);
        if (info.isDir())
            return QStringLiteral("Carpeta");
        return info.suffix().isEmpty() ? QStringLiteral("Archivo") : QStringLiteral("Archivo ") + info.suffix().toUpper();
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QStringList heads{QStringLiteral("Nombre"), QStringLiteral("Tamaño"), QStringLiteral("Tipo"),
                                       QStringLiteral("Modificado")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < heads.size())
            return heads[section];
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
};

} // namespace

std::unique_ptr<QFileDialog> imageDialog(QWidget* parent, const QString& folder)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Elegir imagen"), folder);
    // The desktop's own dialog would speak the desktop's language.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::HideNameFilterDetails);   // the patterns in every letter case are long
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters({QStringLiteral("Imágenes de firmware (*.stb *.bin *.STB *.BIN *.Stb *.Bin)"),
                            QStringLiteral("Todos los archivos (*)")});
    dialog->setProxyModel(new SpanishFiles(dialog.get()));
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("Buscar en:"));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("Nombre del archivo:"));
    dialog->setLabelText(QFileDialog::FileType, QStringLiteral("Archivos de tipo:"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("&Abrir"));
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("&Cancelar"));
    return dialog;
}

QString chooseOrderFile(QWidget* parent, const QString& folder)
{
    const std::unique_ptr<QFileDialog> dialog = imageDialog(parent, folder);
    dialog->setWindowTitle(QStringLiteral("Guardar orden"));
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({QStringLiteral("Órdenes de producción (*.ini)"), QStringLiteral("Todos los archivos (*)")});
    dialog->setDefaultSuffix(QStringLiteral("ini"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("&Guardar"));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().first();
}

QString chooseImageFile(QWidget* parent, const QString& folder)
{
    const std::unique_ptr<QFileDialog> dialog = imageDialog(parent, folder);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().first();
}

} // namespace programador
