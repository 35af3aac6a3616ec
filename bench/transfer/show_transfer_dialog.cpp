#include "CYouTubeDownloadDlg.h"
#include "CYouTubeDownloader.h"

#include <QApplication>

#include <cstdio>

// Usage: show_transfer_dialog URL FILE
// Runs the progress dialog for one transfer, as the sniffed-media page does.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: show_transfer_dialog URL FILE\n");
        return 2;
    }
    CYouTubeDownloadDlg dialog;
    dialog.transfer()->url = QString::fromLocal8Bit(argv[1]);
    dialog.transfer()->requestHeader = "GET / HTTP/1.1\r\nUser-Agent: show\r\n\r\n";
    dialog.transfer()->filePath = QString::fromLocal8Bit(argv[2]);
    dialog.startDownload();
    const int result = dialog.exec();
    std::printf("result=%d\n", result);
    return result == QDialog::Accepted ? 0 : 1;
}
