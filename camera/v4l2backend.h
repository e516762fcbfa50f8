// The V4L2 back-end: a USB video device read and decoded through FFmpeg, with contrast, gamma and
// sharpness applied by a filter chain.
#pragma once

#include "camera/camerabackend.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

struct AVCodecContext;
struct AVDictionary;
struct AVFilterContext;
struct AVFilterGraph;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class V4l2Backend : public CameraBackend
{
public:
    // The filter description is built from the settings record when the back-end is made.
    V4l2Backend(int position, FrameSlot &slot);
    ~V4l2Backend() override;

    int code() const override;
    // Opens CameraPaths::videoDevice with the position, else with gFindCamera, gFindCamera + 1, ...
    // up to 63, in the input format CameraPaths::videoFormat at 30 frames per second.
    bool open() override;
    void close() override;
    bool polled() const override { return true; }
    // Under the position's mutex: one packet read, decoded, filtered and handed over.
    void grabStep() override;

    void setSharp(const WizardPara &para) override;
    void setContrast(const WizardPara &para) override;
    void setGamma(const WizardPara &para) override;
    void restoreDefaults(WizardPara &edit, const WizardPara &live) override;

    // Builds the filter graph "in" -> description -> "out" (GRAY8), replacing the previous graph
    // when it succeeds. Returns the FFmpeg result code (0 or above on success).
    int init_filters(const char *description);
    // The frame converted to an image of the same size: RGB24 with colour output, else GRAY8.
    cv::Mat avframe_to_cvmat(const AVFrame *frame);

    // The four pieces of the filter description, and their concatenation.
    static std::string ContrastPiece(int contrast);
    static std::string GammaPiece(int gamma);
    static std::string SharpPiece(int sharp);
    std::string filterDescription() const;
    bool hasFilterGraph() const { return m_graph != nullptr; }

    // Devices tried by the last open, in order, and the one that opened.
    const std::vector<std::string> &triedDevices() const { return m_tried; }
    const std::string &openedDevice() const { return m_opened; }

private:
    bool openDevice(const std::string &path);
    // Prints the new piece and rebuilds the graph under the position's mutex.
    void rebuild(int piece, const std::string &text);
    void release();

    std::string m_pieces[4];
    std::vector<std::string> m_tried;
    std::string m_opened;
    AVFormatContext *m_format = nullptr;
    AVDictionary *m_options = nullptr;
    int m_stream = -1;
    AVCodecContext *m_codec = nullptr;
    AVFrame *m_frame = nullptr;
    AVFrame *m_filtered = nullptr;
    AVPacket *m_packet = nullptr;
    AVFilterGraph *m_graph = nullptr;
    AVFilterContext *m_source = nullptr;
    AVFilterContext *m_sink = nullptr;
    SwsContext *m_scaler = nullptr;
};
