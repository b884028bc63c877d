#pragma once

#include "legal/legal_doc.h"
#include "legal/legal_versions.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class IRawDownloader;

// Holds the current legal document versions, builds the agreed-version tag from
// them, and fetches the documents' markdown from the asset host with a small
// per-document cache. GUI thread only.
class LegalService : public QObject
{
    Q_OBJECT
public:
    using DocCallback = std::function<void(bool ok, const QString &text)>;

    explicit LegalService(IRawDownloader *downloader, QObject *parent = nullptr);
    ~LegalService() override;

    // Calls back exactly once: before returning when the answer needs no request
    // (cached, or versions not known yet), otherwise when the request ends.
    void fetchDoc(LegalDoc doc, DocCallback callback);

    // Adopts the pair when both versions are non-empty; a changed pair empties the cache.
    void applyVersions(const LegalVersions &versions);

    // "terms@<terms>+privacy@<privacy>" once versions are applied, empty before.
    QString versionTag() const;

    QString termsVersion() const { return currentTerms; }
    QString privacyVersion() const { return currentPrivacy; }
    bool versionsReady() const { return ready; }

private:
    IRawDownloader *downloader;
    QString currentTerms;
    QString currentPrivacy;
    bool ready = false;               // a pair of versions has been applied
    QHash<QString, QString> docCache; // markdown by document key
};

std::unique_ptr<LegalService> createLegalService(IRawDownloader *downloader);
