#pragma once

#include "alarm.h"
#include "bench.h"
#include "bench_row.h"
#include "bench_window_ui.h"
#include "firmware_file.h"
#include "firmware_image.h"
#include "operator_messages.h"
#include "order_file.h"
#include "order_progress.h"
#include "port_numbering.h"
#include "reasons.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace programador {

class WindowRecord;

// "Banco de carga": several boards at once and board after board, from the window. Opened from
// the main window's menu, which stays disabled until it closes, with a row for each COM number
// the PC has numbered (COM1 to COM16, four at least). The image is the main window's (or one
// chosen here), read afresh at "Iniciar" with the window's checks; one changed on disk while
// the bench runs is said. "Iniciar" starts every chosen row: each loads its board, shows the
// result and waits for the next board's start-up with no click and no message box, as --repeat
// does, an adapter pulled out waited for until it is back; "Detener" ends the loads under way as
// "Cancelar" does and stops the rows waiting; "Cerrar" (and Escape) while it runs asks first.
// Every load makes its row in the window's record; the counts stay from one opening to the next
// until "Borrar cuentas". Every row names the order and the operator given at the top (the
// user's full name unless changed; the order kept from the last time); with "Pedir número de
// serie", each board is scanned into its row before its start-up is answered. The runs, their
// counts and rows are the bench's (src/bench); this class and its rows (BenchRow) only show them.
//
// Under a production order (opened with its file, or the last one the bench ran) the order
// decides: its image, checked against the SHA-256 it released at every "Iniciar"; its name in
// every row; its ports ticked; none of it editable. Its count over every row ends the loads once
// reached ("Orden completa"), a row whose boards fail so many times in a row stops alone until
// "Reanudar", and its figures stand at the top in large type. A failed board, a stopped row and
// a completed order sound. Without an order the bench comes back with the image it last loaded
// and says when that file has changed since.
class BenchWindow : public QObject {
public:
    // A file the operator chose (empty: none): the app asks with a file dialog, the tests answer.
    using ChooseImage = std::function<QString(QWidget* parent)>;

    BenchWindow(OperatorMessages& messages, PortNumbering& numbering, WindowRecord& record);
    ~BenchWindow() override;

    // Shows the bench in front of the main window, with the image at imagePath (none: empty);
    // closed runs once it has closed.
    void open(const QString& imagePath, QWidget* mainWindow, std::function<void()> closed, const QString& orderFile = {});
    // The buttons, and the window system's close and Escape: while the bench runs it asks first.
    void Start_Click();
    void Stop_Click();
    void Choose_Click();
    void Clear_Click();
    // The bench as it stands (the order's name, the image and its SHA-256, the ports ticked,
    // the scanning; an order's count and failures in a row) into an order file chosen here.
    void SaveOrder_Click();
    void close();
    // Return in COMn's serial field (a scanner ends so): the row's board gets the serial, and the
    // focus goes to the next row, in COM order, that waits for one. A serial another row holds
    // for a board not yet loaded is refused, with that row's COM number.
    void serialEntered(int n);
    // A signal (a logout, a shutdown): the first ends the loads under way as "Detener" does, the
    // second at once; either way their rows say "Interrumpido" with 128 + the signal.
    void interrupt(int signal, bool atOnce);
    bool running() const { return bench_ != nullptr; }
    // The program ends: every run ends at once, the loads it cuts short get their rows, and the
    // window goes, asking nothing.
    void end();

    BenchWindowUi* ui() const { return ui_; }
    ChooseImage chooseImage;
    ChooseImage chooseOrderFile;   // where "Guardar orden..." writes
    Alarm* alarm = nullptr;   // none: silent

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    BenchRow& row(int n) { return rows_[static_cast<std::size_t>(n - 1)]; }
    // What the bench keeps from one opening to the next: its order (the text, or the order
    // file it runs), the image it last loaded with its SHA-256, and whether it scans.
    static QString keptFile();
    // The rows the numbering has now (more when a new adapter took a number), and their devices.
    void showPorts();
    // Reads the image afresh into image_ (as it is on disk now) and shows it; false, with the
    // cause, when there is none or it cannot be loaded.
    bool readImage(Cause& cause);
    void showImage()
    {
        Cause cause = Cause::None;
        readImage(cause);
    }
    // The image's blocks, for the progress bars; 1 while there is none.
    int blocks() const { return imageLoaded_ ? FirmwareFile::blockCount(image_->largo_archivo) : 1; }
    void showIdle();
    // While the bench runs: the image on disk is no longer the one being loaded.
    void checkImageOnDisk();
    void finish();   // the runs are over
    // The focus to the first row after COMn, in COM order, that waits for a serial, if any.
    void focusNextSerial(int n);
    // The order in file, read afresh, and what it has come to; said at the top.
    void readOrder(const QString& file);
    void showOrder();
    bool ordered() const { return !orderFile_.isEmpty(); }
    // What a load changed of the order, and the alarm.
    void counted(int n, const LoadOutcome& load);
    void restartRow(int n);
    void sound(Alarm::What what);

    OperatorMessages& messages_;
    PortNumbering& numbering_;
    WindowRecord& record_;
    QPointer<BenchWindowUi> ui_;
    std::function<void()> closed_;
    QString imagePath_;
    std::unique_ptr<FirmwareImage> image_;   // 250 KB: kept off the stack
    std::unique_ptr<Bench> bench_;
    QList<int> numbers_;                     // the COM number of each of the bench's devices
    std::vector<BenchRow> rows_;             // COM1 first, as the window shows them
    std::array<DeviceCounts, kComNumbers> counts_;   // each row's, until the operator clears them
    bool imageLoaded_ = false;               // image_ holds the file as last read
    QString imageShown_;                     // the image line as last read
    QFileSystemWatcher imageWatch_;          // the image and its folder while the bench runs
    bool closing_ = false;
    QString orderFile_;                      // the order the bench runs; empty: none
    std::optional<Order> order_;             // as read; none when it could not be
    QString orderTrouble_;                   // why it cannot run, or its count cannot be kept
    std::unique_ptr<OrderProgress> progress_;
    QTimer figuresClock_;                    // the boards an hour go down when none come
    bool imageChanged_ = false;              // not the image last loaded: chosen again first
};

} // namespace programador
