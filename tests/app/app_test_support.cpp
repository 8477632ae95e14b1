// The right click goes through the window system, as a desktop's does.
#define QTEST_QPA_MOUSE_HANDLING
#include "app_test_support.h"

#include <sys/stat.h>

#include <QMenu>
#include <QTest>
#include <fstream>

namespace {

void Put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void WriteWav(const std::string& path, int channels, int rate, int frames,
              const std::function<std::int16_t(int, int)>& sample) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * channels * 2);
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    Put(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    Put(out, 16, 4);
    Put(out, 1, 2);
    Put(out, channels, 2);
    Put(out, rate, 4);
    Put(out, rate * channels * 2, 4);
    Put(out, channels * 2, 2);
    Put(out, 16, 2);
    out.write("data", 4);
    Put(out, dataBytes, 4);
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) Put(out, static_cast<std::uint16_t>(sample(f, c)), 2);
    }
}

long long FileSize(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

QMenu* RightClickMenu(QWidget* widget) {
    QTest::mouseClick(widget, Qt::RightButton, {}, widget->rect().center());
    QMenu* menu = nullptr;
    for (int waited = 0; waited < 5000 && menu == nullptr; waited += 10) {
        QTest::qWait(10);
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    return menu;
}
