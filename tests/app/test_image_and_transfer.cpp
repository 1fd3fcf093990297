// Choosing an image and sending it, through the real main window offscreen, with a
// scripted device on virtual time behind the serial line.
#include "window_rig.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <sys/stat.h>

using namespace programador;
using namespace programador::testing;

namespace {

const QString kFileError = QStringLiteral("Error en archivo");
const QString kTooLarge = QStringLiteral("Archivo demasiado grande");
const QString kDone = QStringLiteral("Programa listo");
const QString kCommError = QStringLiteral("Error de comunicacion");
const QString kPortError = QStringLiteral("Error en puerto serie");
const QByteArray kEot(1, '\x04');

bool menusEnabled(MainWindowUi& ui)
{
    return ui.ayuda->isEnabled() && ui.configurar->isEnabled() && ui.salir->isEnabled();
}

// The idle state with an image ready to send.
void verifyIdleWithImage(WindowRig& rig)
{
    MainWindowUi& ui = rig.ui();
    QVERIFY(ui.Command1->isEnabled());
    QVERIFY(!ui.Command2->isEnabled());
    QVERIFY(menusEnabled(ui));
    QVERIFY(ui.File1->isEnabled() && ui.Drive1->isEnabled() && ui.Dir1->isEnabled());
    QVERIFY(!ui.Label1->isVisible());
    QVERIFY(!ui.ProgressBar1->isVisible());
    QVERIFY(ui.cursor().shape() != Qt::WaitCursor);
}

} // namespace

class TestImageAndTransfer : public QObject {
    Q_OBJECT

private slots:
    void listsShowTheImagesOfTheChosenDirectory()
    {
        WindowRig rig;
        rig.writeImage("b.BIN", "x");
        rig.writeImage("a.stb", "x");
        rig.writeImage("notes.txt", "x");
        QDir(rig.dir.path()).mkdir("sub");
        rig.writeImage("sub/inner.bin", "x");
        rig.browseToImages();
        QCOMPARE(rig.ui().File1->count(), 2);
        QCOMPARE(rig.ui().File1->item(0)->text(), QString("a.stb"));
        QCOMPARE(rig.ui().File1->item(1)->text(), QString("b.BIN"));
        QCOMPARE(rig.ui().Dir1->currentItem()->data(Qt::UserRole).toString(), QDir(rig.dir.path()).absolutePath());

        // Opening a sub-directory entry makes it current; the file list follows.
        const QList<QListWidgetItem*> sub = rig.ui().Dir1->findItems("sub", Qt::MatchEndsWith);
        QCOMPARE(sub.size(), 1);
        emit rig.ui().Dir1->itemActivated(sub.first());
        QCOMPARE(rig.window->filePath(), rig.dir.filePath("sub"));
        QCOMPARE(rig.ui().File1->count(), 1);
        QCOMPARE(rig.ui().File1->item(0)->text(), QString("inner.bin"));

        // A directory that cannot be read leaves the lists usable.
        rig.window->openDirectory(rig.dir.filePath("gone"));
        QCOMPARE(rig.ui().File1->count(), 0);
        QVERIFY(rig.ui().Dir1->count() > 1);
        rig.window->openDirectory(rig.dir.path());
        QCOMPARE(rig.ui().File1->count(), 2);

        // Choosing a drive shows that drive's root.
        rig.ui().Drive1->setCurrentIndex(0);
        rig.window->Drive1_Change();
        QCOMPARE(rig.window->dirPath(), QString("/"));
        QCOMPARE(rig.window->filePath(), QString("/"));
    }

