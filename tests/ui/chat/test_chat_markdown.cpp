#include "ui/chat/chat_markdown.h"

#include "support/test_main.h"
#include "theme/theme_palette.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// Fills "{token}" placeholders with the palette colour the renderer uses for that token.
QString themed(QString html)
{
    for (const char *token : {"fillHover", "border", "selectBg", "text", "primaryText"})
        html.replace(QLatin1Char('{') + QLatin1String(token) + QLatin1Char('}'), ThemePalette::color(token).name());
    return html;
}

QString codeSpan(const QString &html)
{
    return "<span style=\"background-color:{fillHover};font-family:'Consolas','Courier New',monospace;"
           "font-size:13px;\">"
           + html + "</span>";
}

QString codeBlock(const QString &html)
{
    return "<table bgcolor=\"{fillHover}\" cellpadding=\"6\" width=\"100%\"><tr><td><pre style=\"font-family:"
           "'Consolas','Courier New',monospace;font-size:13px;margin:0;\">"
           + html + "</pre></td></tr></table>";
}

QString quote(const QString &html)
{
    return "<table cellpadding=\"0\" cellspacing=\"0\"><tr><td width=\"3\" bgcolor=\"{border}\"></td>"
           "<td width=\"8\"></td><td>"
           + html + "</td></tr></table>";
}

QString hidden(int n, const QString &html)
{
    return QStringLiteral("<a href=\"spoiler:%1\" style=\"text-decoration:none;\"><span style=\"background-color:"
                          "{text};color:{text};\">")
               .arg(n)
           + html + "</span></a>";
}

QString shown(const QString &html)
{
    return "<span style=\"background-color:{selectBg};\">" + html + "</span>";
}

QString urlAnchor(const QString &target, const QString &text)
{
    return "<a href=\"" + target + "\" style=\"color:{primaryText}\">" + text + "</a>";
}

QString looseLink(const QString &domain)
{
    return "<a href=\"loose:" + domain + "\" style=\"color:{text};text-decoration:none\">" + domain + "</a>";
}

QString emoji(const QString &run)
{
    return "<span style=\"font-size:22px;\">" + run + "</span>";
}

const QString kGrin = QString::fromUtf8("\xF0\x9F\x98\x80");                  // U+1F600
const QString kThumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); // U+1F44D with a skin tone

// Inputs a hostile sender may try; whatever they hold, the output may only carry the
// renderer's own tags, and links only with its four kinds of target.
const QStringList &hostileInputs()
{
    static const QStringList inputs{
        "<script>alert(1)</script>",
        "<img src=x onerror=alert(1)>",
        "<a href=\"javascript:alert(1)\">x</a>",
        "[click](javascript:alert(1))",
        "![img](https://a.com/x.png)",
        "javascript:alert(document.cookie)",
        "data:text/html,<script>alert(1)</script>",
        "https://a.com/\"onmouseover=\"alert(1)",
        "https://a.com/'><script>x</script>",
        "www.a.com/\"><img src=x>",
        "||<img src=x onerror=alert(1)>||",
        "`</span><script>x</script>`",
        "```\n</pre></td></tr></table><script>x</script>\n```",
        "> <iframe src=\"https://evil.test\"></iframe>",
        "**<b onclick=x>**__<u>__~~<s>~~*<i>*",
        "&lt;script&gt; &amp; &#60;img&#62; &#x3C;",
        "\\<script\\> \\&amp; \\\"",
        "file:///etc/passwd ftp://a.com/x mailto:a@b.com",
        "https://a.com/" + kGrin + "\"" + kGrin + "<b>",
        "||a ||b|| c|| <||>",
        QString(QChar(u'\0')) + "<x>" + QChar(u'\xFFFF') + QChar(u'\xD800'),
    };
    return inputs;
}

} // namespace

