#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Travenor(TVR)"));
    window.resize(640, 480);
    window.show();
    return QApplication::exec();
}
