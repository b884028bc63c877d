#pragma once

#include <QMetaType>

// The legal documents the asset host publishes. Travels in signals, hence the meta-type.
enum class LegalDoc { Terms = 0, Privacy = 1 };

Q_DECLARE_METATYPE(LegalDoc)
