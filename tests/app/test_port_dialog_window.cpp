// "Configurar puerto serie" through the real windows offscreen: the dialog over the
// disabled main window, its probe on the program's line, the settings file.
#include "port_dialog_ui.h"
#include "window_rig.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>

using namespace programador;
using namespace programador::testing;

namespace {

QByteArray settingsBytes(WindowRig& rig)
{
    QFile f(rig.dir.filePath("PROGRAMADOR.INI"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PortDialogUi* openDialog(WindowRig& rig)
{
    rig.ui().configurar->trigger();
    return rig.window->portDialogUi();
}

} // namespace

class TestPortDialogWindow : public QObject {
    Q_OBJECT

private slots:
    void opensOverTheDisabledMainWindow()
    {
        WindowRig rig;
        rig.window->settings().puerto = 3;
        PortDialogUi* dialog = openDialog(rig);
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY(!rig.ui().isEnabled());
        QVERIFY(dialog->isEnabled());   // not disabled with its main window
        QVERIFY(dialog->Option3->isChecked());
        QVERIFY(!dialog->Option1->isChecked() && !dialog->Option2->isChecked() && !dialog->Option4->isChecked());
    }

    void aceptarProbesSavesAndCloses()
    {
        WindowRig rig;
        PortDialogUi* dialog = openDialog(rig);
        QTest::mouseClick(dialog->Option4, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QVERIFY(rig.messages.shown.isEmpty());
        QVERIFY(!rig.window->portDialogUi());
        QVERIFY(rig.ui().isEnabled());
        QCOMPARE(rig.window->settings().puerto, 4);
        QCOMPARE(settingsBytes(rig), QByteArray("4\r\n"));
        QCOMPARE(rig.line->portNumber, 4);   // the probe opened COM4 and closed it
        QCOMPARE(rig.line->opens, 1);
        QVERIFY(!rig.line->isOpen());

        // The next transfer opens the chosen port.
        rig.writeImage("fw.bin", "x");
        rig.browseToImages();
        QVERIFY(rig.clickFile("fw.bin"));
        rig.line->portNumber = 0;
        ScriptedDevice device(*rig.line);
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(rig.line->portNumber, 4);
        QCOMPARE(rig.messages.texts(), QStringList{"Programa listo"});
    }

    void aFailedProbeKeepsTheDialog()
    {
        WindowRig rig;
        rig.line->failOpen = true;
        PortDialogUi* dialog = openDialog(rig);
        QTest::mouseClick(dialog->Option2, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QCOMPARE(rig.messages.texts(), QStringList{"Error en puerto serie"});
        QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(rig.window->portDialogUi(), dialog);
        QVERIFY(dialog->isVisible() && dialog->Option2->isChecked());
        QVERIFY(!rig.ui().isEnabled());
        QCOMPARE(rig.window->settings().puerto, 1);
        QCOMPARE(settingsBytes(rig), QByteArray("1\r\n"));

        rig.line->failOpen = false;
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QVERIFY(rig.ui().isEnabled());
        QCOMPARE(settingsBytes(rig), QByteArray("2\r\n"));
    }

    void aFailedSaveThenCancelarKeepsTheNewPort()
    {
        WindowRig rig;
        // The settings file's place taken by a directory: the save cannot replace it.
        QVERIFY(QFile::remove(rig.dir.filePath("PROGRAMADOR.INI")));
        QVERIFY(QDir(rig.dir.path()).mkdir("PROGRAMADOR.INI"));
        PortDialogUi* dialog = openDialog(rig);
        QTest::mouseClick(dialog->Option3, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QCOMPARE(rig.messages.texts(), QStringList{"Error de archivo"});
        QVERIFY(dialog->isVisible());
        QVERIFY(!rig.ui().isEnabled());
        QTest::mouseClick(dialog->Command2, Qt::LeftButton);
        QVERIFY(rig.ui().isEnabled());
        QVERIFY(!rig.window->portDialogUi());
        QCOMPARE(rig.window->settings().puerto, 3);   // in force for this run
        QVERIFY(QFileInfo(rig.dir.filePath("PROGRAMADOR.INI")).isDir());
    }

    void cancelarAndTheCloseBoxChangeNothing()
    {
        WindowRig rig;
        for (bool closeBox : {false, true}) {
            PortDialogUi* dialog = openDialog(rig);
            QTest::mouseClick(dialog->Option4, Qt::LeftButton);
            if (closeBox)
                dialog->close();
            else
                QTest::mouseClick(dialog->Command2, Qt::LeftButton);
            QVERIFY(rig.ui().isEnabled());
            QVERIFY(!rig.window->portDialogUi());
            QCOMPARE(rig.window->settings().puerto, 1);
            QCOMPARE(rig.line->opens, 0);
            // The next opening is built afresh from puerto.
            dialog = openDialog(rig);
            QVERIFY(dialog->Option1->isChecked());
            QTest::mouseClick(dialog->Command2, Qt::LeftButton);
        }
        QCOMPARE(settingsBytes(rig), QByteArray("1\r\n"));
        QVERIFY(rig.messages.shown.isEmpty());
    }
};

QTEST_MAIN(TestPortDialogWindow)
#include "test_port_dialog_window.moc"
