#pragma once

#include <QSet>
#include <QString>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QTextDocument;

// The chat's markdown dialect: fenced code blocks, quote lines, bold, italic,
// underline, strike, inline code, numbered spoilers, backslash escapes of ASCII
// punctuation, automatic links and enlarged emoji. Nothing else is markup.
//
// The body is HTML-escaped before anything becomes rich text, so a message can only
// ever produce the markup this renderer writes itself, and links only with the
// targets "http(s)://…", "spoiler:<n>" and "loose:<domain>".
//
// `revealedSpoilers` may be null (nothing revealed). `hotLooseHref` is the "loose:"
// link under the mouse while Ctrl is held, empty otherwise; bare domains become links
// only while `looseLinksActive`. GUI thread only (colours come from the theme).
QString renderMarkdown(const QString &text, const QSet<int> *revealedSpoilers, const QString &hotLooseHref,
                       bool looseLinksActive);

// True when some automatic link in the raw text is a bare domain: only then can the
// Ctrl state or the hovered link change the rendering.
bool containsLooseLink(const QString &text);

// Colours the same dialect while the user types in the compose editor. Block state 1
// means "inside a code fence".
class ChatMarkdownHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit ChatMarkdownHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;

private:
    void highlightInline(const QString &text, int from, int to, const QTextCharFormat &base);

    QTextCharFormat markerFormat;
    QTextCharFormat codeBlockFormat;
};
