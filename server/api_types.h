#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

namespace localservice {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One HTTP request as the service's handlers see it.
struct ApiRequest
{
    QByteArray method; // upper case: "GET", "POST", ...
    QString path;      // decoded, without the query
    QUrlQuery query;
    HeaderList headers;
    QByteArray body;
    QStringList captures; // the path segments that the route's "{}" matched, decoded
    QString userId;       // the signed-in caller, for routes that need one
    QString signInId;     // the sign-in that the caller's access token belongs to

    // The first header of that name (case-insensitive); empty when absent.
    QByteArray header(const QByteArray &name) const;
};

// What a handler answers.
struct ApiReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    HeaderList headers;

    static ApiReply json(int status, const QJsonObject &object);
    // The failure shape every client service reads: {"code", "message"[, "details"]}.
    static ApiReply error(int status, const QString &code, const QString &message, const QJsonObject &details = {});
    static ApiReply bytes(int status, const QByteArray &body, const QByteArray &contentType);
};

} // namespace localservice
