#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <functional>

class QObject;

// Full-size images decoded (and scaled) on the global thread pool, so a large photo does
// not freeze the window. Images of more than ChatImageLoader::kMaxDecodedPixels pixels
// are refused before decoding.

// Decodes `bytes` on the calling thread; null when they are no image or too large.
QImage decodeImageBounded(const QByteArray &bytes);

// Decodes `bytes` on the pool and, when `fitInto` is a valid non-empty size in device
// pixels, shrinks the image to fit it (never enlarges). `done` runs on the GUI thread with
// the result (null when undecodable), only while `context` exists. GUI thread.
void decodeImageInBackground(const QByteArray &bytes, QSize fitInto, QObject *context,
                             std::function<void(const QImage &image)> done);

// Shrinks `image` on the pool to fit `fitInto`, as above. GUI thread.
void scaleImageInBackground(const QImage &image, QSize fitInto, QObject *context,
                            std::function<void(const QImage &image)> done);
