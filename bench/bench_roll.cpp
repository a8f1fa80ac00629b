// Loading a large roll into the roll view: time until the last line is shown
// and the process's peak memory against the file size.
//
//   bench_roll [MEGABYTES]   (default 100)
#include "console/RollView.h"
#include "platform/Codec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {
// A figure from /proc/self/status in MiB ("VmRSS", "VmHWM").
double StatusMiB(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ')[0].toDouble() / 1024.0;
    return -1;
}

// Writes a roll of about `bytes` bytes: directive echoes, printouts of varied
// length and, now and then, one line longer than the view's line limit.
QByteArray WriteRoll(const QString& path, qint64 bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    const QByteArray echo = Codec::ToCp1251(QStringLiteral("14,05|05,12,26|  ТО_5,-"));
    const QByteArray print = Codec::ToCp1251(
        QStringLiteral("ОТВЕТ_СТАНЦИИ_НАПРАВЛЕНИЕ_12_КОМПЛЕКТ_0345_СОСТОЯНИЕ_РАБОТА_"));
    QByteArray chunk;
    qint64 written = 0;
    unsigned seed = 12345;
    QByteArray last;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < (1 << 20)) {
            seed = seed * 1103515245u + 12345u;
            QByteArray line;
            if (seed % 7 == 0) {
                line = echo;
            } else if (seed % 100003 == 1) {
                line = QByteArray(40000, 'X');
            } else {
                line = print.left(int(10 + (seed >> 8) % print.size()));
                line += QByteArray::number(written + chunk.size());
            }
            chunk += "\r\n";
            chunk += line;
            last = line;
        }
        f.write(chunk);
        written += chunk.size();
    }
    // Out of the page cache, so the load reads from the disk as after a reboot.
    f.flush();
    ::fsync(f.handle());
    ::posix_fadvise(f.handle(), 0, 0, POSIX_FADV_DONTNEED);
    return last;
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const qint64 mb = argc > 1 ? std::stoll(argv[1]) : 100;
    QTemporaryDir dir;
    qputenv("VARNEL_REGISTRY", (dir.path() + QStringLiteral("/registry.ini")).toUtf8());

    const QString path = dir.path() + QStringLiteral("/Varnel1.rul");
    const QByteArray lastLine = WriteRoll(path, mb * 1024 * 1024);
    const qint64 size = QFileInfo(path).size();

    RollView view;
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();
    const double rssBefore = StatusMiB("VmRSS");
    const double hwmBefore = StatusMiB("VmHWM");

    QElapsedTimer t;
    t.start();
    TFLoad(view, path);
    view.viewport()->repaint();
    QApplication::processEvents();
    const qint64 ms = t.elapsed();

    const double hwm = StatusMiB("VmHWM");
    const double fileMiB = double(size) / (1024.0 * 1024.0);
    const bool lastOk = view.LastLine() == Codec::FromCp1251(lastLine) &&
                        view.TopLine() == view.LineCount() - view.VisibleLines();
    std::printf("roll file:            %.1f MiB, %d lines in the view\n", fileMiB,
                view.LineCount());
    std::printf("load and show (cold): %lld ms (limit 2000)\n", static_cast<long long>(ms));
    std::printf("RSS before load:      %.1f MiB (peak so far %.1f MiB)\n", rssBefore, hwmBefore);
    std::printf("peak RSS (VmHWM):     %.1f MiB = %.2f x file size (limit 4)\n", hwm,
                hwm / fileMiB);
    std::printf("added by the load:    %.1f MiB = %.2f x file size\n", hwm - rssBefore,
                (hwm - rssBefore) / fileMiB);
    std::printf("last line at bottom:  %s\n", lastOk ? "yes" : "NO");
    return lastOk ? 0 : 1;
}
