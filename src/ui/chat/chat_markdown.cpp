#include "ui/chat/chat_markdown.h"

#include "theme/theme_palette.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextDocument>

#include <optional>

namespace {

enum class InlineKind { Bold = 0, Italic = 1, Underline = 2, Strike = 3, Code = 4, Spoiler = 5 };

struct InlineDelimiter
{
    const char16_t *text;
    int length;
    InlineKind kind;
};

// Tried in this order at every position: "**" before "*".
constexpr InlineDelimiter kDelimiters[] = {
    {u"**", 2, InlineKind::Bold},    {u"__", 2, InlineKind::Underline}, {u"~~", 2, InlineKind::Strike},
    {u"||", 2, InlineKind::Spoiler}, {u"`", 1, InlineKind::Code},       {u"*", 1, InlineKind::Italic},
};

struct DelimiterMatch
{
    InlineKind kind = InlineKind::Bold;
    int openStart = 0;
    int length = 0;
    int contentStart = 0;
    int closeStart = 0;
    int closeEnd = 0;
};

struct MarkdownRenderState
{
    const QSet<int> *revealedSpoilers = nullptr;
    int spoilerCounter = 0;
    QString hotLooseHref;
    bool looseLinksActive = false;
};

const QString kFence = QStringLiteral("```");

const QRegularExpression &linkPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("(https?://[^\\s<>\"']+)|(\\bwww\\.[^\\s<>\"']+)|(\\b[\\w-]+(?:\\.[\\w-]+)*\\.[A-Za-z]{2,}(?:/"
                       "[^\\s<>\"']*)?)"));
    return pattern;
}

const QRegularExpression &emojiPattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        "((?:[\\x{2600}-\\x{27BF}\\x{2B00}-\\x{2BFF}\\x{1F1E6}-\\x{1F1FF}\\x{1F300}-\\x{1FAFF}][\\x{FE0F}]?"
        "(?:[\\x{1F3FB}-\\x{1F3FF}])?(?:\\x{200D}[\\x{2600}-\\x{27BF}\\x{1F300}-\\x{1FAFF}][\\x{FE0F}]?)*)+)"));
    return pattern;
}

const QRegularExpression &languageLinePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9+#-]{1,20}\\n"));
    return pattern;
}

const QStringList &codeFontFamilies()
{
    static const QStringList families{QStringLiteral("Consolas"), QStringLiteral("Courier New"),
                                      QStringLiteral("monospace")};
    return families;
}

QString tokenColour(const char *token)
{
    return ThemePalette::color(token).name();
}

bool isAsciiPunctuation(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x21 && u <= 0x2F) || (u >= 0x3A && u <= 0x40) || (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

std::optional<DelimiterMatch> matchInlineDelimiter(const QString &text, int pos)
{
    for (const InlineDelimiter &row : kDelimiters) {
        const QString delimiter = QString::fromUtf16(row.text, row.length);
        if (!QStringView(text).mid(pos).startsWith(delimiter))
            continue;
        int candidate = int(text.indexOf(delimiter, pos + row.length));
        while (candidate >= 0) {
            int backslashes = 0;
            for (int k = candidate - 1; k >= 0 && text.at(k) == QLatin1Char('\\'); --k)
                ++backslashes;
            if (backslashes % 2 == 0)
                break;
            candidate = int(text.indexOf(delimiter, candidate + 1));
        }
        if (candidate < 0 || candidate == pos + row.length)
            continue;
        return DelimiterMatch{row.kind, pos, row.length, pos + row.length, candidate, candidate + row.length};
    }
    return std::nullopt;
}

QString enlargeEmoji(const QString &html)
{
    QString result = html;
    result.replace(emojiPattern(), QStringLiteral("<span style=\"font-size:22px;\">\\1</span>"));
    return result;
}

QString linkAnchor(const QString &target, const QString &colour, const QString &text, bool underline)
{
    if (underline)
        return QStringLiteral("<a href=\"%1\" style=\"color:%2\">%3</a>").arg(target, colour, text);
    return QStringLiteral("<a href=\"%1\" style=\"color:%2;text-decoration:none\">%3</a>").arg(target, colour, text);
}

// Links the escaped run and enlarges emoji in the text between links only: an emoji
// inside a link's target or text must never split the anchor's markup.
QString linkifyAndEnlarge(const QString &escaped, const MarkdownRenderState &state)
{
    QString result;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = linkPattern().globalMatch(escaped);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString t = match.captured(0);
        QString anchor;
        if (match.capturedStart(3) >= 0) {
            if (!state.looseLinksActive)
                continue; // stays plain text, part of the next plain segment
            const QString target = QStringLiteral("loose:") + t;
            if (target == state.hotLooseHref)
                anchor = linkAnchor(target, tokenColour("primaryText"), t, true);
            else
                anchor = linkAnchor(target, tokenColour("text"), t, false);
        } else if (match.capturedStart(2) >= 0) {
            anchor = linkAnchor(QStringLiteral("https://") + t, tokenColour("primaryText"), t, true);
        } else {
            anchor = linkAnchor(t, tokenColour("primaryText"), t, true);
        }
        result += enlargeEmoji(escaped.mid(last, match.capturedStart(0) - last));
        result += anchor;
        last = match.capturedEnd(0);
    }
    result += enlargeEmoji(escaped.mid(last));
    return result;
}

