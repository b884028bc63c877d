#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QString>

class IRawDownloader;
class QBuffer;
class QLabel;
class QMovie;

// Shows one chat image over the window it is opened from: downloaded by itself from
// a URL, or given as local bytes. GIFs animate; still images fit the available area
// and are never enlarged. Copies the image or saves its bytes unchanged. The dialog
// deletes itself when closed; a download answered after that is dropped.
class ImageViewerDialog : public QDialog
{
    Q_OBJECT
public:
    ImageViewerDialog(IRawDownloader *downloader, const QString &url, const QString &name, qint64 sizeBytes,
                      const QString &contentType, QWidget *parent = nullptr);
    ImageViewerDialog(const QByteArray &bytes, const QString &name, const QString &contentType,
                      QWidget *parent = nullptr);

    static QString formatByteSize(qint64 sizeBytes);

    QString captionText() const;
    void copyImage();
    // Writes the bytes unchanged to `path`; false when there is nothing to write or it fails.
    bool saveImageTo(const QString &path) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void buildUi();
    void fetch();
    void showImage();
    void showStatus(const QString &text);
    void saveImage();
    void refreshCaption();

    IRawDownloader *downloader = nullptr;
    QString url;
    QString name;
    qint64 sizeBytes = 0;
    QString contentType;
    QByteArray bytes;
    QLabel *imageLabel = nullptr;
    QLabel *captionLabel = nullptr;
    QBuffer *buffer = nullptr;
    QMovie *movie = nullptr;
    // Decoded once, on the thread pool; scaled there too for each new size.
    QImage decoded;
    bool decodeStarted = false;
    bool decodeDone = false;
    int scaleRequest = 0; // only the newest scaling is shown
};
