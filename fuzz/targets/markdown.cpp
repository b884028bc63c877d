#include "fuzz_target.h"

#include "ui/chat/chat_markdown.h"

#include <QSet>

// The chat renderer over any text, with loose links on and off and a spoiler revealed.
KESTOVA_FUZZ_TARGET(markdown)
{
    fuzzing::ensureApplication();
    const QString text = QString::fromUtf8(fuzzing::bytesOf(data, size));
    const QSet<int> revealed{0, 1};
    (void)renderMarkdown(text, &revealed, QStringLiteral("loose:example.com"), true);
    (void)renderMarkdown(text, nullptr, QString(), false);
    (void)containsLooseLink(text);
}
