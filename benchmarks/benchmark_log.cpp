// The cost of one append to the message log, after 10, 1,000 and 10,000
// earlier lines: the slot alone, and the slot with the repaint it causes.
// Runs on whatever platform QT_QPA_PLATFORM names (the script uses
// offscreen).
#include "antenna_w.h"

#include <QAction>
#include <QApplication>
#include <QMetaMethod>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

Antenna_w *window = nullptr;
QMetaMethod setText;
QAction *clearAction = nullptr;

const QString line = QStringLiteral("Com Data Link: open \n");

// set_Text is private: reach it the way a connection would.
void appendLog(const QString &text)
{
    setText.invoke(window, Qt::DirectConnection, Q_ARG(QString, text));
}

void setTextAfter(benchmark::State &state)
{
    const auto earlier = int(state.range(0));
    const bool repaint = state.range(1) != 0;
    const QString history = line.repeated(earlier);
    for (auto _ : state) {
        // Same log as after `earlier` appends of one line each.
        clearAction->trigger();
        appendLog(history);
        QCoreApplication::processEvents();

        const auto start = std::chrono::steady_clock::now();
        appendLog(line);
        if (repaint)
            QCoreApplication::processEvents();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
    }
}

} // namespace

BENCHMARK(setTextAfter)
        ->ArgNames({"lines", "repaint"})
        ->ArgsProduct({{10, 1000, 10000}, {0, 1}})
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Antenna_w console(nullptr);
    console.show();
    window = &console;
    setText = console.metaObject()->method(console.metaObject()->indexOfSlot("set_Text(QString)"));
    clearAction = console.findChild<QAction *>(QStringLiteral("actionClear"));
    if (!setText.isValid() || !clearAction) {
        std::fputs("norvex_benchmark_log: the console has no set_Text slot or Clear action\n", stderr);
        return 1;
    }
    QCoreApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