QString renderTextRun(const QString &run, const MarkdownRenderState &state)
{
    if (run.isEmpty())
        return {};
    return linkifyAndEnlarge(run.toHtmlEscaped(), state);
}

QString renderInline(const QString &text, MarkdownRenderState &state);

QString renderSpoiler(const QString &content, MarkdownRenderState &state)
{
    const int n = state.spoilerCounter++;
    if (state.revealedSpoilers && state.revealedSpoilers->contains(n)) {
        return QStringLiteral("<span style=\"background-color:%1;\">%2</span>")
            .arg(tokenColour("selectBg"), renderInline(content, state));
    }
    return QStringLiteral("<a href=\"spoiler:%1\" style=\"text-decoration:none;\">"
                          "<span style=\"background-color:%2;color:%2;\">%3</span></a>")
        .arg(QString::number(n), tokenColour("text"), content.toHtmlEscaped());
}

QString renderInline(const QString &text, MarkdownRenderState &state)
{
    QString result;
    QString run;
    int i = 0;
    const int size = int(text.size());
    while (i < size) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < size && isAsciiPunctuation(text.at(i + 1))) {
            run += text.at(i + 1);
            i += 2;
            continue;
        }
        const std::optional<DelimiterMatch> match = matchInlineDelimiter(text, i);
        if (!match) {
            run += c;
            ++i;
            continue;
        }
        result += renderTextRun(run, state);
        run.clear();
        const QString content = text.mid(match->contentStart, match->closeStart - match->contentStart);
        switch (match->kind) {
            case InlineKind::Bold:
                result += QStringLiteral("<b>") + renderInline(content, state) + QStringLiteral("</b>");
                break;
            case InlineKind::Underline:
                result += QStringLiteral("<u>") + renderInline(content, state) + QStringLiteral("</u>");
                break;
            case InlineKind::Strike:
                result += QStringLiteral("<s>") + renderInline(content, state) + QStringLiteral("</s>");
                break;
            case InlineKind::Italic:
                result += QStringLiteral("<i>") + renderInline(content, state) + QStringLiteral("</i>");
                break;
            case InlineKind::Code:
                result += QStringLiteral("<span style=\"background-color:%1;font-family:'Consolas','Courier New',"
                                         "monospace;font-size:13px;\">%2</span>")
                              .arg(tokenColour("fillHover"), content.toHtmlEscaped());
                break;
            case InlineKind::Spoiler: result += renderSpoiler(content, state); break;
        }
        i = match->closeEnd;
    }
    result += renderTextRun(run, state);
    return result;
}

QString renderQuoteBlock(const QStringList &lines)
{
    return QStringLiteral("<table cellpadding=\"0\" cellspacing=\"0\"><tr><td width=\"3\" bgcolor=\"%1\"></td>"
                          "<td width=\"8\"></td><td>%2</td></tr></table>")
        .arg(tokenColour("border"), lines.join(QStringLiteral("<br>")));
}

QString renderLineBlock(const QString &text, MarkdownRenderState &state)
{
    if (text.isEmpty())
        return {};
    QString result;
    QStringList quoteLines;
    QStringList plainLines;
    const auto flushPlain = [&] {
        if (!plainLines.isEmpty()) {
            result += plainLines.join(QStringLiteral("<br>"));
            plainLines.clear();
        }
    };
    const auto flushQuote = [&] {
        if (!quoteLines.isEmpty()) {
            result += renderQuoteBlock(quoteLines);
            quoteLines.clear();
        }
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1Char('>'))) {
            flushPlain();
            QString content = line.mid(1);
            if (content.startsWith(QLatin1Char(' ')))
                content.remove(0, 1);
            quoteLines.append(renderInline(content, state));
        } else {
            flushQuote();
            plainLines.append(renderInline(line, state));
        }
    }
    flushPlain();
    flushQuote();
    return result;
}

