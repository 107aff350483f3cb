// The floor a Qt program pays on this machine, for the start-up and idle benchmarks to stand beside Kestrum:
//   qt_floor window   an 800 x 600 window; "floor: shown" on stderr once show() returned
//   qt_floor tray     a tray icon and a timer that reads the three /proc files Kestrum samples, once a second
// It links nothing but the toolkit's widgets, so its libraries are the least any such program loads.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const bool tray = argc > 1 && std::strcmp(argv[1], "tray") == 0;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget window;
    QPixmap picture(16, 16);
    picture.fill(Qt::darkGreen);
    QSystemTrayIcon icon{QIcon(picture)};
    QTimer sample;
    if (tray) {
        static const int files[] = {::open("/proc/stat", O_RDONLY | O_CLOEXEC),
                                    ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC),
                                    ::open("/proc/pressure/memory", O_RDONLY | O_CLOEXEC)};
        icon.show();
        QObject::connect(&sample, &QTimer::timeout, [] {
            static char buffer[8192];
            for (int fd : files)
                if (fd >= 0) (void)::pread(fd, buffer, sizeof buffer, 0);
        });
        sample.start(1000);
    } else {
        window.resize(800, 600);
        window.show();
        std::fputs("floor: shown\n", stderr);
    }
    return QApplication::exec();
}
