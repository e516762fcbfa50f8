// Reading and writing the station's image files (templates, ignore points) against the camera image format.
#pragma once

#include <QString>
#include <QVector>
#include <QRgb>
#include <opencv2/core.hpp>

// The 256-entry gray colour table of 8-bit indexed images.
const QVector<QRgb> &GrayColorTable();

// Writes an 8-bit one-channel image as an 8-bit indexed image with the gray colour table, or a
// 4-byte RGBA image as a colour image. The format follows the file name (".bmp"). Creates the
// directory when it is missing. The file is written beside its place and renamed over it, so a
// crash leaves the previous file whole. False when the image could not be written.
bool SaveStationImage(const QString &path, const cv::Mat &image);

// Reads a file into `image`, a continuous buffer of gImageH rows x gImageW columns with one byte
// or four bytes R, G, B, A per pixel. Accepted only when the file has the camera's width and
// height and its bit depth fills a buffer of `bufferBytes` (depth x width x height = 8 x
// bufferBytes: gColorLen for templates, gImageLen for ignore points); else false and `image`
// untouched.
bool LoadStationImage(const QString &path, cv::Mat &image, qint64 bufferBytes);

// The same, saying why a file was not taken: no file, a file that is not a whole image (cut
// short, garbage), or an image of another size or bit depth than the camera's.
enum class ImageFileState { Loaded, Missing, Unreadable, WrongFormat };
ImageFileState ReadStationImage(const QString &path, cv::Mat &image, qint64 bufferBytes);

// "Camera %1 detection %2: the file %3 is damaged or does not fit the camera and was not loaded",
// for a template or ignore-point file that is there but cannot be used.
constexpr int kRowUnreadableFile = 1023;
QString UnreadableFileText(int camNo, int detection, const QString &path);
