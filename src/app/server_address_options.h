#pragma once

#include <QString>
#include <QStringList>

// The service addresses may be given at start: "--api URL" and "--assets URL" (also
// written "--api=URL"), else the environment variables KESTOVA_API_BASE_URL and
// KESTOVA_ASSET_BASE_URL (an empty one counts as not set); what is given nowhere stays the built-in address. Other
// arguments are left alone. Returns false, with the reason in `error`, when an address
// is missing after its option or is no usable base URL; nothing is applied then.
// Called by main once, before the client context is built.
bool applyServerAddressOptions(const QStringList &arguments, QString *error);
