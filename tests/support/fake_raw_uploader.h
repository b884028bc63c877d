#pragma once

#include "net/i_raw_uploader.h"

#include <QList>
#include <QString>

namespace testsupport {

// An IRawUploader for service tests: nothing goes on the wire. Every PUT is recorded
// and stays pending until the test reports its progress or finishes it, by its place
// among all PUTs. The returned handle is a default one (cancelling it does nothing).
//
//     FakeRawUploader uploads;
//     ... the service calls rawPut ...
//     uploads.progress(0, 150, 300);
//     uploads.finish(0, jsonReply(200));
class FakeRawUploader : public IRawUploader
{
public:
    struct Put
    {
        QString url;
        QByteArray body;
        QByteArray contentType;
        int timeoutMs = 0;
        HttpCallback callback;
        ProgressCallback onProgress;
    };

    RawRequestHandle rawPut(const QString &url, const QByteArray &body, const QByteArray &contentType,
                            HttpCallback callback, ProgressCallback progress, int timeoutMs) override;

    // Reports progress of the `index`-th PUT. Fails the running test when there is no such PUT.
    void progress(qsizetype index, qint64 sent, qint64 total);
    // Finishes the `index`-th PUT. Fails the running test when there is no such PUT.
    void finish(qsizetype index, const HttpResponse &response);

    QList<Put> puts;
};

} // namespace testsupport