class ChatMarkdownTest : public QObject
{
    Q_OBJECT

private slots:
    void render_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QList<int>>("revealed");
        QTest::addColumn<bool>("looseActive");
        QTest::addColumn<QString>("hotHref");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *title, const QString &body, const QString &expected, QList<int> revealed = {},
                      bool looseActive = false, const QString &hot = {}) {
            QTest::newRow(title) << body << revealed << looseActive << hot << expected;
        };

        row("empty body", "", "");
        row("plain text", "just words", "just words");
        // Spans and their nesting.
        row("bold holds italic", "a **b *c* d** e", "a <b>b <i>c</i> d</b> e");
        row("underline and strike", "__u__ ~~s~~", "<u>u</u> <s>s</s>");
        row("italic holds underline", "*x __y__*", "<i>x <u>y</u></i>");
        row("delimiter never nests in itself", "**a **b** c**", "<b>a </b>b<b> c</b>");
        row("italic closes at a bold opener", "*a **b** c*", "<i>a </i><i>b</i><i> c</i>");
        row("three numbers with single stars", "2*3*4", "2<i>3</i>4");
        // Unterminated and empty markers stay literal.
        row("bold without closer", "**open", "**open");
        row("double star, letter, star", "**a*", "*<i>a</i>");
        row("empty spans", "**** ~~~~ ``", "**** ~~~~ ``");
        row("lone spoiler bar", "a || b", "a || b");
        // Escapes.
        row("escaped stars", "\\*a\\*", "*a*");
        row("escaped backslash keeps italic", "\\\\*a*", "\\<i>a</i>");
        row("backslash before letter", "a\\b \\1 \\", "a\\b \\1 \\");
        row("escaped closer skipped", "*a\\*b*", "<i>a*b</i>");
        // Code protects its content.
        row("bold inside inline code", "`**b**`", codeSpan("**b**"));
        row("inline code escapes html", "`<b>&\\*`", codeSpan("&lt;b&gt;&amp;\\*"));
        row("fence with language line", "```cpp\nint a;\n```", codeBlock("int a;"));
        row("word on first line is a language", "```\nword\nint a;\n```", codeBlock("int a;"));
        row("fence around one word", "```word```", codeBlock("word"));
        row("single fence stays literal", "a ``` b", "a ``` b");
        row("code block keeps markup", "```\n**x** <i> www.a.com ||s|| " + kGrin + "\n```",
            codeBlock("**x** &lt;i&gt; www.a.com ||s|| " + kGrin));
        row("text around a fence", "one\n```\nx = 1\n```\ntwo", "one<br>" + codeBlock("x = 1") + "<br>two");
        // Lines and quotes.
        row("blank lines", "a\n\nb", "a<br><br>b");
        row("quote lines then plain", "> a\n> **b**\nc", quote("a<br><b>b</b>") + "c");
        row("plain then quote", "a\n>b", "a" + quote("b"));
        row("quotes do not nest", ">> a", quote("&gt; a"));
        // Spoilers and their numbers.
        row("two hidden spoilers", "||x|| and ||y||", hidden(0, "x") + " and " + hidden(1, "y"));
        row("second revealed", "||x|| and ||y||", hidden(0, "x") + " and " + shown("y"), {1});
        row("revealed spoiler is formatted", "||**b**||", shown("<b>b</b>"), {0});
        row("hidden spoiler is not formatted", "||**b** <x>||", hidden(0, "**b** &lt;x&gt;"));
        row("spoiler in spoiler splits", "||outer ||inner|| rest||",
            hidden(0, "outer ") + "inner" + hidden(1, " rest"));
        row("numbers run across lines and quotes", "||a||\n> ||b||\n||c||",
            hidden(0, "a") + quote(hidden(1, "b")) + hidden(2, "c"));
        row("numbers follow the rendering order", "*||a||* ~~||b||~~ ||c||",
            "<i>" + hidden(0, "a") + "</i> <s>" + shown("b") + "</s> " + hidden(2, "c"), {1});
        row("code blocks take no number", "||a||```||x||```||b||",
            hidden(0, "a") + codeBlock("||x||") + hidden(1, "b"));
        // Links.
        row("full address", "see https://a.com/x?y=1&z=2 now",
            "see " + urlAnchor("https://a.com/x?y=1&amp;z=2", "https://a.com/x?y=1&amp;z=2") + " now");
        row("www address", "www.a.com", urlAnchor("https://www.a.com", "www.a.com"));
        row("bare domain while inactive", "go to a.com", "go to a.com");
        row("bare domain while active", "go to a.com", "go to " + looseLink("a.com"), {}, true);
        row("hot bare domain", "a.com", "<a href=\"loose:a.com\" style=\"color:{primaryText}\">a.com</a>", {}, true,
            "loose:a.com");
        row("italic found before the link", "https://a.com/*x*/y",
            urlAnchor("https://a.com/", "https://a.com/") + "<i>x</i>/y");
        row("closing bracket stays with the address", "[x](https://a.com)",
            "[x](" + urlAnchor("https://a.com)", "https://a.com)"));
        // Emoji, enlarged outside links only.
        row("emoji run", "hi " + kGrin + kGrin + kThumb, "hi " + emoji(kGrin + kGrin + kThumb));
        row("emoji inside a link's text", "https://a.com/" + kGrin,
            urlAnchor("https://a.com/" + kGrin, "https://a.com/" + kGrin));
        row("emoji beside a link", kGrin + " https://a.com " + kGrin,
            emoji(kGrin) + " " + urlAnchor("https://a.com", "https://a.com") + " " + emoji(kGrin));
        row("emoji inside a loose link", "a.com/" + kGrin, looseLink("a.com/" + kGrin), {}, true);
        row("emoji in code and hidden spoiler keep size", "`" + kGrin + "` ||" + kGrin + "||",
            codeSpan(kGrin) + " " + hidden(0, kGrin));
        row("emoji in a revealed spoiler", "||" + kGrin + "||", shown(emoji(kGrin)), {0});
        // Hostile bodies are text.
        row("script tag", "<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;");
        row("image tag", "<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;");
        row("markdown link syntax", "[click](javascript:alert(1))", "[click](javascript:alert(1))");
        row("quote in an address", "https://a.com/\"x", urlAnchor("https://a.com/&quot;x", "https://a.com/&quot;x"));
        row("entities stay text", "&lt;b&gt;", "&amp;lt;b&amp;gt;");
    }

    void render()
    {
        QFETCH(QString, body);
        QFETCH(QList<int>, revealed);
        QFETCH(bool, looseActive);
        QFETCH(QString, hotHref);
        QFETCH(QString, expected);
        const QSet<int> revealedSet(revealed.cbegin(), revealed.cend());
        QCOMPARE(renderMarkdown(body, revealed.isEmpty() ? nullptr : &revealedSet, hotHref, looseActive),
                 themed(expected));
    }

    // Every tag in the output is one the renderer writes, with its own attributes only,
    // and every link goes to http(s), "spoiler:" or "loose:"; the text of the body
    // survives as text (the document shows each hostile input's characters).
    void hostileBodiesStayText_data()
    {
        QTest::addColumn<QString>("body");
        for (const QString &input : hostileInputs())
            QTest::newRow(qPrintable(input.left(40).toHtmlEscaped())) << input;
    }

    void hostileBodiesStayText()
    {
        QFETCH(QString, body);
        static const QRegularExpression tag(QStringLiteral("<(/?)([^\\s>/]*)([^>]*)>"));
        static const QRegularExpression attribute(QStringLiteral("\\s([a-z-]+)=\"([^\"]*)\""));
        static const QSet<QString> tags{"a", "b", "i", "u", "s", "span", "table", "tr", "td", "pre", "br"};
        static const QSet<QString> attributes{"href", "style", "bgcolor", "cellpadding", "cellspacing", "width"};
        const QSet<int> allRevealed{0, 1, 2, 3};
        for (const bool loose : {false, true}) {
            for (const QSet<int> *revealed : {static_cast<const QSet<int> *>(nullptr), &allRevealed}) {
                const QString html = renderMarkdown(body, revealed, QStringLiteral("loose:a.com"), loose);
                int tagCount = 0;
                auto found = tag.globalMatch(html);
                while (found.hasNext()) {
                    const auto match = found.next();
                    ++tagCount;
                    QVERIFY2(tags.contains(match.captured(2)), qPrintable(html));
                    // Everything inside a tag is a known attribute with a quoted value.
                    QString rest = match.captured(3);
                    auto attrs = attribute.globalMatch(rest);
                    while (attrs.hasNext()) {
                        const auto attr = attrs.next();
                        QVERIFY2(attributes.contains(attr.captured(1)), qPrintable(html));
                        if (attr.captured(1) == QLatin1String("href")) {
                            const QString href = attr.captured(2);
                            QVERIFY2(href.startsWith("http://") || href.startsWith("https://")
                                         || href.startsWith("spoiler:") || href.startsWith("loose:"),
                                     qPrintable(href));
                        }
                    }
                    rest.remove(attribute);
                    QVERIFY2(rest.trimmed().isEmpty(), qPrintable(html));
                }
                // Every '<' opens one of those tags: none hides in a value or in the text.
                QCOMPARE(html.count(QLatin1Char('<')), tagCount);
            }
        }
    }

    void looseLinkDetection_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("loose");
        QTest::newRow("bare domain") << "see a.com" << true;
        QTest::newRow("full address only") << "https://a.com" << false;
        QTest::newRow("www only") << "www.a.com" << false;
        QTest::newRow("no link") << "a.b" << false;
        QTest::newRow("address then domain") << "https://x.org and b.net/p" << true;
    }

    void looseLinkDetection()
    {
        QFETCH(QString, body);
        QFETCH(bool, loose);
        QCOMPARE(containsLooseLink(body), loose);
    }

    // In the editor, markup after an opening fence line shows as code, markers not faint,
    // until the closing fence line.
    void highlighterFollowsFences()
    {
        QTextDocument document;
        auto *highlighter = new ChatMarkdownHighlighter(&document);
        document.setPlainText(QStringLiteral("**a**\n```\n**b**\n```\n**c**"));
        highlighter->rehighlight();
        const auto formatAt = [&](int blockNumber, int position) {
            const QTextBlock block = document.findBlockByNumber(blockNumber);
            for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
                if (position >= range.start && position < range.start + range.length)
                    return range.format;
            }
            return QTextCharFormat();
        };
        const QColor faint = ThemePalette::color("textFaint");
        QCOMPARE(formatAt(0, 0).foreground().color(), faint);
        QCOMPARE(formatAt(0, 2).fontWeight(), 700);
        QCOMPARE(document.findBlockByNumber(1).userState(), 1);
        QVERIFY(formatAt(2, 0).foreground().color() != faint);
        QCOMPARE(formatAt(2, 0).background().color(), ThemePalette::color("fillHover"));
        QCOMPARE(formatAt(2, 2).fontWeight() == 700, false);
        QCOMPARE(document.findBlockByNumber(3).userState(), 0);
        QCOMPARE(formatAt(4, 0).foreground().color(), faint);
        QCOMPARE(formatAt(4, 2).fontWeight(), 700);
    }
};

KESTOVA_TEST_MAIN(ChatMarkdownTest)
#include "test_chat_markdown.moc"