QString renderCodeBlock(QString code)
{
    if (code.startsWith(QLatin1Char('\n')))
        code.remove(0, 1);
    const QRegularExpressionMatch language = languageLinePattern().match(code);
    if (language.hasMatch())
        code.remove(0, language.capturedLength(0));
    if (code.endsWith(QLatin1Char('\n')))
        code.chop(1);
    return QStringLiteral("<table bgcolor=\"%1\" cellpadding=\"6\" width=\"100%\"><tr><td><pre style=\"font-family:"
                          "'Consolas','Courier New',monospace;font-size:13px;margin:0;\">%2</pre></td></tr></table>")
        .arg(tokenColour("fillHover"), code.toHtmlEscaped());
}

} // namespace

QString renderMarkdown(const QString &text, const QSet<int> *revealedSpoilers, const QString &hotLooseHref,
                       bool looseLinksActive)
{
    MarkdownRenderState state;
    state.revealedSpoilers = revealedSpoilers;
    state.hotLooseHref = hotLooseHref;
    state.looseLinksActive = looseLinksActive;

    QString result;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(kFence, pos);
        if (open < 0) {
            result += renderLineBlock(text.mid(pos), state);
            break;
        }
        const qsizetype close = text.indexOf(kFence, open + 3);
        if (close < 0) {
            result += renderLineBlock(text.mid(pos), state);
            break;
        }
        result += renderLineBlock(text.mid(pos, open - pos), state);
        result += renderCodeBlock(text.mid(open + 3, close - open - 3));
        pos = close + 3;
    }
    return result;
}

bool containsLooseLink(const QString &text)
{
    QRegularExpressionMatchIterator it = linkPattern().globalMatch(text);
    while (it.hasNext()) {
        if (it.next().capturedStart(3) >= 0)
            return true;
    }
    return false;
}

ChatMarkdownHighlighter::ChatMarkdownHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
{
    markerFormat.setForeground(QBrush(ThemePalette::color("textFaint")));
    codeBlockFormat.setFontFamilies(codeFontFamilies());
    codeBlockFormat.setBackground(QBrush(ThemePalette::color("fillHover")));
}

void ChatMarkdownHighlighter::highlightBlock(const QString &text)
{
    const int length = int(text.size());
    if (text.trimmed().startsWith(kFence)) {
        setFormat(0, length, markerFormat);
        setCurrentBlockState(previousBlockState() == 1 ? 0 : 1);
        return;
    }
    if (previousBlockState() == 1) {
        setFormat(0, length, codeBlockFormat);
        setCurrentBlockState(1);
        return;
    }
    setCurrentBlockState(0);
    int start = 0;
    if (text.startsWith(QLatin1Char('>'))) {
        start = (length > 1 && text.at(1) == QLatin1Char(' ')) ? 2 : 1;
        setFormat(0, start, markerFormat);
    }
    highlightInline(text, start, length, QTextCharFormat());
}

void ChatMarkdownHighlighter::highlightInline(const QString &text, int from, int to, const QTextCharFormat &base)
{
    int a = from;
    while (a < to) {
        if (text.at(a) == QLatin1Char('\\') && a + 1 < to && isAsciiPunctuation(text.at(a + 1))) {
            setFormat(a, 1, markerFormat);
            a += 2;
            continue;
        }
        const std::optional<DelimiterMatch> match = matchInlineDelimiter(text, a);
        if (!match || match->closeEnd > to) {
            ++a;
            continue;
        }
        setFormat(match->openStart, match->length, markerFormat);
        setFormat(match->closeStart, match->length, markerFormat);
        QTextCharFormat format = base;
        switch (match->kind) {
            case InlineKind::Bold: format.setFontWeight(700); break;
            case InlineKind::Italic: format.setFontItalic(true); break;
            case InlineKind::Underline: format.setUnderlineStyle(QTextCharFormat::SingleUnderline); break;
            case InlineKind::Strike: format.setFontStrikeOut(true); break;
            case InlineKind::Code:
                format.setFontFamilies(codeFontFamilies());
                format.setBackground(QBrush(ThemePalette::color("fillHover")));
                break;
            case InlineKind::Spoiler: format.setBackground(QBrush(ThemePalette::color("selectBg"))); break;
        }
        setFormat(match->contentStart, match->closeStart - match->contentStart, format);
        if (match->kind != InlineKind::Code)
            highlightInline(text, match->contentStart, match->closeStart, format);
        a = match->closeEnd;
    }
}