    void loadingSetsPathAndProgress_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("maximum");
        QTest::newRow("empty") << 0 << 1;
        QTest::newRow("one block") << 128 << 1;
        QTest::newRow("a block and a byte") << 129 << 2;
        QTest::newRow("largest") << 249984 << 1953;
    }
    void loadingSetsPathAndProgress()
    {
        QFETCH(int, length);
        QFETCH(int, maximum);
        WindowRig rig;
        const QString path = rig.writeImage("image.bin", patternBytes(length, 1));
        rig.browseToImages();
        rig.ui().ProgressBar1->setValue(1);
        QVERIFY(rig.clickFile("image.bin"));
        QVERIFY(rig.messages.shown.isEmpty());
        QCOMPARE(rig.ui().Label2->text(), "Archivo: " + path);
        QCOMPARE(rig.window->image().largo_archivo, length);
        QCOMPARE(rig.ui().ProgressBar1->maximum(), maximum);
        QCOMPARE(rig.ui().ProgressBar1->value(), 0);
        QVERIFY(rig.ui().Command1->isEnabled());
        QVERIFY(menusEnabled(rig.ui()));
        QVERIFY(rig.ui().cursor().shape() != Qt::WaitCursor);   // the hourglass is gone
    }

    void aFailedLoadLeavesNoImageToSend_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("too large") << "large" << kTooLarge;
        QTest::newRow("fifo") << "fifo" << kFileError;
        QTest::newRow("gone since listed") << "gone" << kFileError;
    }
    void aFailedLoadLeavesNoImageToSend()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        WindowRig rig;
        rig.writeImage("good.bin", patternBytes(300, 2));
        const QString bad = rig.dir.filePath("bad.bin");
        if (kind == "large")
            rig.writeImage("bad.bin", patternBytes(249985, 3));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
        else
            rig.writeImage("bad.bin", "x");
        rig.browseToImages();
        QVERIFY(rig.clickFile("good.bin"));
        if (kind == "gone")
            QVERIFY(QFile::remove(bad));

        QVERIFY(rig.clickFile("bad.bin"));   // a FIFO must not block the window
        QCOMPARE(rig.messages.texts(), QStringList{message});
        QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Warning);
        QCOMPARE(rig.ui().Label2->text(), QString());
        QVERIFY(!rig.ui().Command1->isEnabled());
        QVERIFY(menusEnabled(rig.ui()));
        QVERIFY(rig.ui().File1->isEnabled());
        QVERIFY(rig.ui().cursor().shape() != Qt::WaitCursor);

        // A good image afterwards is ready again.
        QVERIFY(rig.clickFile("good.bin"));
        QVERIFY(rig.ui().Command1->isEnabled());
    }

    void aSecondLoadReplacesTheFirst()
    {
        WindowRig rig;
        rig.writeImage("long.bin", QByteArray(300, '\xAA'));
        rig.writeImage("short.bin", QByteArray(10, '\x55'));
        rig.browseToImages();
        QVERIFY(rig.clickFile("long.bin"));
        QVERIFY(rig.clickFile("short.bin"));
        QCOMPARE(rig.window->image().largo_archivo, 10);
        QCOMPARE(rig.window->image().buffer[9], 0x55);
        for (int i = 10; i < 300; ++i)
            QCOMPARE(rig.window->image().buffer[static_cast<std::size_t>(i)], 0);
        QVERIFY(rig.ui().Label2->text().endsWith("/short.bin"));
    }

    void sendsTheImageAndReturnsToIdle()
    {
        WindowRig rig;
        rig.writeImage("fw.stb", patternBytes(1000, 4));
        rig.browseToImages();
        QVERIFY(rig.clickFile("fw.stb"));
        ScriptedDevice device(*rig.line);
        bool lockedWhileSending = false;
        device.onBlock = [&](int) {
            MainWindowUi& ui = rig.ui();
            lockedWhileSending = !ui.Command1->isEnabled() && ui.Command2->isEnabled() && !ui.File1->isEnabled()
                && !ui.salir->isEnabled() && ui.ProgressBar1->isVisible()
                && ui.Label1->text() == QStringLiteral("Transmitiendo archivo...");
        };
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QVERIFY(lockedWhileSending);
        QCOMPARE(device.blocks.size(), 8);
        QCOMPARE(device.data().left(1000), patternBytes(1000, 4));
        QCOMPARE(device.data().mid(1000), QByteArray(24, '\0'));
        QCOMPARE(rig.line->writes().last(), kEot);
        QVERIFY(!rig.line->isOpen());
        QCOMPARE(rig.messages.texts(), QStringList{kDone});
        QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Information);
        QCOMPARE(rig.ui().ProgressBar1->value(), rig.ui().ProgressBar1->maximum());   // ends full
        verifyIdleWithImage(rig);

        // And again, without choosing the image anew.
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(device.blocks.size(), 16);
        QCOMPARE(rig.messages.texts(), QStringList({kDone, kDone}));
    }

    void cancelDuringABlockEndsQuietly()
    {
        WindowRig rig;
        rig.writeImage("fw.bin", patternBytes(128 * 5, 5));
        rig.browseToImages();
        QVERIFY(rig.clickFile("fw.bin"));
        ScriptedDevice device(*rig.line);
        device.onBlock = [&](int block) {
            if (block == 2)
                QTest::mouseClick(rig.ui().Command2, Qt::LeftButton);
        };
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(device.blocks.size(), 2);
        QVERIFY(rig.messages.shown.isEmpty());
        QVERIFY(!rig.line->writes().contains(kEot));
        QVERIFY(!rig.line->isOpen());
        verifyIdleWithImage(rig);
    }

    void exitsWithMessagesAndTheImageKept()
    {
        WindowRig rig;
        rig.writeImage("fw.bin", patternBytes(400, 6));
        rig.browseToImages();
        QVERIFY(rig.clickFile("fw.bin"));
        const QString caption = rig.ui().Label2->text();

        // No device at all: the handshake gives up.
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(rig.messages.texts(), QStringList{kCommError});
        QVERIFY(!rig.line->isOpen());
        verifyIdleWithImage(rig);

        // A port that cannot be opened: "Cancelar" is never offered.
        rig.line->failOpen = true;
        bool cancelOffered = false;
        rig.clock->onYield = [&] { cancelOffered = cancelOffered || rig.ui().Command2->isEnabled(); };
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(rig.messages.texts(), QStringList({kCommError, kPortError}));
        QVERIFY(!cancelOffered);
        verifyIdleWithImage(rig);

        // The port vanishing mid-transfer.
        rig.line->failOpen = false;
        ScriptedDevice device(*rig.line);
        device.onBlock = [&](int block) {
            if (block == 2)
                rig.line->vanish();
        };
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(rig.messages.texts().last(), kPortError);
        verifyIdleWithImage(rig);

        QCOMPARE(rig.ui().Label2->text(), caption);
        QCOMPARE(rig.window->image().largo_archivo, 400);
    }

    void closingTheWindowEndsARunAtOnce()
    {
        WindowRig rig;
        rig.writeImage("fw.bin", patternBytes(128 * 4, 7));
        rig.browseToImages();
        QVERIFY(rig.clickFile("fw.bin"));
        ScriptedDevice device(*rig.line);
        device.onBlock = [&](int block) {
            if (block == 2)
                rig.ui().close();   // the window manager's close box
        };
        QTest::mouseClick(rig.ui().Command1, Qt::LeftButton);
        QCOMPARE(device.blocks.size(), 2);
        QVERIFY(rig.messages.shown.isEmpty());
        QVERIFY(!rig.line->writes().contains(kEot));
        QVERIFY(!rig.line->isOpen());
        QCOMPARE(rig.ended, 1);
        QVERIFY(!rig.window->loadSequence().running());
    }
};

QTEST_MAIN(TestImageAndTransfer)
#include "test_image_and_transfer.moc"
