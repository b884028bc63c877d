#pragma once

#include <QObject>
#include <QString>

class IHttpClient;

// Carries the outcome signals of an account deactivation. The server offers no
// deactivation request yet, so nothing emits them. GUI thread only.
class DeactivateService : public QObject
{
    Q_OBJECT
public:
    explicit DeactivateService(IHttpClient *http, QObject *parent = nullptr);

signals:
    void deactivateSucceeded();
    void deactivateFailed(const QString &msg);

private:
    IHttpClient *http;
};
