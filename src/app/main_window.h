#pragma once

#include "bench_window.h"
#include "cooperative_wait.h"
#include "event_yield.h"
#include "file_browser.h"
#include "firmware_image.h"
#include "load_sequence.h"
#include "main_window_ui.h"
#include "operator_messages.h"
#include "port_dialog.h"
#include "port_dialog_window.h"
#include "port_numbering.h"
#include "port_settings.h"
#include "serial_line.h"
#include "tick_counters.h"
#include "tick_timers.h"
#include "transfer_view.h"
#include "twips.h"
#include "window_record.h"
#include "xmodem_sender.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

namespace programador {

// The main window's behaviour: start-up (Form_Load), the idle state (habilita), the menu
// commands, closing, browsing for and loading the image, the load sequence behind
// "Cargar Firmware" and "Cancelar", and the port dialog behind "Configurar puerto serie".
//
// Owns the window, the port settings, the tick counters with their timers (ticking from
// construction until destruction), the image buffer, the transfer and the port dialog. The operator messages, the serial
// line and the event yield are the program's (or a test's) and outlive this object.
class MainWindow : public QObject, public TransferView, public PortDialogMainWindow {
    Q_OBJECT
public:
    // Ends the program; the program ends its event loop, the tests record the call.
    using EndProgram = std::function<void()>;

    // settingsDirectory holds PROGRAMADOR.INI: the working directory in the program.
    // endProgram defaults to leaving the application's event loop. drives defaults to the
    // machine's mounted volumes.
    // numbering says what COM1..COM4 stand for, to the port dialog.
    MainWindow(OperatorMessages& messages, SerialLine& line, EventYield& events, PortNumbering& numbering,
               const QString& settingsDirectory, EndProgram endProgram = {}, Twips twips = Twips::forScreen(),
               DriveSource* drives = nullptr);
    ~MainWindow() override;

    // Shows the window in the centre of the screen; the program calls it after Form_Load.
    void show();

    // The window's start-up: reads the settings file into puerto, then sets the start state
    // ("Cargar Firmware" and "Cancelar" disabled, the progress bar hidden).
    void Form_Load();

    // The menu commands.
    void ayuda_Click();
    void configurar_Click();
    // "Banco de carga": the bench window, the main window disabled until it closes; with an
    // order file, the bench runs that order.
    void banco_Click(const QString& orderFile = {});
    void salir_Click();

    // The buttons: the load sequence on the image as it is on disk now, and "Cancelar"
    // raising its cancel flag.
    void Command1_Click();
    void Command2_Click();

    // A signal (a logout, a shutdown, kill): the first ends the loads under way as "Cancelar" and
    // "Detener" do, the second at once; their rows say "Interrumpido" with 128 + the signal, and
    // the program then ends, asking nothing. The signal that ended it, 0 for none.
    void interrupt(int signal);
    int interruptedBy() const { return signal_; }
    // After a signal: the program's end once nothing loads, looked at every 20 ms.
    void endOnceIdle();
    // The program's end: the bench's runs first, their rows made, then the record's last tries
    // and what it could not place on standard error. True when the process must end without
    // destructors (a thread of the record held in a write or on the network).
    bool end();

    // Browsing: a drive chosen in Drive1 becomes Dir1's path; a change of Dir1's path
    // becomes File1's path. File1_Click loads the selected image.
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    // Opens a directory list entry: it becomes Dir1's path.
    void openDirectory(const QString& path);
    QString dirPath() const { return dirPath_; }
    QString filePath() const { return filePath_; }

    // PortDialogMainWindow: the port dialog enables the window and brings it back.
    void setEnabled(bool enabled) override;
    void showAndRaise() override;

    // TransferView, on the real widgets.
    void setStatusText(const QString& text) override;
    void setStatusVisible(bool visible) override;
    void setProgressValue(float value) override;
    void setProgressVisible(bool visible) override;
    void setCancelEnabled(bool enabled) override;
    void lockForTransfer() override;
    void setNormalPointer() override;
    void clearDrawing() override;
    void habilita() override;

    // The progress maximum, set by the image load. The bar counts in whole steps: values
    // are rounded to the nearest whole number (the program only ever sets whole numbers).
    void setProgressMaximum(float maximum);
    // The hourglass, for the image load.
    void setBusyPointer();

    MainWindowUi& ui() { return ui_; }
    PortSettings& settings() { return settings_; }
    TickCounters& ticks() { return ticks_; }
    TickTimers& timers() { return timers_; }
    FirmwareImage& image() { return *image_; }
    OperatorMessages& messages() { return messages_; }
    SerialLine& line() { return line_; }
    EventYield& events() { return events_; }
    CooperativeWait& transferWait() { return wait_; }
    LoadSequence& loadSequence() { return sequence_; }
    PortDialog& portDialog() { return portDialog_; }
    PortDialogUi* portDialogUi() const { return portDialogWindow_.ui(); }
    WindowRecord& record() { return record_; }
    BenchWindow& benchWindow() { return benchWindow_; }

    static const QString& helpText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The port dialog's preselection at start-up: creates it hidden with puerto's option.
    void marca_puerto();
    void showDrives();
    void showDirectories();
    // keepSelection: the same folder again, as it changed on disk.
    void showFiles(bool keepSelection);
    // Loads the image file at path (name: as the file list shows it): the image, its length,
    // the progress maximum and "Archivo: ..." on success; the error path otherwise.
    bool loadImage(const QString& path, const QString& name);
    // The image load's error path: the message, then the idle state without an image.
    void imageLoadFailed(const QString& message, const QString& name, const QString& reason = {});
    // The menu bar's commands, all four at once: off while an image is read or a load runs.
    void setMenuEnabled(bool enabled);
    // The lists follow the disk: the current folder's files and sub-folders as they change,
    // the drives as volumes are mounted and unmounted.
    void followFolder();
    void followDrives();
    // Closing the window ends a transfer under way with it: the transfer's wait is told to
    // abandon, so the run closes the port and returns without a message.
    void abandonTransfer();
    // The window is closing, through "Salir" or the window system: the program ends.
    void windowClosing();

    OperatorMessages& messages_;
    SerialLine& line_;
    EventYield& events_;
    EndProgram endProgram_;
    std::unique_ptr<DriveSource> ownDrives_;
    DriveSource& drives_;

    PortSettings settings_;
    TickCounters ticks_;
    TickTimers timers_;
    std::unique_ptr<FirmwareImage> image_;   // 250 KB: kept off the stack
    MainWindowUi ui_;
    WindowRecord record_;
    bool ended_ = false;
    int signal_ = 0, signals_ = 0;   // the last signal, and how many came
    int blocksSent_ = 0;   // of the load under way, for its row

    CooperativeWait wait_;
    XmodemSender sender_;
    LoadSequence sequence_;

    PortDialogWindow portDialogWindow_;
    LinePortProbe portProbe_;
    PortDialog portDialog_;
    PortNumbering& numbering_;
    BenchWindow benchWindow_;

    QStringList driveRoots_;
    QString dirPath_;    // Dir1's path
    QString filePath_;   // File1's path
    QFileSystemWatcher folderWatch_;   // watches Dir1's path
    QString imagePath_;   // the image file last loaded, read again at each "Cargar Firmware"
    QString imageName_;
    bool fileChosen_ = false;   // the operator has chosen a file in this listing of File1
};

} // namespace programador
