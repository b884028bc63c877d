#pragma once

#include <QObject>

class IWindowPresenter;

// Keeps one running client per user and data root; a second start hands over to the first.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // False when another instance answered (it has been asked to present its window).
    bool tryBecomePrimary();
    void setPresenter(IWindowPresenter *presenter);
    IWindowPresenter *currentPresenter() const { return presenter; }

private:
    IWindowPresenter *presenter = nullptr;
};
