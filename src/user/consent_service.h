#pragma once

#include "legal/legal_doc.h"

#include <QList>
#include <QObject>

class IHttpClient;
class LegalService;
class UserState;
struct HttpResponse;

// Asks the signed-in user to agree again when the legal documents changed since
// the agreement the profile reports, and records the new agreement. GUI thread only.
class ConsentService : public QObject
{
    Q_OBJECT
public:
    ConsentService(IHttpClient *http, UserState *state, LegalService *legal, QObject *parent = nullptr);

public slots:
    void checkReconsent();
    void submitConsent();

signals:
    // The changed documents, terms before privacy; never empty.
    void reconsentRequired(const QList<LegalDoc> &changedDocs);

private:
    void onSubmitFinished(quint64 generation, const HttpResponse &response);

    IHttpClient *http;
    UserState *state;
    LegalService *legal;
};
