// Reference for the start-up benchmark: the least a Qt window costs.
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog window;
    window.setFixedSize(400, 60);
    window.show();
    std::printf("shown\n");
    std::fflush(stdout);
    return app.exec();
}
