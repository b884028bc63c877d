#pragma once

#include <QSplitter>

namespace ads {

// A splitter of dock areas and nested splitters.
class CDockSplitter : public QSplitter
{
    Q_OBJECT
public:
    explicit CDockSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

    // True when at least one item is visible.
    bool hasVisibleContent() const;
};

} // namespace ads
