#pragma once

#include <QDialog>

class QProgressBar;

// Shows the download of a new version before the first window appears. No buttons;
// shown without modality.
class UpdateProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateProgressDialog(QWidget *parent = nullptr);

    int percent() const;

public slots:
    // Clamped to 0..100.
    void setDownloadPercent(int percent);

private:
    QProgressBar *progressBar = nullptr;
};
