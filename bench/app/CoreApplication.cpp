// The floor of a program without a window: a QCoreApplication that starts and exits (beside the
// command-line send to an address in scripts/bench).
#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return 0;
}
