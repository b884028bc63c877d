#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace testsupport {

// Records every log line while it lives, for the tests where a log line is the
// only observable effect. Not thread-safe beyond what Qt's handler guarantees;
// use one at a time.
class LogCapture
{
public:
    struct Entry
    {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Entry> entries() const;
    // Lines of `category` whose text contains `text`.
    int count(const QString &category, const QString &text) const;
    bool contains(const QString &category, const QString &text) const { return count(category, text) > 0; }
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler previous = nullptr;
};

} // namespace testsupport
