#include "ui/dialogs/update_progress_dialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

UpdateProgressDialog::UpdateProgressDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("更新"));
    setFixedSize(360, 96);
    auto *column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("下载进度"), this));
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    column->addWidget(progressBar);
}

int UpdateProgressDialog::percent() const
{
    return progressBar->value();
}

void UpdateProgressDialog::setDownloadPercent(int percent)
{
    progressBar->setValue(std::clamp(percent, 0, 100));
}
