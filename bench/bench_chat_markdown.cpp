#include "ui/chat/chat_markdown.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QSet>

namespace {

// A 4,000-character body with every kind of markup: spans and their nesting, escapes,
// spoilers (one revealed), inline code, a quote, a fenced block, links of all three
// kinds and emoji runs, repeated until it is long enough.
QString busyBody()
{
    const QString piece =
        QString::fromUtf8("**bold *italic* text** and __under ~~struck~~__ with `code **kept**` \\*escaped\\* "
                          "||hidden one|| ||shown **two**|| see https://example.com/path?q=1&r=2 or www.example.org "
                          "and example.net/docs \xF0\x9F\x98\x80\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD done\n"
                          "> a quoted *line* with ||a spoiler||\n"
                          "```cpp\nint main() { return 0; } // **not bold**\n```\n");
    QString body;
    while (body.size() + piece.size() <= 4000)
        body += piece;
    body += QString(4000 - body.size(), QLatin1Char('x'));
    return body;
}

} // namespace

static void BM_RenderBusyMessage(benchmark::State &state)
{
    const QString body = busyBody();
    const QSet<int> revealed{1};
    const bool looseActive = state.range(0) != 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            renderMarkdown(body, &revealed, QStringLiteral("loose:example.net/docs"), looseActive));
    state.SetBytesProcessed(state.iterations() * body.size() * qint64(sizeof(QChar)));
}
BENCHMARK(BM_RenderBusyMessage)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The palette is read through the GUI application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
