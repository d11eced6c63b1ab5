// PLACEHOLDER: composing benchmark and main() being written.
#include "BenchMain.h"
#include <QApplication>
int main(int argc, char **argv) { return runKitBenchmarks<QApplication>(argc, argv, [] { return true; }); }
